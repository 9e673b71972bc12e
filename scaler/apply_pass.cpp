// The apply pass: on each running pass of the scaler thread, find what changed in the
// parameter image since the pass last applied it (the store's applied copy, not the shadow:
// the shadow waits for the file write) and apply it to the chip.
#include <QMutexLocker>
#include <cstring>

#include "core/TlxRamPara.h"
#include "core/fpga_wake.h"
#include "core/log.h"
#include "core/ram_map.h"
#include "core/requests.h"
#include "core/utils.h"
#include "platform/clock.h"
#include "scaler/c331_drv.h"
#include "scaler/c331_manage.h"
#include "scaler/dbg_print.h"

namespace {

// How long a pass waits for the FPGA thread to finish blanking before it applies a new LED
// size; bounded, so a hand-over the FPGA never completes still lets the panel be applied.
constexpr uint64_t kLedHandoverWaitUs = 3000000;
constexpr uint64_t kLedHandoverPollUs = 10;

bool word_differs(const uint8_t* img, const uint8_t* shd, uint32_t addr)
{
    return ram_rd16(img, addr) != ram_rd16(shd, addr);
}

// A window source word naming a crop row beyond the crop table is refused.
bool source_word_valid(uint16_t v)
{
    return !(v & WIN_SOURCE_CROP) || (v & 0xFF) < RAM_CROP_ROWS;
}

// Any word of crop row `row` (key, x, y, width, height).
bool crop_row_differs(const uint8_t* img, const uint8_t* shd, int row)
{
    for (uint32_t f = CROP_KEY; f <= CROP_HEIGHT; f += 2)
        if (word_differs(img, shd, ram_crop_addr(row, f)))
            return true;
    return false;
}

// Hands the LED output back to the FPGA thread when the pass asks to or a blank is owed one.
bool hand_back_led_output(bool asked)
{
    QMutexLocker lk(&Utils::_led_para_init_mutex);
    if (!asked && !g_led_handback_owed)
        return false;
    g_set_led_para = 2;
    return true;
}

}  // namespace

void c331_manage::c331managerdeal(void* /*arg*/)
{
    if (param_changed != 0) {
        {
            QMutexLocker lk(&c331_lock);
            const bool blanked = wait_led_handover(lk);
            apply_changes(blanked);
            follow_sharpness();   // a re-layout or a source change moves the windows' ratios
            follow_pattern();     // and window 0's channels
        }
    }
    // After the changes it may follow; the start asks for it too (an OSD stored as on), with
    // no change to apply.
    if (g_osd_update.exchange(0) != 0)
        reload_osd_menus();
    per_pass_work();
}

// Steps 1 to 17, under c331_lock; the OSD menu reload that may follow runs after it.
// `blanked`: the FPGA blanked the LED output for this pass, which hands it back.
void c331_manage::apply_changes(bool blanked)
{
    TlxRamPara* store = TlxRamPara::p_tlxrampara_config;
    uint8_t* img = store->ram_image;
    const uint8_t* shd = store->ram_applied;   // every step compares with what it applied last
    const int flag = param_changed;
    store->note_change_flag_seen();

    if (g_force_bkcolor == 0)
        tlxApi_forceColorDisable(c331_fd);
    scan_requests(img, shd);
    dropped_note_held = true;
    dropped_note.clear();
    apply_panel(img, shd, blanked);
    apply_picture(img, shd);
    apply_priority(img, shd);
    apply_crop_rows(img, shd);
    apply_windows(img, shd);
    dropped_note_held = false;
    if (!dropped_note.empty())
        writeLogMsg(LOG_WARNING, dropped_note);
    apply_fade(img, shd);
    if (img[ram_test_pattern] != shd[ram_test_pattern])
        c331_SetPattern(img[ram_test_pattern]);
    raise_requests(img, shd);
    if (word_differs(img, shd, ram_osd_enable)) {
        const uint16_t on = ram_rd16(img, ram_osd_enable);
        tlxApi_OsdSet(0, on);
        if (on != 0)
            g_osd_update = 1;
    }
    std::memcpy(store->ram_applied, img, RAM_IMAGE_SIZE);
    store->test_signal(flag);
    param_changed = 0;
    serve_debug_registers(store);
}

void c331_manage::apply_panel(const uint8_t* img, const uint8_t* shd, bool blanked)
{
    static constexpr uint32_t kPanelWords[] = {ram_splice_mode, ram_led_width, ram_led_height,
                                               ram_output_rect + 4, ram_output_rect + 6};
    bool changed = false;
    for (uint32_t a : kPanelWords)
        changed = changed || word_differs(img, shd, a);
    if (changed) {
        tlxApi_PnlInit2(ram_rd16(img, ram_led_width), ram_rd16(img, ram_led_height), ram_rd16(img, ram_output_rect + 4),
                        ram_rd16(img, ram_output_rect + 6), ram_rd16(img, ram_splice_mode));
        // A shown OSD entry was placed on the layout before: the OSD is off, its window
        // empty, until the menu's reload places the entry on this one (a menu that applies
        // nothing then shows nothing, as at a start). An OSD not shown is left untouched, as
        // a start leaves it.
        if (PM_OSD_EN) {
            tlxApi_OsdSet(6, 0);
            tlxApi_OsdSet(8, 0);
            tlxApi_OsdSet(0, 0);
        }
    }
    // Handed back also when the size went back to the one applied before this pass: the FPGA
    // blanked for it and restarts the output only on the hand-back. So is a blank that ended
    // before this pass started (it saw no hand-over under way, and maybe no change).
    if (hand_back_led_output(changed || blanked))
        fpga_wake();
    if (changed && ram_rd16(img, ram_osd_enable) != 0)
        g_osd_update = 1;
}

// A new LED size was asked for: the FPGA thread blanks the output while g_set_led_para is 1
// and clears it when done. The wait lets go of c331_lock: the panel (whose tick paces the
// FPGA's steps), the tools and the input side take it meanwhile. It is taken back before
// the flag is read for the last time, so no request comes in between that and the pass.
// Bounded: a hand-over the FPGA never completes delays this pass only. Returns whether a
// hand-over was under way.
bool c331_manage::wait_led_handover(QMutexLocker& lk)
{
    if (g_set_led_para != 1)
        return false;
    const uint64_t start = platform::clock().now_us();
    const auto waited = [start] { return platform::clock().now_us() - start; };
    while (g_set_led_para == 1) {
        if (waited() >= kLedHandoverWaitUs) {
            writeLogMsg(LOG_WARNING, "c331: LED-size hand-over not released by the FPGA thread, panel applied anyway");
            break;
        }
        lk.unlock();
        while (g_set_led_para == 1 && waited() < kLedHandoverWaitUs)
            platform::sleep_us(kLedHandoverPollUs);
        lk.relock();
    }
    return true;
}

void c331_manage::apply_picture(const uint8_t* img, const uint8_t* shd)
{
    if (word_differs(img, shd, ram_brightness))
        c331_SetBrightness(ram_rd16(img, ram_brightness));
    if (word_differs(img, shd, ram_contrast))
        c331_SetContrast(ram_rd16(img, ram_contrast));
    if (word_differs(img, shd, ram_sharpness))
        c331_SetSharpness(ram_rd16(img, ram_sharpness));
    if (word_differs(img, shd, ram_saturation))
        c331_SetSaturation(ram_rd16(img, ram_saturation));
    bool temp = false;
    for (uint32_t a = ram_colour_temp_type; a <= ram_colour_temp_rgb + 4; a += 2)
        temp = temp || word_differs(img, shd, a);
    if (temp)
        c331_SetColorTemp(colour_temp_word(img));
}

// Layers are taken for every listed window at once, as a re-layout takes them: of two windows
// on one layer the later in the list moves to the first free layer, so a change of one word can
// move another window. Where windows went dark for want of output or input channels, the
// layers decide which ones: a re-layout.
void c331_manage::apply_priority(const uint8_t* img, const uint8_t* shd)
{
    bool changed = false;
    for (int w = 0; w < kWindows; ++w) {
        const uint32_t a = ram_win_priority + 2 * w;
        if (!word_differs(img, shd, a))
            continue;
        SCALER_DBG("DIFF REG CUSTOM_INFO_IMAGE%d_PRIORITY %04x==>%04x\r\n", w + 1, ram_rd16(shd, a), ram_rd16(img, a));
        changed = true;
    }
    if (!changed)
        return;
    if (windows_dropped || ichs_left_out) {
        full_relayout();
        return;
    }
    for (int w = 0; w < kWindows; ++w)
        if (slot_pos[w] >= 0)   // an unlisted slot is read at the next re-layout
            c331_SetWinPriority(slot_pos[w], ram_rd16(img, ram_win_priority + 2 * w));
    challoc::dedupe_layers(pwinfo, gMwin.wincnt < kWindows ? gMwin.wincnt : kWindows);
    c331_SetWinPriority1(c331_fd);
}

void c331_manage::full_relayout()
{
    tlxApi_initEnvC331();
    tlxApi_MultiWinChAlloc(1);
    tlxApi_MultiWinChInit();
    set_output(c331_fd);
}

// Walks the six window records word by word; a change of enable, position or size re-lays
// out every window and ends the walk for this pass.
void c331_manage::apply_windows(const uint8_t* img, const uint8_t* shd)
{
    for (int w = 0; w < kWindows; ++w) {
        for (uint32_t r = 0; r < RAM_WINDOW_STRIDE; r += 2) {
            const uint32_t a = ram_window_addr(w, r);
            if (!word_differs(img, shd, a))
                continue;
            const uint16_t v = ram_rd16(img, a);
            SCALER_DBG("DIFF REG win[%#x] reg:%x %04x==>%04x\r\n", w, a - 0x880, ram_rd16(shd, a), v);
            // Setters work on list positions; an unlisted slot is read at the next re-layout.
            const int n = slot_pos[w];
            switch (r) {
            case WIN_ENABLE:
            case WIN_X:
            case WIN_Y:
            case WIN_WIDTH:
            case WIN_HEIGHT:
                full_relayout();
                return;
            case WIN_ROTATE:
                if (n >= 0 && !list_fallback)   // the fallback window is shown unrotated
                    c331_SetWinAttr(n, v);
                break;
            case WIN_SOURCE:
                if (apply_source(img, shd, w, v))
                    return;
                break;
            case WIN_OUTPUT:
                if (n >= 0)
                    c331_SetWinOutput(c331_fd, n, v);
                break;
            case WIN_P2P_MODE:
                if (n >= 0)
                    c331_SetWinDbdMode(c331_fd, n, v);
                break;
            default:
                break;
            }
        }
    }
}

// A window showing a crop row names it by row number: an edit of the row (its source in the
// key, its rectangle) leaves the window record as it was, so the windows that show the row
// are reprogrammed here. Runs before the window records, whose source changes and re-layouts
// read the rows as they are now.
void c331_manage::apply_crop_rows(const uint8_t* img, const uint8_t* shd)
{
    for (int slot = 0; slot < kWindows; ++slot) {
        const int n = slot_pos[slot];
        int row = n >= 0 ? window_crop_row(n) : -1;
        if (list_fallback) {
            // Every listed window's row counts: one of them may be what made the list fall back.
            const uint16_t src = ram_rd16(img, ram_window_addr(slot, WIN_SOURCE));
            const bool listed = ram_rd16(img, ram_window_addr(slot, WIN_ENABLE)) != 0;
            row = listed && (src & WIN_SOURCE_CROP) && (src & 0xFF) < RAM_CROP_ROWS ? (src & 0xFF) : -1;
        }
        if (row < 0 || !crop_row_differs(img, shd, row))
            continue;
        if (list_fallback || challoc::named_source(img, WIN_SOURCE_CROP | row) > 5) {
            // The list is read anew, as a start on this image reads it.
            full_relayout();
            scaler_req::audio_select_request = 1;
            return;
        }
        show_crop(img, n, row);
        if (slot == selected_window(img) && word_differs(img, shd, ram_crop_addr(row, CROP_KEY)))
            scaler_req::audio_select_request = 1;   // the row may name another source
    }
}

// The source, capture area and input port of a crop row, for list position n.
void c331_manage::show_crop(const uint8_t* img, int n, int row)
{
    c331_SetInputsourceCrop(n, WIN_SOURCE_CROP | row);
    c331_SetCrop(n, 1, crop_rect(img, row));
    c331_SetInputsource(n, challoc::named_source(img, WIN_SOURCE_CROP | row));
}

ST_RECT c331_manage::crop_rect(const uint8_t* img, int row)
{
    return ST_RECT{ram_rd16(img, ram_crop_addr(row, CROP_X)), ram_rd16(img, ram_crop_addr(row, CROP_Y)),
                   ram_rd16(img, ram_crop_addr(row, CROP_WIDTH)), ram_rd16(img, ram_crop_addr(row, CROP_HEIGHT))};
}

bool c331_manage::apply_source(const uint8_t* img, const uint8_t* shd, int slot, uint16_t v)
{
    const int row = v & 0xFF;
    if (!source_word_valid(v)) {
        writeLogMsg(LOG_WARNING, "c331: window " + std::to_string(slot) + " names crop row " + std::to_string(row) +
                                     " beyond the crop table, source not changed");
        return false;
    }
    const uint8_t source = challoc::named_source(img, v);
    // A listed window naming no input, or a list that fell back to one window, is read anew
    // with every window, as a start on this image reads it.
    const bool listed = ram_rd16(img, ram_window_addr(slot, WIN_ENABLE)) != 0;
    if (listed && (source > 5 || list_fallback)) {
        full_relayout();
        scaler_req::audio_select_request = 1;
        return true;
    }
    // The setters work on list positions; an unlisted slot is read at the next re-layout.
    const int w = slot_pos[slot];
    if (w >= 0 && (v & WIN_SOURCE_CROP)) {
        show_crop(img, w, row);
    } else if (w >= 0) {
        if (ram_rd16(shd, ram_window_addr(slot, WIN_SOURCE)) & WIN_SOURCE_CROP) {
            const ST_RECT r{ram_rd16(img, ram_window_addr(slot, WIN_X)), ram_rd16(img, ram_window_addr(slot, WIN_Y)),
                            ram_rd16(img, ram_window_addr(slot, WIN_WIDTH)),
                            ram_rd16(img, ram_window_addr(slot, WIN_HEIGHT))};
            c331_SetCrop(w, 0, r);
        }
        c331_SetInputsource(w, source);
    }
    if (slot == selected_window(img))
        scaler_req::audio_select_request = 1;
    return false;
}

// The window whose audio is played; a value past the six windows reads as window 0.
int c331_manage::selected_window(const uint8_t* img)
{
    const int w = img[ram_selected_window];
    return w < kWindows ? w : 0;
}

void c331_manage::apply_fade(const uint8_t* img, const uint8_t* shd)
{
    for (uint32_t off = 0; off < RAM_FADE_STRIDE * kWindows; off += 2) {
        const uint32_t a = ram_fade_frames + off;
        if (!word_differs(img, shd, a))
            continue;
        const int w = static_cast<int>(off / RAM_FADE_STRIDE);
        SCALER_DBG("DIFF REG win[%#x] reg:%x(%04x) %04x==>%04x\r\n", w, off, ram_fade_frames, ram_rd16(shd, a),
                   ram_rd16(img, a));
        const int n = slot_pos[w];
        if (n < 0)
            continue;   // not listed: read at the next re-layout
        win_fade_in_frames[n] = ram_rd16(img, ram_fade_frames + RAM_FADE_STRIDE * w);
        win_fade_out_frames[n] = ram_rd16(img, ram_fade_frames + RAM_FADE_STRIDE * w + 2);
    }
}

// Steps 9 to 12: requests for the source supervision and the FPGA thread.
void c331_manage::raise_requests(const uint8_t* img, const uint8_t* shd)
{
    // Every changed EDID record is flagged: the applied copy takes the image after this pass,
    // so a record left for a later pass would never be seen again.
    for (int p = 0; p < kPorts; ++p) {
        const uint32_t a = ram_edid_addr(p);
        if (word_differs(img, shd, a) || word_differs(img, shd, a + 2) || word_differs(img, shd, a + 4))
            scaler_req::raise_edid(p);
    }
    // The played window's source is checked here too: a re-layout ends the record walk
    // before its source word is reached.
    const int played = selected_window(img);
    const uint32_t source = ram_window_addr(played, WIN_SOURCE);
    if (word_differs(img, shd, ram_selected_window) || word_differs(img, shd, ram_window_addr(played, WIN_AUDIO)) ||
        (word_differs(img, shd, source) && source_word_valid(ram_rd16(img, source))))
        scaler_req::audio_select_request = 1;
    // Compared with what the FPGA thread was last given, so every applied change reaches it.
    const uint16_t black = ram_rd16(img, ram_black_screen);
    if (scaler_req::applied_black_screen.exchange(black) != black)
        scaler_req::output_status_dirty = 1;
    const uint32_t offsets = ram_rd32(img, ram_och_layout);
    if (scaler_req::applied_och_offsets.exchange(offsets) != offsets)
        scaler_req::net_para_dirty = 1;
    if (scaler_req::output_status_dirty || scaler_req::net_para_dirty)
        fpga_wake();
}

// Step 17: the debug registers of the remote register block.
void c331_manage::serve_debug_registers(TlxRamPara* store)
{
    // Register 162: the lowest set bit picks one bench action; bit 6 re-probes the chip.
    using Action = void (c331_manage::*)(int);
    static constexpr Action kActions[6] = {&c331_manage::input_slidebar,    &c331_manage::output_slidebar,
                                           &c331_manage::disable_slidebar,  &c331_manage::vbyone_rx_ch1_seq,
                                           &c331_manage::vbyone_rx_ch2_seq, &c331_manage::read_c331_b174bug};
    if (uint8_t* r162 = store->reg_byte(162)) {
        const uint8_t bits = *r162;
        if (bits) {
            const int bit = __builtin_ctz(bits);
            if (bit < 6)
                (this->*kActions[bit])(c331_fd);
            else if (bit == 6)
                thread_state = 0;
            *r162 = 0;
        }
    }
    if (uint8_t* r163 = store->reg_byte(163)) {
        if (*r163) {
            tlxDbg_c331_param(*r163 - 1);
            *r163 = 0;
        }
    }
    if (uint8_t* r164 = store->reg_byte(164)) {
        if (*r164) {
            if (*r164 & 1)
                tlxDbg_c331_print_regGrp(0);
            *r164 = 0;
        }
    }
}

// Step 18: input following and OSD requests, outside c331_lock.
void c331_manage::per_pass_work()
{
    if ((debug_run_bits & 0x80000000u) || tlxApi_IsPatternGen())
        return;
    load_hdmi();
    check_port_valid(c331_fd);
    serve_osd_requests(c331_fd);
    check_input_port(c331_fd);
    // A window is reprogrammed once when any port it shows (every port of a joined
    // dot-by-dot window) was classified anew.
    bool done[kWindows] = {};
    bool reprogrammed = false;
    for (int p = 0; p < kPorts; ++p) {
        if (!PI_UPDATE[p] && !PI_UPDATE2[p])
            continue;
        for (int w = 0; w < kWindows; ++w) {
            if (done[w] || !window_shows_port(w, p))
                continue;
            std::printf("\n [c331_main]PI_UPDATE[%d]=%d   PI_ACT  HST=%4d  HW=%4d  VST=%4d  VW=%4d\n", p, PI_UPDATE[p],
                        PI_ACT[p][0], PI_ACT[p][1], PI_ACT[p][2], PI_ACT[p][3]);
            done[w] = true;
            g_chg_input[w] = 3;
            set_output(c331_fd);
            reprogrammed = true;
        }
        PI_UPDATE[p] = 0;
        PI_UPDATE2[p] = 0;
    }
    if (reprogrammed)
        follow_sharpness();   // a port classified anew gives its windows their ratios
}
