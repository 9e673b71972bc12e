// The SoC register block of the simulated board.
#include "sim/soc_regs.h"

#include <cstdio>

namespace sim {

constexpr uint32_t SocRegs::kIdWordOffset[3];

uint16_t SocRegs::read16(uint32_t offset) const
{
    std::lock_guard<std::mutex> lk(mu_);
    auto it = regs_.find(offset);
    return it == regs_.end() ? 0 : it->second;
}

void SocRegs::write16(uint32_t offset, uint16_t value)
{
    std::vector<Watcher> ws;
    {
        std::lock_guard<std::mutex> lk(mu_);
        regs_[offset] = value;
        ++writes_[offset];
        auto it = watchers_.find(offset);
        if (it != watchers_.end())
            ws = it->second;
    }
    for (auto& w : ws)
        w(offset, value);
}

void SocRegs::set16(uint32_t offset, uint16_t value)
{
    std::lock_guard<std::mutex> lk(mu_);
    regs_[offset] = value;
}

void SocRegs::watch(uint32_t offset, Watcher w)
{
    std::lock_guard<std::mutex> lk(mu_);
    watchers_[offset].push_back(std::move(w));
}

uint64_t SocRegs::write_count(uint32_t offset) const
{
    std::lock_guard<std::mutex> lk(mu_);
    auto it = writes_.find(offset);
    return it == writes_.end() ? 0 : it->second;
}

QJsonObject SocRegs::state() const
{
    std::lock_guard<std::mutex> lk(mu_);
    QJsonObject o;
    char key[16];
    for (const auto& [off, v] : regs_) {
        if (v == 0)
            continue;
        std::snprintf(key, sizeof key, "0x%06x", off);
        o.insert(key, v);
    }
    return o;
}

}  // namespace sim
