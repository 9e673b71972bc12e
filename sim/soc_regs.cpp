// The SoC register block of the simulated board.
#include "sim/soc_regs.h"

#include <cstdio>

namespace sim {

constexpr uint32_t SocRegs::kIdWordOffset[3];

const SocRegs::Bank* SocRegs::find(uint32_t offset) const
{
    return in_window(offset) ? banks_[offset / kBankBytes].get() : nullptr;
}

SocRegs::Bank* SocRegs::make(uint32_t offset)
{
    if (!in_window(offset))
        return nullptr;
    std::unique_ptr<Bank>& b = banks_[offset / kBankBytes];
    if (!b)
        b = std::make_unique<Bank>();
    return b.get();
}

uint16_t SocRegs::read16(uint32_t offset) const
{
    std::lock_guard<std::mutex> lk(mu_);
    const Bank* b = find(offset);
    return b ? b->value[slot(offset)] : 0;
}

void SocRegs::write16(uint32_t offset, uint16_t value)
{
    std::vector<Watcher> ws;
    {
        std::lock_guard<std::mutex> lk(mu_);
        Bank* b = make(offset);
        if (!b)
            return;
        b->value[slot(offset)] = value;
        ++b->writes[slot(offset)];
        if (b->watched[slot(offset)])
            ws = watchers_.at(offset);
    }
    for (auto& w : ws)
        w(offset, value);
}

void SocRegs::set16(uint32_t offset, uint16_t value)
{
    std::lock_guard<std::mutex> lk(mu_);
    if (Bank* b = make(offset))
        b->value[slot(offset)] = value;
}

void SocRegs::watch(uint32_t offset, Watcher w)
{
    std::lock_guard<std::mutex> lk(mu_);
    Bank* b = make(offset);
    if (!b)
        return;
    b->watched[slot(offset)] = true;
    watchers_[offset].push_back(std::move(w));
}

uint64_t SocRegs::write_count(uint32_t offset) const
{
    std::lock_guard<std::mutex> lk(mu_);
    const Bank* b = find(offset);
    return b ? b->writes[slot(offset)] : 0;
}

QJsonObject SocRegs::state() const
{
    std::lock_guard<std::mutex> lk(mu_);
    QJsonObject o;
    char key[16];
    for (uint32_t i = 0; i < kLength / kBankBytes; ++i) {
        for (uint32_t r = 0; banks_[i] && r < kBankRegs; ++r) {
            if (banks_[i]->value[r] == 0)
                continue;
            std::snprintf(key, sizeof key, "0x%06x", i * kBankBytes + r * 2);
            o.insert(key, banks_[i]->value[r]);
        }
    }
    return o;
}

}  // namespace sim
