// Board bring-up and requests served by the polling pass: the clock generator that releases
// the FPGA, the SDI chain, the SDI reset pulse, the audio selector and the hot-plug command
// bytes of the remote register file.
#include <QMutexLocker>

#include "core/TlxRamPara.h"
#include "core/c331_shared.h"
#include "core/requests.h"
#include "core/utils.h"
#include "platform/board.h"
#include "video_io/Drv_I2C0.h"
#include "video_io/it66121.h"
#include "video_io/ite6805_sys.h"
#include "video_io/soc_pads.h"
#include "video_io/source_status.h"
#include "video_io/zeltasource.h"

namespace {

void pad(uint32_t offset, uint16_t value) { platform::board().soc_window().write16(offset, value); }

// The clock generator's registers 0x00..0x3E.
constexpr uint8_t kClockTable[63] = {
    0x00, 0x00, 0x11, 0x05, 0x60, 0x08, 0xEC, 0x0F, 0x19, 0x44, 0xF1, 0x06, 0x63, 0x14, 0x0F, 0x43,
    0x00, 0x30, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x24, 0x03, 0x4E, 0x33, 0x38, 0x80, 0x04,
    0x00, 0x00, 0xD4, 0x54, 0x98, 0x7D, 0x69, 0xE1, 0xA0, 0xEF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0xF3, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC3, 0xC2, 0x00, 0x00, 0x00, 0x00, 0x05,
};

constexpr uint32_t kSdiResetTicks = 15;  // the SDI receiver's reset pulse lasts longer
constexpr int kRegHotplug1 = 0;          // remote register file bytes of the hot-plug commands
constexpr int kRegHotplug2 = 160;

// Takes a hot-plug command byte and zeroes it under the lock its remote writer holds.
uint8_t take_command_byte(int reg)
{
    TlxRamPara* s = TlxRamPara::p_tlxrampara_config;
    if (!s)
        return 0;
    QMutexLocker lk(&c331_shared::c331_lock);
    uint8_t* cell = s->reg_byte(reg);
    const uint8_t v = *cell;
    *cell = 0;
    return v;
}

}  // namespace

// ---- clock generator -------------------------------------------------------------------------

void zeltasource::s5p210_setup(int n)
{
    if (n < 0 || n > 1)
        return;
    switch (clock_setup_state[n].load()) {
    case 0:
        clock_setup_state[n] = 1;
        for (uint8_t reg = 0; reg < sizeof kClockTable; ++reg) {
            uint8_t v = kClockTable[reg];
            if (i2c->i2c_write(fd, kClockGen, reg, &v, 1) != 1) {
                clock_setup_state[n] = 0;  // the next pass starts again at register 0x00
                return;
            }
        }
        break;
    case 1:
        clock_done[n] = 1;
        if (n == 0) {
            source_status::set_bits(STATUS_EDID, 0x80, true);
            pad(pads::PAD_FPGA0_CFG, pads::kHigh);
        } else {
            source_status::set_bits(STATUS_HW, 0x01, true);
            pad(pads::PAD_FPGA1_CFG, pads::kHigh);
        }
        clock_setup_state[n] = 2;
        break;
    default:
        break;
    }
}

// ---- SDI chain -------------------------------------------------------------------------------

void zeltasource::it66121_sdi_enable()
{
    switch (sdi_state) {
    case 0:
        it66121->sdi_it66121_init();
        sdi_state = 1;
        break;
    case 1:
        if (it66121->IT66121_Test())
            sdi_state = 2;
        break;
    case 2:
        it66121->IT66121_init();
        sdi_state = 3;
        break;
    default:
        it66121->tx_sys.HDMITX_DevLoopProc();
        break;
    }
}

// A request raised while the pulse runs is absorbed by it.
void zeltasource::sdi_reset_pulse()
{
    if (!sdi_reset_request)
        return;
    if (sdi_reset_phase == 0) {
        pad(pads::PAD_SDI_RST, 0);
        sdi_reset_phase = 1;
        sdi_reset_tick = G_timeTicks.load();
    } else if (Utils::getTimeSpace(sdi_reset_tick) > kSdiResetTicks) {
        pad(pads::PAD_SDI_RST, 1);
        sdi_reset_phase = 0;
        sdi_reset_request = 0;
    }
}

// ---- audio selector --------------------------------------------------------------------------

uint8_t zeltasource::audio_selector_byte(const uint8_t* img)
{
    static constexpr uint8_t kBySource[6] = {0x80, 0x40, 0x20, 0x10, 0x04, 0x08};
    int w = img[ram_selected_window];
    if (w >= 6)
        w = 0;
    if (!(ram_rd16(img, ram_window_addr(w, WIN_AUDIO)) & WIN_AUDIO_ON))
        return 0x00;
    uint16_t source = ram_rd16(img, ram_window_addr(w, WIN_SOURCE));
    if (source & WIN_SOURCE_CROP) {
        const int row = source & 0xFF;
        if (row >= int(RAM_CROP_ROWS))
            return 0x00;  // no such crop row
        const uint16_t key = ram_rd16(img, ram_crop_addr(row, CROP_KEY));
        if (!(key & CROP_KEY_USED))
            return 0x00;  // the row holds no crop
        source = key & 0x0F;
    }
    return source < 6 ? kBySource[source] : 0x00;
}

void zeltasource::select_audio()
{
    TlxRamPara* s = TlxRamPara::p_tlxrampara_config;
    if (!s || !scaler_req::audio_select_request.exchange(0))
        return;
    uint8_t byte;
    {
        QMutexLocker lk(&c331_shared::c331_lock);
        byte = audio_selector_byte(s->ram_image);
    }
    if (i2c->i2c_write(fd, kAudioSelector, 0x00, &byte, 1) != 1)
        scaler_req::audio_select_request = 1;  // a failed write is tried again next pass
}

// ---- hot-plug command bytes ------------------------------------------------------------------

// Hot-plug of IT6805 device `device` (receiver 4 + device), reached through its channel.
void zeltasource::ite6805_hpd(int device, int level)
{
    select(kRxSwitch, kChannel[4 + device]);
    ite6805->drv->iTE6805_Set_HPD_Ctrl(0, uint8_t(level), uint8_t(device));
    platform::sleep_ms(10);
}

// The second byte (register 160): IT6805 hot-plug levels, then the group's reset line.
bool zeltasource::serve_hotplug_byte2()
{
    const uint8_t cmd = take_command_byte(kRegHotplug2);
    if (!cmd)
        return false;
    if (cmd & 0x10) ite6805_hpd(1, 0);
    if (cmd & 0x20) ite6805_hpd(1, 1);
    if (cmd & 0x40) ite6805_hpd(0, 0);
    if (cmd & 0x80) ite6805_hpd(0, 1);
    if (cmd & 0x01) pad(pads::PAD_RX6805_RST, pads::kLow);
    if (cmd & 0x02) pad(pads::PAD_RX6805_RST, pads::kHigh);
    if (cmd & 0x04) pad(pads::PAD_RX6805_RST, pads::kLow);
    if (cmd & 0x08) pad(pads::PAD_RX6805_RST, pads::kHigh);
    return true;
}

// The first byte (register 0): the group's reset line, then hot-plug levels; each restarts
// the IT6805 devices it touches.
bool zeltasource::serve_hotplug_byte1()
{
    const uint8_t cmd = take_command_byte(kRegHotplug1);
    if (!cmd)
        return false;
    for (int bit = 0; bit < 4; ++bit) {
        if (!(cmd & (1 << bit)))
            continue;
        pad(pads::PAD_RX6805_RST, (bit & 1) ? pads::kHigh : pads::kLow);
        ite6805->restart(0);
        ite6805->restart(1);
    }
    if (cmd & 0x10) ite6805_hpd(1, 0);
    if (cmd & 0x20) ite6805_hpd(1, 1);
    if (cmd & 0x40) {
        ite6805_hpd(0, 0);
        ite6805->restart(0);
    }
    if (cmd & 0x80) {
        ite6805_hpd(0, 1);
        ite6805->restart(0);
    }
    return true;
}
