// Requests the remote tool writes into the image at 0xF80..0xF93: debug commands and raw
// register reads and writes. One request runs per pass; afterwards its group is restored
// from the applied copy so that writing the same request again runs it again.
#include <QMutexLocker>
#include <cstdio>
#include <cstring>

#include "core/TlxRamPara.h"
#include "core/log.h"
#include "core/ram_map.h"
#include "core/utils.h"
#include "platform/paths.h"
#include "scaler/c331_drv.h"
#include "scaler/c331_manage.h"
#include "scaler/c331_regs.h"
#include "scaler/dbg_print.h"

namespace {

constexpr uint32_t kDebugFirst = ram_debug_cmd;        // 0xF80..0xF82
constexpr uint32_t kDebugLen = 3;
constexpr uint32_t kRegReqFirst = ram_reg_request;     // 0xF88..0xF93
constexpr uint32_t kRegReqLen = 12;
constexpr uint32_t kRegReqOp = ram_reg_request + 4;
constexpr uint32_t kRegReqCount = ram_reg_request + 5;
constexpr uint32_t kRegReqData = ram_reg_request + 6;
constexpr uint32_t kRegReqStride = ram_reg_request + 10;
constexpr int kMaxChannels = 8;

struct DbdName {
    int code;
    const char* name;
};
constexpr DbdName kDbdModes[11] = {
    {0, "DBD_DISABLE     "},  {1, "DBD_SINGLE_INPUT"},  {20, "DBD_CMOS_IN12   "}, {21, "DBD_CMOS_IN12V  "},
    {22, "DBD_CMOS_IN34   "}, {23, "DBD_CMOS_IN34V  "}, {30, "DBD_CMOS_IN123  "}, {40, "DBD_CMOS_IN1234 "},
    {41, "DBD_CMOS_IN1234Q"}, {50, "DBD_VBO_IN12    "}, {51, "DBD_VBO_IN12V   "},
};

const char* const kPrnGroup[3] = {"", "C331", "6805"};

// A 128-byte test bitmap: 32 rows of 32 dots, a framed diagonal cross.
void print_test_bitmap()
{
    for (int y = 0; y < 32; ++y) {
        char row[33];
        for (int x = 0; x < 32; ++x) {
            const bool on = x == 0 || y == 0 || x == 31 || y == 31 || x == y || x == 31 - y;
            row[x] = on ? 'O' : ' ';
        }
        row[32] = 0;
        SCALER_DBG("%s\n", row);
    }
}

}  // namespace

// Step 2 of the pass: the first differing trigger decides which request runs.
void c331_manage::scan_requests(uint8_t* img, const uint8_t* shd)
{
    for (uint32_t a = kDebugFirst; a < kDebugFirst + kDebugLen; ++a) {
        if (img[a] != shd[a]) {
            run_debug_command(img[kDebugFirst], img[kDebugFirst + 1], img[kDebugFirst + 2]);
            std::memcpy(img + kDebugFirst, shd + kDebugFirst, kDebugLen);
            return;
        }
    }
    for (uint32_t a = kRegReqFirst; a < kRegReqFirst + kRegReqLen; a += 2) {
        if (ram_rd16(img, a) != ram_rd16(shd, a)) {
            run_reg_request(img);
            std::memcpy(img + kRegReqFirst, shd + kRegReqFirst, kRegReqLen);
            return;
        }
    }
}

// The register ids a raw request touches come from the network: every one must name 1 to
// 4 bytes inside one bank, and per-channel requests must stay inside the 256 banks.
bool c331_manage::reg_request_valid(uint32_t id, unsigned n, uint32_t stride)
{
    auto id_ok = [](uint32_t x) {
        const uint32_t cnt = c331::id_count(x);
        return (x >> 24) == 0 && cnt >= 1 && cnt <= 4 && c331::id_reg(x) + cnt <= 0x80;
    };
    if (n == 0)
        return false;
    if (stride == 0) {
        const unsigned ch = n < kMaxChannels ? n : kMaxChannels;
        return id_ok(id) && c331::id_bank(id) + c331::kChannelStride * (ch - 1) <= 0xFF;
    }
    for (unsigned k = 0; k < n; ++k)
        if (!id_ok(id + k * stride))
            return false;
    return true;
}

void c331_manage::run_reg_request(const uint8_t* img)
{
    const uint32_t id = ram_rd32(img, ram_reg_request);
    const uint8_t op = img[kRegReqOp];
    const unsigned n = img[kRegReqCount];
    const uint32_t data = ram_rd32(img, kRegReqData);
    const uint32_t stride = ram_rd16(img, kRegReqStride);
    std::printf("\t reg_addr:%06X, %s, reg_data:%08X, reg_cnt:%d, reg_choffs:%04x\n", id, op == 1 ? "read" : "write",
                data, n, stride);
    if (!reg_request_valid(id, n, stride)) {
        char line[96];
        std::snprintf(line, sizeof line, "c331: raw register request refused (id %06X, count %u, stride %04X)", id, n,
                      stride);
        writeLogMsg(LOG_WARNING, line);
        return;
    }
    const unsigned channels = n < kMaxChannels ? n : kMaxChannels;
    if (op == 0) {
        set_rtct(c331_fd, 2);
        if (stride == 0) {
            for (unsigned c = 0; c < channels; ++c) {
                drv->write_C331(c331_fd, id, data, c331::kChannelStride * c);
                std::printf("\t\t write CH%d: reg:%06X, data:%08X\n", c + 1, id + c * 0x100000, data);
            }
        } else {
            for (unsigned k = 1; k <= n; ++k) {
                const uint32_t rid = id + (k - 1) * stride;
                drv->write_C331(c331_fd, rid, data, 0);
                std::printf("\t\t write CH%d: reg:%06X, data:%08X, ch_offs:%04x\n", k, rid, data, stride);
            }
        }
        set_rtct(c331_fd, 1);
        return;
    }
    if (stride == 0) {
        for (unsigned c = 0; c < channels; ++c) {
            const unsigned v = drv->read_C331(c331_fd, id, c331::kChannelStride * c);
            std::printf("\t\t read CH%d: reg:%06X, data:%08X\n", c + 1, id + c * 0x100000, v);
        }
    } else {
        for (unsigned k = 1; k <= n; ++k) {
            const uint32_t rid = id + (k - 1) * stride;
            std::printf("\t\t read CH%d: reg:%06X, data:%08X\n", k, rid, drv->read_C331(c331_fd, rid, 0));
        }
    }
}

void c331_manage::run_debug_command(uint8_t cmd, uint8_t p2, uint8_t p3)
{
    TlxRamPara* store = TlxRamPara::p_tlxrampara_config;
    switch (cmd) {
    case 0: case 1: case 2: case 3: case 4: case 5:
        c331_SetInputsource(cmd, p2);
        std::memcpy(store->ram_applied + kDebugFirst, store->ram_image + kDebugFirst, kDebugLen);
        break;
    case 10: dbg_set_dbd(p2, p3); break;
    case 11: tlxApi_debug_printf_unicode(p2 << 8 | p3, c331_fd); break;
    case 12: dbg_fade_flip(p2, p3); break;
    case 13: dbg_osd_settings(p2, p3); break;
    case 14: dbg_read_app_file(); break;
    case 15: dbg_port_status(p2, p3); break;
    case 16: dbg_set_layer(p2, p3); break;
    case 27:
        print_test_bitmap();
        dbg_fade_flip(p2, p3);
        break;
    case 222: dbg_print_enables(p2, p3); break;
    case 253: c331_outputTimmingCtrlReg(static_cast<char>(p2), static_cast<char>(p3)); break;
    case 254: dbg_run_control(p2); break;
    case 255:
        if (p2 < 10)
            tlxDbg_c331_param(p2);
        else if (p2 == 10)
            tlxDbg_c331_print_regGrp(p3);
        else if (p2 == 254)
            c331_calc_PixelCLK();
        else if (p2 == 255)
            c331_print();
        else
            SCALER_DBG("print none!");
        break;
    default:
        std::printf("C331_DEBUG not found cmd,exit\n");
        break;
    }
}

void c331_manage::dbg_set_dbd(uint8_t p2, uint8_t p3)
{
    const int w = p2 % 6;
    const int e = p3 % 51;
    if (e >= 11) {
        SCALER_DBG("\t dbd entry %d out of table, no exec\n", e);
        return;
    }
    if (PM_WIN_DBD_MODE[w] == static_cast<uint32_t>(kDbdModes[e].code)) {
        SCALER_DBG("\t win:%d, dbdMode:%s not changed, no exec\n", w, kDbdModes[e].name);
        return;
    }
    SCALER_DBG("\t set win:%d, dbd_mode:%s\n", w, kDbdModes[e].name);
    PM_WIN_DBD_MODE[w] = static_cast<uint32_t>(kDbdModes[e].code);
    g_chg_dbd[w] = 1;
    set_output(c331_fd);
}

void c331_manage::dbg_fade_flip(uint8_t p2, uint8_t p3)
{
    const int w = (p2 >> 4) % 6;
    const int port = (p2 & 0x0F) % 6;
    const uint32_t fade = (p3 >> 7) & 1, flip_h = (p3 >> 6) & 1, flip_v = (p3 >> 5) & 1;
    SCALER_DBG("\t win_%d, port_%d, fadeEn:%d, flip_h:%d, flip_v:%d\n", w, port, fade, flip_h, flip_v);
    if (win_switch_effect[w] != fade) {
        win_switch_effect[w] = fade;
        win_fade_in_frames[w] = 60;
        win_fade_out_frames[w] = 60;
    }
    const uint32_t flips[2] = {flip_h, flip_v};
    for (int k = 0; k < 2; ++k) {
        if (win_mirror[w][k] == flips[k])
            continue;
        win_mirror[w][k] = flips[k];
        g_chg_attr[w] = 1;
        set_output(c331_fd);
    }
}

void c331_manage::dbg_osd_settings(uint8_t p2, uint8_t p3)
{
    struct Item {
        int item;
        uint32_t* current;
        uint32_t value;
    };
    const Item items[] = {
        {0, &PM_OSD_EN, (p2 >> 7) & 1u},          {1, &PM_OSD_HZOOM_EN, (p2 >> 6) & 1u},
        {2, &PM_OSD_VZOOM_EN, (p2 >> 5) & 1u},    {3, &PM_OSD_DATA_MODE, (p2 >> 4) & 1u},
        {15, &PM_OSD_UPDATE_BUTTON, (p2 >> 3) & 1u}, {14, &PM_OSD_CHAR_64DOT, (p2 >> 2) & 1u},
        {18, &PS_BG_TRANS, (p2 >> 1) & 1u},        {13, &PM_OSD_SCROLL_SPEED, p3 & 0xF0u},
        {4, &PM_OSD_SCROLL_MODE, p3 & 0x07u},
    };
    for (const Item& it : items)
        if (*it.current != it.value)
            tlxApi_OsdSet(it.item, static_cast<int>(it.value));
    SCALER_DBG("para2:%02x, para3:%02x\n", p2, p3);
}

void c331_manage::dbg_read_app_file()
{
    FILE* f = std::fopen(platform::rooted("/data/app/tlxK57N").c_str(), "rb");
    if (!f) {
        SCALER_DBG("\n\n  error!!!! file_zelta N= NULL \n ");
        return;
    }
    unsigned char buf[1024];
    const size_t got = std::fread(buf, 1, sizeof buf, f);
    std::fclose(f);
    for (size_t i = 0; i < got && i < 16; ++i)
        SCALER_DBG("%02x ", buf[i]);
    SCALER_DBG("\n");
}

void c331_manage::dbg_port_status(uint8_t p2, uint8_t p3)
{
    const int p = p2 % 6;
    SCALER_DBG("$./test0f_port %02x %s\n", p2, p3 == 0 ? "Disable" : "Enable");
    QMutexLocker lk(&Utils::_check_nosig_mutex);
    if (p3 == 0) {
        port_status[p] &= 0x7F;
    } else {
        port_status[p] |= 0x80;
        SCALER_DBG("\t nosig[%d]:%d\n", p, port_status[p] & 1);
    }
}

void c331_manage::dbg_set_layer(uint8_t p2, uint8_t p3)
{
    const int w = p2 % 6;
    const uint32_t layer = p3 % 6;
    SCALER_DBG("$./setLayer_win win%d Layer%d\n", w, layer);
    const uint32_t old = PM_OVERLAY_PRI[w];
    SCALER_DBG("\t win%d layer: %d ==> %d\n", w, old, layer);
    PM_OVERLAY_PRI[w] = layer;
    for (int o = 0; o < kWindows; ++o) {
        if (o != w && PM_OVERLAY_PRI[o] == layer) {
            SCALER_DBG("\t win%d layer: %d ==> %d\n", o, layer, old);
            PM_OVERLAY_PRI[o] = old;
            break;
        }
    }
    update_overlay_info();
    set_overlay(c331_fd);
    reset_layer_coef(c331_fd);
}

void c331_manage::dbg_print_enables(uint8_t p2, uint8_t p3)
{
    std::printf("para2:%X, para3:%x\n", p2, p3);
    if (p2 < 1 || p2 > 20) {
        SCALER_DBG("\t print group %d out of table\n", p2);
        return;
    }
    uint8_t* group = prnEn[p2 - 1];
    const char* name = p2 <= 2 ? kPrnGroup[p2] : "";
    const int i = (p3 & 0x7F) - 1;
    if (i >= 0 && i < 20) {
        if (p3 & 0x80) {
            group[i] |= 0x80;
            std::printf("\t Enable printf: %s:%d\n", name, i + 1);
        } else {
            group[i] &= 0x7F;
            std::printf("\t Disable printf: %s:%d\n", name, i + 1);
        }
        return;
    }
    for (int k = 0; k < 20; ++k)
        std::printf("\t %s:%d - %X\n", name, k + 1, group[k]);
}

void c331_manage::dbg_run_control(uint8_t p2)
{
    if (p2 == 1) {
        const uint32_t bits = debug_run_bits ^= 0x80000000u;
        std::printf("%s\n", bits & 0x80000000u ? "C331_DEBUG c331 run: pause" : "C331_DEBUG c331 run: resume");
    } else if (p2 == 2) {
        const uint32_t bits = debug_run_bits ^= 0x40000000u;
        std::printf("%s\n", bits & 0x40000000u ? "B0_MCT1~8 run: pause" : "B0_MCT1~8 run: resume");
    } else if (p2 == 3) {
        std::printf("G_timeTicks:%d\n", static_cast<int>(G_timeTicks.load()));
    }
}
