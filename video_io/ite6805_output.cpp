// IT6805 outputs: AV mute, output tri-state, AVI infoframe and colour conversion, the
// pixel-clock dependent settings and the V-by-One output of the IT6807 through bank 5.
// Every operation returns to bank 0.
#include <cstdio>

#include "video_io/it6805_regs.h"
#include "video_io/ite6805_sys.h"

using namespace it6805;

namespace {
// YUV to RGB rows of the colour conversion table (bank 1 0x70..0x85).
constexpr uint8_t kCscRow5[22] = {0x04, 0x00, 0xA7, 0x4F, 0x09, 0x81, 0x39, 0xDD, 0x3C, 0x4F, 0x09,
                                  0xC4, 0x0C, 0x01, 0x00, 0x4F, 0x09, 0xFD, 0x3F, 0x1F, 0x10, 0x00};
constexpr uint8_t kCscRow7[22] = {0x04, 0x00, 0xA7, 0x4F, 0x09, 0xBA, 0x3B, 0x4B, 0x3E, 0x4F, 0x09,
                                  0x57, 0x0E, 0x02, 0x00, 0x4F, 0x09, 0xFE, 0x3F, 0xE8, 0x10, 0x00};
constexpr uint8_t kCscRow8[22] = {0x04, 0x00, 0xA7, 0x4F, 0x09, 0xCC, 0x3A, 0x7E, 0x3E, 0x4F, 0x09,
                                  0x69, 0x0D, 0x0B, 0x00, 0x4F, 0x09, 0xFE, 0x3F, 0x1D, 0x11, 0x00};
}  // namespace

// ---- outputs --------------------------------------------------------------------------------

void ite6805_drv::set_vbo_output(bool on, uint8_t d)
{
    chgbank(5, d);
    wr(d, B5_VBO_SWITCH, on ? VBO_ON : VBO_OFF);
    chgbank(0, d);
}

void ite6805_drv::iTE6805_Set_AVMute(bool on, uint8_t d)
{
    if (on) {
        set(d, REG_AVMUTE_CTRL, 0xA0, 0xA0);
        chgbank(1, d);
        set(d, B1_OUT_C5, 0x80, 0x80);
        chgbank(0, d);
        return;
    }
    if (sys_->iTE6805_DATA[d].STATEV != STATEV_VidStable)
        return;
    if (iTE6805_Check_AVMute(d)) {
        set(d, REG_AVMUTE_CTRL, 0x80, 0x80);
        return;
    }
    const bool dual = iTE6805_Check_Single_Dual_Mode(d);
    chgbank(1, d);
    set(d, B1_OUT_C5, 0x01, 0x01);
    set(d, B1_OUT_C5, 0x01, 0x00);
    if (dual)
        set(d, B1_OUT_C5, 0x01, 0x01);
    chgbank(0, d);
    set(d, REG_AVMUTE_CTRL, 0xA0, 0xA0);
    set(d, REG_AVMUTE_CTRL, 0xA0, 0x80);
}

void ite6805_drv::iTE6805_Set_Video_Tristate(bool on, uint8_t d)
{
    const uint8_t mode = rd(d, REG_INPUT_MODE) & 0xF0;
    sys_->iTE6805_DATA[d].input_mode = mode;
    chgbank(1, d);
    if (on) {
        wr(d, B1_OUT_C5, 0xFF);
        wr(d, B1_OUT_C6, 0xFF);
        chgbank(0, d);
        return;
    }
    set(d, B1_OUT_C5, 0x80, 0x00);
    set(d, B1_OUT_C6, 0x80, 0x00);
    const uint8_t c0 = rd(d, B1_DUAL_PIXEL);
    if (c0 & 0x01) {
        wr(d, B1_OUT_C6, mode == 0x10 ? 0x40 : 0x00);
    } else {
        const uint8_t sel = c0 >> 6;
        if (sel <= 1)
            wr(d, B1_OUT_C5, mode == 0x10 ? 0x78 : mode == 0x20 ? 0x38 : 0x18);
        else if (sel == 2)
            wr(d, B1_OUT_C5, mode == 0x10 ? 0x63 : mode == 0x20 ? 0x23 : 0x03);
    }
    chgbank(0, d);
}

// ---- AVI infoframe, colour conversion, V-by-One ------------------------------------------------

void ite6805_drv::iTE6805_Get_AVIInfoFrame_Info(uint8_t d)
{
    iTE6805_Data& D = sys_->iTE6805_DATA[d];
    chgbank(2, d);
    uint8_t b[6] = {};
    for (int i = 1; i <= 5; ++i)
        b[i] = rd(d, uint8_t(0x14 + i));
    chgbank(0, d);
    D.AVIInfoFrame_Input_ColorFormat = (b[1] >> 5) & 0x03;
    D.colorimetry = b[2] >> 6;
    D.ext_colorimetry = (b[3] >> 4) & 0x07;
    D.vic = b[4] & 0x7F;
    D.rgb_quant = (b[3] >> 2) & 0x03;
    if (D.rgb_quant == 0)
        D.rgb_quant = D.vic < 2 ? 2 : 1;
    D.yuv_quant = b[5] >> 6;
    D.scan_info = b[1] & 0x03;
}

void ite6805_drv::write_csc_row(int row, uint8_t d)
{
    const uint8_t* m = row == 7 ? kCscRow7 : row == 8 ? kCscRow8 : kCscRow5;
    chgbank(1, d);
    sys_->i2c->hdmirxbwr(B1_CSC_MATRIX, 22, m, d);
    chgbank(0, d);
}

void ite6805_drv::iTE6805_Enable_Video_Output(uint8_t d)
{
    iTE6805_Data& D = sys_->iTE6805_DATA[d];
    if (iTE6805_Check_HDMI_OR_DVI_Mode(D.CurrentPort, d) == 2) {
        std::printf("---- CSC DVI mode ----\n");
        D.input_type = 2;
        D.AVIInfoFrame_Input_ColorFormat = 0;
        set(d, REG_CSC_CTRL, 0x31, 0x11);
        chgbank(port_bank(D.CurrentPort), d);
        D.colorimetry = rd(d, REG_TMDS_SUM) < 52 ? kColorimetry709 : 1;
        chgbank(0, d);
    } else {
        std::printf("---- CSC HDMI mode ----\n");
        iTE6805_Get_AVIInfoFrame_Info(d);
        D.input_type = iTE6805_GET_InputType(d);
        set(d, REG_CSC_CTRL, 0x31, uint8_t((D.AVIInfoFrame_Input_ColorFormat & 3) << 4));
    }
    wr(d, 0x6E, 0xE0);
    chgbank(1, d);
    wr(d, B1_CSC_86, 0x00);
    chgbank(0, d);
    if (D.AVIInfoFrame_Input_ColorFormat == 0) {
        std::printf("---- YUV to YUV or RGB to RGB ----\n");
        set(d, REG_CSC_SEL, 0x03, 0x00);
        chgbank(1, d);
        wr(d, 0x85, 0x00);
        chgbank(0, d);
    } else {
        std::printf("---- input YUV to output RGB ----\n");
        set(d, REG_CSC_SEL, 0x03, 0x03);
        int row = 5;
        if (D.colorimetry == kColorimetry709)
            row = 7;
        else if (D.colorimetry == kColorimetryExtended && (D.ext_colorimetry == 5 || D.ext_colorimetry == 6))
            row = 8;
        write_csc_row(row, d);
    }
    iTE6805_Set_ColorDepth(d);
}

// Older silicon's V-by-One transmitter steps (bank 5).
static void older_vbo_steps(ite6805_drv* drv, uint8_t d)
{
    drv->chgbank(5, d);
    drv->set(d, B5_VBO_SWITCH, 0xF7, 0x78);
    drv->wr(d, 0xD5, 0x80);
    drv->wr(d, 0xD7, 0x0C);
    drv->wr(d, 0xDF, 0x87);
    drv->set(d, 0xE1, 0x80, 0x80);
    drv->set(d, B5_VBO_SWITCH, 0x02, uint8_t((drv->rd(d, B5_VBO_STATUS) & 0x08) ? 0x02 : 0x00));
    drv->chgbank(0, d);
}

void ite6805_drv::iTE6805_Set_ColorDepth(uint8_t d)
{
    iTE6805_Data& D = sys_->iTE6805_DATA[d];
    chgbank(5, d);
    wr(d, 0xC7, D.pclk_khz < 30000 ? 0x49 : 0x00);
    chgbank(0, d);
    set(d, REG_CSC_CTRL, 0x03, 0x01);
    D.VBO_ByteMode = 1;
    if (older_silicon(D.ChipID))
        older_vbo_steps(this, d);
}

void ite6805_drv::iTE6805_Set_1B0_By_PixelClock(uint8_t d)
{
    const iTE6805_Data& D = sys_->iTE6805_DATA[d];
    static constexpr uint32_t kDivisor[4] = {1, 2, 1, 4};
    const uint32_t div = kDivisor[(rd(d, REG_PCLK_DIV) >> 4) & 0x03];
    const bool dual = iTE6805_Check_Single_Dual_Mode(d);
    const bool over_1g = iTE6805_Check_TMDS_Bigger_Than_1G(d);
    const bool mhl = iTE6805_Check_PORT0_IS_MHL_Mode(D.CurrentPort, d);
    chgbank(1, d);
    if (D.pclk_khz / div >= 25000)
        set(d, B1_PCLK_B0, 0x01, 0x01);
    else if (!dual)
        set(d, B1_PCLK_B0, 0x01, 0x00);
    set(d, B1_PCLK_B0, 0x01, D.VBO_LaneCount ? 0x01 : 0x00);
    chgbank(3, d);
    set(d, 0xB0, 0x08, over_1g ? 0x00 : 0x08);
    if (mhl && D.t.hactive == 640 && D.t.vactive == 480)
        wr(d, 0xA7, 0x1F);
    chgbank(0, d);
}

void ite6805_drv::iTE6805_Set_47_By_TMDS(uint8_t d)
{
    const uint8_t port = sys_->iTE6805_DATA[d].CurrentPort;
    const uint8_t status2 = rd(d, port ? REG_P1_STATUS2 : REG_P0_STATUS2);
    chgbank(port_bank(port), d);
    const uint8_t r43 = rd(d, REG_TMDS_MULT);
    const uint8_t shift = (r43 & 0x80) ? 3 : (r43 & 0x40) ? 2 : (r43 & 0x20) ? 1 : 0;
    const uint32_t refsum = uint32_t(rd(d, REG_TMDS_SUM)) >> shift;
    if (!(status2 & ST2_IPLL_LOCK) && refsum < RCLK[d] / 1000) {
        std::printf("OverWrite IPLL/OPLL \n");
        wr(d, REG_TMDS_REF_IPLL, rd(d, REG_TMDS_REF_IPLL));
    }
    chgbank(0, d);
}

void ite6805_drv::iTE6807_Video_Output_Setting(uint8_t d)
{
    iTE6805_Data& D = sys_->iTE6805_DATA[d];
    std::printf("start 6807 VBO output setting ! \n");
    set(d, 0x64, 0x04, 0x00);
    set(d, 0x64, 0x02, 0x02);
    set(d, 0x64, 0x02, 0x00);
    chgbank(5, d);
    set(d, 0x20, 0x40, 0x40);
    set(d, 0xCB, 0x01, 0x00);
    set(d, 0xD3, 0x80, 0x80);
    set(d, 0xD3, 0x80, 0x00);
    wr(d, 0xC7, D.pclk_khz >= 30000 ? 0x00 : 0x49);
    chgbank(1, d);
    set(d, B1_DUAL_PIXEL, 0x01, 0x00);
    chgbank(0, d);

    D.downscale_mode = 1;
    const bool two_section = !(D.t.hactive < 2177 && D.pclk_khz < 160000);
    if (two_section)
        std::printf("!! Enable _iTE6807_EnableTwoSectionMode_ !!\n");
    chgbank(5, d);
    set(d, 0xCB, 0x01, two_section ? 0x01 : 0x00);
    chgbank(0, d);
    set(d, 0x64, 0x04, two_section ? 0x04 : 0x00);
    if (two_section) {
        set(d, 0x33, 0x02, 0x02);
        set(d, 0x33, 0x02, 0x00);
    }

    const bool k4 = iTE6805_Check_4K_Resolution(d);
    const uint8_t lanes = vbo_lane_count(D.pclk_khz, k4, D.t);
    if (lanes == 1 && !h_values_by4(D.t))
        std::printf("!!!!!! Set VBO_LaneCount = 2 Lan because of H parameter need devided by 4!!!!!!\n");
    D.VBO_LaneCount = lanes;
    chgbank(1, d);
    set(d, B1_LANE_BD, 0x30, lanes ? 0x10 : 0x00);
    chgbank(0, d);
    D.VBO_ByteMode = 1;
    std::printf("Force ByteMode = 4B (variable iTE6805_DATA.VBO_ByteMode = 1)\n");
    chgbank(5, d);
    set(d, B5_VBO_MODE, 0xF0, uint8_t((D.VBO_ByteMode * 4 + lanes) << 4));

    uint8_t db = 0;
    for (int i = 0; i < 500; ++i) {
        set(d, B5_VBO_CLK_PULSE, 0x10, 0x00);
        set(d, B5_VBO_CLK_PULSE, 0x10, 0x10);
        delay1ms(10);
        bool ok = false;
        db = rd(d, B5_VBO_STATUS, &ok);
        if ((db & 0x10) || !ok)
            break;
        std::printf("Wait VBOTX Clock Stable! i = %d\n", i);
    }
    set(d, 0xC6, 0x07, ((db >> 2) & 0x03) < 3 ? 0x03 : 0x04);
    set(d, 0xC1, 0x04, 0x00);
    chgbank(0, d);
    if (older_silicon(D.ChipID))
        older_vbo_steps(this, d);

    if (D.last_lane == 7 || ((D.last_lane == 0) != (lanes == 0))) {
        std::printf("Lane Count Changed, need reset video logic \r\n");
        iTE6805_Reset_Video_Logic(d);
    }
    D.last_lane = lanes;
    chgbank(5, d);
    set(d, B5_VBO_SWITCH, 0x01, 0x00);
    chgbank(0, d);
}
