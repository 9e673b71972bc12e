#include "sim/fpga0_model.h"

#include <QJsonArray>
#include <cstring>

#include "sim/sim_board.h"
#include "video_io/fpga_regs.h"
#include "video_io/soc_pads.h"

namespace sim {

using namespace fpga;

namespace {
constexpr uint32_t kBlockSize = 4096;
constexpr uint8_t kCmdSearch = 0x10, kCmdRead = 0x61, kCmdRelay = 0xA0;

uint16_t rd16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t rd32(const uint8_t* p) { return uint32_t(rd16(p)) | uint32_t(rd16(p + 2)) << 16; }
void bcc(std::vector<uint8_t>& f)
{
    uint8_t x = 0;
    for (size_t i = 0; i + 1 < f.size(); ++i)
        x ^= f[i];
    f.back() = x;
}
// The answer header: the request's with the two addresses exchanged.
std::vector<uint8_t> swapped(const std::vector<uint8_t>& req, size_t len)
{
    std::vector<uint8_t> a(len, 0);
    std::memcpy(a.data(), req.data(), 10);
    std::memcpy(a.data(), req.data() + 2, 2);
    std::memcpy(a.data() + 2, req.data(), 2);
    return a;
}
}  // namespace

Fpga0Model::Fpga0Model(SimBoard& board) : SpiModel("fpga0"), board_(board)
{
    reset();
    board_.soc().watch(pads::PAD_FPGA0_CFG, [this](uint32_t, uint16_t v) {
        std::lock_guard<std::recursive_mutex> lk(device_lock());
        if (last_cfg_ != pads::kHigh && v == pads::kHigh)
            power_on();
        if (v != pads::kHigh)
            powered_ = false;
        last_cfg_ = v;
        update_irq();
    });
}

void Fpga0Model::reset()
{
    std::memset(regs_, 0, sizeof regs_);
    ram_.clear();
    for (auto& q : answers_)
        q.clear();
    sent_.clear();
    powered_ = false;
    have_word_ = false;
    power_ons_ = 0;
    relays_ = 0;
    brightness_ = -1;
    refresh_config();
    last_restart_ = cfg_.value("fpga_restart").toInt(0);
}

void Fpga0Model::power_on()
{
    std::memset(regs_, 0, sizeof regs_);
    regs_[REG_STATUS] = BIT(3);
    for (auto& q : answers_)
        q.clear();
    stage1_reads_ = 0;
    restart_unreported_ = false;
    powered_ = true;
    ++power_ons_;
    note("power on #" + std::to_string(power_ons_));
}

void Fpga0Model::refresh_config()
{
    const uint64_t g = board_.config_generation();
    if (g == seen_generation_ && !cfg_.isEmpty())
        return;
    seen_generation_ = g;
    cfg_ = board_.config();
    const int restart = cfg_.value("fpga_restart").toInt(0);
    if (restart != last_restart_) {
        last_restart_ = restart;
        if (powered_) {
            regs_[REG_STATUS] |= BIT(6);
            regs_[REG_VERSION3] = uint8_t(cfg_.value("fpga_version_after_restart").toInt(33));
            restart_unreported_ = true;
            note("restart");
            update_irq();
        }
    }
}

bool Fpga0Model::selected() const
{
    SocRegs& soc = board_.soc();
    return soc.read16(pads::PAD_SPI_MUX_A) == pads::kHigh && soc.read16(pads::PAD_SPI_MUX_B) == pads::kLow &&
           soc.read16(pads::PAD_FPGA0_CFG) == pads::kHigh && powered_;
}

int Fpga0Model::cards_on(int port) const
{
    const QJsonArray c = cfg_.value("cards").toArray(QJsonArray{2, 2});
    return port < c.size() ? c[port].toInt(0) : 0;
}

// ---- registers -----------------------------------------------------------------------------------

uint8_t Fpga0Model::read_reg(uint8_t r)
{
    ++reads_[r];
    switch (r) {
    case REG_OUTPUT_CTRL:
        return uint8_t((regs_[r] & ~BIT(3)) | (cfg_.value("fpga_not_ready").toBool(false) ? BIT(3) : 0));
    case REG_STATUS: {
        if ((regs_[REG_CONTROL3] & BIT(6)) && (regs_[r] & BIT(3))) {
            const double polls = cfg_.value("fpga_stage1_polls").toDouble(0);
            if (double(stage1_reads_) >= polls)
                regs_[r] &= uint8_t(~BIT(3));
            else
                ++stage1_reads_;
        }
        uint8_t v = uint8_t(regs_[r] & ~(BIT(4) | BIT(7)));
        if (regs_[REG_CONTROL3] & BIT(7))
            v |= BIT(4);
        if (regs_[REG_CONTROL23] & BIT(0))
            v |= BIT(7);
        return v;
    }
    case 28: case 29: case 30: case 31: {
        if (r == REG_VERSION3 && regs_[REG_VERSION3])
            return regs_[REG_VERSION3];  // reported after a restart
        const QJsonArray v = cfg_.value("fpga_version").toArray(QJsonArray{1, 0, 0, 33});
        return uint8_t(v.size() > r - 28 ? v[r - 28].toInt(0) : 0);
    }
    case REG_LINK_IN: return cfg_.value("fpga_vbo_locked").toBool(true) ? 0x1C : 0x00;
    case REG_AGE_42: return uint8_t(cfg_.value("fpga_age_r42").toInt(0));
    case REG_AGE_43:
        regs_[r] = uint8_t(regs_[r] + cfg_.value("fpga_age_step").toInt(1));
        return regs_[r];
    case REG_LINK_A:
    case REG_LINK_B: {
        uint8_t v = 0;
        for (int i = 0; i < 8; ++i)
            if (cards_on((r == REG_LINK_B ? 8 : 0) + i) > 0)
                v |= BIT(i);
        return v;
    }
    case REG_WAIT_A:
    case REG_WAIT_B: {
        uint8_t v = 0;
        for (int k = 0; k < 4; ++k)
            if (!answers_[(r == REG_WAIT_B ? 4 : 0) + k].empty())
                v |= BIT(2 * k);
        return v;
    }
    case REG_TRIG_A:
    case REG_TRIG_B: return 0;  // pulses
    default: return regs_[r];
    }
}

void Fpga0Model::write_reg(uint8_t r, uint8_t value, uint8_t mask)
{
    const uint8_t set = value & mask;
    if (r == REG_TRIG_A || r == REG_TRIG_B) {
        const int base = r == REG_TRIG_B ? 4 : 0;
        for (int k = 0; k < 4; ++k) {
            if ((set & BIT(k)) && !answers_[base + k].empty()) {
                answers_[base + k].pop_front();
                load_head(base + k);
            }
            if (set & BIT(4 + k))
                send_pair(base + k);
        }
        update_irq();
        return;
    }
    const uint8_t old = regs_[r];
    regs_[r] = uint8_t((old & ~mask) | set);
    if (r == REG_STATUS && (mask & BIT(6)) && !(set & BIT(6))) {
        restart_unreported_ = false;
        update_irq();
    }
    if (r == REG_CONTROL3 && (set & BIT(2))) {
        brightness_ = regs_[REG_BRIGHTNESS];
        note("brightness " + std::to_string(brightness_));
        for (int p = 0; p < kPorts; ++p) {
            if (cards_on(p) == 0)
                continue;
            std::vector<uint8_t> a = {0x00, 0xF0, 0x00, uint8_t((p % 4) << 4), 0x00, 0x66, 0x01, uint8_t(p + 1),
                                      0x00, 0x30, 0x00, 0};
            bcc(a);
            queue(p, a);
            ++card_brightness_takes_;
        }
    }
}

// ---- frames ------------------------------------------------------------------------------------------

void Fpga0Model::send_pair(int pair)
{
    const bool b = pair >= 4;
    const uint8_t high = uint8_t((regs_[b ? REG_TX_LEN_HIGH_B : REG_TX_LEN_HIGH_A] >> (2 * (pair % 4))) & 3);
    const uint32_t len = (uint32_t(high) << 8 | regs_[kTxLenLow[pair]]) + 1;
    const uint8_t sel = regs_[b ? REG_PORT_SEL_B : REG_PORT_SEL_A];
    int port = -1;
    for (int i = 0; i < 8; ++i)
        if (sel == BIT(i))
            port = (b ? 8 : 0) + i;
    if (port < 0 || port / 2 != pair) {
        note("send on pair " + std::to_string(pair) + " with a wrong port select: dropped");
        return;
    }
    std::vector<uint8_t> f = ram(block_tx(pair), 0, len);
    sent_.push({port, f});
    note("port " + std::to_string(port) + " <- " + hex_bytes(f.data(), f.size()));
    if (f.size() >= 11)
        answer(port, f);
}

void Fpga0Model::answer(int port, const std::vector<uint8_t>& req)
{
    const uint16_t dst = rd16(req.data());
    const QJsonObject vmf = cfg_.value("vmf").toObject();
    if (vmf.value("port").toInt(-1) == port && dst == 0x4000 + (port % 4) * 0x1000) {
        vmf_answer(port, req);
        return;
    }
    int card = dst & 0x0FFF;
    if (card >= 0xFFE)
        card = 0;
    const int count = cards_on(port);
    if (card >= count)
        return;
    std::vector<uint8_t> a;
    if (req[9] == kCmdSearch) {  // to the device's search and to the PC tool's alike
        a = swapped(req, 15);
        a[10] = 0;
        a[11] = uint8_t(count);
        a[12] = uint8_t(count >> 8);
        a[13] = vmf.value("port").toInt(-1) == port ? 1 : 0;
    } else {
        a = swapped(req, req.size() + 1);
        a[10] = 0;
        std::memcpy(a.data() + 11, req.data() + 10, req.size() - 11);
    }
    bcc(a);
    if (cfg_.value("card_bad_checksum").toBool(false))
        a.back() ^= 0xFF;
    queue(port, std::move(a));
}

void Fpga0Model::vmf_answer(int port, const std::vector<uint8_t>& req)
{
    const QJsonObject vmf = cfg_.value("vmf").toObject();
    std::vector<uint8_t> a;
    if (req[9] == kCmdRead && req.size() >= 19) {
        const uint32_t addr = rd32(req.data() + 10);
        if (addr == 0) {
            a = swapped(req, 268);
            a[55] = uint8_t(vmf.value("power_allowed").toInt(1));
        } else {
            a = swapped(req, 140);
            a[60] = vmf.value("reading").toBool(true) ? 0xFF : 0x00;
            a[63] = uint8_t(vmf.value("wanted").toInt(12));
        }
        a[10] = 0;
    } else if (req[9] == kCmdRelay && req.size() >= 15) {
        const int base = req[10] == 0x03 ? 4 : 0;
        for (int k = 0; k < 4; ++k) {
            if (!((req[11] >> (2 * k)) & 3))
                continue;
            const bool on = ((req[13] >> (2 * k)) & 3) == 3;
            relays_ = on ? uint8_t(relays_ | BIT(base + k)) : uint8_t(relays_ & ~BIT(base + k));
        }
        a = swapped(req, 12);
        a[10] = 0;
    } else {
        return;
    }
    bcc(a);
    if (vmf.value("bad_checksum").toBool(false))
        a.back() ^= 0xFF;
    queue(port, std::move(a));
}

void Fpga0Model::queue(int port, std::vector<uint8_t> frame)
{
    const int pair = port / 2;
    answers_[pair].push_back(std::move(frame));
    if (answers_[pair].size() == 1)
        load_head(pair);
    update_irq();
}

void Fpga0Model::load_head(int pair)
{
    if (answers_[pair].empty())
        return;
    const std::vector<uint8_t>& f = answers_[pair].front();
    std::vector<uint8_t>& blk = ram_[block_rx(pair)];
    blk.resize(kBlockSize);
    std::memcpy(blk.data(), f.data(), std::min<size_t>(f.size(), kBlockSize));
    const uint32_t n = uint32_t(f.size() - 1);
    regs_[kRxLenLow[pair]] = uint8_t(n);
    const uint8_t hr = pair >= 4 ? REG_RX_LEN_HIGH_B : REG_RX_LEN_HIGH_A;
    const int sh = 2 * (pair % 4);
    regs_[hr] = uint8_t((regs_[hr] & ~(3 << sh)) | (((n >> 8) & 3) << sh));
}

void Fpga0Model::update_irq()
{
    bool waiting = restart_unreported_;
    for (const auto& q : answers_)
        waiting = waiting || !q.empty();
    board_.soc().set16(pads::PAD_FPGA0_IRQ, (powered_ && waiting) ? 1 : 0);
}

// ---- RAM and transfers ------------------------------------------------------------------------------

std::vector<uint8_t> Fpga0Model::ram(uint8_t block, uint32_t addr, uint32_t len) const
{
    std::vector<uint8_t> out(len, 0);
    auto it = ram_.find(block);
    for (uint32_t i = 0; i < len; ++i) {
        const uint32_t a = (addr + i) % kBlockSize;
        if (it != ram_.end())
            out[i] = it->second[a];
        if (block == BLOCK_PARA && a >= PARA_FPGA_INPUT && a < PARA_FPGA_INPUT + 8) {
            const QJsonArray in = cfg_.value("fpga_input").toArray(QJsonArray{4096, 2160, 833753});
            uint8_t info[8];
            const uint32_t w = uint32_t(in.size() > 0 ? in[0].toInt() : 0), h = uint32_t(in.size() > 1 ? in[1].toInt() : 0);
            const uint32_t c = uint32_t(in.size() > 2 ? in[2].toDouble() : 0);
            const uint8_t v[8] = {uint8_t(w), uint8_t(w >> 8), uint8_t(h), uint8_t(h >> 8),
                                  uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16), uint8_t(c >> 24)};
            std::memcpy(info, v, 8);
            out[i] = info[a - PARA_FPGA_INPUT];
        }
    }
    return out;
}

int Fpga0Model::transfer(const uint8_t* tx, uint8_t* rx, size_t len)
{
    std::memset(rx, 0, len);
    refresh_config();
    if (!selected()) {
        have_word_ = false;
        return 0;
    }
    ++transfers_;
    if (board_.soc().read16(pads::PAD_FPGA0_SEL) == pads::kHigh) {
        if (len >= 4) {
            word_ = uint32_t(tx[0]) | uint32_t(tx[1]) << 8 | uint32_t(tx[2]) << 16 | uint32_t(tx[3]) << 24;
            have_word_ = true;
        }
        return 0;
    }
    if (!have_word_)
        return 0;
    have_word_ = false;
    const uint8_t b0 = uint8_t(word_), b1 = uint8_t(word_ >> 8), b2 = uint8_t(word_ >> 16), b3 = uint8_t(word_ >> 24);
    const bool read = b0 & 1;
    if ((b0 >> 1) == kTypeReg) {
        if (read)
            rx[0] = read_reg(b2);
        else
            write_reg(b2, tx[0], b3);
    } else if ((b0 >> 1) == kTypeRam) {
        const uint32_t addr = uint32_t(b2) | uint32_t(b3 & 0x0F) << 8;
        if (read) {
            const std::vector<uint8_t> d = ram(b1, addr, uint32_t(len));
            std::memcpy(rx, d.data(), len);
        } else {
            std::vector<uint8_t>& blk = ram_[b1];
            blk.resize(kBlockSize);
            for (size_t i = 0; i < len; ++i)
                blk[(addr + i) % kBlockSize] = tx[i];
        }
    }
    update_irq();
    return 0;
}

QJsonObject Fpga0Model::state() const
{
    QJsonObject regs;
    for (int r = 0; r < 256; ++r)
        if (regs_[r])
            regs.insert(QString::number(r), regs_[r]);
    QJsonObject o;
    o.insert("registers", regs);
    o.insert("power_ons", double(power_ons_));
    o.insert("powered", powered_);
    o.insert("frames_sent", double(sent_.total()));
    o.insert("relays", relays_);
    o.insert("brightness", brightness_);
    return o;
}

SIM_DEVICE_INSTALLER(fpga0)
{
    board.add_spi(Fpga0Model::kPath, std::make_shared<Fpga0Model>(board));
}

}  // namespace sim
