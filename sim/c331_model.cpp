#include "sim/c331_model.h"

#include <QJsonArray>
#include <cstring>

#include "sim/c331_inputs.h"
#include "sim/sim_board.h"

namespace sim {

namespace {
// Status registers (bank, register) and the value that ends a wait on them at once.
struct StatusReg {
    uint8_t bank, reg, value;
};
constexpr StatusReg kStatus[] = {
    {0x05, 0x22, 0xFF},  // input vertical sync seen, every channel
    {0x05, 0x23, 0xFF},  // output vertical sync seen, every channel
    {0xB2, 0x63, 0xA0},  // V-by-One receivers 0 and 1 locked
};
constexpr uint8_t kIdBank = 0xB2, kIdReg = 0x08, kIdValue = 0x24;
// Horizontal shrink tables: the set number in bank 0 0x79, loaded into input channel t by
// writing 131 + 4t to 0x7A.
constexpr uint8_t kHshrinkSetReg = 0x79, kHshrinkLoadReg = 0x7A, kHshrinkLoadFirst = 131, kHshrinkLoadStep = 4;
}  // namespace

C331Model::C331Model(SimBoard& board)
    : SpiModel("c331"),
      board_(board),
      inputs_(std::make_unique<C331InputSide>(board)),
      osd_flash_(std::make_unique<C331OsdFlash>(board, regs_, record()))
{
    reset();
}

C331Model::~C331Model() = default;

void C331Model::reset()
{
    std::memset(regs_, 0, sizeof regs_);
    std::memset(hshrink_set_, 0, sizeof hshrink_set_);
    bank_ = 0;
    log_ = Ring<Write>();
    id_reads_ = 0;
    ignored_frames_ = 0;
    osd_flash_->reset();
}

bool C331Model::selected() const
{
    return board_.soc().read16(kPadMuxA) == kPadSelected && board_.soc().read16(kPadMuxB) == kPadSelected;
}

uint8_t C331Model::read_reg(uint8_t r)
{
    if (r == 0)
        return static_cast<uint8_t>(bank_);
    if (bank_ == kIdBank && r == kIdReg) {
        const uint64_t fail = static_cast<uint64_t>(board_.config().value("c331_id_fail_reads").toInt(0));
        return id_reads_++ < fail ? 0x00 : kIdValue;
    }
    uint8_t measured;
    if (inputs_->read(static_cast<uint8_t>(bank_), r, regs_, measured))
        return measured;
    uint8_t v = 0;
    if (osd_flash_->read(static_cast<uint8_t>(bank_), r, &v))
        return v;
    for (const StatusReg& s : kStatus)
        if (s.bank == bank_ && s.reg == r)
            return s.value;
    return regs_[bank_][r];
}

void C331Model::write_reg(uint8_t r, uint8_t v)
{
    if (r == 0)
        bank_ = v;
    regs_[bank_][r] = v;
    if (bank_ == 0 && r == kHshrinkLoadReg && v >= kHshrinkLoadFirst && (v - kHshrinkLoadFirst) % kHshrinkLoadStep == 0) {
        const int t = (v - kHshrinkLoadFirst) / kHshrinkLoadStep;
        if (t < 8)
            hshrink_set_[t] = regs_[0][kHshrinkSetReg];
    }
    osd_flash_->wrote(static_cast<uint8_t>(bank_), r, v);
    log_.push(Write{static_cast<uint8_t>(bank_), r, v});
}

int C331Model::transfer(const uint8_t* tx, uint8_t* rx, size_t len)
{
    std::memset(rx, 0xFF, len);
    if (!selected()) {
        // The bus is steered elsewhere: the chip sees nothing.
        ++ignored_frames_;
        return 0;
    }
    for (size_t i = 0; i + 1 < len; i += 2) {
        const uint8_t r = tx[i] & 0x7F;
        if (tx[i] & 0x80)
            write_reg(r, tx[i + 1]);
        else
            rx[i + 1] = read_reg(r);
    }
    return 0;
}

uint32_t C331Model::value(uint32_t regid, uint32_t choffs) const
{
    const uint8_t bank = static_cast<uint8_t>(((regid >> 16) & 0xFF) + choffs);
    const uint32_t first = (regid >> 8) & 0x7F;
    const uint32_t count = regid & 0xFF;
    uint32_t v = 0;
    for (uint32_t i = 0; i < count && i < 4; ++i)
        v |= static_cast<uint32_t>(regs_[bank][(first + i) & 0x7F]) << (8 * i);
    return v;
}

std::vector<C331Model::Write> C331Model::writes() const
{
    return log_.to_vector();
}

void C331Model::clear_writes()
{
    log_.clear();
}

QJsonObject C331Model::state() const
{
    QJsonObject banks;
    for (int b = 0; b < 256; ++b) {
        const QJsonObject regs = set_registers(regs_[b], 1, 127);
        if (!regs.isEmpty())
            banks.insert(QString::asprintf("0x%02X", b), regs);
    }
    QJsonArray recent;
    for (const Write& w : log_)
        recent.append(QString::asprintf("%02X%02X=%02X", w.bank, w.reg, w.value));
    QJsonArray reads;
    for (int k = 0; k < 8; ++k) {
        const OchRead r = och_read(k);
        reads.append(QJsonObject{{"ich", r.ich},          {"x", double(r.x)},   {"line", double(r.line)},
                                 {"hdir", r.hdir},        {"vdir", r.vdir},     {"hw", double(r.hw)},
                                 {"vw", double(r.vw)},    {"hzoom", double(r.hzoom)}, {"vzoom", double(r.vzoom)}});
    }
    QJsonArray osd;
    for (int k = 0; k < 8; ++k) {
        const OsdRead r = osd_read(k);
        osd.append(QJsonObject{{"on", r.on},           {"x", double(r.x)},         {"y", double(r.y)},
                               {"w", double(r.w)},     {"h", double(r.h)},         {"addr", double(r.addr)},
                               {"pitch", double(r.pitch)}, {"hzoom", r.hzoom},     {"vzoom", r.vzoom}});
    }
    QJsonArray hshrink;
    for (uint8_t set : hshrink_set_)
        hshrink.append(set);
    QJsonObject o;
    o.insert("och_reads", reads);
    o.insert("osd_reads", osd);
    o.insert("hshrink_sets", hshrink);
    o.insert("selected_bank", bank_);
    o.insert("total_writes", static_cast<double>(log_.total()));
    o.insert("id_reads", static_cast<double>(id_reads_));
    o.insert("ignored_frames", static_cast<double>(ignored_frames_));
    o.insert("banks", banks);
    o.insert("recent_writes", recent);
    return o;
}

SIM_DEVICE_INSTALLER(c331)
{
    board.add_spi(C331Model::kPath, std::make_shared<C331Model>(board));
}

}  // namespace sim
