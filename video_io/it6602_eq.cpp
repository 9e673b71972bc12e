// IT6602 equaliser search and link recovery: per port, the error counts of three trial
// settings are compared and the best one kept; a link that keeps failing is restarted.
#include <algorithm>

#include "platform/clock.h"
#include "video_io/it6602_regs.h"
#include "video_io/zelta_it6602.h"

using namespace it6602;

namespace {
constexpr uint8_t kIdle = 255;
constexpr uint8_t kSettled = 155;
constexpr uint8_t kEnd = 156;
constexpr uint8_t kSyncWatchEnd = 19;
constexpr uint8_t kFewErrors = 6;
constexpr uint8_t kPersistentErrors = 10;

// Per-port register pairs (port 0, port 1).
uint8_t eq_ctrl(int p) { return p ? 0x3E : REG_EQ_CTRL0; }
uint8_t eq_val(int p) { return p ? 0x3F : REG_EQ_VAL0; }
uint8_t eq_force(int p) { return p ? REG_EQ_FORCE1 : REG_EQ_FORCE0; }
uint8_t rs_ctrl(int p) { return p ? 0x3A : REG_RS_CTRL0; }
uint8_t ecc(int p) { return p ? 0xB7 : REG_ECC0; }
uint8_t port_reset(int p) { return p ? REG_PORT_RESET1 : REG_PORT_RESET0; }
uint8_t events_of(int p) { return uint8_t(0x07 << (4 * p)); }
}  // namespace

// ---- pure ------------------------------------------------------------------------------------

int zelta_it6602::JudgeBestEQ(const uint8_t c[3])
{
    const int best01 = c[1] <= c[0] ? 1 : 0;
    return c[2] > c[best01] ? best01 : 2;
}

// ---- events ----------------------------------------------------------------------------------

void zelta_it6602::IT6602HDMIEventManager(int r)
{
    IT6602_dev_data& d = dev[r];
    for (int p = 0; p < 2; ++p) {
        const uint8_t b0 = uint8_t(0x01 << (4 * p)), b1 = uint8_t(0x02 << (4 * p)), b2 = uint8_t(0x04 << (4 * p));
        if (d.eq_events & b0) {
            if (d.eq_countdown[p])
                --d.eq_countdown[p];
            if (!d.eq_countdown[p])
                d.eq_events &= uint8_t(~b0);
        } else if ((d.eq_events & b1) && clock_stable(p)) {
            d.eq_events &= uint8_t(~b1);
            TMDSCheck(r, p);
        } else if ((d.eq_events & b2) && clock_stable(p)) {
            d.eq_events &= uint8_t(~b2);
            HDMIStartEQDetect(r, p);
        }
    }
}

void zelta_it6602::TMDSCheck(int r, int p)
{
    const uint8_t range = uint8_t(hdmirxrd_it6602(REG_TMDS_RANGE) >> (p ? 2 : 0));
    const uint8_t div = hdmirxrd_it6602(p ? REG_TMDS_DIV1 : REG_TMDS_DIV0);
    const uint32_t base = (range & 1) ? 6144 : (range & 2) ? 12288 : 3072;
    tmds_clock[r] = div ? base / div : 0;
    dev[r].eq_events |= uint8_t(0x05 << (4 * p));
    dev[r].eq_countdown[p] = 3;
    if (address != ADDR_B)
        return;
    if (p == 0) {
        chgbank_it6602(1);
        hdmirxset_it6602(B1_PLL0, 0x20, 0x00);
        hdmirxset_it6602(REG_ECC0, 0x07, 0x04);
        chgbank_it6602(0);
    }
    const bool mid = tmds_clock[r] > 35 && tmds_clock[r] < 160;
    hdmirxwr_it6602(eq_force(p), mid ? 0x3F : 0x00);
}

// ---- the search ------------------------------------------------------------------------------

void zelta_it6602::HDMIStartEQDetect(int r, int p)
{
    IT6602_EQ& e = dev[r].eq[p];
    if (e.step != kIdle)
        return;  // one search per port at a time
    e.port = uint8_t(p);
    e.step = dev[r].port == p ? 0 : 21;
    e.busy = 1;
    e.error_count = e.sync_loss = e.repeat = e.mute_steps = 0;
    HDMIAdjustEQ(r, p);
    std::fill(e.c, e.c + 3, uint8_t(10));
}

void zelta_it6602::HDMIAdjustEQ(int r, int p)
{
    IT6602_EQ& e = dev[r].eq[p];
    if (!e.busy)
        return;
    if (e.step == 81 || e.step == kEnd) {
        e.busy = 0;
        e.step = kIdle;
        if (dev[r].port == p)
            dev[r].video_countdown = 1;
        return;
    }
    if (e.step == kSettled) {
        e.step = kEnd;
        return;
    }
    if (e.step <= kSyncWatchEnd) {
        HDMICheckSCDTon(r, p);
        if (e.step == kSettled || e.step == 20)
            HDMISwitchEQstate(r, p, e.step);
        else
            ++e.step;
        return;
    }
    if (HDMIPollingErrorCount(r, p))
        return;  // jumped to a judging point and judged there
    if (++e.step == 30 || e.step == 60 || e.step == 70 || e.step == 80)
        judge_point(r, p);
}

// At 30, 60 and 70 the setting in use is judged and the next one tried; at 80 the best of
// the three is chosen and the search ends.
void zelta_it6602::judge_point(int r, int p)
{
    IT6602_EQ& e = dev[r].eq[p];
    const uint8_t point = e.step;
    HDMIJudgeECCvalue(r, p);
    if (e.step == kSettled)
        HDMISwitchEQstate(r, p, kSettled);
    else if (point < 80)
        HDMISwitchEQstate(r, p, point);
    else
        e.step = kEnd;
}

void zelta_it6602::HDMISwitchEQstate(int r, int p, int target)
{
    IT6602_EQ& e = dev[r].eq[p];
    e.error_count = 0;
    e.repeat = 0;
    switch (target) {
    case 30: apply_eq_setting(r, p, IT6602EQTable[0]); break;
    case 60: apply_eq_setting(r, p, IT6602EQTable[1]); break;
    case 70: apply_eq_setting(r, p, IT6602EQTable[2]); break;
    case 80: break;
    default:  // 20, 155: the trial is over, lift the video mute of the sync watch
        hdmirxset_it6602(REG_VIDEO_CTRL, 0xC0, 0x40);
        hdmirxset_it6602(REG_VIDEO_MUTE_CTRL, 0x20, 0x00);
        break;
    }
}

void zelta_it6602::HDMIJudgeECCvalue(int r, int p)
{
    IT6602_EQ& e = dev[r].eq[p];
    const int idx = e.step <= 60 ? 0 : e.step <= 70 ? 1 : 2;
    e.c[idx] = e.error_count;
    if (e.error_count < kFewErrors) {
        e.step = kSettled;  // good enough: keep the setting in use
        return;
    }
    if (idx < 2)
        return;
    const int best = JudgeBestEQ(e.c);
    if (hdmirxrd_it6602(eq_val(p)) & 0x80)
        apply_eq_setting(r, p, IT6602EQTable[best]);
    else
        OverWriteAmpValue2EQ(r, p);
}

// Steps 0..19 of the selected port: watch sync while the link settles.
void zelta_it6602::HDMICheckSCDTon(int r, int p)
{
    IT6602_EQ& e = dev[r].eq[p];
    if (dev[r].port != p)
        return;
    const uint8_t err = hdmirxrd_it6602(ecc(p));
    hdmirxwr_it6602(ecc(p), err);
    const uint8_t st = hdmirxrd_it6602(p ? REG_STATUS1 : REG_STATUS0);
    if ((st & (ST_5V | ST_CLOCK)) == (ST_5V | ST_CLOCK) && !(st & ST_SYNC))
        ++e.sync_loss;
    if (err & 0xC0) {
        hdmirxset_it6602(REG_VIDEO_CTRL, 0xC0, 0xC0);
        hdmirxset_it6602(REG_VIDEO_MUTE_CTRL, 0x20, 0x20);
        hdmirxset_it6602(REG_VIDEO_CTRL, 0x0E, 0x00);
        if (++e.mute_steps >= 3 && hdmirxrd_it6602(eq_force(p)) == 0)
            hdmirxwr_it6602(eq_force(p), 0x3F);
    }
    if (e.step != kSyncWatchEnd)
        return;
    const bool strong = amp[r][p][0] > 14 && amp[r][p][1] > 14 && amp[r][p][2] > 14;
    if ((err & 0xC0) == 0xC0) {
        hdmirx_ECCTimingOut(r, p);
        e.step = kSettled;
    } else if (e.sync_loss == 0 && (eq_forced[r][p] || strong)) {
        e.step = kSettled;
    } else {
        e.step = 20;
    }
}

// Steps 20..79: count link errors; persistent errors jump to the next judging point (true).
bool zelta_it6602::HDMIPollingErrorCount(int r, int p)
{
    IT6602_EQ& e = dev[r].eq[p];
    uint8_t v[5];
    bool errors = false;
    for (int i = 0; i < 5; ++i) {
        const uint8_t reg = uint8_t(ecc(p) + i);
        v[i] = hdmirxrd_it6602(reg);
        hdmirxwr_it6602(reg, v[i]);
        if (i == 1)
            v[i] &= 0xE0;
        errors = errors || v[i];
    }
    if ((v[2] == 0xFF || v[3] == 0xFF) && e.step > 30) {
        if (++e.repeat >= 4) {
            e.repeat = 0;
            flip_eq_force(p);
            hdmirxset_it6602(port_reset(p), 0x0C, 0x0C);
            hdmirxset_it6602(port_reset(p), 0x0C, 0x00);
        }
    } else {
        e.repeat = 0;
    }
    if (!errors || ++e.error_count < kPersistentErrors)
        return false;
    e.error_count = e.sync_loss ? 138 : kPersistentErrors;
    e.step = e.step < 30 ? 30 : e.step < 60 ? 60 : e.step < 70 ? 70 : 80;
    judge_point(r, p);
    return true;
}

// ---- amplitudes and overrides ----------------------------------------------------------------

void zelta_it6602::apply_eq_setting(int r, int p, uint8_t value)
{
    hdmirxset_it6602(eq_ctrl(p), 0x20, 0x20);
    hdmirxwr_it6602(eq_val(p), value);
    eq_busy[r][p] = 1;
}

void zelta_it6602::AmpValidCheck(int r, int p)
{
    chgbank_it6602(1);
    const uint8_t valid = hdmirxrd_it6602(uint8_t(p ? 0xD8 : B1_AMP_VALID0));
    for (int ch = 0; ch < 3; ++ch) {
        if (!((valid >> (2 * ch)) & 0x03))
            continue;
        amp[r][p][ch] = hdmirxrd_it6602(uint8_t((p ? 0xDD : B1_AMP0) + ch));
        amp_valid[r][p] |= uint8_t(0x03 << (2 * ch));
    }
    chgbank_it6602(0);
    if (amp_valid[r][p] == 0x3F)
        OverWriteAmpValue2EQ(r, p);
}

void zelta_it6602::OverWriteAmpValue2EQ(int r, int p)
{
    uint8_t v[3];
    for (int ch = 0; ch < 3; ++ch)
        v[ch] = std::max<uint8_t>(3, amp[r][p][ch] & 0x7F);
    hdmirxbwr_it6602(eq_val(p), v, 3);
    hdmirxset_it6602(eq_ctrl(p), 0x20, 0x20);
    eq_forced[r][p] = 1;
    dev[r].eq_events &= uint8_t(~events_of(p));
    hdmirxwr_it6602(rs_ctrl(p), 0x00);
    hdmirxwr_it6602(REG_INT_EQ, p ? 0xC0 : 0x30);  // the port's two equaliser events
    HDMIStartEQDetect(r, p);
}

void zelta_it6602::DisableOverWriteRS(int r, int p)
{
    eq_busy[r][p] = amp_valid[r][p] = eq_forced[r][p] = 0;
    hdmirxwr_it6602(rs_ctrl(p), 0x00);
    hdmirxset_it6602(eq_ctrl(p), 0x20, 0x00);
    IT6602_EQ& e = dev[r].eq[p];
    e = IT6602_EQ{};
    e.port = uint8_t(p);
    dev[r].ecc_errors[p] = dev[r].deskew_errors[p] = 0;
    dev[r].eq_events &= uint8_t(~events_of(p));
}

void zelta_it6602::hdmirx_ECCTimingOut(int r, int p)
{
    IT6602HPDCtrl(r, p, 0);
    hdmirxset_it6602(port_reset(p), 0x0F, 0x0F);
    platform::sleep_ms(300);
    hdmirxset_it6602(port_reset(p), 0x0F, 0x00);
    IT6602HPDCtrl(r, p, 1);
}

void zelta_it6602::flip_eq_force(int p)
{
    hdmirxwr_it6602(eq_force(p), hdmirxrd_it6602(eq_force(p)) ? 0x00 : 0x3F);
}
