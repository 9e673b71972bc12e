// Bench facilities of the scaler: console dumps of registers and parameters, the output
// timing control decoder, a pixel-clock divisor listing, test bars and V-by-One restarts.
#include <cstdio>

#include "scaler/c331_drv.h"
#include "scaler/c331_manage.h"
#include "scaler/c331_regs.h"
#include "scaler/dbg_print.h"

namespace {

// The register list of the full dump: every register of the banks the scaler programs,
// one byte each, bank by bank. 7,967 entries in all.
struct DumpRange {
    uint8_t bank, first, last;
};
constexpr DumpRange kDumpRanges[] = {
    {0x00, 0x01, 0x7F}, {0x01, 0x01, 0x7F}, {0x02, 0x01, 0x7F}, {0x03, 0x01, 0x7F}, {0x04, 0x01, 0x7F},
    {0x05, 0x01, 0x7F}, {0x06, 0x01, 0x7F}, {0x08, 0x01, 0x7F}, {0x09, 0x01, 0x7F}, {0x0A, 0x01, 0x7F},
    {0x0B, 0x01, 0x7F}, {0x0C, 0x01, 0x7F}, {0x0E, 0x01, 0x7F}, {0x10, 0x01, 0x7F}, {0x11, 0x01, 0x7F},
    {0x14, 0x01, 0x7F}, {0x16, 0x01, 0x7F}, {0x17, 0x01, 0x7F}, {0x18, 0x01, 0x7F}, {0x19, 0x01, 0x7F},
    {0x1A, 0x01, 0x7F}, {0x1B, 0x01, 0x7F}, {0x1C, 0x01, 0x7F}, {0x1E, 0x01, 0x7F}, {0x20, 0x01, 0x7F},
    {0x21, 0x01, 0x7F}, {0x24, 0x01, 0x7F}, {0x26, 0x01, 0x7F}, {0x27, 0x01, 0x7F}, {0x28, 0x01, 0x7F},
    {0x29, 0x01, 0x7F}, {0x2A, 0x01, 0x7F}, {0x2B, 0x01, 0x7F}, {0x2C, 0x01, 0x7F}, {0x2E, 0x01, 0x7F},
    {0x30, 0x01, 0x7F}, {0x31, 0x01, 0x7F}, {0x34, 0x01, 0x7F}, {0x36, 0x01, 0x7F}, {0x37, 0x01, 0x7F},
    {0x38, 0x01, 0x7F}, {0x39, 0x01, 0x7F}, {0x3A, 0x01, 0x7F}, {0x3B, 0x01, 0x7F}, {0x3C, 0x01, 0x7F},
    {0x3E, 0x01, 0x7F}, {0x40, 0x01, 0x7F}, {0x41, 0x01, 0x7F}, {0x46, 0x01, 0x7F}, {0x48, 0x01, 0x7F},
    {0x49, 0x01, 0x7F}, {0x4A, 0x01, 0x7F}, {0x4B, 0x01, 0x7F}, {0x4C, 0x01, 0x7F}, {0x4E, 0x01, 0x7F},
    {0x50, 0x01, 0x7F}, {0x51, 0x01, 0x7F}, {0x56, 0x01, 0x7F}, {0x58, 0x01, 0x7F}, {0x5C, 0x01, 0x7F},
    {0x60, 0x01, 0x7F}, {0xAE, 0x01, 0x7F}, {0xB2, 0x01, 0x5D},
};

struct BarRow {
    uint8_t bank, enable;
    uint16_t width;
    uint8_t colour[3], step[3];
};
constexpr BarRow kOutputBars[] = {
    {0x08, 9, 1376, {0xFF, 0xFF, 0xFF}, {3, 3, 3}},
    {0x18, 9, 1376, {0xFF, 0, 0}, {3, 0, 0}},
    {0x28, 9, 1376, {0, 0xFF, 0}, {0, 3, 0}},
    {0x38, 9, 1376, {0, 0, 0xFF}, {0, 0, 3}},
};
constexpr BarRow kInputBars[] = {
    {0x48, 0x89, 2752, {0xFF, 0xFF, 0xFF}, {3, 3, 3}},
    {0x58, 0x89, 2752, {0, 0xFF, 0}, {0, 3, 0}},
};

const char* const kParamSections[10] = {"c331_param", "c331_win", "c331_mem", "c331_mwi", "c331_mw1s",
                                        "c331_PI",    "none",     "none",     "none",     "none"};

// One heading and one line per entry of a parameter array.
void print_list(const char* name, const uint32_t* v, int n)
{
    std::printf("<<===%s\r", name);
    for (int i = 0; i < n; ++i)
        std::printf("\t %s[%d]  :%d \r\n", name, i, v[i]);
}

}  // namespace

void c331_manage::c331_print()
{
    for (const DumpRange& r : kDumpRanges) {
        for (unsigned reg = r.first; reg <= r.last; ++reg) {
            const uint32_t id = c331::reg_id(r.bank, reg, 1);
            std::printf("%06X  %08Xh\n", id, drv->read_C331(c331_fd, id, 0));
        }
    }
}

void c331_manage::tlxDbg_c331_print_regGrp(int grp)
{
    std::printf("[%s] grp:%d\n", "tlxDbg_c331_print_regGrp", grp);
    if (grp != 0) {
        std::printf("\t not found valid grp!!!!!!!");
        return;
    }
    auto rd = [&](uint32_t id, uint32_t choffs) { return drv->read_C331(c331_fd, id, choffs); };
    const char* sep = "////////////////////////////////////////////////////////////\n";
    std::printf("\t ICH:\n");
    for (int w = 0; w < kWindows; ++w) {
        if (win_ich[w][0] < 0)
            continue;
        std::printf("\t\t win:%d, port:%d ich_used: ", w, PM_INPUT[w]);
        for (int c : win_ich[w])
            if (c >= 0 && c < 8)
                std::printf("ICH%d ", c + 1);
        std::printf("\n");
    }
    std::printf("%s", sep);
    std::printf("\t OCH:\n");
    for (int i = 0; i < kWindows; ++i) {
        const ST_WIN_INFO& wi = pwinfo[i];
        int cnt = 0;
        while (cnt < kOch && wi.ochLst[cnt] < kOch)
            ++cnt;
        if (!cnt)
            continue;
        std::printf("\t\t win:%d, och_cnt:%d used och(left -> right):", i, cnt);
        for (int k = 0; k < cnt; ++k)
            std::printf(" OCH%d", wi.ochLst[k] + 1);
        std::printf("\n");
    }
    std::printf("%s", sep);
    std::printf("\t      OSFLD0,  OSFLD1,  OSFLD2,  OSFLD3,  OSFLD4   --- ISFLD0,  ISFLD1,  ISFLD2,  ISFLD3,  ISFLD4\n");
    for (int c = 1; c <= kOch; ++c) {
        const uint32_t o = 16u * (c - 1);
        uint32_t v[10];
        for (int k = 0; k < 5; ++k) {
            v[k] = rd(c331::FS_OUT_FIELD0 + (4u * k << 8), o);
            v[5 + k] = rd(c331::FS_IN_FIELD0 + (4u * k << 8), o);
        }
        std::printf("\t CH%d  %08X,%08X,%08X,%08X,%08X --- %08X,%08X,%08X,%08X,%08X\n", c, v[0], v[1], v[2], v[3],
                    v[4], v[5], v[6], v[7], v[8], v[9]);
    }
    std::printf("%s", sep);
    std::printf("\t      OSYCT    --- ISYCT,     OMWI     --- IMWI\n");
    for (int c = 1; c <= kOch; ++c) {
        const uint32_t o = 16u * (c - 1);
        std::printf("\t CH%d  %08X --- %08X,  %08X --- %08X\n", c, rd(c331::OCH_SYNC_CTRL, o),
                    rd(c331::ICH_SYNC_CTRL, o), rd(c331::FS_OMWI, o), rd(c331::FS_IMWI, o));
    }
    std::printf("%s", sep);
    std::printf("\t OACT:HST,  HW,   VST,  VW   - IACT:HST,  HW,   VST,  VW\n");
    for (int c = 1; c <= kOch; ++c) {
        const uint32_t o = 16u * (c - 1);
        std::printf("\t CH%d  %04X, %04X, %04X, %04X ---    %04X, %04X, %04X, %04X\n", c, rd(c331::OCH_ACT_HST, o),
                    rd(c331::OCH_ACT_HW, o), rd(c331::OCH_ACT_VST, o), rd(c331::OCH_ACT_VW, o),
                    rd(c331::ICH_ACT_HST, o), rd(c331::ICH_ACT_HW, o), rd(c331::ICH_ACT_VST, o),
                    rd(c331::ICH_ACT_VW, o));
    }
    std::printf("%s", sep);
    std::printf("\t        ICHSEL  ISCWCT  OSCWCT\n");
    for (int c = 1; c <= kOch; ++c) {
        const uint32_t d = static_cast<uint32_t>(c - 1) << 8;
        std::printf("\t CH%d    %02X      %02X      %04X\n", c, rd(c331::ICHSEL_BASE + d, 0),
                    rd(c331::ISCWCT_BASE + d, 0), rd(c331::OSCWCT_BASE + d, 0));
    }
}

void c331_manage::tlxDbg_c331_param(int n)
{
    const int k = ((n % 10) + 10) % 10;
    std::printf("[tlxDbg_c331_param] %s\n", kParamSections[k]);
    if (k == 0) {
        tlxDbg_c331_param();
    } else if (k == 1) {
        for (int p = 0; p < kPorts; ++p) {
            std::printf("\t port:%d\n", p);
            std::printf("\t\t PI_UPDATE:%d PI_STATE:%d PI_HTOTAL:%d PI_VTOTAL:%d\n", PI_UPDATE[p], PI_STATE[p],
                        PI_HTOTAL[p], PI_VTOTAL[p]);
            std::printf("\t\t PI_ACT (%d, %d, %d, %d)\n", PI_ACT[p][0], PI_ACT[p][1], PI_ACT[p][2], PI_ACT[p][3]);
            const ST_PORT_INFO& pi = PI_PORT_INFO[p];
            std::printf("\t\t PI_PORT_INFO htt:%d vtt:%d hw:%d state:%d nosig:%d\n", pi.htt, pi.vtt, pi.hw, pi.state,
                        pi.nosig);
        }
    } else if (k == 2) {
        print_memory_view();
    } else if (k == 5) {
        for (int p = 0; p < kPorts; ++p) {
            const ST_PORT_INFO& pi = PI_PORT_INFO[p];
            std::printf("PI_UPDATE[%d]:%d PI_STATE[%d]:%d\n", p, PI_UPDATE[p], p, PI_STATE[p]);
            std::printf("PI_PORT_INFO[%d] -- htt:%5d, vtt:%5d, hw:%5d, state:%d, nosig:%d laneNum:%d\n", p, pi.htt,
                        pi.vtt, pi.hw, pi.state, pi.nosig, pi.lane_num);
            const ST_HDMI_INFO& h = PI_HDMI_INFO[p];
            std::printf("PI_HDMI_INFO[%d] %s %s hact:%d vact:%d\n", p, h.type ? "IT6807" : "IT6602",
                        h.no_signal ? "Nosignal" : "Normal", h.hact, h.vact);
            std::printf("PI_ACT[%d] (%d, %d, %d, %d)\n", p, PI_ACT[p][0], PI_ACT[p][1], PI_ACT[p][2], PI_ACT[p][3]);
        }
    }
}

void c331_manage::tlxDbg_c331_param()
{
    std::printf("[tlxDbg_c331_param]\r");
    std::printf("<<===OCH SPEC\r");
    const struct {
        const char* name;
        uint32_t v;
    } ps[] = {{"PS_ACTHW", PS_ACTHW},         {"PS_ACTVW", PS_ACTVW},         {"PS_HTOTAL", PS_HTOTAL},
              {"PS_VTOTAL", PS_VTOTAL},       {"PS_HSW", PS_HSW},             {"PS_HBP", PS_HBP},
              {"PS_VSW", PS_VSW},             {"PS_VBP", PS_VBP},             {"PS_ACTHST", PS_ACTHST},
              {"PS_ACTVST", PS_ACTVST},       {"PS_OAOIHST", PS_OAOIHST},     {"PS_OAOIHED", PS_OAOIHED},
              {"PS_OAOIVST", PS_OAOIVST},     {"PS_OAOIVED", PS_OAOIVED},     {"PS_PANEL_HW", PS_PANEL_HW},
              {"PS_PANEL_VW", PS_PANEL_VW},   {"PS_PANEL_HSHAPE", PS_PANEL_HSHAPE},
              {"PS_PANEL_VSHAPE", PS_PANEL_VSHAPE}};
    for (const auto& e : ps)
        std::printf("\t %s  :%d \r\n", e.name, e.v);
    for (int i = 0; i < 5; ++i)
        std::printf("\t PS_CLK[%d]  :%d \r\n", i, PS_CLK[i]);
    for (int i = 0; i < 9; ++i)
        std::printf("\t PS_OTIMING[%d]  :%d \r\n", i, PS_OTIMING[i]);
    for (int g = 0; g < 8; ++g)
        std::printf("\t PS_MEM_SC[%d]  :%#x, %#x, %#x, %#x, %#x \r\n", g, PS_MEM_SC[g][0], PS_MEM_SC[g][1],
                    PS_MEM_SC[g][2], PS_MEM_SC[g][3], PS_MEM_SC[g][4]);
    std::printf("\t PS_MEM_LINE  :%d \r\n", PS_MEM_LINE);
    for (int i = 0; i < 5; ++i)
        std::printf("\t PS_MEM_DBD[%d]  :%#x \r\n", i, PS_MEM_DBD[i]);
    std::printf("\t PS_MEM_DBD_STRIDE  :%#x \r\n", PS_MEM_DBD_STRIDE());
    for (int i = 0; i < 36; ++i)
        std::printf("\t PS_MEM_IP[%d]  :%#x \r\n", i, PS_MEM_IP[i]);
    print_list("PS_MEM_WMODE", PS_MEM_WMODE, kWindows);
    std::printf("<<===PS VBO\r");
    std::printf("\t PS_VBOTX_MODE  :%d \r\n\t PS_VBOTX_LAYOUT  :%d \r\n", PS_VBOTX_MODE, PS_VBOTX_LAYOUT);
    std::printf("<<===PM_WIN_SHAPE\r");
    for (int w = 0; w < kWindows; ++w)
        std::printf("\t PM_WIN_SHAPE[%d]  :%d, %d \r\n", w, PM_WIN_SHAPE[w][0], PM_WIN_SHAPE[w][1]);
    print_list("PM_INPUT", PM_INPUT, kWindows);
    std::printf("<<===PM_WIN_OFFSET\r");
    for (int w = 0; w < kWindows; ++w)
        std::printf("\t PM_WIN_OFFSET[%d]  :%d, %d, %d, %d \r\n", w, PM_WIN_OFFSET[w][0], PM_WIN_OFFSET[w][1],
                    PM_WIN_OFFSET[w][2], PM_WIN_OFFSET[w][3]);
    print_list("PM_INPUT_OFFSET_EN", PM_INPUT_OFFSET_EN, kWindows);
    print_list("PM_WIN_NUM", PM_WIN_NUM, kOch);
    print_list("PM_AREA_NUM", PM_AREA_NUM, kOch);
    print_list("PM_OVERLAY", PM_OVERLAY, kOch);
    print_list("PM_OVERLAY_PRI", PM_OVERLAY_PRI, kWindows);
    print_list("PM_WIN_STITCHING", PM_WIN_STITCHING, kWindows);
    print_list("PM_WIN_DBD_MODE", PM_WIN_DBD_MODE, kWindows);
    print_list("PM_MEM_WMODE", PM_MEM_WMODE, kWindows);
    std::printf("<<===PM_INPUT_OFFSET\r");
    for (int w = 0; w < kWindows; ++w)
        std::printf("\t PM_INPUT_OFFSET[%d]  :%d, %d, %d, %d \r\n", w, PM_INPUT_OFFSET[w][0], PM_INPUT_OFFSET[w][1],
                    PM_INPUT_OFFSET[w][2], PM_INPUT_OFFSET[w][3]);
    print_filter_settings();
    std::printf("<<===PM OSD\r");
    std::printf("\t PM_OSD_EN  :%d \r\n\t PM_OSD_SCROLL_SPEED  :%d \r\n\t PM_OSD_CHAR_64DOT  :%d \r\n", PM_OSD_EN,
                PM_OSD_SCROLL_SPEED, PM_OSD_CHAR_64DOT);
    std::printf("<<===OSD_WIN\r");
    std::printf("<<===PI HDMI INFO\r");
    for (int p = 0; p < kPorts; ++p) {
        const ST_HDMI_INFO& h = PI_HDMI_INFO[p];
        std::printf("\t PI_HDMI_INFO[%d] hact:%d hsync:%d hback:%d hpol:%d htt:%d vact:%d vsync:%d vback:%d "
                    "vpol:%d vtt:%d pclk:%f type:%d lanes:%d ip:%d nosig:%d\r\n",
                    p, h.hact, h.hsync, h.hback, h.hpol, h.htotal, h.vact, h.vsync, h.vback, h.vpol, h.vtotal,
                    static_cast<double>(h.pclk_mhz), h.type, h.lanes, h.interlaced, h.no_signal);
    }
}

void c331_manage::c331_outputTimmingCtrlReg(char p1, char p2)
{
    const unsigned v = static_cast<uint8_t>(p1) | static_cast<uint8_t>(p2) << 8;
    std::printf("[%s] %X\n", "c331_outputTimmingCtrlReg", v);
    static const char* const kClk[4] = {"CLK", "XTALCLK", "PIPLLCLK", "CLK"};
    for (int out = 1; out <= 2; ++out) {
        const uint8_t b = static_cast<uint8_t>(out == 1 ? p1 : p2);
        const char* vs[4] = {out == 1 ? "PO1VS" : "PO2VS", out == 1 ? "PO1HS" : "PO2HS",
                             out == 1 ? "PO1ACT" : "PO2ACT", out == 1 ? "PWMCH1" : "PWMCH2"};
        const char* fld[4] = {out == 1 ? "PO1FLD" : "PO2FLD", out == 1 ? "PO1ACT" : "PO2ACT",
                              out == 1 ? "PO1HS" : "PO2HS", out == 1 ? "GLPWM1" : "GLPWM2"};
        std::printf("\t POSY%dEN: %s\n", out, (b & 0x40) ? "Enable" : "Disable");
        std::printf("\t PO%dCLK: %s\n", out, kClk[b & 3]);
        std::printf("\t PO%dVS: %s\n", out, vs[(b >> 2) & 3]);
        std::printf("\t PO%dFLD: %s\n", out, fld[(b >> 4) & 3]);
    }
    drv->write_C331(c331_fd, c331::OUT_TIMING_CTRL, v, 0);
}

void c331_manage::c331_calc_PixelCLK()
{
    for (uint32_t clk : {9900000u, 4950000u}) {
        std::printf("[c331_calc_PixelCLK] %s\n", clk == 9900000u ? "9.9MHz" : "4.95MHz");
        for (uint32_t htt = 100; htt < 17408; ++htt)
            if (clk % htt == 0)
                std::printf("htt:%d\n", htt);
    }
}

void c331_manage::c331_debugEnv() {}

namespace {
void write_bars(c331_drv* drv, int fd, const BarRow* rows, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        const BarRow& r = rows[i];
        auto wr = [&](uint32_t reg, uint32_t bytes, uint32_t v) { drv->write_C331(fd, c331::reg_id(r.bank, reg, bytes), v, 0); };
        wr(0x57, 1, r.enable);
        wr(0x58, 1, 0);
        wr(0x59, 1, 0);
        wr(0x5A, 1, 0);
        wr(0x5B, 2, 160);
        wr(0x5D, 2, 0);
        wr(0x5F, 2, 32);
        wr(0x61, 2, r.width);
        for (uint32_t k = 0; k < 3; ++k)
            wr(0x63 + k, 1, r.colour[k]);
        for (uint32_t k = 0; k < 3; ++k)
            wr(0x66 + k, 1, r.step[k]);
    }
}
}  // namespace

void c331_manage::output_slidebar(int fd)
{
    write_bars(drv, fd, kOutputBars, sizeof kOutputBars / sizeof kOutputBars[0]);
    SCALER_DBG("\n output_slidebar over ");
}

void c331_manage::input_slidebar(int fd)
{
    write_bars(drv, fd, kInputBars, sizeof kInputBars / sizeof kInputBars[0]);
    SCALER_DBG("\n input_slidebar over ");
}

void c331_manage::disable_slidebar(int fd)
{
    for (uint32_t bank : {0x08u, 0x18u, 0x28u, 0x38u, 0x48u, 0x58u})
        drv->write_C331(fd, c331::reg_id(bank, 0x57, 1), 0, 0);
    SCALER_DBG("\n disable_slidebar over ");
}

// Both receivers restarted for 8 lanes.
void c331_manage::vbyone_rx_ch1_seq(int fd)
{
    vbo_rx_start(fd, 0, 0xFF, 0xAB);
    SCALER_DBG("\n vbyone_rx_ch1_seq over ");
}

void c331_manage::vbyone_rx_ch2_seq(int fd)
{
    vbo_rx_start(fd, 1, 0xFF, 0xAB);
    SCALER_DBG("\n vbyone_rx_ch2_seq over ");
}

void c331_manage::read_c331_b174bug(int fd)
{
    static const struct {
        uint32_t id;
        const char* name;
    } kLanes[] = {{0xAE4002, "VI11FHM"}, {0xAE4202, "VI13FHM"}, {0xAE4402, "VI15FHM"}, {0xAE4602, "VI17FHM"},
                  {0xAE5C03, "VI11FVM"}, {0xAE5F03, "VI13FVM"}, {0xAE6203, "VI15FVM"}, {0xAE6503, "VI17FVM"}};
    for (const auto& l : kLanes)
        SCALER_DBG("\n read_c331_b174bug(B174_%s=%d ) over \n", l.name, drv->read_C331(fd, l.id, 0) + 1);
}

// The fourteen input-processing settings of every port.
void c331_manage::print_filter_settings()
{
    const struct {
        const char* name;
        const uint32_t* v;
    } pm[] = {{"PM_HNR", PM_HNR},           {"PM_VNR", PM_VNR},           {"PM_TNR", PM_TNR},
              {"PM_BNR", PM_BNR},           {"PM_MNR", PM_MNR},           {"PM_COMB", PM_COMB},
              {"PM_IPEN", PM_IPEN},         {"PM_DIAG", PM_DIAG},         {"PM_MVFLT", PM_MVFLT},
              {"PM_22PD", PM_22PD},         {"PM_23PD", PM_23PD},         {"PM_22PDSQTH", PM_22PDSQTH},
              {"PM_23PDSQTH", PM_23PDSQTH}, {"PM_24SF", PM_24SF}};
    for (const auto& e : pm)
        print_list(e.name, e.v, kPorts);
}

// Section 2 of the parameter listing: windows, frame stores and layers.
void c331_manage::print_memory_view()
{
    for (int w = 0; w < kWindows; ++w) {
        const uint32_t p = PM_INPUT[w] < static_cast<uint32_t>(kPorts) ? PM_INPUT[w] : 0;
        std::printf("\t win:%d\n", w);
        std::printf("\t IWIN       (%5d, %5d, %5d, %5d)\n", IWIN[w].hst, IWIN[w].hw, IWIN[w].vst, IWIN[w].vw);
        std::printf("\t OWIN       (%5d, %5d, %5d, %5d)\n", OWIN[w].hst, OWIN[w].hw, OWIN[w].vst, OWIN[w].vw);
        std::printf("\t g_pi_ifact (%5d, %5d, %5d, %5d)\n", PI_ACT[p][0], PI_ACT[p][1], PI_ACT[p][2], PI_ACT[p][3]);
        std::printf("\t PM_MEM_WMODE:%d PS_MEM_WMODE:%d PI_SCAN_MODE:%d\n", PM_MEM_WMODE[w], PS_MEM_WMODE[w],
                    PI_SCAN_MODE[p]);
    }
    for (int p = 0; p < kPorts; ++p) {
        std::printf("INPUT_PORT_%d\n", p);
        std::printf("\t PS_MEM_SC %#x, %#x, %#x, %#x, %#x\n", PS_MEM_SC[p][0], PS_MEM_SC[p][1], PS_MEM_SC[p][2],
                    PS_MEM_SC[p][3], PS_MEM_SC[p][4]);
        std::printf("\t PM_IACTHST:%d PM_IACTVST:%d\n", 0, 0);
        std::printf("\t PI_FPICLK:%d PI_FH:%f PI_FV:%f PI_IFH:%f PI_IFV:%f PI_SYNC_POL:%d PI_SCAN_MODE:%d\n",
                    PI_FPICLK[p], PI_FH[p], PI_FV[p], PI_IFH[p], PI_IFV[p], PI_SYNC_POL[p], PI_SCAN_MODE[p]);
    }
    for (int c = 0; c < kIpCh; ++c) {
        std::printf("INPUT_CMOS_%d\n", c);
        std::printf("\t PS_MEM_SC %#x, %#x, %#x, %#x, %#x\n", PS_MEM_SC[c][0], PS_MEM_SC[c][1], PS_MEM_SC[c][2],
                    PS_MEM_SC[c][3], PS_MEM_SC[c][4]);
        std::printf("\t PS_MEM_IP_I %#x, %#x  PS_MEM_IP_P %#x, %#x\n", PS_MEM_IP_I(c, 0), PS_MEM_IP_I(c, 1),
                    PS_MEM_IP_P(c, 0), PS_MEM_IP_P(c, 1));
        std::printf("\t PS_MEM_IPYOFF:%d PS_MEM_MV:%#x PS_MWI_IP:%d\n", PS_MEM_IPYOFF(c), PS_MEM_MV(c), PS_MWI_IP(c));
        std::printf("\t HNR:%d VNR:%d TNR:%d BNR:%d MNR:%d COMB:%d IPEN:%d DIAG:%d MVFLT:%d 22PD:%d 23PD:%d "
                    "22PDSQTH:%d 23PDSQTH:%d 24SF:%d\n",
                    PM_HNR[c], PM_VNR[c], PM_TNR[c], PM_BNR[c], PM_MNR[c], PM_COMB[c], PM_IPEN[c], PM_DIAG[c],
                    PM_MVFLT[c], PM_22PD[c], PM_23PD[c], PM_22PDSQTH[c], PM_23PDSQTH[c], PM_24SF[c]);
    }
    // Lane set-up values of the V-by-One receivers (set_VBOInput).
    for (int r = 0; r < 2; ++r) {
        std::printf("INPUT_VBORX_%d\n", r);
        std::printf("\t PS_VBO_2LANE:%#x PS_VBO_4LANE:%#x PS_VBO_8LANE:%#x\n", 0x0001, 0x0011, 0x0404);
    }
    for (int c = 0; c < kOch; ++c)
        for (int i = 0; i < 8; ++i)
            std::printf("\t g_och_layer[%d][%d]:%d , g_och_layer_cnt=%d \n", c, i, g_och_layer[c][i],
                        g_och_layer_cnt[c]);
    for (int w = 0; w < kWindows; ++w)
        std::printf("\t PM_OVERLAY_PRI[%d]:%d\n", w, PM_OVERLAY_PRI[w]);
}
