// Input processing of channels 0..3: deinterlacer, motion filter and noise reducers.
#include "scaler/input_proc.h"

#include <initializer_list>

#include "scaler/c331_drv.h"
#include "scaler/c331_manage.h"
#include "scaler/c331_regs.h"
#include "scaler/pipeline_regs.h"

namespace ipproc {

namespace {

using Seq = std::vector<RegWrite>;

uint32_t ch(int ich) { return c331::kChannelStride * static_cast<uint32_t>(ich); }

// One-byte registers from `first` on, one value each.
void run(Seq& s, uint32_t first, std::initializer_list<uint32_t> values, int ich)
{
    uint32_t id = first;
    for (uint32_t v : values) {
        s.push_back(reg_write(id, v, ch(ich)));
        id += 0x100;
    }
}
void put(Seq& s, uint32_t id, uint32_t v, int ich) { s.push_back(reg_write(id, v, ch(ich))); }
void append(Seq& s, const Seq& more) { s.insert(s.end(), more.begin(), more.end()); }

}  // namespace

bool ip_on(const Port& p)
{
    return (p.state > 3 && (p.hnr || p.vnr || p.tnr || p.bnr || p.mnr)) || p.scan;
}

Seq set_nr_b(int ich, int level, int preset)
{
    struct Preset {
        uint32_t mode, x1, x2, y1, y2, z;
    };
    static constexpr Preset kPresets[5] = {
        {0, 384, 96, 384, 96, 48}, {3, 384, 96, 768, 192, 36}, {0, 64, 16, 64, 16, 8},
        {3, 64, 16, 128, 32, 6},   {3, 171, 43, 342, 86, 16},
    };
    Seq s;
    if (level < 1 || level > 3 || preset < 0 || preset > 4)
        return s;
    const Preset& pr = kPresets[preset];
    put(s, c331::NR_MODE, pr.mode, ich);
    put(s, c331::NR_BLOCK, level == 3 ? 3223 : 8855, ich);
    switch (level) {
    case 1: run(s, 0x153B01, {144, 64, 80, 96, 128, 32, 132, 65, 6, 16}, ich); break;
    case 2: run(s, 0x153B01, {160, 64, 80, 96, 128, 16, 66, 51, 4, 16}, ich); break;
    default: run(s, 0x153B01, {176, 64, 80, 96, 128, 16, 66, 51, 4, 6}, ich); break;
    }
    run(s, 0x154501, {64, 0, 0, 6, 4, 64, 18, 16}, ich);
    put(s, 0x154D02, pr.x1, ich);
    put(s, 0x154F02, pr.x2, ich);
    run(s, 0x155101, {64, 18, 16}, ich);
    put(s, 0x155402, pr.y1, ich);
    put(s, 0x155602, pr.y2, ich);
    run(s, 0x155801, {0, 0, 0, 0}, ich);
    for (uint32_t id : {0x155C02u, 0x155E02u, 0x156002u, 0x156202u})
        put(s, id, 0, ich);
    run(s, 0x156401, {18, 0, 0}, ich);
    put(s, 0x156702, 0, ich);
    run(s, 0x156901, {8, pr.z}, ich);
    return s;
}

Seq set_nr_block(const Port& p, int ich)
{
    if (p.bnr == 0)
        return Seq{reg_write(c331::NR_BLOCK, 0, ch(ich))};
    switch (p.act[3]) {
    case 240: return set_nr_b(ich, static_cast<int>(p.bnr), 2);
    case 480: return set_nr_b(ich, static_cast<int>(p.bnr), 3);
    case 540: return set_nr_b(ich, static_cast<int>(p.bnr), 0);
    case 720: return set_nr_b(ich, static_cast<int>(p.bnr), 4);
    case 1080: return set_nr_b(ich, static_cast<int>(p.bnr), 1);
    default: return Seq{};
    }
}

Seq set_nr_tpx(const Port& p, int ich)
{
    Seq s;
    if (p.tnr < 1 || p.tnr > 3) {
        put(s, c331::IP_TPX_MODE, 0, ich);
        return s;
    }
    run(s, c331::IP_TPX_MODE, {3, 49, 117, 185, 253}, ich);
    switch (p.tnr) {
    case 1: run(s, 0x120D01, {18, 20, 24, 27, 28, 29, 30, 31}, ich); break;
    case 2: run(s, 0x120D01, {17, 18, 20, 22, 24, 26, 28, 31}, ich); break;
    default: run(s, 0x120D01, {0, 8, 12, 16, 20, 24, 28, 31}, ich); break;
    }
    return s;
}

Seq set_nr_hvpx(const Port& p, int ich)
{
    auto pair = [](uint32_t level, uint32_t* a, uint32_t* b) {
        static constexpr uint32_t kPairs[4][2] = {{0, 0}, {66, 150}, {117, 201}, {168, 252}};
        const uint32_t l = level <= 3 ? level : 0;
        *a = kPairs[l][0];
        *b = kPairs[l][1];
    };
    Seq s;
    put(s, c331::NR_HV, (p.hnr ? 1u : 0u) + (p.vnr ? 16u : 0u), ich);
    uint32_t a, b;
    pair(p.hnr, &a, &b);
    run(s, 0x156E01, {a, b}, ich);
    pair(p.vnr, &a, &b);
    run(s, 0x156C01, {a, b}, ich);
    return s;
}

Seq set_nr_mosq(const Port& p, int ich)
{
    Seq s;
    if (p.mnr < 1 || p.mnr > 3) {
        put(s, c331::NR_MOSQ, 0, ich);
        return s;
    }
    run(s, c331::NR_MOSQ, {1, 128, 56, 8, 128, 56, 8}, ich);
    uint32_t id = 0x151001;
    auto more = [&](std::initializer_list<uint32_t> v) {
        run(s, id, v, ich);
        id += 0x100 * static_cast<uint32_t>(v.size());
    };
    if (p.mnr == 1) {
        more({63, 63, 127, 127, 127, 127, 63, 63, 127, 127, 127, 127});
        more({252, 32, 213, 127, 24, 36, 0, 0, 0, 0, 0});
    } else {
        more({127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 127});
        if (p.mnr == 2)
            more({252, 63, 217, 255, 24, 0, 0, 0, 0, 0, 0});
        else
            more({252, 255, 217, 111, 0, 0, 0, 0, 0, 0, 0});
    }
    put(s, 0x152801, p.mnr == 3 ? 0 : 64, ich);
    run(s, 0x152901, {p.mnr == 1 ? 81u : 0u, 0, 0, 0, 0, 0}, ich);
    return s;
}

Seq set_nr(const Port& p, int ich)
{
    Seq s;
    if (p.state <= 3) {
        put(s, c331::NR_BLOCK, 0, ich);
        put(s, c331::IP_TPX_MODE, 0, ich);
        put(s, c331::NR_HV, 0, ich);
        put(s, c331::NR_MOSQ, 0, ich);
        put(s, c331::NR_MODE, 0, ich);
        return s;
    }
    append(s, set_nr_block(p, ich));
    append(s, set_nr_tpx(p, ich));
    append(s, set_nr_hvpx(p, ich));
    append(s, set_nr_mosq(p, ich));
    const uint32_t mode = p.scan ? 0 : p.bnr ? 3 : (p.hnr || p.vnr || p.tnr || p.mnr) ? 1 : 0;
    put(s, c331::NR_MODE, mode, ich);
    return s;
}

Seq set_diag(const Port& p, int ich)
{
    Seq s;
    if (p.state > 3 && p.diag >= 1 && p.diag <= 3) {
        switch (p.diag) {
        case 1: run(s, c331::IP_DIAG0, {9, 255, 119, 0, 4, 16, 3, 8, 10, 20, 4, 4, 2, 2, 16}, ich); break;
        case 2: run(s, c331::IP_DIAG0, {11, 127, 119, 3, 4, 16, 1, 4, 10, 20, 4, 4, 2, 2, 16}, ich); break;
        default: run(s, c331::IP_DIAG0, {11, 127, 119, 19, 9, 16, 3, 8, 10, 20, 4, 4, 2, 2, 16}, ich); break;
        }
        run(s, 0x145F01, {p.diag == 3 ? 49u : 50u, 0, 0, 0, 0}, ich);
        return s;
    }
    run(s, c331::IP_DIAG0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, ich);
    return s;
}

Seq set_comb(const Port& p, int ich)
{
    Seq s;
    if (p.state <= 3 || p.comb < 1 || p.comb > 3) {
        put(s, c331::IP_COMB_EN, 0, ich);
        return s;
    }
    static constexpr uint32_t kComb[3][2] = {{16, 128}, {20, 128}, {112, 160}};
    run(s, c331::IP_COMB_EN, {1, kComb[p.comb - 1][0], kComb[p.comb - 1][1]}, ich);
    return s;
}

Seq set_mvflt(const Port& p, int ich)
{
    static constexpr uint32_t kRegs[8] = {0x141A01, 0x141E01, 0x141B01, 0x141F01,
                                          0x141C01, 0x142001, 0x141D01, 0x142101};
    static constexpr uint32_t kLevels[5][8] = {{0, 0, 0, 0, 0, 0, 0, 0},
                                               {4, 4, 4, 4, 8, 8, 8, 8},
                                               {8, 8, 8, 8, 8, 8, 16, 16},
                                               {8, 8, 8, 8, 16, 16, 24, 24},
                                               {16, 16, 16, 16, 24, 24, 31, 31}};
    Seq s;
    const bool active = p.state >= 4;
    put(s, c331::IP_MV_EN, active && p.mvflt ? 31 : 0, ich);
    if (active && p.mvflt > 4)
        return s;   // an unknown level keeps the eight as they are
    const uint32_t level = active ? p.mvflt : 0;
    for (int i = 0; i < 8; ++i)
        put(s, kRegs[i], kLevels[level][i], ich);
    return s;
}

Seq set_ipregs(const Port& p, int ich)
{
    Seq s;
    if (p.state < 5 || p.state > 8)
        return s;
    switch (p.state) {
    case 5: run(s, 0x142E01, {26, 16, 17, 142, 6, 128, 192, 193, 193, 193, 0, 193, 193}, ich); break;
    case 6: run(s, 0x142E01, {26, 16, 17, 142, 6, 128, 192, 0, 0, 0, 0, 0, 0}, ich); break;
    case 7: run(s, 0x142E01, {13, 3, 17, 53, 2, 128, 40, 196, 196, 196, 196, 194, 194}, ich); break;
    default: run(s, 0x142E01, {13, 3, 17, 69, 2, 128, 40, 0, 0, 0, 0, 0, 0}, ich); break;
    }
    if (p.state <= 6)
        run(s, 0x144201, {68, 0, 3, 0, 0, 2, 15, 0, 0}, ich);
    else
        run(s, 0x144201, {70, 0, 3, 0, 0, 0, 9, 0, 0}, ich);
    put(s, c331::IP_PD_CTRL, 0x32u + (p.state <= 6 ? 1u : 0u) + (p.pd22 ? 0x40u : 0u) + (p.pd23 ? 0x80u : 0u), ich);
    put(s, c331::IP_SF, p.sf24 ? 25 : 9, ich);
    put(s, c331::IP_PD_SQTH, ((p.sq22 << 4) | p.sq23) & 0xFF, ich);
    return s;
}

Seq ip_timing(const Port& p, int ich, uint32_t A, uint32_t B)
{
    Seq s;
    const uint32_t a = (p.scan ? (A + 1) / 2 : A) + 32;
    const uint32_t k = p.scan ? 2 : 1;
    put(s, c331::IP_HTOTAL, a, ich);
    put(s, c331::IP_VTOTAL, (B + 16) * 2, ich);
    put(s, c331::IP_HALF, (((a + 1) * 3 / 4) & 0x3FFF) | 0x8000, ich);
    put(s, c331::IP_MODE, 1, ich);
    put(s, c331::IP_HW, p.act[1], ich);
    put(s, c331::IP_VW, p.act[3] * k, ich);
    put(s, c331::IP_VST, (p.act[2] * k) | 0x8000, ich);
    append(s, set_mvflt(p, ich));
    append(s, set_diag(p, ich));
    append(s, set_ipregs(p, ich));
    append(s, set_comb(p, ich));
    append(s, set_nr(p, ich));
    if (p.scan) {
        put(s, c331::IP_DEINT, p.ipen ? 0 : 32, ich);
        put(s, c331::IP_FIELD_A, 8, ich);
        put(s, c331::IP_FIELD_B, 4, ich);
    } else {
        put(s, c331::IP_DEINT, 16, ich);
        put(s, c331::IP_FIELD_A, 0, ich);
        put(s, c331::IP_FIELD_B, 0, ich);
    }
    return s;
}

// The deinterlacer's timing block (bank 0x14) as the bring-up leaves it: every register a set-up
// writes there back to 0, so that a channel whose port turned progressive, or that no window
// uses, keeps nothing of an interlaced set-up.
Seq ip_timing_off(int ich)
{
    Port every;   // a port whose set-up writes every register of the block
    every.state = 5, every.scan = 1, every.comb = 1, every.diag = 1, every.mvflt = 1;
    Seq s;
    for (RegWrite w : ip_timing(every, ich, 0, 0))
        if ((w.id >> 16) == (c331::IP_HTOTAL >> 16)) {
            w.value = 0;
            s.push_back(w);
        }
    return s;
}

Seq ip_memory(bool interlaced, int ich, const uint32_t m[6])
{
    Seq s;
    static constexpr uint32_t kRegs[8] = {0x171804, 0x171C04, 0x172004, 0x172404,
                                          0x170804, 0x170C04, 0x171004, 0x171404};
    uint32_t v[8];
    if (interlaced) {
        const uint32_t sh = (m[5] & 31) << 10;
        const uint32_t i[8] = {sh + m[0], m[0], sh + m[1], m[1], sh + m[0], m[0], sh + m[1], m[1]};
        std::copy(i, i + 8, v);
    } else {
        const uint32_t i[8] = {m[2], m[3], m[2], m[3], m[2], m[3], m[2], m[3]};
        std::copy(i, i + 8, v);
    }
    for (int k = 0; k < 8; ++k)
        put(s, kRegs[k], v[k], ich);
    put(s, c331::IP_YOFF, interlaced ? m[4] : 0, ich);
    put(s, c331::IP_PROG, interlaced ? 1 : 0, ich);
    return s;
}

}  // namespace ipproc

// ---- c331_manage ----------------------------------------------------------------------------

static ipproc::Port port_block(const c331_manage& m, uint32_t p)
{
    ipproc::Port b;
    if (p >= static_cast<uint32_t>(c331_manage::kPorts))
        return b;
    b.state = m.PI_STATE[p];
    b.scan = m.PI_SCAN_MODE[p];
    for (int i = 0; i < 4; ++i)
        b.act[i] = m.PI_ACT[p][i];
    b.hnr = m.PM_HNR[p], b.vnr = m.PM_VNR[p], b.tnr = m.PM_TNR[p], b.bnr = m.PM_BNR[p], b.mnr = m.PM_MNR[p];
    b.comb = m.PM_COMB[p], b.ipen = m.PM_IPEN[p], b.diag = m.PM_DIAG[p], b.mvflt = m.PM_MVFLT[p];
    b.pd22 = m.PM_22PD[p], b.pd23 = m.PM_23PD[p], b.sq22 = m.PM_22PDSQTH[p], b.sq23 = m.PM_23PDSQTH[p];
    b.sf24 = m.PM_24SF[p];
    return b;
}

void c331_manage::set_nr(int, int ich, int port)
{
    if (ich < 0 || ich > 3)
        return;
    tlxApi_WriteSeq(ipproc::set_nr(port_block(*this, static_cast<uint32_t>(port)), ich));
}

void c331_manage::set_ip(int fd, int ich)
{
    if (ich < 0 || ich > 3)
        return;
    const int w = ich_owner[ich];
    if (w < 0 || w >= kWindows || PM_INPUT[w] > 5)
        return;
    const uint32_t p = PM_INPUT[w];
    const ipproc::Port b = port_block(*this, p);
    const uint32_t o = c331::kChannelStride * static_cast<uint32_t>(ich);
    if (!ipproc::ip_on(b)) {
        drv->write_C331(fd, c331::IP_ENABLE, 0, o);
        tlxApi_WriteSeq(ipproc::ip_timing_off(ich));
        tlxApi_WriteSeq(ipproc::set_nr(b, ich));
    } else {
        wait1_pivs(fd, ich);
        wait1_pivs(fd, ich);
        const uint32_t step = 6u * static_cast<uint32_t>(ich) << 8;
        drv->write_C331(fd, c331::STATUS_LATCH, c331::STATUS_LATCH_ON, 0);
        const uint32_t A = drv->read_C331(fd, c331::ICH_MEAS_A + step, 0) + 1;
        const uint32_t B = drv->read_C331(fd, c331::ICH_MEAS_B + step, 0);
        drv->write_C331(fd, c331::STATUS_LATCH, 0, 0);
        port_ip_meas[p][0] = A;
        port_ip_meas[p][1] = B;
        tlxApi_WriteSeq(ipproc::ip_timing(b, ich, A, B));
    }
    const uint32_t mem[6] = {PS_MEM_IP_I(ich, 0), PS_MEM_IP_I(ich, 1), PS_MEM_IP_P(ich, 0),
                             PS_MEM_IP_P(ich, 1), PS_MEM_IPYOFF(ich), PS_MWI_IP(ich)};
    tlxApi_WriteSeq(ipproc::ip_memory(b.scan != 0, ich, mem));
}

// A channel whose picture does not pass the input processing (no window, or dot-by-dot): the
// block off and its memory as the bring-up leaves it, so nothing of an earlier window stays.
void c331_manage::reset_ip(int fd, int ich)
{
    if (ich < 0 || ich > 3)
        return;
    drv->write_C331(fd, c331::IP_ENABLE, 0, c331::kChannelStride * static_cast<uint32_t>(ich));
    tlxApi_WriteSeq(ipproc::ip_timing_off(ich));
    const uint32_t none[6] = {};
    tlxApi_WriteSeq(ipproc::ip_memory(false, ich, none));
}

uint32_t c331_manage::mct_port(int win) const
{
    const uint32_t code = PM_WIN_DBD_MODE[win];
    if (code == 22 || code == 23)
        return 2;
    if (code == 50 || code == 51)
        return 4;
    if (code <= 1)
        return PM_INPUT[win] < static_cast<uint32_t>(kPorts) ? PM_INPUT[win] : 6;
    return 0;
}

// An interlaced port through the input processing syncs its first channel to fields (0); a
// V-by-One port not deinterlaced and every progressive port to frames (1).
uint32_t c331_manage::ich_sync_mode(int win) const
{
    const uint32_t q = mct_port(win);
    if (q > 5)
        return 1;
    const int c0 = first_ich(win);
    const bool deinterlaced = PI_SCAN_MODE[q] != 0 && c0 >= 0 && c0 <= 3 && PM_WIN_DBD_MODE[win] <= 1;
    return (q > 3 && !deinterlaced) || PI_SCAN_MODE[q] == 0 ? 1 : 0;
}

void c331_manage::set_mct(int fd, int win, int refresh)
{
    if (win < 0 || win >= kWindows)
        return;
    const int c0 = first_ich(win);
    if (c0 < 0)
        return;
    const uint32_t code = PM_WIN_DBD_MODE[win];
    const uint32_t q = mct_port(win);
    if (q > 5)
        return;
    const uint32_t m = PI_STATE[q] ? 17 : 1;
    auto hold = [&](int c, uint32_t v) { drv->write_C331(fd, c331::CH_HOLD_BASE + (static_cast<uint32_t>(c) << 8), v, 0); };
    auto isyct = [&](int c, uint32_t v) { drv->write_C331(fd, c331::ICH_SYNC_CTRL, v, c331::kChannelStride * c); };
    // A V-by-One port deinterlaced on channels 0..3 (synced to fields) takes the motion mode of
    // any interlaced port.
    if (q > 3 && ich_sync_mode(win) == 1) {
        hold(c0, m);
        isyct(c0, 1);
    } else {
        const uint32_t b = PM_BNR[q], o = PM_HNR[q] | PM_VNR[q] | PM_TNR[q] | PM_MNR[q];
        const bool interlaced = PI_SCAN_MODE[q] != 0;
        uint32_t n, t, f;
        if (!refresh) {
            n = b ? 2 : o;
            t = (b || interlaced) ? 14 : 0;
            f = ich_sync_mode(win);
        } else {
            n = b ? 2 : o;
            t = b ? 14 : 0;
            f = 1;
        }
        if (!b && n) {
            n = 1;
            t = 14;
        }
        hold(c0, (c0 <= 3 && code <= 1) ? (m | t) : m);
        isyct(c0, f);
        if (n != nren_old[q]) {
            nren_old[q] = n;
            if (!(interlaced && !refresh) && c0 <= 3)
                drv->write_C331(fd, c331::NR_MODE, n == 0 ? 0 : n == 1 ? 1 : 3, c331::kChannelStride * c0);
        }
    }
    for (int i = 1; i < 8; ++i) {
        const int c = win_ich[win][i];
        if (c < 0 || c >= 8)
            break;
        hold(c, m);
        isyct(c, static_cast<uint32_t>(c0 + 8));
    }
}

void c331_manage::set_iscwct(int fd, int win)
{
    if (win < 0 || win >= kWindows)
        return;
    for (int c : win_ich[win]) {
        if (c < 0 || c >= 8)
            break;
        drv->write_C331(fd, c331::ISCWCT_BASE + (static_cast<uint32_t>(c) << 8), wingeom::wmode_ctrl(PM_MEM_WMODE[win]),
                        0);
    }
}
