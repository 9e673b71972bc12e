// IT6602 receiver driver: identification, reset, the video and audio state machines, the
// interrupt handler and the timing measurement that feeds hdminfo and the image.
#include "video_io/zelta_it6602.h"

#include <QMutexLocker>
#include <cstdio>
#include <cstring>

#include "core/TlxRamPara.h"
#include "core/utils.h"
#include "platform/clock.h"
#include "video_io/Drv_I2C0.h"
#include "video_io/it6602_regs.h"
#include "video_io/source_status.h"
#include "video_io/zeltasource.h"

using namespace it6602;

constexpr uint8_t zelta_it6602::IT6602EQTable[3];

namespace {
Drv_I2C0 g_bus;  // stateless: any instance reaches the opened buses

constexpr uint8_t kCscYuv709[21] = {0x04, 0x00, 0xA7, 0x4F, 0x09, 0xBA, 0x3B, 0x4B, 0x3E, 0x4F, 0x09,
                                    0x57, 0x0E, 0x02, 0x00, 0x4F, 0x09, 0xFE, 0x3F, 0xE8, 0x10};
constexpr uint8_t kCscYuv601[21] = {0x04, 0x00, 0xA7, 0x4F, 0x09, 0x81, 0x39, 0xDD, 0x3C, 0x4F, 0x09,
                                    0xC4, 0x0C, 0x01, 0x00, 0x4F, 0x09, 0xFD, 0x3F, 0x1F, 0x10};
constexpr uint8_t kCscRgbLimited[21] = {0xED, 0xED, 0x00, 0x50, 0x09, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                        0x50, 0x09, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x50, 0x09};

HDMI_INFO* info_of(int r)
{
    zeltasource* z = zeltasource::p_zelta_source;
    return z ? &z->hdminfo[r] : nullptr;
}

void set_no_signal(int r, uint32_t v)
{
    QMutexLocker lk(&Utils::_source_hdminfo_mutex);
    if (HDMI_INFO* i = info_of(r))
        i->no_signal = v;
}
}  // namespace

const zelta_it6602::InitRow zelta_it6602::IT6602_HDMI_INIT_TABLE[] = {
    {0x0F, 0x03, 0x00}, {0x10, 0xFF, 0x08}, {0x0F, 0x03, 0x00}, {0x10, 0xFF, 0x17}, {0x11, 0xFF, 0x1F},
    {0x18, 0xFF, 0x1F}, {0x12, 0xFF, 0xF8}, {0x10, 0xFF, 0x10}, {0x11, 0xFF, 0xA0}, {0x18, 0xFF, 0xA0},
    {0x12, 0xFF, 0x00}, {0x0F, 0x03, 0x01}, {0xB0, 0x03, 0x00}, {0x0F, 0x03, 0x00}, {0x17, 0xC0, 0x80},
    {0x1E, 0xC0, 0x00}, {0x16, 0x08, 0x08}, {0x1D, 0x08, 0x08}, {0x2B, 0xFF, 0x07}, {0x31, 0xFF, 0x09},
    {0x49, 0xFF, 0x09}, {0x35, 0x1E, 0x14}, {0x4B, 0x1E, 0x14}, {0x54, 0xFF, 0x11}, {0x6A, 0xFF, 0x81},
    {0x74, 0xFF, 0xA0}, {0x50, 0x1F, 0x12}, {0x65, 0x0C, 0x00}, {0x7A, 0x80, 0x80}, {0x85, 0x02, 0x02},
    {0xC0, 0x03, 0x03}, {0x87, 0xFF, 0x00}, {0x71, 0x08, 0x00}, {0x37, 0xFF, 0xA6}, {0x4D, 0xFF, 0xA6},
    {0x67, 0x80, 0x00}, {0x7A, 0x50, 0x50}, {0x77, 0x80, 0x80}, {0x0F, 0x03, 0x01}, {0xC0, 0x8C, 0x88},
    {0x0F, 0x03, 0x00}, {0x7E, 0x40, 0x40}, {0x52, 0x20, 0x20}, {0x53, 0xCF, 0x4F}, {0x58, 0xFF, 0x33},
    {0x59, 0xFF, 0xAA}, {0x25, 0xFF, 0x1F}, {0x3D, 0xFF, 0x1F}, {0x27, 0xFF, 0x1F}, {0x28, 0xFF, 0x1F},
    {0x29, 0xFF, 0x1F}, {0x3F, 0xFF, 0x1F}, {0x40, 0xFF, 0x1F}, {0x41, 0xFF, 0x1F}, {0x0F, 0x03, 0x01},
    {0xBC, 0xFF, 0x06}, {0xCC, 0xFF, 0x00}, {0xC6, 0x07, 0x03}, {0xB5, 0x03, 0x03}, {0xB8, 0x80, 0x00},
    {0xB6, 0x07, 0x03}, {0x10, 0xFF, 0x00}, {0x11, 0xFF, 0x00}, {0x12, 0xFF, 0x00}, {0x13, 0xFF, 0x00},
    {0x28, 0xFF, 0x00}, {0x29, 0xFF, 0x00}, {0x2A, 0xFF, 0x00}, {0x2B, 0xFF, 0x00}, {0x2C, 0xFF, 0x00},
    {0x0F, 0x03, 0x00}, {0x22, 0xFF, 0x00}, {0x3A, 0xFF, 0x00}, {0x26, 0xFF, 0x00}, {0x3E, 0xFF, 0x00},
    {0x63, 0xFF, 0x3F}, {0x73, 0x08, 0x00}, {0x60, 0x40, 0x00}, {0x2A, 0x01, 0x00}, {0x42, 0x01, 0x00},
    {0x77, 0x0C, 0x08}, {0xFF, 0x00, 0x00},
};

// ---- access ----------------------------------------------------------------------------------

uint8_t zelta_it6602::hdmirxrd_it6602(uint8_t reg)
{
    uint8_t v = 0;
    if (!g_bus.i2c_read(fd, address, reg, &v, 1)) {
        ++read_failures;
        return 0;
    }
    return v;
}

int zelta_it6602::hdmirxwr_it6602(uint8_t reg, uint8_t value)
{
    return g_bus.i2c_write(fd, address, reg, &value, 1) == 1 ? 0 : -1;
}

void zelta_it6602::hdmirxset_it6602(uint8_t reg, uint8_t mask, uint8_t value)
{
    hdmirxwr_it6602(reg, uint8_t((hdmirxrd_it6602(reg) & ~mask) | (value & mask)));
}

int zelta_it6602::hdmirxbwr_it6602(uint8_t reg, const uint8_t* data, int count)
{
    uint8_t buf[Drv_I2C0::kMaxWrite];
    if (count < 0 || count > int(sizeof buf))
        return -1;
    std::memcpy(buf, data, size_t(count));
    return g_bus.i2c_write(fd, address, reg, buf, unsigned(count)) == 1 ? 0 : -1;
}

void zelta_it6602::chgbank_it6602(int bank)
{
    hdmirxset_it6602(REG_BANK, MASK_BANK, uint8_t(bank & 3));
}

void zelta_it6602::hdimrx_write_init_it6602(const InitRow* t)
{
    for (; t->reg != 0xFF; ++t)
        hdmirxset_it6602(t->reg, t->mask, t->value);
}

bool zelta_it6602::power_5v(int port) { return hdmirxrd_it6602(port ? REG_STATUS1 : REG_STATUS0) & ST_5V; }
bool zelta_it6602::clock_stable(int port) { return hdmirxrd_it6602(port ? REG_STATUS1 : REG_STATUS0) & ST_CLOCK; }
bool zelta_it6602::sync_detected() { return hdmirxrd_it6602(REG_STATUS0) & ST_SYNC; }

// ---- identification and reset ----------------------------------------------------------------

int zelta_it6602::IT6602_Identify_Chip(int r)
{
    for (uint8_t addr : {ADDR_A, ADDR_B}) {
        uint8_t id[4] = {};
        if (g_bus.i2c_read(fd, addr, 0x00, id, 4) && std::memcmp(id, kChipId, 4) == 0) {
            address = addr;
            source_status::set_bits(STATUS_CHIP_PRESENT, source_status::kIt6602Present[r], true);
            return 1;
        }
        source_status::set_bits(STATUS_CHIP_PRESENT, source_status::kIt6602Present[r], false);
        ++identify_failures[r];
    }
    return 0;
}

// Only a chip that answered is reset; an absent one keeps a zero record (signalled once).
int zelta_it6602::IT6602_fsm_init(int bus, int r)
{
    fd = bus;
    r_ = r;
    if (r < 0 || r > 3)
        return 0;
    if (!IT6602_Identify_Chip(r)) {
        unpublish(r);
        return 0;
    }
    IT6602_Rst(r);
    return 1;
}

void zelta_it6602::IT6602_Rst(int r)
{
    IT6602_dev_data& d = dev[r];
    d = IT6602_dev_data{};
    d.video_state = VSTATE_Unknown;
    d.audio_state = ASTATE_Unknown;
    std::memset(eq_busy[r], 0, sizeof eq_busy[r]);
    pll_checks[r] = 0;
    hdimrx_write_init_it6602(IT6602_HDMI_INIT_TABLE);
    CP_OCLK();  // the measurement settles the oscillator; its count is not needed here
    IT6602SwitchVideoState(r, VSTATE_SWReset);
    IT6602SwitchAudioState(r, ASTATE_AudioOff);
}

uint32_t zelta_it6602::CP_OCLK()
{
    chgbank_it6602(0);
    hdmirxwr_it6602(REG_OCLK, 5);
    chgbank_it6602(1);
    hdmirxwr_it6602(B1_OSC_CTRL, 0x12);
    hdmirxwr_it6602(B1_OSC_CTRL, 0x02);
    hdmirxwr_it6602(0x56, 1);
    hdmirxwr_it6602(0x50, 0);
    hdmirxwr_it6602(0x51, 0);
    hdmirxwr_it6602(0x53, 4);
    const uint8_t a = hdmirxrd_it6602(B1_OSC_COUNT), b = hdmirxrd_it6602(B1_OSC_COUNT), c = hdmirxrd_it6602(B1_OSC_COUNT);
    uint32_t count = 0;
    int k = 0;
    if (a == 2 && b == 2 && c == 2)
        k = 1;
    else if (a == 0xFF && b == 0 && c == 0xFF)
        k = 3;
    if (k) {
        hdmirxwr_it6602(0x50, uint8_t(k));
        hdmirxwr_it6602(0x51, 0x60);
        hdmirxwr_it6602(0x53, 4);
        const uint32_t lo = hdmirxrd_it6602(B1_OSC_COUNT), mid = hdmirxrd_it6602(B1_OSC_COUNT);
        const uint32_t hi = hdmirxrd_it6602(B1_OSC_COUNT);
        count = hi << 16 | mid << 8 | lo;
    }
    hdmirxwr_it6602(REG_BANK, 0);
    hdmirxwr_it6602(REG_OCLK, 0);
    return count;
}

void zelta_it6602::IT6602_fsm_init_1(int bus, int r)
{
    fd = bus;
    r_ = r;
    hdmirxset_it6602(REG_PORT_CFG, 0x03, 0x03);
    IT6602PortSelect(r, 0);
}

void zelta_it6602::IT6602PortSelect(int r, int port)
{
    hdmirxset_it6602(REG_PORT_SEL, 0x01, uint8_t(port & 1));
    dev[r].port = uint8_t(port & 1);
}

// Hot-plug is wired for port 0 only: high or low with 5 V present, released without.
void zelta_it6602::IT6602HPDCtrl(int, int port, int level)
{
    if (port != 0)
        return;
    const uint8_t v = power_5v(0) ? (level ? 3 : 1) : 0;
    chgbank_it6602(1);
    hdmirxset_it6602(B1_HPD, 0x03, v);
    chgbank_it6602(0);
}

// ---- the step --------------------------------------------------------------------------------

void zelta_it6602::IT6602_fsm(int bus, int r)
{
    fd = bus;
    r_ = r;
    if (r < 0 || r > 3)
        return;
    IT6602_Interrupt(r);
    IT6602_VideoHandler(r);
    IT6602_AudioHandler(r);
    for (int port = 0; port < 2; ++port)
        if (dev[r].eq[port].busy)
            HDMIAdjustEQ(r, port);
    IT6602HDMIEventManager(r);
}

// ---- video -----------------------------------------------------------------------------------

// The input shows no video: zero image record (signalled only when it changes), no-signal.
void zelta_it6602::unpublish(int r)
{
    source_status::publish_timing(r, 0, 0, 0);
    set_no_signal(r, 1);
}

void zelta_it6602::video_output_off(int r)
{
    hdmirxset_it6602(REG_VIDEO_CTRL, 0x0F, 0x0F);
    unpublish(r);
}

void zelta_it6602::video_output_on(int)
{
    hdmirxset_it6602(0x64, 0x80, 0x80);
    hdmirxset_it6602(0x64, 0x80, 0x00);
    platform::sleep_ms(10);
    hdmirxset_it6602(REG_VIDEO_CTRL, 0x0F, 0x00);
}

void zelta_it6602::IT6602SwitchVideoState(int r, uint32_t state)
{
    IT6602_dev_data& d = dev[r];
    if (d.video_state == state)
        return;
    d.video_state = state;
    const int port = d.port == 1 ? 1 : 0;
    switch (state) {
    case VSTATE_Off:
        IT6602HPDCtrl(r, 0, 0);
        IT6602HPDCtrl(r, 1, 0);
        break;
    case VSTATE_SyncWait:
        video_output_off(r);
        d.flags &= uint8_t(~FLAG_NEW_AVI);
        d.frame_3d = 0;
        hdmirxwr_it6602(REG_VIDEO_STATE, 0x82);
        break;
    case VSTATE_SWReset: {
        video_output_off(r);
        const uint8_t reset_reg = port ? REG_PORT_RESET1 : REG_PORT_RESET0;
        hdmirxset_it6602(reset_reg, 0x01, 0x01);
        platform::sleep_ms(1);
        hdmirxset_it6602(reset_reg, 0x01, 0x00);
        IT6602HPDCtrl(r, 0, 1);  // follows 5 V: high with a cable, released without
        break;
    }
    case VSTATE_SyncChecking:
        d.video_countdown = 101;
        hdmirxwr_it6602(REG_VIDEO_STATE, 0x82);
        break;
    case VSTATE_VideoOn:
        configure_output(r);
        video_output_on(r);
        IT6602SwitchAudioState(r, ASTATE_RequestAudio);
        measure_and_publish(r);
        hdmirxwr_it6602(REG_OUT_ENABLE, 0x8F);
        hdmirxwr_it6602(REG_VIDEO_STATE, 0x81);
        d.sync_wait = 0;
        break;
    default:
        break;
    }
}

void zelta_it6602::pll_check(int r)
{
    const int port = dev[r].port == 1 ? 1 : 0;
    if (port == 0 && (hdmirxrd_it6602(REG_STATUS0) & ST_HDMI))
        return;
    const uint8_t pll_bit = port ? 0x80 : 0x40;
    if (!(hdmirxrd_it6602(REG_PLL_STATUS) & pll_bit)) {
        chgbank_it6602(1);
        hdmirxset_it6602(port ? B1_PLL1 : B1_PLL0, 0x60, 0x00);
        chgbank_it6602(0);
        return;
    }
    if (++pll_checks[r] < 16)
        return;
    pll_checks[r] = 0;
    const uint8_t range = hdmirxrd_it6602(REG_TMDS_RANGE) >> (port ? 2 : 0);
    uint8_t div = hdmirxrd_it6602(port ? REG_TMDS_DIV1 : REG_TMDS_DIV0);
    if (range & 1)
        div >>= 1;
    else if (range & 2)
        div >>= 2;
    if (!sync_detected() && div < 28 && !(hdmirxrd_it6602(REG_DESKEW) & pll_bit)) {
        chgbank_it6602(1);
        hdmirxset_it6602(REG_ECC0, 0x05, 0x04);
        hdmirxset_it6602(B1_PLL0, 0xE0, 0xE0);
        chgbank_it6602(0);
    }
}

void zelta_it6602::lift_mute(int)
{
    hdmirxset_it6602(REG_VIDEO_CTRL, 0x0F, 0x0F);
    hdmirxset_it6602(REG_VIDEO_CTRL, 0x0F, 0x00);
    hdmirxset_it6602(0x64, 0x80, 0x80);
    hdmirxset_it6602(0x64, 0x80, 0x00);
    platform::sleep_ms(10);
    hdmirxset_it6602(REG_VIDEO_CTRL, 0xC0, 0x40);
}

void zelta_it6602::IT6602_VideoHandler(int r)
{
    IT6602_dev_data& d = dev[r];
    d.video_countdown = d.video_countdown >= 100 ? uint16_t(d.video_countdown - 100) : 0;
    const int port = d.port == 1 ? 1 : 0;
    switch (d.video_state) {
    case VSTATE_SyncWait:
        pll_check(r);
        if (sync_detected()) {
            IT6602SwitchVideoState(r, VSTATE_SyncChecking);
        } else if (!d.eq[port].busy) {
            const uint8_t st = hdmirxrd_it6602(port ? REG_STATUS1 : REG_STATUS0);
            if ((st & (ST_5V | ST_CLOCK)) == (ST_5V | ST_CLOCK) && ++d.sync_wait >= 22) {
                d.sync_wait = 0;
                hdmirx_ECCTimingOut(r, port);
                DisableOverWriteRS(r, port);
                TMDSCheck(r, port);
            }
        }
        break;
    case VSTATE_SyncChecking:
        if (d.video_countdown == 0)
            IT6602SwitchVideoState(r, VSTATE_VideoOn);
        break;
    case VSTATE_VideoOn:
        if (d.flags & FLAG_NEW_AVI) {
            d.flags &= uint8_t(~FLAG_NEW_AVI);
            configure_output(r);
        }
        if ((hdmirxrd_it6602(REG_VIDEO_CTRL) & 0x80) && !(hdmirxrd_it6602(REG_AVMUTE) & 0x01))
            lift_mute(r);
        break;
    default:
        break;
    }
}

// ---- interrupts ------------------------------------------------------------------------------

void zelta_it6602::IT6602_Interrupt(int r)
{
    IT6602_dev_data& d = dev[r];
    if (d.video_state == VSTATE_Off)
        return;
    uint8_t irq[5];
    for (int i = 0; i < 5; ++i)
        irq[i] = hdmirxrd_it6602(uint8_t(REG_INT0 + i));
    const uint8_t eq_irq = hdmirxrd_it6602(REG_INT_EQ);
    for (int i = 0; i < 5; ++i)
        if (irq[i])
            hdmirxwr_it6602(uint8_t(REG_INT0 + i), irq[i]);
    if (eq_irq & 0xF0)
        hdmirxwr_it6602(REG_INT_EQ, uint8_t(eq_irq & 0xF0));

    const int sel = d.port == 1 ? 1 : 0;
    for (int port = 0; port < 2; ++port) {
        const uint8_t ev = irq[port];
        if (ev & INT_5V) {
            chgbank_it6602(1);
            hdmirxset_it6602(B1_PLL0, 0x60, 0x00);
            hdmirxset_it6602(B1_PLL1, 0x60, 0x00);
            chgbank_it6602(0);
            pll_checks[r] = 0;
            if (port == sel && power_5v(port)) {
                IT6602SwitchVideoState(r, VSTATE_SyncWait);
                IT6602HPDCtrl(r, port, 1);
            } else if (port == sel) {
                video_output_off(r);  // the record is zero before hot-plug goes low
                IT6602HPDCtrl(r, port, 0);
                IT6602SwitchVideoState(r, VSTATE_SWReset);
            } else {
                IT6602HPDCtrl(r, port, power_5v(port));
            }
        }
        if ((ev & INT_CLOCK) && clock_stable(port))
            TMDSCheck(r, port);
        if ((ev & INT_PORT) && !(hdmirxrd_it6602(REG_PLL_STATUS) & (port ? 0x80 : 0x40))) {
            chgbank_it6602(1);
            hdmirxset_it6602(port ? B1_PLL1 : B1_PLL0, 0x60, 0x00);
            chgbank_it6602(0);
            pll_checks[r] = 0;
        }
        if (ev & (INT_EQ_A | INT_EQ_B)) {
            const uint8_t shift = uint8_t(port * 4);
            d.eq_events |= uint8_t(0x05 << shift);
            d.eq_countdown[port] = 3;
        }
        if ((ev & INT_HDMI_MODE) && clock_stable(port)) {
            if (hdmirxrd_it6602(REG_HDMI_MODE) & 0x01)
                d.flags |= FLAG_HDMI;
            else
                d.flags &= uint8_t(~FLAG_HDMI);
        }
        if ((ev & INT_ECC) && !d.eq[port].busy && ++d.ecc_errors[port] >= 23) {
            d.ecc_errors[port] = 0;
            hdmirx_ECCTimingOut(r, port);
        }
    }

    const uint8_t i2 = irq[2];
    if ((i2 & INT2_0) && address == ADDR_B && !(hdmirxrd_it6602(REG_STATUS0) & ST_HDMI)) {
        chgbank_it6602(1);
        hdmirxset_it6602(0xB6, 0x07, 0x03);
        hdmirxset_it6602(B1_PLL0, 0x20, 0x00);
        hdmirxset_it6602(REG_ECC0, 0x07, 0x04);
        chgbank_it6602(0);
    }
    if (i2 & INT2_SYNC) {
        if (sync_detected()) {
            IT6602SwitchVideoState(r, VSTATE_SyncChecking);
        } else {
            IT6602SwitchVideoState(r, VSTATE_SyncWait);
            IT6602SwitchAudioState(r, ASTATE_AudioOff);
        }
    }
    if (i2 & INT2_AVMUTE_SET)
        hdmirxset_it6602(REG_VIDEO_CTRL, 0x8F, 0x8F);
    if (i2 & INT2_AVMUTE_CLR)
        lift_mute(r);
    if (i2 & INT2_AUDIO_FIFO)
        reset_audio_fifo();
    if ((irq[3] & INT3_3D) && !d.frame_3d)
        configure_3d(r);
    if (irq[4] & INT4_AVI) {
        chgbank_it6602(2);
        const uint8_t a0 = hdmirxrd_it6602(B2_AVI0), a1 = hdmirxrd_it6602(B2_AVI0 + 1);
        chgbank_it6602(0);
        if (a0 != d.avi[0] || a1 != d.avi[1]) {
            d.avi[0] = a0;
            d.avi[1] = a1;
            d.flags |= FLAG_NEW_AVI;
        }
    }
    if ((irq[4] & INT4_DESKEW) && ++d.deskew_errors[sel] >= 23) {
        d.deskew_errors[sel] = 0;
        flip_eq_force(sel);
    }
    for (int port = 0; port < 2; ++port) {
        const uint8_t done = uint8_t(0x10 << (2 * port)), failed = uint8_t(0x20 << (2 * port));
        if (eq_irq & done)
            AmpValidCheck(r, port);
        if (eq_irq & failed) {
            DisableOverWriteRS(r, port);
            HDMIStartEQDetect(r, port);
        }
    }
}

void zelta_it6602::reset_audio_fifo()
{
    hdmirxset_it6602(REG_AUDIO_FIFO, 0x0C, 0x0C);
    platform::sleep_ms(100);
    hdmirxset_it6602(REG_AUDIO_FIFO, 0x0C, 0x00);
    hdmirxset_it6602(REG_AUDIO_RESET, 0x02, 0x02);
    hdmirxset_it6602(REG_AUDIO_RESET, 0x02, 0x00);
    const uint8_t v = hdmirxrd_it6602(REG_AUDIO_FIFO_RST);
    for (int i = 0; i < 4; ++i)
        hdmirxwr_it6602(REG_AUDIO_FIFO_RST, v);
}

// A vendor infoframe announcing 3D: top-and-bottom and side-by-side pass as they are; frame
// packing would need the sync generator, which this board's inputs never ask for.
void zelta_it6602::configure_3d(int r)
{
    chgbank_it6602(2);
    uint8_t vsif[8] = {};
    g_bus.i2c_read(fd, address, B2_VSIF, vsif, sizeof vsif);
    chgbank_it6602(0);
    dev[r].frame_3d = 1;
    if (vsif[0] != 0x81 || vsif[4] != 0x03 || vsif[5] != 0x0C || vsif[6] != 0x00)
        return;
    if ((vsif[7] >> 5) == 2) {
        hdmirxset_it6602(0x66, 0x10, 0x10);
        hdmirxset_it6602(0x85, 0x20, 0x20);
    }
}

// ---- output and measurement ------------------------------------------------------------------

void zelta_it6602::configure_output(int r)
{
    IT6602_dev_data& d = dev[r];
    const bool hdmi = (hdmirxrd_it6602(REG_HDMI_MODE) & 0x01) != 0;
    d.flags = uint8_t(hdmi ? d.flags | FLAG_HDMI : d.flags & ~FLAG_HDMI);
    uint8_t colour = 0;  // 0 RGB, 1 YCbCr 4:2:2, 2 YCbCr 4:4:4
    bool bt709, full;
    if (hdmi) {
        chgbank_it6602(2);
        colour = (hdmirxrd_it6602(0x15) >> 5) & 0x03;
        const uint8_t colorimetry = hdmirxrd_it6602(0x16) >> 6;
        const uint8_t quant = (hdmirxrd_it6602(0x17) >> 2) & 0x03;
        const uint8_t vic = hdmirxrd_it6602(0x18) & 0x7F;
        chgbank_it6602(0);
        bt709 = colorimetry == 2;
        full = quant == 0 ? vic < 2 : quant == 2;
    } else {
        bt709 = hdmirxrd_it6602(REG_PCLK_DIV) < 52;
        full = true;
    }
    in_colour[r] = colour > 2 ? 0 : colour;
    out_colour[r] = 0;
    const uint8_t* matrix = nullptr;
    if (in_colour[r] != 0) {
        matrix = bt709 ? kCscYuv709 : kCscYuv601;
        hdmirxset_it6602(REG_CSC_CTRL, 0x78, 0x00);
        hdmirxwr_it6602(REG_CSC_OFFSET, 0x00);
    } else if (!full) {
        matrix = kCscRgbLimited;
        hdmirxset_it6602(REG_CSC_CTRL, 0x78, 0x78);
        hdmirxwr_it6602(REG_CSC_OFFSET, 0xED);
    }
    if (matrix) {
        chgbank_it6602(1);
        hdmirxbwr_it6602(B1_CSC, matrix, 21);
        chgbank_it6602(0);
    }
    const uint8_t depth = hdmirxrd_it6602(REG_VID_MODE) >> 4;
    colour_depth[r] = depth == 5 ? 1 : depth == 6 ? 2 : 0;
    hdmirxset_it6602(REG_OUT_MODE, 0x0C, uint8_t(colour_depth[r] << 2));
    hdmirxset_it6602(REG_OUT_MODE, 0x30, 0x00);  // RGB 4:4:4 out
}

bool zelta_it6602::timing_from_regs(const uint8_t g[0x19], IT6602_TIMING* t)
{
    auto R = [g](uint8_t reg) -> uint32_t { return g[reg - REG_TMDS_RANGE]; };
    const uint32_t div = R(REG_PCLK_DIV);
    if (div == 0)
        return false;
    IT6602_TIMING m;
    m.pclk_mhz = 31620 / div / 10;
    const int32_t hact = int32_t((R(REG_HACT_H) & 0x3F) << 8 | R(REG_HACT_L));
    const int32_t htotal = int32_t((R(REG_HTOTAL_H) & 0x3F) << 8 | R(REG_HTOTAL_L));
    const int32_t hfront = int32_t((R(REG_HFRONT_H) >> 4) << 8 | R(REG_HFRONT_L));
    const int32_t hsync = int32_t((R(REG_HFRONT_H) & 0x01) << 8 | R(REG_HSYNC_L));
    const int32_t vact = int32_t((R(REG_VTOTAL_VACT_H) >> 4) << 8 | R(REG_VACT_L));
    const int32_t vtotal = int32_t((R(REG_VTOTAL_VACT_H) & 0x0F) << 8 | R(REG_VTOTAL_L));
    const int32_t vfront = int32_t(R(REG_VFRONT) & 0x3F);
    const int32_t vsync = int32_t(R(REG_VSYNC) & 0x1F);
    const int32_t hback = htotal - hact - hfront - hsync;
    const int32_t vback = vtotal - vfront - vsync - vact;
    if (m.pclk_mhz == 0 || hact == 0 || vact == 0 || htotal == 0 || vtotal == 0 || hback < 0 || vback < 0)
        return false;
    m.Hact = uint16_t(hact), m.Htotal = uint16_t(htotal), m.Hfront = uint16_t(hfront), m.Hsync = uint16_t(hsync);
    m.Hback = uint16_t(hback);
    m.Vact = uint16_t(vact), m.Vtotal = uint16_t(vtotal), m.Vfront = uint16_t(vfront), m.Vsync = uint16_t(vsync);
    m.Vback = uint16_t(vback);
    m.flags = uint8_t((R(REG_VID_MODE) >> 1 & 1) | (R(REG_POLARITY) >> 3 & 1) << 1 | (R(REG_POLARITY) & 1) << 2);
    *t = m;
    return true;
}

uint32_t zelta_it6602::refresh_hz(const IT6602_TIMING& t)
{
    const uint64_t total = uint64_t(t.Htotal) * t.Vtotal;
    return total ? uint32_t(uint64_t(1000000) * t.pclk_mhz / total) : 0;
}

uint16_t zelta_it6602::recorded_refresh(uint32_t hz)
{
    return hz < 55 ? uint16_t(hz) : 60;
}

void zelta_it6602::measure_and_publish(int r)
{
    const int port = dev[r].port == 1 ? 1 : 0;
    uint8_t g[0x19] = {};
    if (!g_bus.i2c_read(fd, address, REG_TMDS_RANGE, g, sizeof g)) {
        ++read_failures;
        return;
    }
    const uint8_t range = uint8_t(g[0] >> (port ? 2 : 0));
    const uint8_t div = g[port ? 2 : 1];
    const uint32_t base = (range & 1) ? 6144 : (range & 2) ? 12288 : 3072;
    tmds_clock[r] = div ? base / div : 0;

    IT6602_TIMING t;
    if (!timing_from_regs(g, &t))
        return;  // nothing usable measured: the record stays zero, no-signal stays set
    timing[r] = t;
    const uint32_t hz = refresh_hz(t);
    source_status::publish_timing(r, t.Hact, t.Vact, recorded_refresh(hz));

    // Pixel clock for the scaler: from the oscillator estimate, or the chip's own count.
    const uint32_t n = (oclk_count[r] / 100 > 24348 && oclk_count[r] / 100 < 73044) ? oclk_count[r] / 100 : 48696;
    float pclk = float(n) * 255.0f / 400.0f / float(g[REG_PCLK_DIV - REG_TMDS_RANGE]) / 10.0f;
    hdmirxset_it6602(REG_PCLK_SEL, 0x01, 0x01);
    chgbank_it6602(2);
    const uint32_t c0 = hdmirxrd_it6602(B2_CLK_L), c1 = hdmirxrd_it6602(B2_CLK_M), c2 = hdmirxrd_it6602(B2_CLK_H);
    chgbank_it6602(0);
    const uint32_t khz = c1 * 4096 + c2 * 16 + c0 / 16;
    if (khz)
        pclk = float(khz) / 1000.0f;
    {
        QMutexLocker lk(&Utils::_source_hdminfo_mutex);
        if (HDMI_INFO* i = info_of(r)) {
            *i = HDMI_INFO{};
            i->Hact = t.Hact, i->Hsync = t.Hsync, i->Hback = t.Hback, i->Hpol = 1, i->Htotal = t.Htotal;
            i->Vact = t.Vact, i->Vsync = t.Vsync, i->Vback = t.Vback, i->Vpol = 1, i->Vtotal = t.Vtotal;
            i->PCLK = pclk;
            i->interlaced = t.flags & 1;
            i->stable = 1;
            i->no_signal = 0;
        }
    }
    std::printf("IT6602 input %d: %ux%u%s total %ux%u, %u Hz, %.2f MHz\n", r, t.Hact, t.Vact,
                (t.flags & 1) ? "i" : "p", t.Htotal, t.Vtotal, hz, double(pclk));
}

// ---- audio -----------------------------------------------------------------------------------

void zelta_it6602::IT6602SwitchAudioState(int r, uint32_t state)
{
    IT6602_dev_data& d = dev[r];
    if (d.audio_state == state)
        return;
    d.audio_state = state;
    if (state == ASTATE_AudioOff)
        hdmirxset_it6602(REG_AUDIO_RESET, 0x02, 0x02);
    if (state == ASTATE_AudioOff || state == ASTATE_RequestAudio)
        hdmirxset_it6602(REG_VIDEO_MUTE_CTRL, 0x1F, 0x1F);
    else if (state == ASTATE_AudioOn)
        hdmirxset_it6602(REG_VIDEO_MUTE_CTRL, 0x1F, 0x00);
}

void zelta_it6602::IT6602_AudioHandler(int r)
{
    IT6602_dev_data& d = dev[r];
    d.audio_countdown = d.audio_countdown >= 100 ? uint16_t(d.audio_countdown - 100) : 0;
    uint8_t caps[3] = {};
    switch (d.audio_state) {
    case ASTATE_RequestAudio:
        if (!g_bus.i2c_read(fd, address, REG_AUDIO_CAPS, caps, 3) || !(caps[0] & 0x80))
            break;
        std::memcpy(d.audio_caps, caps, 3);
        hdmirxset_it6602(REG_AUDIO_CTRL, 0x70, (caps[0] & 0x40) ? 0x00 : 0x10);
        if (!(caps[0] & 0x20))
            hdmirxset_it6602(REG_AUDIO_MODE, 0x10, 0x00);
        hdmirxset_it6602(REG_AUDIO_RESET, 0x02, 0x02);
        hdmirxset_it6602(REG_AUDIO_RESET, 0x02, 0x00);
        IT6602SwitchAudioState(r, ASTATE_WaitForReady);
        d.audio_countdown = 201;
        break;
    case ASTATE_WaitForReady:
        if (d.audio_countdown == 0)
            IT6602SwitchAudioState(r, ASTATE_AudioOn);
        break;
    case ASTATE_AudioOn:
        if (d.audio_countdown)
            break;
        d.audio_countdown = 151;
        if (g_bus.i2c_read(fd, address, REG_AUDIO_CAPS, caps, 3) && std::memcmp(caps, d.audio_caps, 3) != 0)
            IT6602SwitchAudioState(r, ASTATE_RequestAudio);
        break;
    default:
        break;
    }
}
