// IT6602 receiver driver: register access, identification and reset, the step, and the
// video state machine. Interrupts are in it6602_irq.cpp, output set-up, timing measurement
// and audio in it6602_av.cpp, the equaliser in it6602_eq.cpp.
#include "video_io/zelta_it6602.h"

#include <QMutexLocker>
#include <cstdio>
#include <cstring>

#include "core/TlxRamPara.h"
#include "core/utils.h"
#include "platform/clock.h"
#include "video_io/it6602_regs.h"
#include "video_io/source_status.h"
#include "video_io/zeltasource.h"

using namespace it6602;

constexpr uint8_t zelta_it6602::IT6602EQTable[3];

HDMI_INFO* zelta_it6602::info_of(int r)
{
    zeltasource* z = zeltasource::p_zelta_source;
    return z && r >= 0 && r < 4 ? &z->hdminfo[r] : nullptr;
}

void zelta_it6602::set_no_signal(int r, uint32_t v)
{
    QMutexLocker lk(&Utils::_source_hdminfo_mutex);
    if (HDMI_INFO* i = info_of(r))
        i->no_signal = v;
}

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

bool zelta_it6602::read_reg(uint8_t reg, uint8_t* v)
{
    *v = 0;
    if (bus_.i2c_read(fd, address, reg, v, 1))
        return true;
    *v = 0;
    ++read_failures;
    return false;
}

uint8_t zelta_it6602::hdmirxrd_it6602(uint8_t reg)
{
    uint8_t v;
    read_reg(reg, &v);
    return v;
}

int zelta_it6602::hdmirxwr_it6602(uint8_t reg, uint8_t value)
{
    return hdmirxbwr_it6602(reg, &value, 1);
}

// Never writes back a value the chip did not give.
void zelta_it6602::hdmirxset_it6602(uint8_t reg, uint8_t mask, uint8_t value)
{
    uint8_t old;
    if (read_reg(reg, &old))
        hdmirxwr_it6602(reg, uint8_t((old & ~mask) | (value & mask)));
}

int zelta_it6602::hdmirxbwr_it6602(uint8_t reg, const uint8_t* data, int count)
{
    uint8_t buf[Drv_I2C0::kMaxWrite];
    if (count < 0 || count > int(sizeof buf))
        return -1;
    std::memcpy(buf, data, size_t(count));
    if (bus_.i2c_write(fd, address, reg, buf, unsigned(count)) == 1)
        return 0;
    ++write_failures;
    return -1;
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
        if (bus_.i2c_read(fd, addr, 0x00, id, 4) && std::memcmp(id, kChipId, 4) == 0) {
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
        d.timing_ok = measure_and_publish(r);
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
        if (!d.timing_ok)
            d.timing_ok = measure_and_publish(r);  // the input stays black until one is usable
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
