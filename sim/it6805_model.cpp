// Simulated IT6805 receivers and their CEC controllers (see it6805_model.h).
#include "sim/it6805_model.h"

#include <QJsonArray>
#include <QStringList>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "sim/input_models.h"
#include "sim/sim_board.h"
#include "video_io/soc_pads.h"

namespace sim {
namespace {

constexpr uint8_t kId[5] = {0x54, 0x49, 0x05, 0x68, 0xA0};

bool write1_to_clear(uint8_t r)
{
    return (r >= 0x05 && r <= 0x0E) || (r >= 0x10 && r <= 0x12) || r == 0x1D || r == 0xD4 || r == 0xD5 ||
           r == 0xB9 || r == 0xBE;
}

int colour_of(const QJsonObject& raw)
{
    const QJsonValue v = raw.value("colour");
    if (v.isDouble())
        return v.toInt() & 3;
    const QString s = v.toString();
    if (s == "yuv422")
        return 1;
    if (s == "yuv444")
        return 2;
    if (s == "yuv420")
        return 3;
    return 0;
}

double audio_khz_of(const QJsonObject& raw) { return raw.contains("audio_khz") ? raw.value("audio_khz").toDouble(48) : 48; }

// Channel-status sampling-frequency code of a rate in kHz.
uint8_t fs_code(double khz)
{
    if (khz == 32)
        return 0x03;
    if (khz > 44 && khz < 45)
        return 0x00;
    if (khz == 96)
        return 0x0A;
    if (khz == 192)
        return 0x0E;
    return 0x02;
}

}  // namespace

// ---- receiver -------------------------------------------------------------------------------

It6805Model::It6805Model(SimBoard& board, int device)
    : I2cModel("it6805_" + std::to_string(device)), board_(board), device_(device)
{
    power_on();
}

void It6805Model::power_on()
{
    std::memset(regs_, 0, sizeof regs_);
    ptr_ = 0;
    zero_reads_ = 0;
    sample_ = 0;
    efuse_[0] = efuse_[1] = 0;
    last_video_ = last_scdt_ = false;
    last_cable_ = in_.cable;
    last_colour_ = colour_of(in_.raw);
    last_format_.clear();
}

void It6805Model::reset()
{
    power_on();
    released_ = false;
}

void It6805Model::sync()
{
    if (board_.config_generation() != seen_generation_) {
        seen_generation_ = board_.config_generation();
        in_ = board_input(board_.config(), 4 + device_);
    }
    if (in_.cable != last_cable_) {
        last_cable_ = in_.cable;
        regs_[0][0x05] |= 0x01;  // 5 V change
    }
    const int colour = colour_of(in_.raw);
    if (colour != last_colour_) {
        last_colour_ = colour;
        regs_[0][0x12] |= 0x01;  // new AVI infoframe
    }
    const bool v = video();
    const std::string format = std::to_string(in_.hactive) + "x" + std::to_string(in_.vactive) + "/" +
                               std::to_string(in_.htotal) + "x" + std::to_string(in_.vtotal) + "@" +
                               std::to_string(in_.pclk_khz) + (in_.interlaced ? "i" : "p");
    if (v && last_video_ && format != last_format_) {
        zero_reads_ = 3;          // the sync drops while the source changes its timing
        regs_[0][0x10] |= 0x02;
    }
    last_format_ = format;
    if (v && !last_video_) {
        regs_[0][0x05] |= 0x06;   // clock on, clock change
        regs_[0][0x06] |= 0x01;   // symbol lock change
    }
    last_video_ = v;
    const bool scdt = v && zero_reads_ == 0;
    if (scdt != last_scdt_) {
        last_scdt_ = scdt;
        regs_[0][0x10] |= 0x02;
    }
}

bool It6805Model::answers()
{
    sync();
    if (board_.soc().read16(pads::PAD_RX6805_RST) == pads::kLow) {
        released_ = false;
        return false;
    }
    if (!released_) {
        released_ = true;
        power_on();
        sync();
    }
    return in_.receiver;
}

bool It6805Model::video() const { return in_.cable && in_.signal && hpd_high(); }

uint32_t It6805Model::pclk_sum() const
{
    return in_.pclk_khz ? uint32_t(uint64_t(10240) * kRclk / in_.pclk_khz) : 0;
}

uint8_t It6805Model::timing_reg(uint8_t r) const
{
    // An interlaced source is measured per field: every vertical count is a field's.
    const int div = in_.interlaced ? 2 : 1;
    const int vt = in_.vtotal / div, va = in_.vactive / div, vs = in_.vsync / div, vf = in_.vfront / div;
    switch (r) {
    case 0x9B: return uint8_t(in_.htotal);
    case 0x9C: return uint8_t((in_.htotal >> 8) & 0x3F);
    case 0x9D: return uint8_t(in_.hactive);
    case 0x9E: return uint8_t((in_.hactive >> 8) & 0x3F);
    case 0x9F: return uint8_t(in_.hsync);
    case 0xA0: return uint8_t(in_.hfront);
    case 0xA1: return uint8_t(((in_.hfront >> 8) & 0x0F) << 4 | ((in_.hsync >> 8) & 0x01));
    case 0xA2: return uint8_t(vt);
    case 0xA3: return uint8_t((vt >> 8) & 0x3F);
    case 0xA4: return uint8_t(va);
    case 0xA5: return uint8_t((va >> 8) & 0x3F);
    case 0xA6: return uint8_t(vs);
    case 0xA7: return uint8_t(vf);
    case 0xA8: return uint8_t(((vf >> 8) & 0x0F) << 4 | ((vs >> 8) & 0x01));
    default: return 0;
    }
}

uint8_t It6805Model::audio_reg(uint8_t r) const
{
    const double khz = audio_khz_of(in_.raw);
    const uint32_t n = uint32_t(std::lround(128.0 * khz));
    const uint32_t cts = in_.pclk_khz;
    switch (r) {
    case 0xBE: return uint8_t(n >> 12);
    case 0xBF: return uint8_t(n >> 4);
    case 0xC0: return uint8_t((n & 0x0F) | (cts & 0x0F) << 4);
    case 0xC1: return uint8_t(cts >> 12);
    case 0xC2: return uint8_t(cts >> 4);
    default: return 0;
    }
}

uint8_t It6805Model::bit_errors(bool high) const
{
    const int ch = (regs_[3][0xE9] >> 5) & 0x03;
    int count = 0;
    if (in_.raw.contains("eq_best") && ch < 3 &&
        (regs_[3][0x27 + ch] & 0x7F) != (in_.raw.value("eq_best").toInt() & 0x7F))
        count = 0x300;
    return high ? uint8_t(0x80 | (count >> 8)) : uint8_t(count);
}

uint8_t It6805Model::read_reg(uint8_t r)
{
    const uint8_t b = bank();
    if (r == 0x0F)
        return regs_[0][0x0F];
    if (r <= 0x04)
        return kId[r];
    const bool v = video();
    if (b == 0) {
        const uint32_t tmds = v ? in_.pclk_khz : 0;
        uint8_t mult_bits = 0, sum = 0;
        if (tmds) {
            static constexpr struct { uint32_t mult; uint8_t bits; } kMult[] = {{1024, 0x80}, {512, 0x40}, {256, 0x20}, {128, 0}};
            for (const auto& m : kMult) {
                const uint32_t val = uint32_t((uint64_t(kRclk) * m.mult + tmds / 2) / tmds);
                if (val >= 1 && val <= 256) {
                    mult_bits = m.bits;
                    sum = uint8_t(val - 1);
                    break;
                }
            }
        }
        switch (r) {
        case 0x13: return in_.cable ? (v ? (in_.hdmi ? 0xBF : 0xBD) : 0x01) : 0x00;
        case 0x14: return v ? uint8_t(0x38 | (in_.pclk_khz > 340000 ? 0x40 : 0)) : 0;
        case 0x15: case 0x16: case 0x17: case 0x18: return 0;
        case 0x19:
            if (v && zero_reads_ > 0) {
                // The drop lasts until the driver has taken the sync interrupt and then
                // looked three more times, so whichever code reads first cannot hide it.
                if (!(regs_[0][0x10] & 0x02))
                    --zero_reads_;
                return 0;
            }
            return v ? 0x82 : 0x00;
        case 0x43: return uint8_t((regs_[0][0x43] & 0x1F) | mult_bits);
        case 0x48: return sum;
        case 0x98: return uint8_t((regs_[0][0x98] & ~0x02) | (in_.interlaced ? 0x02 : 0));
        case 0xAA: return uint8_t((in_.hpol ? 0x20 : 0) | (in_.vpol ? 0x40 : 0));
        case 0xB1: return (v && audio_khz_of(in_.raw) > 0) ? 0x81 : 0x00;
        case 0xB5: return fs_code(audio_khz_of(in_.raw));
        default: break;
        }
        if (r >= 0x9B && r <= 0xA8)
            return v ? timing_reg(r) : 0;
    } else if (b == 1) {
        if (r == 0x60)
            return 0x19;
        if (r == 0x61 || r == 0x62)
            return efuse_[r - 0x61];
    } else if (b == 2) {
        if (r == 0x15)
            return uint8_t(colour_of(in_.raw) << 5);
        if (r >= 0xBE && r <= 0xC2)
            return v ? audio_reg(r) : 0;
    } else if (b == 3) {
        if (r == 0xEA || r == 0xEB)
            return v ? bit_errors(r == 0xEB) : 0;
    } else if (b == 5) {
        if (r == 0xDB)
            return 0x10;
    }
    return regs_[b][r];
}

void It6805Model::write_reg(uint8_t r, uint8_t v)
{
    const uint8_t b = bank();
    if (r == 0x0F) {
        regs_[0][0x0F] = v;
        return;
    }
    if (b == 0 && write1_to_clear(r)) {
        regs_[0][r] &= uint8_t(~v);
        return;
    }
    if (b == 0 && r == 0x9A && !(v & 0x80)) {
        const uint32_t total = pclk_sum();
        const uint32_t s = total / 20 + (sample_ < total % 20 ? 1 : 0);
        sample_ = (sample_ + 1) % 20;
        regs_[0][0x99] = uint8_t(s);
        v = uint8_t((v & 0xFC) | ((s >> 8) & 0x03));
    }
    if (b == 1 && r == 0x54 && v == 0x04) {
        const bool rclk = regs_[1][0x50] == 0x00 && regs_[1][0x51] == 0xB0;
        efuse_[0] = rclk ? 0x20 : 0x00;
        efuse_[1] = rclk ? 0x4E : 0x00;
    }
    if ((b == 3 || b == 7) && r == 0x3A && (v & 0x80))
        regs_[0][b == 3 ? 0x08 : 0x0D] |= 0x10;  // offset calibration done
    if ((b == 3 || b == 7) && r == 0x22 && (v & 0x04))
        regs_[0][b == 3 ? 0x07 : 0x0C] |= 0x40;  // EQ done
    regs_[b][r] = v;
}

bool It6805Model::i2c_write(const uint8_t* data, size_t len)
{
    if (!answers() || len == 0)
        return false;
    ptr_ = data[0];
    note_bytes("W", data, len);
    for (size_t i = 1; i < len; ++i)
        write_reg(ptr_++, data[i]);
    sync();
    return true;
}

bool It6805Model::i2c_read(uint8_t* data, size_t len)
{
    if (!answers())
        return false;
    for (size_t i = 0; i < len; ++i)
        data[i] = read_reg(ptr_++);
    return true;
}

QJsonObject It6805Model::state() const
{
    QJsonObject banks;
    for (int b = 0; b < 8; ++b)
        banks[QString::number(b)] = set_registers(regs_[b]);
    return QJsonObject{{"banks", banks}, {"input", in_.raw}, {"hot_plug", hpd_high() ? 1 : 0},
                       {"released", released_}};
}

// ---- CEC controller -------------------------------------------------------------------------

It6805CecModel::It6805CecModel(SimBoard& board, int device)
    : I2cModel("it6805_cec_" + std::to_string(device)), board_(board), device_(device)
{
}

void It6805CecModel::reset()
{
    std::memset(regs_, 0, sizeof regs_);
    queue_.clear();
    operands_.clear();
    sent_.clear();
}

// Scripted frames arrive once per change of the "cec_in" list's text.
void It6805CecModel::sync()
{
    if (board_.config_generation() == seen_generation_)
        return;
    seen_generation_ = board_.config_generation();
    in_ = board_input(board_.config(), 4 + device_);
    QStringList frames;
    for (const QJsonValue& v : in_.raw.value("cec_in").toArray())
        frames << v.toString();
    const QString text = frames.join('|');
    if (text == last_cec_in_)
        return;
    last_cec_in_ = text;
    for (const QString& f : frames) {
        std::vector<uint8_t> bytes;
        for (const QString& h : f.split(' ', Qt::SkipEmptyParts))
            bytes.push_back(uint8_t(h.toUInt(nullptr, 16)));
        if (!bytes.empty()) {
            queue_.push_back(bytes);
            regs_[0x4C] |= 0x04;
        }
    }
}

bool It6805CecModel::answers()
{
    sync();
    return in_.receiver && in_.raw.value("cec").toBool(true) && board_.soc().read16(pads::PAD_RX6805_RST) != pads::kLow;
}

bool It6805CecModel::i2c_write(const uint8_t* data, size_t len)
{
    if (!answers() || len == 0)
        return false;
    ptr_ = data[0];
    note_bytes("W", data, len);
    for (size_t i = 1; i < len; ++i, ++ptr_) {
        const uint8_t r = ptr_, v = data[i];
        if (r == 0x4C) {
            regs_[r] &= uint8_t(~v);
        } else if (r == 0x52 && (v == 0x60 || v == 0xE0 || v == 0x80)) {
            queue_.clear();
            operands_.clear();
        } else {
            regs_[r] = v;
        }
        if (r == 0x08 && (v & 0x88) == 0x88) {
            const size_t n = std::min<size_t>(regs_[0x23], 0x23 - 0x10);
            std::string frame = hex_bytes(regs_ + 0x10, n);
            for (char& c : frame)
                c = char(std::toupper(static_cast<unsigned char>(c)));
            sent_.push(frame);
            regs_[0x4C] |= 0x08;
        }
    }
    return true;
}

bool It6805CecModel::i2c_read(uint8_t* data, size_t len)
{
    if (!answers())
        return false;
    if (ptr_ == 0x4D) {  // pops the next frame's header
        header_[0] = header_[1] = header_[2] = 0;
        operands_.clear();
        if (!queue_.empty()) {
            const std::vector<uint8_t> f = queue_.front();
            queue_.pop_front();
            header_[0] = f[0];
            header_[1] = f.size() > 1 ? f[1] : 0;
            header_[2] = uint8_t(f.size() & 0x1F);
            for (size_t i = 2; i < f.size(); ++i)
                operands_.push_back(f[i]);
        }
    }
    for (size_t i = 0; i < len; ++i) {
        if (ptr_ == 0x50) {  // FIFO port: no increment
            data[i] = operands_.empty() ? 0 : operands_.front();
            if (!operands_.empty())
                operands_.pop_front();
            continue;
        }
        if (ptr_ >= 0x4D && ptr_ <= 0x4F)
            data[i] = header_[ptr_ - 0x4D];
        else if (ptr_ == 0x52)
            data[i] = uint8_t(std::min<size_t>(queue_.size(), 15));
        else if (ptr_ == 0x51 || ptr_ == 0x54)
            data[i] = 0;
        else
            data[i] = regs_[ptr_];
        ++ptr_;
    }
    return true;
}

QJsonObject It6805CecModel::state() const
{
    const QJsonObject regs = set_registers(regs_);
    QJsonArray sent;
    for (const std::string& s : sent_)
        sent.append(QString::fromStdString(s));
    return QJsonObject{{"registers", regs}, {"cec_sent", sent}, {"queued", int(queue_.size())}};
}

void install_it6805(SimBoard& board, const std::shared_ptr<I2cSwitch>& rx_switch)
{
    static constexpr uint8_t kChannel[2] = {0x20, 0x10};
    for (int d = 0; d < 2; ++d) {
        board.add_i2c(It6805Model::kAddr7, std::make_shared<It6805Model>(board, d), rx_switch, kChannel[d]);
        board.add_i2c(It6805CecModel::kAddr7, std::make_shared<It6805CecModel>(board, d), rx_switch, kChannel[d]);
    }
}

}  // namespace sim

SIM_DEVICE_INSTALLER(it6805)
{
    sim::install_it6805(board, sim::rx_switch(board));
}
