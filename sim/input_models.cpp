// The input side of the simulated board: I2C switches, EDID EEPROMs, clock generator, audio
// selector, the SDI board's IT66121 and the SDI receiver's reset line.
#include "sim/input_models.h"

#include <QFile>
#include <cstring>

#include "platform/clock.h"
#include "platform/log_hook.h"
#include "sim/board_inputs.h"
#include "sim/sim_board.h"
#include "video_io/soc_pads.h"

namespace sim {
namespace {

constexpr uint8_t kRxSwitch = 0x77, kEepromSwitch = 0x70, kEeprom = 0x50, kClockGen = 0x68;
constexpr uint8_t kAudioSelector = 0x20, kIt66121 = 0x4C;
constexpr uint8_t kEepromChannel[6] = {0x01, 0x02, 0x04, 0x08, 0x20, 0x10};
constexpr uint8_t kClockGenChannel = 0x80;
constexpr int kPage = 8;

uint64_t now_us() { return platform::clock().now_us(); }

// A switch that NACKs while its board.json key is false.
class GatedSwitch : public I2cSwitch {
public:
    GatedSwitch(SimBoard& b, const std::string& name, const char* key) : I2cSwitch(name), b_(b), key_(key) {}
    bool i2c_write(const uint8_t* d, size_t n) override { return present() && I2cSwitch::i2c_write(d, n); }
    bool i2c_read(uint8_t* d, size_t n) override { return present() && I2cSwitch::i2c_read(d, n); }

private:
    bool present() const { return !key_ || b_.config().value(key_).toBool(true); }
    SimBoard& b_;
    const char* key_;
};

class ClockGenModel : public RegChipModel {
public:
    explicit ClockGenModel(SimBoard& b) : RegChipModel(b, "clkgen", "clkgen") {}

protected:
    // The first "clkgen_nack" writes are refused.
    bool refuse_write() override
    {
        const int n = board_.config().value("clkgen_nack").toInt(0);
        return refused_++ < uint64_t(n > 0 ? n : 0);
    }

private:
    uint64_t refused_ = 0;
};

class It66121Model : public RegChipModel {
public:
    explicit It66121Model(SimBoard& b) : RegChipModel(b, "it66121", "it66121") { reset(); }
    void reset() override
    {
        RegChipModel::reset();
        set_reg(0x00, 0x54);
        set_reg(0x01, 0x49);
    }
};

}  // namespace

std::shared_ptr<I2cSwitch> rx_switch(SimBoard& board)
{
    if (auto d = std::dynamic_pointer_cast<I2cSwitch>(board.device("i2c_switch_rx")))
        return d;
    auto sw = std::make_shared<GatedSwitch>(board, "i2c_switch_rx", nullptr);
    board.add_i2c(kRxSwitch, sw);
    return sw;
}

// ---- byte-register chips ---------------------------------------------------------------------

RegChipModel::RegChipModel(SimBoard& board, std::string name, const char* present_key)
    : I2cModel(std::move(name)), board_(board), present_key_(present_key)
{
}

bool RegChipModel::present() const { return board_.config().value(present_key_).toBool(true); }

bool RegChipModel::i2c_write(const uint8_t* data, size_t len)
{
    if (!present() || len == 0 || refuse_write())
        return false;
    note_bytes("W", data, len);
    ptr_ = data[0];
    for (size_t i = 1; i < len; ++i, ++writes_)
        regs_[ptr_++] = data[i];
    return true;
}

bool RegChipModel::i2c_read(uint8_t* data, size_t len)
{
    if (!present())
        return false;
    for (size_t i = 0; i < len; ++i)
        data[i] = regs_[ptr_++];
    note("R " + std::to_string(len));
    return true;
}

QJsonObject RegChipModel::state() const
{
    QJsonObject o = set_registers(regs_);
    o.insert("writes", double(writes_));
    return o;
}

void RegChipModel::reset()
{
    std::memset(regs_, 0, sizeof regs_);
    ptr_ = 0;
    writes_ = 0;
}

// ---- EEPROM ----------------------------------------------------------------------------------

EepromModel::EepromModel(SimBoard& board, int s)
    : I2cModel("edid_eeprom_" + std::to_string(s)), board_(board), s_(s),
      path_(board.sim_dir() + "/edid" + std::to_string(s) + ".bin")
{
    std::memset(mem_, 0xFF, sizeof mem_);
    QFile f(QString::fromStdString(path_));
    if (f.open(QIODevice::ReadOnly)) {
        const QByteArray b = f.read(sizeof mem_);
        std::memcpy(mem_, b.constData(), size_t(b.size()));
    }
}

std::string EepromModel::mode() const
{
    return board_input(board_.config(), s_).raw.value("eeprom").toString("ok").toStdString();
}

bool EepromModel::busy() const { return now_us() < busy_until_us_; }

// Each page is written in place, as the chip stores it: a process that ends in the middle of
// a write leaves the pages not yet written as they were. A new (or short) file is written
// whole once.
void EepromModel::save_page(uint8_t page) const
{
    QFile f(QString::fromStdString(path_));
    if (!f.open(QIODevice::ReadWrite))
        return;
    if (f.size() < qint64(sizeof mem_)) {
        f.write(reinterpret_cast<const char*>(mem_), sizeof mem_);
        return;
    }
    if (f.seek(page))
        f.write(reinterpret_cast<const char*>(mem_ + page), kPage);
}

// {offset, data...}: the data wrap inside the offset's 8-byte page. Acknowledged but not
// stored while write-protected or read-only; no answer during the write cycle.
bool EepromModel::i2c_write(const uint8_t* data, size_t len)
{
    if (len == 0 || mode() == "absent" || busy())
        return false;
    ptr_ = data[0];
    if (len == 1)
        return true;
    note_bytes("W", data, len);
    const bool protect = board_.soc().read16(pads::PAD_EDID_WP) == pads::kHigh || mode() == "read_only";
    if (!protect) {
        const uint8_t page = uint8_t(ptr_ & ~(kPage - 1));
        uint8_t at = ptr_;
        for (size_t i = 1; i < len; ++i) {
            mem_[at] = data[i];
            at = uint8_t(page | ((at + 1) & (kPage - 1)));
        }
        save_page(page);
        ++page_writes_;
    }
    busy_until_us_ = now_us() + kWriteCycleUs;
    return true;
}

bool EepromModel::i2c_read(uint8_t* data, size_t len)
{
    if (mode() == "absent" || busy())
        return false;
    for (size_t i = 0; i < len; ++i)
        data[i] = mem_[ptr_++];
    return true;
}

QJsonObject EepromModel::state() const
{
    QJsonArray a;
    for (uint8_t b : mem_)
        a.append(b);
    return {{"bytes", a}, {"page_writes", double(page_writes_)}};
}

// ---- SDI receiver ----------------------------------------------------------------------------

SdiRxModel::SdiRxModel(SimBoard& board) : Device("sdi_rx")
{
    board.soc().watch(pads::PAD_SDI_RST, [this](uint32_t, uint16_t v) {
        std::lock_guard<std::recursive_mutex> lk(device_lock());
        line(v);
    });
}

void SdiRxModel::line(uint16_t v)
{
    const uint16_t level = v ? 1 : 0;
    if (level == level_)
        return;
    level_ = level;
    if (!level) {
        low_since_us_ = now_us();
        return;
    }
    ++pulses_;
    last_low_us_ = now_us() - low_since_us_;
    note("pulse " + std::to_string(last_low_us_ / 1000) + " ms");
}

QJsonObject SdiRxModel::state() const
{
    return {{"level", level_}, {"pulses", double(pulses_)}, {"last_low_ms", double(last_low_us_ / 1000)}};
}

// ---- wiring ----------------------------------------------------------------------------------

SIM_DEVICE_INSTALLER(inputs)
{
    rx_switch(board);
    auto eeprom_sw = std::make_shared<GatedSwitch>(board, "i2c_switch_eeprom", "eeprom_switch");
    board.add_i2c(kEepromSwitch, eeprom_sw);
    for (int s = 0; s < 6; ++s)
        board.add_i2c(kEeprom, std::make_shared<EepromModel>(board, s), eeprom_sw, kEepromChannel[s]);
    board.add_i2c(kClockGen, std::make_shared<ClockGenModel>(board), eeprom_sw, kClockGenChannel);
    board.add_i2c(kAudioSelector, std::make_shared<RegChipModel>(board, "audio_selector", "audio_selector"));
    board.add_i2c(kIt66121, std::make_shared<It66121Model>(board));
    board.add_device(std::make_shared<SdiRxModel>(board));
}

}  // namespace sim
