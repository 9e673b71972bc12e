// IT6805 equaliser: tunes the current port's input equaliser until the three TMDS data
// channels run without bit errors (automatic EQ, then up to four manual trials), and keeps
// checking them afterwards. The PHY bank is bank 3 for port 0 and bank 7 for port 1.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "video_io/it6805_regs.h"
#include "video_io/ite6805_sys.h"

using namespace it6805;

namespace {
const uint8_t iTE6805_EQ_Table_Hdmi10[4] = {0x01, 0x3F, 0x07, 0x0F};
const uint8_t iTE6805_EQ_Table_Hdmi20[4] = {0x01, 0x07, 0x0F, 0x3F};
const uint8_t RS_Value[14] = {0x7F, 0x7E, 0x3F, 0x3E, 0x1F, 0x1E, 0x0F, 0x0E, 0x07, 0x06, 0x03, 0x02, 0x01, 0x00};
constexpr uint8_t kBitErrLimit = 240, kBitErrLimitAgain = 241;
}  // namespace

// ---- access ---------------------------------------------------------------------------------

uint8_t ite6805_eq::phy(uint8_t d) const { return sys_->iTE6805_DATA[d].CurrentPort ? 7 : 3; }
void ite6805_eq::bank_phy(uint8_t d) { sys_->drv->chgbank(phy(d), d); }
void ite6805_eq::bank0(uint8_t d) { sys_->drv->chgbank(0, d); }

static uint8_t int_reg(const ite6805_sys* s, uint8_t d) { return s->iTE6805_DATA[d].CurrentPort ? REG_P1_EQ_INT : REG_P0_EQ_INT; }
static uint8_t reset_reg(const ite6805_sys* s, uint8_t d) { return s->iTE6805_DATA[d].CurrentPort ? REG_P1_RESET : REG_P0_RESET; }

void ite6805_eq::pulse_port_reset(uint8_t d, uint32_t ms)
{
    ite6805_drv* drv = sys_->drv;
    drv->wr(d, int_reg(sys_, d), 0xFF);
    drv->wr(d, reset_reg(sys_, d), 0xB0);
    drv->delay1ms(ms);
    drv->wr(d, reset_reg(sys_, d), 0xA0);
}

// ---- interrupts -----------------------------------------------------------------------------

void ite6805_eq::port_irq(uint8_t d, bool port0)
{
    ite6805_drv* drv = sys_->drv;
    Dev& e = dev[d];
    const uint8_t reg = port0 ? REG_P0_EQ_INT : REG_P1_EQ_INT;
    const uint8_t v = drv->rd(d, reg);
    drv->wr(d, reg, port0 ? uint8_t(v & ~0x08) : v);
    if (v & EQ_INT_AUTO_DONE)
        e.auto_done = 1;
    if (v & EQ_INT_H2_ERR)
        e.h2_err = 1;
    if (v & EQ_INT_DONE)
        e.eq_done = 1;
    if (v & EQ_INT_H1_ERR)
        e.h1_err = 1;
    if (!port0 || !(v & 0xF0))
        return;
    bank_phy(d);
    drv->set(d, PHY_EQ_TRIGGER, 0x04, 0x00);
    bank0(d);
    if (v & EQ_INT_H2_ERR) {
        iTE6805_Set_EQResult_Flag(d);
        if (e.result) {
            e.h2_err = 0;
            e.auto_done = 1;
            iTE6805_EQ_chg(STATEEQ_Report, d);
        }
    }
}

void ite6805_eq::iTE6805_hdmirx_port0_EQ_irq(uint8_t d) { port_irq(d, true); }
void ite6805_eq::iTE6805_hdmirx_port1_EQ_irq(uint8_t d) { port_irq(d, false); }

void ite6805_eq::iTE6805_Set_EQResult_Flag(uint8_t d)
{
    ite6805_drv* drv = sys_->drv;
    Dev& e = dev[d];
    e.manual = 0;
    e.result = 0;
    bank_phy(d);
    for (uint8_t ch = 0; ch < 3; ++ch) {
        drv->set(d, PHY_CH_SEL, 0xC0, uint8_t(ch << 6));
        const unsigned a = drv->rd(d, 0x63) | (drv->rd(d, 0x64) & 0x3Fu) << 8;
        const unsigned b = drv->rd(d, 0x6D) | (drv->rd(d, 0x6E) & 0x3Fu) << 8;
        if (a == 0x3FFF || b == 0x3FFF)
            e.manual = 1;  // the automatic result of this channel is not usable
    }
    bank0(d);
    e.result = e.manual ? 0 : 1;
}

// ---- bit errors -----------------------------------------------------------------------------

void ite6805_eq::BitErr_Get(uint8_t d)
{
    ite6805_drv* drv = sys_->drv;
    Dev& e = dev[d];
    drv->chgbank(sys_->iTE6805_DATA[d].CurrentPort ? 4 : 0, d);
    drv->set(d, 0x3B, 0x08, 0x08);
    bank_phy(d);
    drv->set(d, 0x55, 0x80, 0x00);
    drv->wr(d, PHY_BITERR_SEL, 0x80);
    drv->delay1ms(100);
    drv->wr(d, PHY_BITERR_SEL, 0x00);
    const uint8_t slot = e.trial < 5 ? e.trial : 4;
    for (uint8_t ch = 0; ch < 3; ++ch) {
        drv->wr(d, PHY_BITERR_SEL, uint8_t(ch * 0x20));
        e.err[slot][ch][0] = drv->rd(d, PHY_BITERR_LO);
        e.err[slot][ch][1] = drv->rd(d, PHY_BITERR_HI);
        if (sys_->iTE6805_DATA[d].STATEEQ == STATEEQ_EQDone)
            e.acc[ch] += (e.err[slot][ch][1] & 0x7Fu) * 256 + e.err[slot][ch][0];
    }
    bank0(d);
}

bool ite6805_eq::parity_check(uint8_t d)
{
    ite6805_drv* drv = sys_->drv;
    const uint8_t port = sys_->iTE6805_DATA[d].CurrentPort;
    if (drv->rd(d, port ? REG_P1_STATUS : REG_P0_STATUS) != 0xBF)
        return false;
    if ((drv->rd(d, port ? REG_P1_STATUS2 : REG_P0_STATUS2) & ST2_SYMLOCK) != ST2_SYMLOCK)
        return false;
    drv->chgbank(port ? 4 : 0, d);
    drv->wr(d, REG_AUD_ERR, 0xFF);
    drv->wr(d, REG_AUD_ERR2, 0xFF);
    const bool clean = drv->rd(d, REG_AUD_ERR) == 0 && drv->rd(d, REG_AUD_ERR2) == 0;
    drv->chgbank(0, d);
    return clean && drv->iTE6805_Check_SCDT(d);
}

bool ite6805_eq::BitErr_Check(uint8_t d, uint8_t limit)
{
    Dev& e = dev[d];
    const uint8_t slot = e.trial < 5 ? e.trial : 4;
    for (uint8_t ch = 0; ch < 3; ++ch) {
        if (!e.passed[ch] && e.err[slot][ch][1] == 0x80 && e.err[slot][ch][0] < limit) {
            e.passed[ch] = 1;
            e.pass_trial[ch] = e.trial;
        }
    }
    if (!(e.passed[0] && e.passed[1] && e.passed[2]))
        return false;
    if (e.use_h2 && e.skew_pending) {
        bank_phy(d);
        sys_->drv->set(d, PHY_EQ_TRIGGER, 0x08, 0x00);
        bank0(d);
        sys_->drv->wr(d, REG_P0_EQ_INT, 0xF0);
        sys_->drv->wr(d, REG_P1_EQ_INT, 0xF0);
    }
    return parity_check(d);
}

bool ite6805_eq::iTE6805_BitErr_Check_Again(uint8_t d)
{
    Dev& e = dev[d];
    BitErr_Get(d);
    const uint8_t slot = e.trial < 5 ? e.trial : 4;
    for (uint8_t ch = 0; ch < 3; ++ch)
        if (e.err[slot][ch][1] != 0x80 || e.err[slot][ch][0] >= kBitErrLimitAgain)
            return false;
    return parity_check(d);
}

// ---- triggers -------------------------------------------------------------------------------

void ite6805_eq::Trigger_EQ(uint8_t d)
{
    ite6805_drv* drv = sys_->drv;
    Dev& e = dev[d];
    e.auto_done = e.h1_err = e.h2_err = e.eq_done = 0;
    pulse_port_reset(d, 10);
    const uint8_t port = sys_->iTE6805_DATA[d].CurrentPort;
    const bool fast = drv->rd(d, port ? REG_P1_STATUS2 : REG_P0_STATUS2) & ST2_TMDS_1G;
    bank_phy(d);
    drv->wr(d, PHY_EQ_CTRL20, fast ? 0x36 : 0x1B);
    drv->wr(d, PHY_EQ_CTRL21, fast ? 0x0E : 0x03);
    for (uint8_t r = 0x26; r <= 0x29; ++r)
        drv->wr(d, r, 0x00);
    drv->wr(d, PHY_EQ_TRIGGER, 0x38);
    drv->set(d, PHY_EQ_TRIGGER, 0x04, 0x04);
    drv->delay1ms(1);
    drv->set(d, PHY_EQ_TRIGGER, 0x04, 0x00);
    bank0(d);
}

void ite6805_eq::Trigger_SAREQ(uint8_t d)
{
    ite6805_drv* drv = sys_->drv;
    bank_phy(d);
    drv->wr(d, PHY_EQ_CTRL20, 0x1B);
    drv->wr(d, PHY_EQ_CTRL21, 0x03);
    drv->set(d, PHY_EQ_CTRL20, 0x80, 0x00);
    drv->wr(d, PHY_EQ_TRIGGER, 0x00);
    bank0(d);
    pulse_port_reset(d, 10);
    drv->chgbank(sys_->iTE6805_DATA[d].CurrentPort ? 4 : 0, d);
    drv->wr(d, 0x3B, 0x23);
    bank_phy(d);
    drv->wr(d, 0x26, 0x00);
    for (uint8_t r = 0x27; r <= 0x29; ++r)
        drv->wr(d, r, 0x1F);
    drv->set(d, 0x2C, 0xC0, 0xC0);
    drv->set(d, 0x2D, 0xF7, 0x20);
    static constexpr uint8_t kRows[][2] = {{0x30, 0x8C}, {0x31, 0xB0}, {0x32, 0x43}, {0x33, 0x47},
                                           {0x34, 0x4B}, {0x35, 0x53}};
    for (const auto& r : kRows)
        drv->wr(d, r[0], r[1]);
    drv->set(d, 0x36, 0xC0, 0x00);
    drv->wr(d, 0x37, 0x0B);
    drv->wr(d, 0x38, 0xF2);
    drv->wr(d, 0x39, 0x0D);
    drv->set(d, 0x4A, 0x80, 0x00);
    drv->set(d, 0x4B, 0x80, 0x00);
    drv->set(d, 0x54, 0x80, 0x80);
    drv->wr(d, 0x55, 0x40);
    drv->set(d, PHY_EQ_TRIGGER, 0x04, 0x04);
    bank0(d);
}

void ite6805_eq::Trigger_RSSKEW_EQ(uint8_t d)
{
    ite6805_drv* drv = sys_->drv;
    const Dev& e = dev[d];
    bank_phy(d);
    drv->set(d, PHY_EQ_TRIGGER, 0x04, 0x00);
    for (uint8_t ch = 0; ch < 3; ++ch)
        drv->wr(d, uint8_t(PHY_EQ_VALUE + ch), uint8_t(e.best[ch] ^ 0x80));
    if (!e.manual)
        drv->set(d, 0x4B, 0x80, 0x80);
    drv->wr(d, 0x2D, 0x00);
    drv->wr(d, 0x30, 0x94);
    drv->wr(d, 0x31, 0xB0);
    drv->set(d, PHY_CH_SEL, 0x10, 0x10);
    drv->set(d, 0x54, 0x80, 0x00);
    drv->set(d, PHY_EQ_TRIGGER, 0x04, 0x04);
    bank0(d);
}

void ite6805_eq::Reset_EQ(uint8_t d)
{
    ite6805_drv* drv = sys_->drv;
    const uint8_t (*dfe)[3][3] = dev[d].dfe;
    uint8_t keep[14][3][3];
    std::memcpy(keep, dfe, sizeof keep);
    dev[d] = Dev{};
    std::memcpy(dev[d].dfe, keep, sizeof keep);
    bank_phy(d);
    drv->wr(d, 0x2C, 0x00);
    drv->wr(d, 0x2D, 0x07);
    bank0(d);
    drv->wr(d, int_reg(sys_, d), 0xFF);
    drv->wr(d, reset_reg(sys_, d), 0xB0);
    drv->delay1ms(1);
    drv->wr(d, reset_reg(sys_, d), 0xA0);
    bank_phy(d);
    for (uint8_t r = 0x27; r <= 0x29; ++r)
        drv->wr(d, r, 0x9F);
    drv->wr(d, PHY_EQ_TRIGGER, 0x00);
    drv->set(d, 0x4B, 0x80, 0x00);
    bank0(d);
}

void ite6805_eq::Report_EQ(uint8_t d)
{
    Dev& e = dev[d];
    bank_phy(d);
    for (uint8_t ch = 0; ch < 3; ++ch) {
        e.best[ch] = sys_->drv->rd(d, uint8_t(0xD5 + ch)) & 0x7F;
        e.eq_result[ch] = e.best[ch];
    }
    bank0(d);
}

void ite6805_eq::Report_Skew(uint8_t d)
{
    ite6805_drv* drv = sys_->drv;
    bank_phy(d);
    for (uint8_t ch = 0; ch < 3; ++ch) {
        drv->set(d, PHY_CH_SEL, 0xC0, uint8_t(ch << 6));
        std::printf("EQ dev %d ch %d skew:", d, ch);
        for (uint8_t r = 0x74; r <= 0x7A; ++r)
            std::printf(" %02X", drv->rd(d, r));
        std::printf("\n");
    }
    bank0(d);
}

// ---- DFE (HDMI 2.0) -------------------------------------------------------------------------

void ite6805_eq::Get_DFE(uint8_t ch, uint8_t d)
{
    ite6805_drv* drv = sys_->drv;
    Dev& e = dev[d];
    if (e.manual)
        return;
    bank_phy(d);
    drv->set(d, PHY_CH_SEL, 0xC0, uint8_t(ch << 6));
    const uint8_t result = drv->rd(d, uint8_t(0xD5 + ch));
    // One byte of a DFE triple from two tap readings: |a - b| / 2 against a limit.
    auto tap = [](int a, int b, int limit, uint8_t over_hi, uint8_t over_lo, uint8_t base_hi, uint8_t base_lo) {
        const int h = std::abs(a - b) / 2;
        if (h > limit)
            return a > b ? over_hi : over_lo;
        return uint8_t((a > b ? base_hi : base_lo) + h);
    };
    for (uint8_t i = 0; i < 14; ++i) {
        drv->set(d, 0x36, 0x0F, i);
        const int a = drv->rd(d, 0x5D), b = drv->rd(d, 0x5E), c = drv->rd(d, 0x5F), dd = drv->rd(d, 0x60);
        e.dfe[i][ch][0] = tap(a, b, 31, 0x7F, 0x5F, 0x60, 0x40);
        e.dfe[i][ch][1] = tap(a, c, 15, 0x3F, 0x2F, 0x30, 0x20);
        e.dfe[i][ch][2] = tap(a, dd, 7, 0x1F, 0x17, 0x18, 0x10);
    }
    bank0(d);
    if (e.result) {
        bank_phy(d);
        drv->wr(d, uint8_t(PHY_EQ_VALUE + ch), uint8_t(result - 128));
        bank0(d);
        e.best[ch] = result;
        Set_DFE(result, ch, d);
        if (ch == 2) {
            bank_phy(d);
            drv->set(d, 0x4B, 0x80, 0x80);
            bank0(d);
        }
    }
}

void ite6805_eq::Set_DFE(uint8_t value, uint8_t ch, uint8_t d)
{
    int idx = 4;
    for (int i = 0; i < 14; ++i)
        if (RS_Value[i] == value)
            idx = i;
    bank_phy(d);
    sys_->i2c->hdmirxbwr(uint8_t(0x4B + 3 * ch), 3, dev[d].dfe[idx][ch], d);
    bank0(d);
}

// ---- states ---------------------------------------------------------------------------------

void ite6805_eq::entry_report(uint8_t d)
{
    Dev& e = dev[d];
    if (e.eq_done) {
        e.eq_done = 0;
        Report_EQ(d);
    } else if (e.auto_done) {
        e.auto_done = 0;
        if (e.skew_pending) {
            Report_Skew(d);
        } else {
            Report_EQ(d);
            Report_Skew(d);
            if (e.dfe_pending) {
                iTE6805_Set_EQResult_Flag(d);
                bank_phy(d);
                if (e.manual) {
                    sys_->drv->set(d, PHY_EQ_TRIGGER, 0x40, 0x00);
                    bank0(d);
                    e.dfe_pending = 0;
                    iTE6805_EQ_chg(STATEEQ_NextTrial, d);
                    return;
                }
                bank0(d);
                for (uint8_t ch = 0; ch < 3; ++ch)
                    Get_DFE(ch, d);
                bank_phy(d);
                sys_->drv->set(d, PHY_EQ_TRIGGER, 0x40, 0x40);
                bank0(d);
            }
            e.dfe_pending = 0;
        }
    }
    iTE6805_EQ_chg(STATEEQ_CheckBitErr, d);
}

void ite6805_eq::entry_check(uint8_t d)
{
    Dev& e = dev[d];
    BitErr_Get(d);
    if (BitErr_Check(d, kBitErrLimit)) {
        e.skew_pending = 0;
        iTE6805_EQ_chg(STATEEQ_EQDone, d);
        return;
    }
    const uint8_t slot = e.trial < 5 ? e.trial : 4;
    if (!((e.err[slot][0][1] | e.err[slot][1][1] | e.err[slot][2][1]) & 0x80)) {
        // No channel delivered a count: try another SCDC scrambling setting.
        ite6805_drv* drv = sys_->drv;
        bank_phy(d);
        const uint8_t e5 = drv->rd(d, PHY_SCDC_E5);
        drv->set(d, PHY_SCDC_E5, 0x1C, (e5 & 0x10) ? 0 : uint8_t((e.use_h2 ? 4 : 7) << 2));
        bank0(d);
        iTE6805_EQ_chg(STATEEQ_Off, d);
        return;
    }
    if (e.skew_pending) {
        Trigger_RSSKEW_EQ(d);
        iTE6805_EQ_chg(STATEEQ_WaitAuto, d);
        return;
    }
    iTE6805_EQ_chg(STATEEQ_NextTrial, d);
}

void ite6805_eq::next_trial(uint8_t d)
{
    ite6805_drv* drv = sys_->drv;
    Dev& e = dev[d];
    const uint8_t* table = e.table ? e.table : iTE6805_EQ_Table_Hdmi10;
    ++e.trial;
    if (e.trial <= 4) {
        bank_phy(d);
        drv->wr(d, 0x2C, 0x00);
        drv->wr(d, 0x2D, 0x07);
        for (uint8_t ch = 0; ch < 3; ++ch)
            if (!e.passed[ch])
                drv->wr(d, uint8_t(PHY_EQ_VALUE + ch), uint8_t(table[e.trial - 1] | 0x80));
        bank0(d);
        if (e.use_h2 && !e.manual)
            for (uint8_t ch = 0; ch < 3; ++ch)
                if (!e.passed[ch])
                    Set_DFE(table[e.trial - 1], ch, d);
        iTE6805_EQ_chg(STATEEQ_CheckBitErr, d);
        return;
    }
    e.trial = 0;
    for (int ch = 0; ch < 3; ++ch) {
        const int best = eq_best_trial(&e.err[1], 4, ch);
        if (best >= 0)
            e.best[ch] = table[best];
    }
    std::printf("EQ dev %d: best values %02X %02X %02X\n", d, e.best[0], e.best[1], e.best[2]);
    if (e.use_h2) {
        e.skew_pending = 1;
        Trigger_RSSKEW_EQ(d);
        iTE6805_EQ_chg(STATEEQ_WaitAuto, d);
        return;
    }
    bank_phy(d);
    for (uint8_t ch = 0; ch < 3; ++ch)
        drv->wr(d, uint8_t(PHY_EQ_VALUE + ch), uint8_t(e.best[ch] ^ 0x80));
    bank0(d);
    iTE6805_EQ_chg(iTE6805_BitErr_Check_Again(d) ? STATEEQ_EQDone : STATEEQ_BackToTrial, d);
}

void ite6805_eq::iTE6805_EQ_chg(uint32_t state, uint8_t d)
{
    uint32_t& cur = sys_->iTE6805_DATA[d].STATEEQ;
    if (cur == STATEEQ_KeepEQStateUntil5VOff)
        return;
    Dev& e = dev[d];
    std::memset(e.best, 0, sizeof e.best);
    cur = state;
    switch (state) {
    case STATEEQ_Off:
        Reset_EQ(d);
        break;
    case STATEEQ_Start: {
        e.high_rate = sys_->drv->iTE6805_Check_HDMI2(d) || sys_->drv->iTE6805_Check_TMDS_Bigger_Than_1G(d);
        bank_phy(d);
        sys_->drv->set(d, 0xA7, 0x40, e.high_rate ? 0x40 : 0x00);
        bank0(d);
        break;
    }
    case STATEEQ_WaitAuto:
        e.wait = 0;
        break;
    case STATEEQ_Report:
        entry_report(d);
        break;
    case STATEEQ_CheckBitErr:
        entry_check(d);
        break;
    case STATEEQ_NextTrial:
        next_trial(d);
        break;
    case STATEEQ_EQDone:
        std::memset(e.acc, 0, sizeof e.acc);
        Report_EQ(d);
        if (e.use_h2)
            Report_Skew(d);
        break;
    default:
        break;
    }
}

void ite6805_eq::iTE6805_EQ_fsm(uint8_t d)
{
    Dev& e = dev[d];
    switch (sys_->iTE6805_DATA[d].STATEEQ) {
    case STATEEQ_Start:
        if (!sys_->drv->iTE6805_Check_CLK_Vaild(d))
            break;
        if (sys_->drv->iTE6805_Check_HDMI2(d)) {
            e.table = iTE6805_EQ_Table_Hdmi20;
            e.use_h2 = e.dfe_pending = 1;
            if (iTE6805_BitErr_Check_Again(d)) {
                iTE6805_EQ_chg(STATEEQ_EQDone, d);
                break;
            }
            Trigger_SAREQ(d);
        } else {
            e.table = iTE6805_EQ_Table_Hdmi10;
            e.use_h1 = 1;
            Trigger_EQ(d);
        }
        iTE6805_EQ_chg(STATEEQ_WaitAuto, d);
        break;
    case STATEEQ_WaitAuto:
        if (e.eq_done || e.auto_done) {
            iTE6805_EQ_chg(STATEEQ_Report, d);
            break;
        }
        if (!(e.use_h2 ? e.h2_err : e.h1_err) && ++e.wait < 30)
            break;
        e.wait = 0;
        e.h1_err = e.h2_err = 0;
        e.manual = 1;
        iTE6805_EQ_chg(STATEEQ_NextTrial, d);
        break;
    case STATEEQ_BackToTrial:
        iTE6805_EQ_chg(STATEEQ_NextTrial, d);
        break;
    case STATEEQ_EQDone:
        if (e.check_count == 0) {
            if (e.use_h2) {
                if (sys_->iTE6805_DATA[d].Flag_VidStable_Done)
                    BitErr_Get(d);
            } else if (!iTE6805_BitErr_Check_Again(d)) {
                iTE6805_EQ_chg(STATEEQ_Start, d);
                break;
            }
        }
        if (++e.check_count >= e.check_interval) {
            e.check_count = 0;
            if (e.check_interval < 32)
                ++e.check_interval;
        }
        break;
    default:
        break;
    }
}
