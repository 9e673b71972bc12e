// Window setters of the apply pass (attribute, output word, dot-by-dot mode, crop) and the
// port operations of the input following (background, picture enable, sync polarity,
// V-by-One receiver set-up). Windows are list positions, as pwinfo and the PM_ arrays are.
#include <cstdio>

#include "core/globals.h"
#include "core/TlxRamPara.h"
#include "core/ram_map.h"
#include "scaler/c331_drv.h"
#include "scaler/c331_manage.h"
#include "scaler/c331_regs.h"
#include "scaler/dbg_print.h"
#include "scaler/pipeline_regs.h"

namespace {

constexpr int kVboClockPolls = 250;
constexpr double kVboLowClockHz = 50000000.0;

uint32_t choffs(int ch) { return c331::kChannelStride * static_cast<uint32_t>(ch); }

}  // namespace

int c331_manage::tlxApi_GetPortDevId(int port) const
{
    static const int map[6] = {3, 2, 1, 0, 5, 4};
    return port >= 1 && port <= 5 ? map[port] : 3;
}

// A port above 5 (none, or a stale source) has no signal.
bool c331_manage::port_has_signal(uint32_t port) const
{
    return port < static_cast<uint32_t>(kPorts) && signal_kept(PI_PORT_INFO[port], PI_STATE[port]);
}

// ---- window setters -------------------------------------------------------------------------

void c331_manage::c331_SetWinAttr(int w, int value)
{
    SCALER_DBG("[c331_SetWinAttr] win:%d, data:%x\r\n", w, value);
    if (w < 0 || w >= static_cast<int>(wincnt) || w >= kWindows)
        return;
    pwinfo[w].attr = static_cast<uint8_t>(value & 3);
    g_chg_attr[w] = 1;
    win_mirror[w][0] = value & 1;
    win_mirror[w][1] = (value >> 1) & 1;
    // A window cut at the wall's edge shows another part of its input when mirrored.
    for (int k = 0; k < 4; ++k)
        if (win_cut[w][k])
            g_chg_win[w] = 1;
    set_output(c331_fd);
}

static uint32_t dbd_code_of(const uint8_t* img, int slot)
{
    return challoc::dbd_code(ram_rd16(img, ram_window_addr(slot, WIN_P2P_MODE)));
}

// The image slot whose record list position w shows (-1 when none).
static int slot_of(const c331_manage& m, int w)
{
    for (int s = 0; s < c331_manage::kWindows; ++s)
        if (m.slot_pos[s] == w)
            return s;
    return -1;
}

void c331_manage::c331_SetWinOutput(int fd, int w, int data)
{
    SCALER_DBG("[c331_SetWinOutput] win:%d, data:%x\r\n", w, data);
    if (w < 0 || w >= kWindows)
        return;
    ST_WIN_INFO& wi = pwinfo[w];
    SCALER_DBG("\t pwinfo[win_%d].output:%02x -- data:%02x\n", w, wi.output, data);
    const uint8_t nv = static_cast<uint8_t>(data & 3);
    if ((nv ^ wi.output) & 1) {
        wi.output = static_cast<uint8_t>((wi.output & ~1) | (nv & 1));
        SCALER_DBG("\t change win_%d output:%s\n", w, (nv & 1) ? "Black" : "Normal");
        set_input_bkg2(fd, w, nv & 1);
    }
    const uint32_t effect = (data >> 2) & 1;
    const TlxRamPara* store = TlxRamPara::p_tlxrampara_config;
    const int slot = slot_of(*this, w);
    const uint32_t code = (data & WIN_OUT_P2P) ? (store && slot >= 0 ? dbd_code_of(store->ram_image, slot) : 1) : 0;
    if ((nv ^ wi.output) & 2) {
        wi.output = static_cast<uint8_t>(wi.output & ~2);
        if (port_has_signal(PM_INPUT[w])) {
            wi.output = static_cast<uint8_t>(wi.output | (nv & 2));
            win_freeze_sel(fd, w, data & 2);
            SCALER_DBG("\t change win_%d freeze:%s\n", w, (nv & 2) ? "Freeze" : "Normal");
            // The rest of the word is still applied; only a change of it reprograms.
            if (win_switch_effect[w] == effect && PM_WIN_DBD_MODE[w] == code)
                return;
        } else {
            SCALER_DBG("\t change win_%d no signal, disable freeze\n", w);
        }
    }
    win_switch_effect[w] = effect;
    SCALER_DBG("\t change win_%d SWITCH SRC EFFECT: %s\n", w, effect ? "QuickSwap" : "FadeInOut");
    PM_WIN_DBD_MODE[w] = code;
    if (!code)
        SCALER_DBG("\t change win_%d DBD_MODE: DBD_DISABLE\n", w);
    apply_dbd(w);
}

// The ports a dot-by-dot window joins may never have been measured: classify them first, so
// that the window is programmed with their capture areas.
void c331_manage::apply_dbd(int w)
{
    g_chg_dbd[w] = 1;
    check_input_port(c331_fd);
    set_output(c331_fd);
}

void c331_manage::c331_SetWinDbdMode(int, int w, int index)
{
    const TlxRamPara* store = TlxRamPara::p_tlxrampara_config;
    const int slot = slot_of(*this, w);
    if (w < 0 || w >= kWindows || !store || slot < 0)
        return;
    if (!(ram_rd16(store->ram_image, ram_window_addr(slot, WIN_OUTPUT)) & WIN_OUT_P2P))
        return;
    PM_WIN_DBD_MODE[w] = challoc::dbd_code(static_cast<uint16_t>(index));
    apply_dbd(w);
}

void c331_manage::c331_SetInputsourceCrop(int w, int key)
{
    SCALER_DBG("[%s] win:%d , cropIdx:%04X\n", "c331_SetInputsourceCrop", w, key);
    if (w < 0 || w >= static_cast<int>(wincnt) || w >= kWindows) {
        SCALER_DBG("[%s] win:%d oor\n", "c331_SetInputsourceCrop", w);
        return;
    }
    const int row = key & 0xFF;
    const TlxRamPara* store = TlxRamPara::p_tlxrampara_config;
    if (row >= RAM_CROP_ROWS || !store) {
        SCALER_DBG("\t !!!!!!!!!cropIdx OOR,return !!!!!!!!!!!!!");
        return;
    }
    pwinfo[w].crop = static_cast<uint8_t>(row);
    pwinfo[w].input = static_cast<uint8_t>(ram_rd16(store->ram_image, ram_crop_addr(row, CROP_KEY)) & 0xFF);
    SCALER_DBG("\t win:%d Input:%d\n", w, pwinfo[w].input);
}

void c331_manage::c331_SetCrop(int w, int enable, ST_RECT rect)
{
    SCALER_DBG("[c331_SetCrop] win:%d, enable:%d, rect(%d,%d,%d,%d)\r\n", w, enable, rect.x, rect.y, rect.w, rect.h);
    if (w < 0 || w > 5) {
        SCALER_DBG("  not found win:%d\r\n", w);
        return;
    }
    // A crop key source above 5 maps to port 255: no signal, so zero margins. The margins
    // follow the one rule of tlxApi_CropGetOffset, as a change of the port's timing does.
    const int p = tlxApi_inputCvtC331(pwinfo[w].input);
    const bool port_ok = p < kPorts;
    PM_INPUT_OFFSET_EN[w] = enable ? 1 : 0;
    for (int k = 0; k < 4; ++k)
        PM_INPUT_OFFSET[w][k] = enable && port_ok ? static_cast<uint32_t>(tlxApi_CropGetOffset(p, &rect, k)) : 0;
    if (enable)
        SCALER_DBG("\t PM_OFFSET(%d,%d,%d,%d)\r\n", PM_INPUT_OFFSET[w][0], PM_INPUT_OFFSET[w][1],
                   PM_INPUT_OFFSET[w][2], PM_INPUT_OFFSET[w][3]);
    set_output(c331_fd);
}

int c331_manage::window_crop_row(int w) const
{
    return PM_INPUT_OFFSET_EN[w] && pwinfo[w].crop < RAM_CROP_ROWS ? pwinfo[w].crop : -1;
}

void c331_manage::tlxApi_updateCrop(int p)
{
    SCALER_DBG("[tlxApi_updateCrop]  input_num:%d\n", p);
    const TlxRamPara* store = TlxRamPara::p_tlxrampara_config;
    if (!store || p < 0 || p >= kPorts)
        return;
    for (int w = 0; w < kWindows && w < static_cast<int>(wincnt); ++w) {
        if (PM_INPUT[w] != static_cast<uint32_t>(p) || window_crop_row(w) < 0)
            continue;
        ST_RECT r = crop_rect(store->ram_image, pwinfo[w].crop);
        for (int k = 0; k < 4; ++k)
            PM_INPUT_OFFSET[w][k] = static_cast<uint32_t>(tlxApi_CropGetOffset(p, &r, k));
        SCALER_DBG("[tlxApi_updateCrop] win:%d, port:%d, cropWin:(%d,%d,%d,%d), PM_INPUT_OFFSET(%d,%d,%d,%d)\n", w, p,
                   r.x, r.y, r.w, r.h, PM_INPUT_OFFSET[w][0], PM_INPUT_OFFSET[w][1], PM_INPUT_OFFSET[w][2],
                   PM_INPUT_OFFSET[w][3]);
    }
}

// ---- background -----------------------------------------------------------------------------

void c331_manage::set_input_bkg2(int fd, int w, int on)
{
    SCALER_DBG("[set_input_bkg2] win_%d, onoff:%d\n", w, on);
    if (w < 0 || w >= kWindows)
        return;
    const uint32_t p = PM_INPUT[w];
    // No signal, no port or no input channel: the window shows its background.
    const bool show = on || p > 5 || PI_STATE[p] == 0 || first_ich(w) < 0;
    const bool force = g_force_bkcolor == 1;
    const uint32_t enable = PM_WIN_DBD_MODE[w] != 0 ? 0 : force ? 1 : show ? 1 : 0;
    for (int k = 0; k < kOch; ++k) {
        if (PM_WIN_NUM[k] != static_cast<uint32_t>(w))
            continue;
        drv->write_C331(fd, c331::OCH_BKG_COLOR, force ? 0xFF00 : 0, choffs(k));
        drv->write_C331(fd, c331::OCH_BKG_EN, (pwinfo[w].output & 1) ? 1 : enable, choffs(k));
    }
}

// Every window showing port p, through the window's own rule: a window set black stays black.
void c331_manage::set_input_bkg(int fd, int p, int on)
{
    SCALER_DBG("[set_input_bkg] port_%d, onoff:%d\n", p, on);
    set_rtct(fd, 2);
    for (int w = 0; w < kWindows; ++w)
        if (PM_INPUT[w] == static_cast<uint32_t>(p))
            set_input_bkg2(fd, w, on);
    set_rtct(fd, 1);
}

// ---- port operations ------------------------------------------------------------------------

void c331_manage::set_pict(int fd, int on, int i)
{
    if (i < 0 || i > 3)
        return;
    const uint32_t bit = 1u << (4 * i);
    drv->write_c331_mask(fd, c331::PICT_EN, on ? bit : 0, bit, 0);
}

void c331_manage::set_VBORXfrange(int fd, int r, int toggle, float pclk)
{
    if (r < 0 || r > 1)
        return;
    const uint32_t reg = r == 0 ? c331::VBO_RX_FRANGE0 : c331::VBO_RX_FRANGE1;
    if (toggle) {
        const uint32_t v = drv->read_C331(fd, reg, 0);
        drv->write_C331(fd, reg, v ^ c331::VBO_RX_FRANGE_LOW, 0);
        return;
    }
    drv->write_c331_mask(fd, reg, pclk < kVboLowClockHz ? c331::VBO_RX_FRANGE_LOW : 0, c331::VBO_RX_FRANGE_LOW, 0);
    const uint32_t lock = r == 0 ? 0x20 : 0x80;
    const uint32_t counter = c331::VBO_PERIOD + (0xC00u * static_cast<uint32_t>(r));
    if (drv->read_C331(fd, c331::VBO_LOCK, 0) & lock)
        return;
    for (int i = 0; i < kVboClockPolls; ++i) {
        const uint32_t v = drv->read_C331(fd, counter, 0);
        if (v != 0xFFFFFE && v != 0xFFFFFF)
            break;
        if (drv->read_C331(fd, c331::VBO_LOCK, 0) & lock)
            break;
    }
}

void c331_manage::set_sypol(int fd, int vbo, int i)
{
    const int p = vbo ? 4 + i : i;
    if (i < 0 || (vbo && i > 1) || (!vbo && i > 3))
        return;
    const ST_HDMI_INFO& h = PI_HDMI_INFO[p];
    const uint32_t v = (h.vpol & 1) + 2 * (h.hpol & 1);
    drv->write_C331(fd, c331::STATUS_LATCH, c331::STATUS_LATCH_ON, 0);
    if (vbo)
        drv->write_c331_mask(fd, c331::SYPOL_VBO, (v * 0x1111u) << (16 * i), 0xFFFFu << (16 * i), 0);
    else
        drv->write_c331_mask(fd, c331::SYPOL_CMOS, (v + 4) << (8 * i), 0xFFu << (8 * i), 0);
    drv->write_C331(fd, c331::STATUS_LATCH, 0, 0);
    PI_SYNC_POL[p] = v;
}

void c331_manage::set_VBOInput(int fd, int r)
{
    if (r < 0 || r > 1)
        return;
    set_sypol(fd, 1, r);
    uint32_t setup, select;
    switch (PI_HDMI_INFO[4 + r].lanes) {
    case 1: setup = 0, select = 0; break;
    case 2: setup = 1, select = 0x10; break;
    case 4: setup = 0x11, select = 4; break;
    default: setup = 0x404, select = 2; break;
    }
    drv->write_C331(fd, c331::VBO_LANE_SETUP + (0x200u * static_cast<uint32_t>(r)), setup, 0);
    drv->write_c331_mask(fd, c331::VBO_LANE_SELECT, select << (8 * r), 0xFFu << (8 * r), 0);
}
