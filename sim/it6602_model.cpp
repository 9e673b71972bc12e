// Simulated IT6602 receiver: register banks, latched events and the measured timing of the
// scripted input.
#include "sim/it6602_model.h"

#include <QJsonArray>
#include <cstring>

#include "sim/board_inputs.h"
#include "sim/input_models.h"
#include "sim/sim_board.h"
#include "video_io/soc_pads.h"

namespace sim {
namespace {
constexpr uint8_t kId[4] = {0x54, 0x49, 0x02, 0x68};
constexpr uint8_t kChannel[4] = {0x01, 0x02, 0x04, 0x08};
constexpr uint8_t REG_BANK = 0x0F, INT0 = 0x05, INT2 = 0x07, REG_STATUS0 = 0x0A, REG_HDMI = 0x0D;
constexpr uint8_t REG_PORT_RESET0 = 0x11, HPD = 0xB0, kIntEq = 0xD0;

bool write_one_to_clear(uint8_t r) { return (r >= 0x05 && r <= 0x09) || r == kIntEq; }

// The input's identity for the sync latch: video on/off and the whole timing.
std::string video_key(const SimInput& in)
{
    if (!in.video())
        return "off";
    return std::to_string(in.hactive) + "/" + std::to_string(in.vactive) + "/" + std::to_string(in.htotal) + "/" +
           std::to_string(in.vtotal) + "/" + std::to_string(in.pclk_khz) + "/" + std::to_string(in.interlaced);
}
}  // namespace

It6602Model::It6602Model(SimBoard& board, int s) : I2cModel("it6602_" + std::to_string(s)), board_(board), s_(s)
{
    reset();
    board.soc().watch(pads::PAD_RX6602_RST, [this](uint32_t, uint16_t v) {
        std::lock_guard<std::recursive_mutex> lk(device_lock());
        if (v == pads::kHigh)
            reset();
    });
}

void It6602Model::reset()
{
    std::memset(regs_, 0, sizeof regs_);
    ptr_ = 0;
    const SimInput in = board_input(board_.config(), s_);
    seen_cable_ = in.cable;
    seen_video_ = video_key(in);
    if (in.cable)
        regs_[0][INT0] |= 0x01;
}

bool It6602Model::answering() const
{
    return board_.soc().read16(pads::PAD_RX6602_RST) == pads::kHigh && board_input(board_.config(), s_).receiver;
}

uint8_t* It6602Model::cell(uint8_t r)
{
    const int bank = r < 0x10 ? 0 : regs_[0][REG_BANK] & 3;
    return &regs_[bank > 2 ? 2 : bank][r];
}

void It6602Model::follow_input()
{
    const SimInput in = board_input(board_.config(), s_);
    if (in.cable != seen_cable_) {
        seen_cable_ = in.cable;
        regs_[0][INT0] |= 0x01;
    }
    const std::string key = video_key(in);
    if (key != seen_video_) {
        seen_video_ = key;
        regs_[0][INT2] |= 0x02;
    }
}

// Registers 0x90..0xA8 from the scripted timing; an interlaced input reports one field (every
// vertical count a field's).
uint8_t It6602Model::timing_reg(uint8_t r) const
{
    const SimInput in = board_input(board_.config(), s_);
    if (!in.video())
        return 0;
    const int vtotal = in.interlaced ? in.vtotal / 2 : in.vtotal;
    const int vact = in.interlaced ? in.vactive / 2 : in.vactive;
    const int vfront = in.interlaced ? in.vfront / 2 : in.vfront;
    const int vsync = in.interlaced ? in.vsync / 2 : in.vsync;
    const uint32_t khz = in.pclk_khz ? in.pclk_khz : 1;
    switch (r) {
    case 0x90: return 0x02;  // TMDS range 2: 12288 / divisor
    case 0x91: return uint8_t(std::min<uint64_t>(255, uint64_t(12288) * 1000 / khz));
    case 0x99: return uint8_t(in.interlaced ? 0x02 : 0x00);
    case 0x9A: return uint8_t(std::min<uint64_t>(255, (uint64_t(3162) * 1000 + khz / 2) / khz));
    case 0x9C: return uint8_t(in.htotal);
    case 0x9D: return uint8_t((in.htotal >> 8) & 0x3F);
    case 0x9E: return uint8_t(in.hactive);
    case 0x9F: return uint8_t((in.hactive >> 8) & 0x3F);
    case 0xA0: return uint8_t(in.hsync);
    case 0xA1: return uint8_t(((in.hfront >> 8) & 0x0F) << 4 | ((in.hsync >> 8) & 1));
    case 0xA2: return uint8_t(in.hfront);
    case 0xA3: return uint8_t(vtotal);
    case 0xA4: return uint8_t(((vact >> 8) & 0x0F) << 4 | ((vtotal >> 8) & 0x0F));
    case 0xA5: return uint8_t(vact);
    case 0xA6: return uint8_t(vsync & 0x1F);
    case 0xA7: return uint8_t(vfront & 0x3F);
    case 0xA8: return uint8_t((in.vpol ? 0x08 : 0) | (in.hpol ? 0x01 : 0));
    default: return 0;
    }
}

uint8_t It6602Model::read_reg(uint8_t r)
{
    const SimInput in = board_input(board_.config(), s_);
    const int bank = r < 0x10 ? 0 : regs_[0][REG_BANK] & 3;
    if (r < 4)
        return kId[r];
    if (r == REG_STATUS0)
        return uint8_t(in.cable ? (in.video() ? 0x89 : 0x01) : 0x00);
    if (r == 0x0B)
        return 0;
    if (r == REG_HDMI)
        return in.video() && in.hdmi ? 0x01 : 0x00;
    if (bank == 0 && r >= 0x90 && r <= 0xA8)
        return timing_reg(r);
    if (bank == 0 && r == kIntEq) {
        const uint8_t v = *cell(r);
        *cell(r) = uint8_t(v & 0x0F);
        return v;
    }
    if (bank == 0 && r == 0xAA)
        return in.video() && in.hdmi ? 0x80 : 0x00;
    if (bank == 0 && r >= 0xB2 && r <= 0xB6)
        return uint8_t(std::min(255, std::max(0, in.raw.value("link_errors").toInt(0))));
    if (bank == 2 && r >= 0xC0 && r <= 0xC2) {
        const uint32_t khz = in.video() ? in.pclk_khz : 0;
        return r == 0xC1 ? uint8_t(khz / 4096) : r == 0xC2 ? uint8_t(khz % 4096 / 16) : uint8_t(khz % 16 * 16);
    }
    if (bank == 2 && r == 0x15) {
        const QString c = in.raw.value("colour").toString("rgb");
        return uint8_t((c == "yuv422" ? 1 : c == "yuv444" ? 2 : 0) << 5);
    }
    if (bank == 2 && r == 0x16)
        return 0x80;
    if (bank == 2 && r == 0x18)
        return 16;
    return *cell(r);
}

void It6602Model::write_reg(uint8_t r, uint8_t v)
{
    const int bank = r < 0x10 ? 0 : regs_[0][REG_BANK] & 3;
    uint8_t* c = cell(r);
    if (bank == 0 && write_one_to_clear(r)) {
        *c = uint8_t(*c & ~v);
        return;
    }
    const uint8_t old = *c;
    *c = v;
    const SimInput in = board_input(board_.config(), s_);
    if (bank == 0 && r == REG_PORT_RESET0 && (old & 1) && !(v & 1) && in.cable)
        regs_[0][INT0] |= 0x01;  // the front end restarted: the cable is seen again
    if (bank == 1 && r == HPD && (old & 3) != 3 && (v & 3) == 3) {
        ++hpd_rises_;
        if (in.video())
            regs_[0][INT2] |= 0x02;  // the source restarts its video after hot-plug
    }
}

bool It6602Model::i2c_write(const uint8_t* data, size_t len)
{
    if (!answering() || len == 0)
        return false;
    follow_input();
    note_bytes("W", data, len);
    ptr_ = data[0];
    for (size_t i = 1; i < len; ++i)
        write_reg(ptr_++, data[i]);
    return true;
}

bool It6602Model::i2c_read(uint8_t* data, size_t len)
{
    if (!answering())
        return false;
    follow_input();
    for (size_t i = 0; i < len; ++i)
        data[i] = read_reg(ptr_++);
    return true;
}

QJsonObject It6602Model::state() const
{
    QJsonObject banks;
    for (int b = 0; b < 3; ++b)
        banks.insert(QString::number(b), set_registers(regs_[b]));
    return {{"banks", banks}, {"hot_plug_level", regs_[1][HPD] & 3}, {"hot_plug_rises", double(hpd_rises_)}};
}

SIM_DEVICE_INSTALLER(it6602)
{
    const int addr8 = board.config().value("it6602_addr").toInt(148);
    auto sw = rx_switch(board);
    for (int s = 0; s < 4; ++s)
        board.add_i2c(uint8_t(addr8 >> 1), std::make_shared<It6602Model>(board, s), sw, kChannel[s]);
}

}  // namespace sim
