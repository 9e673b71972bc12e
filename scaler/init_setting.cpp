// Bring-up register image, update-timing bracket and the default mode parameters.
#include <cstring>

#include "platform/clock.h"
#include "scaler/c331_drv.h"
#include "scaler/c331_manage.h"
#include "scaler/c331_regs.h"
#include "scaler/dbg_print.h"

namespace {

// The default mode parameters, in load order (see load_param).
constexpr int32_t parameters_txt[c331_manage::kParamTableSize] = {
    // PM_WIN_SHAPE [w][0], [w][1]
    2, 1, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    // PM_INPUT
    4, 5, 1, 2, 3, 0,
    // PM_WIN_OFFSET [w][4]
    100, 100, 100, 100, 0, 0, 0, 0, 0, 0, 540, 0, 0, 0, 1080, 0, 0, 0, 1080, 0, 0, 0, 540, 0,
    // PM_INPUT_OFFSET [w][4]
    100, 100, 200, 200, 0, 0, 0, 0, 400, 0, 200, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    // PM_INPUT_OFFSET_EN
    1, 0, 0, 0, 0, 0,
    // PM_WIN_NUM, PM_AREA_NUM, PM_OVERLAY (output channels)
    0, 0, 1, 1, 2, 3, 4, 5,
    0, 1, 0, 1, 0, 0, 0, 0,
    0, 0, 0, 0, 1, 2, 3, 4,
    // PM_OVERLAY_PRI
    1, 0, 2, 3, 4, 5,
    // win_mirror horizontal, then vertical
    0, 0, 0, 1, 1, 1, 0, 0, 1, 0, 1, 0,
    // win_switch_effect, win_fade_in_frames, win_fade_out_frames
    0, 1, 1, 1, 0, 1, 60, 60, 60, 60, 60, 60, 60, 60, 60, 60, 60, 60,
    // PM_WIN_DBD_MODE, win_dbd_fixed_owin
    0, 0, 1, 0, 1, 1, 0, 0, 0, 0, 0, 0,
    // OSD: enable, h zoom, v zoom, data mode, scroll mode
    0, 0, 0, 1, 2,
    // PM_OSD_OUTPUT_OFFSET, PM_OSD_INPUT_OFFSET
    0, 0, 0, 0, 0, 0, 0, 0,
    // two further OSD words, PM_OSD_UPDATE_BUTTON
    1, 0, 0,
};

// Stores v into *field; raises *flag (to 1) when the value changed.
void load_into(uint32_t* field, int32_t v, uint32_t* flag)
{
    const uint32_t nv = static_cast<uint32_t>(v);
    if (*field != nv && flag)
        *flag = 1;
    *field = nv;
}

void load_into(int32_t* field, int32_t v, uint32_t* flag)
{
    if (*field != v && flag)
        *flag = 1;
    *field = v;
}

constexpr uint8_t kRtct[3][7] = {
    {0, 0, 0, 0, 0, 0, 0},
    {0x99, 0x99, 0x21, 0x43, 0x55, 0x77, 0x99},
    {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
};

// The registers of one half of the V-by-One transmitter (the two halves do not lie at one
// distance from each other).
struct VboTxHalf {
    uint32_t reset;                       // VBO_RESET value that holds this half
    uint32_t enable, ctrl, swing, cfg, band, mode;
};
constexpr VboTxHalf kVboTxHalf[2] = {
    {0x0B, 0x021C01, 0x020A02, 0x021001, 0x021301, 0x021801, 0x020801},
    {0x07, 0x023401, 0x027A02, 0x022801, 0x022B01, 0x027801, 0x027801},
};

// Reset pulse, then the half's set-up with the band value, then its mode.
void vbo_tx_start(c331_drv* drv, int fd, const VboTxHalf& h, uint32_t band, uint32_t mode)
{
    drv->write_C331(fd, c331::VBO_RESET, h.reset, 0);
    drv->write_C331(fd, c331::VBO_RESET, c331::VBO_RESET_IDLE, 0);
    drv->write_C331(fd, h.enable, 0, 0);
    drv->write_C331(fd, h.ctrl, 0x0011, 0);
    drv->write_C331(fd, h.swing, 0xFF, 0);
    drv->write_C331(fd, h.cfg, 0x11, 0);
    drv->write_C331(fd, h.band, band, 0);
    drv->write_C331(fd, h.enable, 1, 0);
    drv->write_C331(fd, h.mode, mode, 0);
    drv->write_C331(fd, h.ctrl, 0x8011, 0);
}

}  // namespace

void c331_manage::set_rtct(int fd, int mode)
{
    if (mode < 0 || mode > 2)
        return;
    drv->write_c331_mask(fd, c331::RTCT_PULSE, 1, 1, 0);
    for (uint32_t i = 0; i < 7; ++i)
        drv->write_C331(fd, c331::RTCT_FIRST + (i << 8), kRtct[mode][i], 0);
    drv->write_c331_mask(fd, c331::RTCT_PULSE, 0, 1, 0);
}

int c331_manage::load_param()
{
    SCALER_DBG("[load_param]");
    std::memset(g_chg_win, 0, sizeof g_chg_win);
    std::memset(g_chg_input, 0, sizeof g_chg_input);
    std::memset(g_chg_attr, 0, sizeof g_chg_attr);
    std::memset(g_chg_fade, 0, sizeof g_chg_fade);
    std::memset(g_chg_dbd, 0, sizeof g_chg_dbd);
    std::memset(g_chg_stitch, 0, sizeof g_chg_stitch);
    std::memset(g_chg_och, 0, sizeof g_chg_och);
    g_chg_overlay = 0;
    g_chg_osd = 0;
    std::memset(g_chg_osd_extra, 0, sizeof g_chg_osd_extra);
    g_chg_pri = 0;

    const int32_t* t = parameters_txt;
    for (int w = 0; w < kWindows; ++w)
        for (int k = 0; k < 2; ++k)
            load_into(&PM_WIN_SHAPE[w][k], *t++, &g_chg_win[w]);
    for (int w = 0; w < kWindows; ++w) {
        const uint32_t nv = static_cast<uint32_t>(*t++);
        if (PM_INPUT[w] != nv)
            g_chg_input[w] = 1;
        PM_INPUT[w] = nv;
    }
    for (int w = 0; w < kWindows; ++w)
        for (int k = 0; k < 4; ++k)
            load_into(&PM_WIN_OFFSET[w][k], *t++, &g_chg_win[w]);
    for (int w = 0; w < kWindows; ++w)
        for (int k = 0; k < 4; ++k)
            load_into(&PM_INPUT_OFFSET[w][k], *t++, &g_chg_win[w]);
    for (int w = 0; w < kWindows; ++w)
        load_into(&PM_INPUT_OFFSET_EN[w], *t++, &g_chg_win[w]);
    for (int c = 0; c < kOch; ++c)
        load_into(&PM_WIN_NUM[c], *t++, nullptr);
    for (int c = 0; c < kOch; ++c)
        load_into(&PM_AREA_NUM[c], *t++, nullptr);
    for (int c = 0; c < kOch; ++c)
        load_into(&PM_OVERLAY[c], *t++, &g_chg_overlay);
    for (int w = 0; w < kWindows; ++w)
        load_into(&PM_OVERLAY_PRI[w], *t++, &g_chg_pri);
    for (int k = 0; k < 2; ++k)
        for (int w = 0; w < kWindows; ++w)
            load_into(&win_mirror[w][k], *t++, &g_chg_attr[w]);
    for (int w = 0; w < kWindows; ++w)
        load_into(&win_switch_effect[w], *t++, &g_chg_fade[w]);
    for (int w = 0; w < kWindows; ++w)
        load_into(&win_fade_in_frames[w], *t++, &g_chg_fade[w]);
    for (int w = 0; w < kWindows; ++w)
        load_into(&win_fade_out_frames[w], *t++, &g_chg_fade[w]);
    for (int w = 0; w < kWindows; ++w)
        load_into(&PM_WIN_DBD_MODE[w], *t++, &g_chg_dbd[w]);
    for (int w = 0; w < kWindows; ++w)
        load_into(&win_dbd_fixed_owin[w], *t++, &g_chg_dbd[w]);
    uint32_t* osd_words[5] = {&PM_OSD_EN, &PM_OSD_HZOOM_EN, &PM_OSD_VZOOM_EN, &PM_OSD_DATA_MODE, &PM_OSD_SCROLL_MODE};
    for (uint32_t* f : osd_words)
        load_into(f, *t++, &g_chg_osd);
    for (int k = 0; k < 4; ++k)
        load_into(&PM_OSD_OUTPUT_OFFSET[k], *t++, &g_chg_osd);
    for (int k = 0; k < 4; ++k)
        load_into(&PM_OSD_INPUT_OFFSET[k], *t++, &g_chg_osd);
    load_into(&PM_OSD_EXTRA[0], *t++, &g_chg_osd_extra[0]);
    PM_OSD_EXTRA[1] = static_cast<uint32_t>(*t++);
    if (PM_OSD_EXTRA[1] != 0)
        g_chg_osd_extra[1] = 1;
    PM_OSD_UPDATE_BUTTON = static_cast<uint32_t>(*t++);
    if (PM_OSD_UPDATE_BUTTON != 0)
        g_chg_osd = 1;

    for (int w = 0; w < kWindows; ++w)
        PM_WIN_STITCHING[w] = static_cast<uint32_t>(w);
    for (int c = 0; c < kOch; ++c)
        if (g_chg_och[c])
            g_chg_overlay = 1;
    for (int w = 0; w < kWindows; ++w)
        std::printf("load_param  WIN[%d]  win=%d  dbd=%d  input=%d  pri=%d\n", w, g_chg_win[w], g_chg_dbd[w],
                    g_chg_input[w], PM_OVERLAY_PRI[w]);
    return 0;
}

void c331_manage::vbo_rx_start(int fd, int rx, uint32_t width, uint32_t ctrl)
{
    const uint32_t at = c331::VBO_RX_STRIDE * static_cast<uint32_t>(rx);
    drv->write_C331(fd, c331::VBO_RESET, c331::VBO_RESET_IDLE & ~(1u << rx), 0);
    drv->write_C331(fd, c331::VBO_RESET, c331::VBO_RESET_IDLE, 0);
    drv->write_C331(fd, c331::VBO_RX_CFG + at, 5, 0);
    drv->write_C331(fd, c331::VBO_RX_CFG + at + c331::VBO_RX_WIDTH_OFS, width, 0);
    drv->write_C331(fd, c331::VBO_RX_CFG + at + c331::VBO_RX_CTRL_OFS, ctrl, 0);
}

int c331_manage::vbo_band_value(int pll_init) const
{
    if (!pll_init)
        return 0;
    const uint64_t d = PS_VBOTX_MODE == 1 ? 2000000 : 4000000;
    const uint64_t div = d * (PS_OTIMING[3] ? PS_OTIMING[3] : 1);
    const uint64_t f = static_cast<uint64_t>(PS_OTIMING[4]) * PS_CLK[2] / div;
    return f < 21 ? 68 : f <= 40 ? 72 : 76;
}

void c331_manage::write_initial_setting(int fd, int pll_init)
{
    auto wr = [&](uint32_t id, uint32_t v, uint32_t choffs = 0) { drv->write_C331(fd, id, v, choffs); };
    // One-byte registers first..last of a bank, all set to v.
    auto fill = [&](uint32_t bank, uint32_t first, uint32_t last, uint32_t v) {
        for (uint32_t r = first; r <= last; ++r)
            wr(c331::reg_id(bank, r, 1), v);
    };

    // 1. PLL start.
    if (pll_init) {
        wr(0xFF0001, 0x08);
        wr(0xFF0101, 0x00);
        wr(0xFF0201, 0xC8);
        wr(0xFF0301, 0x00);
        wr(0xFF0401, 0x61);
        wr(0xFF0503, 0x000001);
        Sleep(20);
    }
    const uint32_t band = static_cast<uint32_t>(vbo_band_value(pll_init));

    // 2. Bank 0: system.
    fill(0x00, 0x08, 0x0F, 0x11);
    for (uint32_t i = 0; i < 8; ++i)
        wr(c331::reg_id(0x00, 0x10 + i, 1), 2 * i);
    wr(0x001802, 0);
    fill(0x00, 0x1A, 0x1D, 4);
    wr(0x001E02, 0x0404);
    wr(0x002002, 0x0404);
    wr(0x003801, 0);
    wr(0x003902, 0x0202);
    fill(0x00, 0x22, 0x27, 0);
    wr(0x004601, 0);
    for (uint32_t i = 0; i < 5; ++i)
        wr(c331::reg_id(0x00, 0x47 + i, 1), PS_OTIMING[i]);
    fill(0x00, 0x4C, 0x50, 0);
    for (uint32_t i = 0; i < 4; ++i)
        wr(c331::reg_id(0x00, 0x51 + i, 1), PS_OTIMING[5 + i]);
    wr(c331::OUT_TIMING_CTRL, 0);
    fill(0x00, 0x59, 0x60, 0x11);
    fill(0x00, 0x61, 0x68, 0x18);
    fill(0x00, 0x69, 0x78, 0);
    wr(0x007901, 0x2E);
    for (uint32_t k = 0; k < 8; ++k) {
        wr(0x007A01, 0x80 + 4 * k);
        wr(0x007A01, 0x81 + 4 * k);
    }

    // 3. Bank 3: output timing.
    wr(0x030801, 0);
    wr(0x030902, 0);
    wr(0x030B02, 0);
    wr(0x031101, 0);
    wr(0x031202, 0);
    wr(0x031402, 0);
    for (uint32_t base : {0x031A00u, 0x032300u}) {
        wr(base | 0x01, 0);
        wr(base + 0x100 + 0x02, 0xC0);
        wr(base + 0x300 + 0x02, 0xF00);
    }
    wr(0x032C02, 0);
    wr(0x032F02, 0);
    wr(0x033602, 0);
    wr(0x033902, 0);
    wr(0x034201, 9);
    wr(0x034401, PS_HSW / 2 - 1);
    wr(0x034501, PS_VSW - 1);
    wr(0x034301, 9);
    wr(0x034C01, PS_HSW / 2 - 1);
    wr(0x034D01, PS_VSW - 1);
    wr(0x057E02, 0x40);

    // 4. V-by-One transmitter layout.
    if (PS_VBOTX_MODE == 1) {
        wr(0x032C02, 0);
        wr(0x032F02, 0);
        wr(0x033602, 0);
        wr(0x033902, 0);
        wr(0x034602, 0);
        wr(0x034E02, 0);
        wr(0x035504, 0x76543210);
        wr(0x035E04, 0x76543210);
        wr(0x036204, 0x76543210);
    } else if (PS_VBOTX_MODE == 2) {
        for (uint32_t id : {0x032C02u, 0x032F02u, 0x033602u, 0x033902u, 0x034602u, 0x034E02u})
            wr(id, 0);
        wr(0x035504, 0x10000);
        wr(0x035E04, 0x76543210);
        wr(0x036204, 0x76543210);
    } else {
        wr(0x032C02, 5);
        wr(0x032F02, 1920);
        wr(0x033602, 5);
        wr(0x033902, 1920);
        wr(0x034602, 1);
        wr(0x034E02, 1);
        wr(0x035504, 0x73625140);
        wr(0x035E04, 0x73625140);
        wr(0x036204, 0x73625140);
    }

    // 5. Memory and colour.
    wr(0x042B02, (PS_SFL_ADDR >> 16) | 0x8000);
    wr(0x063804, 0x07070707);
    wr(0x063C04, 0x33333333);

    // 6. Output channel banks.
    wr(0x080802, 0x0201);
    for (uint32_t b : {0x18u, 0x28u, 0x38u})
        wr(c331::reg_id(b, 0x08, 2), 0x1211);
    for (uint32_t b : {0x48u, 0x58u, 0x68u, 0x78u})
        wr(c331::reg_id(b, 0x08, 2), 0x0011);
    for (uint32_t k = 0; k < 8; ++k) {
        const uint32_t bank = 0x0E + 0x10 * k;
        wr(c331::reg_id(bank, 0x08, 1), 1);
        wr(c331::reg_id(bank, 0x09, 4), 8 + k);
        wr(c331::reg_id(bank, 0x0D, 2), 0x55);
    }
    for (uint32_t c = 0; c < 4; ++c)
        wr(0x0E1701, 0x80, c331::kChannelStride * c);
    static constexpr uint32_t kIchSync[8] = {1, 1, 1, 1, 1, 12, 1, 14};
    for (uint32_t k = 0; k < 8; ++k)
        wr(c331::reg_id(0x10 * (k + 1), 0x09, 1), kIchSync[k]);

    // 7. Per output channel: layer defaults.
    for (uint32_t c = 0; c < 8; ++c) {
        const uint32_t o = c331::kChannelStride * c;
        wr(0x166501, 1, o);
        wr(0x166603, 0x043210, o);
        wr(0x166B01, 0, o);
        wr(0x166C02, 0x2103, o);
    }

    // 8. Per output channel: timing, colour matrices.
    for (uint32_t c = 0; c < 8; ++c) {
        const uint32_t o = c331::kChannelStride * c;
        wr(0x080A02, PS_HTOTAL - 2, o);
        wr(0x080C02, PS_VTOTAL - 2, o);
        wr(0x081D02, 0x40, o);
        for (uint32_t base : {0x082800u, 0x083000u}) {
            wr(base | 0x02, PS_OAOIHST, o);
            wr((base + 0x200) | 0x02, PS_OAOIHED, o);
            wr((base + 0x400) | 0x02, PS_OAOIVST, o);
            wr((base + 0x600) | 0x02, PS_OAOIVED, o);
        }
        wr(c331::OCH_ACT_HST, PS_ACTHST, o);
        wr(c331::OCH_ACT_HW, 0, o);
        wr(c331::OCH_ACT_VST, PS_ACTVST, o);
        wr(c331::OCH_ACT_VW, PS_ACTVW + 1, o);
        for (uint32_t id : {0x090A02u, 0x090C02u, 0x090E02u, 0x091002u})
            wr(id, 0xFF, o);
        for (uint32_t id : {0x0A4401u, 0x0A4601u, 0x0A4701u, 0x0A4801u, 0x0A4902u, 0x0A4B01u, 0x0A4C01u, 0x0A4D01u,
                            0x0A4E02u})
            wr(id, 0, o);
        wr(0x0B5E01, 1, o);
        static constexpr uint32_t kMatrix1[][2] = {
            {0x0C4801, 0},      {0x0C4902, 0x3265}, {0x0C4B02, 0x2000}, {0x0C4D02, 0},      {0x0C4F02, 0xF105},
            {0x0C5102, 0x2000}, {0x0C5302, 0xFA02}, {0x0C5502, 0},      {0x0C5702, 0x2000}, {0x0C5902, 0x3B61},
            {0x101001, 0x80},   {0x101101, 0x80},   {0x102801, 0x88},   {0x102902, 0},      {0x102B02, 0},
            {0x102D02, 0},      {0x102F02, 0x200},  {0x103102, 0x200},  {0x103302, 0x200},  {0x103502, 0x4000},
            {0x103702, 0xC5DD}, {0x103902, 0xFA23}, {0x103B02, 0x1B36}, {0x103D02, 0x5B8C}, {0x103F02, 0x093E},
            {0x104102, 0xF155}, {0x104302, 0xCEAB}, {0x104502, 0x4000}, {0x104701, 0},      {0x104801, 4},
            {0x104901, 8},      {0x114201, 0},      {0x114301, 0},      {0x114401, 0},      {0x114501, 0},
            {0x114601, 0},      {0x114702, 0},      {0x114901, 0},      {0x114A01, 0},      {0x114B01, 0},
            {0x114C02, 0},
        };
        for (const auto& rv : kMatrix1)
            wr(rv[0], rv[1], o);
    }

    // 9. Frame stores of the input channels.
    static constexpr int kGroup[8] = {0, 1, 2, 3, 4, 4, 5, 5};
    for (uint32_t k = 0; k < 8; ++k) {
        const uint32_t bank = 0x16 + 0x10 * k;
        const uint32_t plus = (k == 5 || k == 7) ? 0x1E00 : 0;
        for (uint32_t i = 0; i < 4; ++i)
            wr(c331::reg_id(bank, 0x1C + 4 * i, 4), PS_MEM_SC[kGroup[k]][i] + plus);
    }
    for (uint32_t k = 0; k < 8; ++k) {
        wr(c331::reg_id(0x16 + 0x10 * k, 0x30, 1), 64);
        wr(c331::reg_id(0x16 + 0x10 * k, 0x31, 1), 64);
    }

    // 10. Input-processing channels.
    for (uint32_t c = 0; c < static_cast<uint32_t>(kIpCh); ++c) {
        const uint32_t o = c331::kChannelStride * c;
        wr(0x140D02, 0x10, o);
        wr(0x141601, 1, o);
        wr(0x141701, 1, o);
        wr(0x141801, 2, o);
        wr(0x141901, 8, o);
        wr(0x142201, 0, o);
        wr(0x142301, 0x11, o);
        wr(0x175801, 35, o);
        wr(0x175B04, PS_MEM_IP[22 + c], o);
    }

    if (!pll_init)
        return;

    // 11. Memory controller and PLL completion.
    wr(0xFF0201, 0);
    wr(0xFF0401, 0);
    wr(0x012601, 0);
    Sleep(1);
    wr(0x010801, 0x30);
    wr(0x010904, 0x22222222);
    wr(0x010D04, 0x66663445);
    wr(0x011104, 0x22222222);
    fill(0x01, 0x15, 0x18, 0x77);
    wr(0x011901, 7);
    fill(0x01, 0x1A, 0x1B, 0x3F);
    wr(0x011C01, 0);
    fill(0x01, 0x1D, 0x1E, 0x10);
    fill(0x01, 0x1F, 0x20, 0x0E);
    fill(0x01, 0x21, 0x22, 0x30);
    fill(0x01, 0x23, 0x24, 0x4F);
    wr(0x012501, 9);
    wr(0x012601, 0x0F);
    wr(0x012701, 0x11);
    wr(0x012801, 1);
    wr(0x012904, 0x88888888);
    fill(0x01, 0x2D, 0x34, 0x77);
    wr(0x013501, 7);
    static constexpr uint32_t kDll[9] = {0x67, 0x65, 0x62, 0x60, 0x6A, 0x67, 0x64, 0x61, 0x6C};
    for (uint32_t i = 0; i < 9; ++i)
        wr(c331::reg_id(0x01, 0x36 + i, 1), kDll[i]);
    wr(0x013F01, 8);
    for (uint32_t i = 0; i < 8; ++i)
        wr(c331::reg_id(0x01, 0x40 + 3 * i, 3), 0x924924);
    for (uint32_t i = 0; i < 8; ++i)
        wr(c331::reg_id(0x01, 0x58 + 3 * i, 3), 0x6DB6DB);
    wr(0x017004, 0x33333333);
    Sleep(1);
    wr(0xFF0201, 0x88);
    Sleep(1);
    wr(0xFF0201, 0xC8);
    Sleep(1);
    wr(0xFF0401, 0x61);
    Sleep(20);

    // 12. V-by-One start: receivers 0 and 1, then both transmitter halves.
    const uint32_t tx_mode = PS_VBOTX_MODE == 1 ? 5 : 9;
    vbo_rx_start(fd, 0, 0x80, 0xA3);
    vbo_rx_start(fd, 1, 0x80, 0xA3);
    vbo_tx_start(drv, fd, kVboTxHalf[0], band, tx_mode);
    vbo_tx_start(drv, fd, kVboTxHalf[1], band, tx_mode);
}
