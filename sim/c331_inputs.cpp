#include "sim/c331_inputs.h"

#include <cmath>

#include "sim/board_inputs.h"
#include "sim/sim_board.h"

namespace sim {

namespace {

constexpr int kSourceOfPort[6] = {3, 2, 1, 0, 5, 4};
constexpr double kMeasureClockHz = 200e6;

// The counts the chip measures on one port.
struct PortCounts {
    bool signal = false;
    int lanes = 4;
    uint32_t htt = 0, vtt = 0, vcnt = 0, period = 0, hw = 0;
};

PortCounts port_counts(const QJsonObject& cfg, int p)
{
    PortCounts c;
    const SimInput in = board_input(cfg, kSourceOfPort[p]);
    c.signal = in.video() && in.htotal > 0 && in.vtotal > 0 && in.pclk_khz > 0;
    c.lanes = in.raw.value("lanes").toInt(4);
    if (!c.signal)
        return c;
    const int vt = in.interlaced ? in.vtotal / 2 : in.vtotal;
    const double rate = in.pclk_khz * 1000.0 / (double(in.htotal) * in.vtotal) * (in.interlaced ? 2 : 1);
    c.htt = uint32_t(in.htotal - 1);
    c.vtt = uint32_t(vt);
    c.vcnt = uint32_t(vt - 1);
    c.period = uint32_t(std::llround(kMeasureClockHz / rate) - 1);
    c.hw = uint32_t(in.hactive);
    return c;
}

// A multi-byte register read byte by byte: byte `reg - first` of value when it covers reg.
bool byte_of(uint8_t reg, uint8_t first, int count, uint32_t value, uint8_t& out)
{
    if (reg < first || reg >= first + count)
        return false;
    out = uint8_t(value >> (8 * (reg - first)));
    return true;
}

bool measurement(const QJsonObject& cfg, uint8_t bank, uint8_t reg, uint8_t& out)
{
    for (int p = 0; p < 6; ++p) {
        const PortCounts c = port_counts(cfg, p);
        if (p < 4) {
            const uint32_t v[5] = {c.htt, c.vtt, c.vcnt, c.period, c.hw};
            if (bank == 0xAE && (byte_of(reg, uint8_t(0x08 + 2 * p), 2, v[0], out) ||
                                 byte_of(reg, uint8_t(0x20 + 2 * p), 2, v[1], out) ||
                                 byte_of(reg, uint8_t(0x38 + 2 * p), 2, v[2], out) ||
                                 byte_of(reg, uint8_t(0x50 + 3 * p), 3, v[3], out)))
                return true;
            if (bank == 0xAF && byte_of(reg, uint8_t(0x08 + 2 * p), 2, v[4], out))
                return true;
            continue;
        }
        const int q = p - 4;
        const uint32_t none16 = 0xFFFF, none24 = 0xFFFFFF;
        if (bank == 0xAE) {
            if (byte_of(reg, uint8_t(0x10 + 8 * q), 2, c.signal ? c.htt : none16, out) ||
                byte_of(reg, uint8_t(0x28 + 8 * q), 2, c.signal ? c.vtt : none16, out))
                return true;
            for (int i = 0; i < 4; ++i) {
                const bool on = c.signal && i < c.lanes;
                if (byte_of(reg, uint8_t(0x40 + 8 * q + 2 * i), 2, on ? c.vcnt : none16, out) ||
                    byte_of(reg, uint8_t(0x5C + 12 * q + 3 * i), 3, on ? c.period : none24, out))
                    return true;
            }
        }
        if (bank == 0xAF && byte_of(reg, uint8_t(0x10 + 8 * q), 2, c.signal ? c.hw : none16, out))
            return true;
    }
    return false;
}

// The port an input channel's selector names, -1 none.
int selected_port(uint8_t sel)
{
    if (sel < 8)
        return sel / 2;
    if (sel < 12)
        return 4;
    if (sel < 16)
        return 5;
    return -1;
}

bool channel_measurement(const QJsonObject& cfg, uint8_t reg, const uint8_t (*regs)[128], uint8_t& out)
{
    for (int c = 0; c < 8; ++c) {
        const int p = selected_port(regs[0][0x10 + c]);
        const PortCounts k = p >= 0 ? port_counts(cfg, p) : PortCounts{};
        if (byte_of(reg, uint8_t(0x08 + 6 * c), 2, k.signal ? k.htt : 0, out) ||
            byte_of(reg, uint8_t(0x0A + 6 * c), 2, k.signal ? k.vtt : 0, out) ||
            byte_of(reg, uint8_t(0x3F + 5 * c), 1, k.signal ? 0 : 0xFF, out))
            return true;
    }
    return false;
}

}  // namespace

bool C331InputSide::read(uint8_t bank, uint8_t reg, const uint8_t (*regs)[128], uint8_t& out) const
{
    const QJsonObject cfg = board_.config();
    switch (bank) {
    case 0x05:
        if ((reg == 0x22 || reg == 0x23) && !cfg.value("c331_vsync").toBool(true)) {
            out = 0;
            return true;
        }
        return false;
    case 0xB2:
        if (reg != 0x63)
            return false;
        out = uint8_t((port_counts(cfg, 4).signal ? 0x20 : 0) | (port_counts(cfg, 5).signal ? 0x80 : 0));
        return true;
    case 0xA8: return channel_measurement(cfg, reg, regs, out);
    case 0xAB:
        if (reg < 0x47 || reg >= 0x47 + 8)
            return false;
        out = 0;   // every channel writes field 0
        return true;
    case 0xAE:
    case 0xAF: return measurement(cfg, bank, reg, out);
    default: return false;
    }
}

}  // namespace sim
