#pragma once
// The scaler manager: one object for the whole process. It owns the C331 transport, the
// scaler's working parameters (PS_ system, PM_ mode, PI_ input measurement), and the scaler
// manager thread: probe the chip, bring it up from the parameter image, open the FPGA start
// gate, then run the apply pass forever.
//
// The image lock c331_lock and the change flag param_changed come from c331_shared (they
// exist before any thread starts); every editor of the parameter image takes the lock,
// writes, sets the flag (1 parameters, 2 user modes) and releases it. The input ports' status
// words and measurements come from c331_ports, which the receivers reach too.
#include <QMutex>
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "core/c331_shared.h"
#include "core/globals.h"
#include "scaler/channel_alloc.h"
#include "scaler/panel_layout.h"
#include "scaler/window_geometry.h"

class c331_drv;
struct OMENU_PARA;


// One input port's detailed timing as the receivers report it.
struct ST_HDMI_INFO {
    int32_t hact, hsync, hback, hpol, htotal;
    int32_t vact, vsync, vback, vpol, vtotal;
    float pclk_mhz;
    int32_t type;       // 0 IT6602, 1 IT6807
    int32_t data_mode, lanes, interlaced, no_signal;
};

struct ST_MWIN_PRESET {
    int32_t count;
    ST_RECT* win;
};

class c331_manage : public c331_shared, public c331_ports {
public:
    static constexpr int kWindows = 6;
    static constexpr int kOch = 8;
    static constexpr int kIpCh = 4;
    static constexpr int kParamTableSize = 160;

    // Thread states: 0..4 probing (good identifier reads so far), 5 bring-up, 6 running.
    enum { kStateBringUp = 5, kStateRunning = 6 };

    static c331_manage* pInstance();
    static c331_manage* p_c331_manage;

    c331_manage();
    ~c331_manage();   // the device never deletes it; tests do
    c331_manage(const c331_manage&) = delete;
    c331_manage& operator=(const c331_manage&) = delete;

    int initialize();            // opens the transport and starts the thread; 255 on failure
    int open_transport();        // the transport part of initialize(), without the thread
    void Sleep(int ms);

    // ---- thread (c331_manage.cpp) --------------------------------------------------------
    static void* c331manageThread(void* arg);
    // One pass of the thread body: probe, bring-up or apply. Tests drive it directly.
    void thread_pass();
    void bring_up();
    void load_system_param();
    void define_param();
    void fill_mwin_preset();
    // Colour temperature argument from the image: type | blue << 8 | green << 16 | red << 24.
    static uint32_t colour_temp_word(const uint8_t* img);

    // ---- initial settings and update timing (init_setting.cpp) ---------------------------
    void write_initial_setting(int fd, int pll_init);
    void set_rtct(int fd, int mode);
    int load_param();
    int vbo_band_value(int pll_init) const;
    // Restarts V-by-One receiver rx (0 or 1): reset pulse, mode 5, lane width, control.
    void vbo_rx_start(int fd, int rx, uint32_t width, uint32_t ctrl);

    // ---- apply pass (apply_pass.cpp, apply_requests.cpp) -----------------------------------
    void c331managerdeal(void* arg);
    // Its steps, in pass order (the caller of apply_changes holds c331_lock).
    void apply_changes(bool blanked);
    void scan_requests(uint8_t* img, const uint8_t* shd);
    void apply_panel(const uint8_t* img, const uint8_t* shd, bool blanked);
    bool wait_led_handover(QMutexLocker& lk);   // lk holds c331_lock; true: a hand-over was under way
    void apply_picture(const uint8_t* img, const uint8_t* shd);
    void apply_priority(const uint8_t* img, const uint8_t* shd);
    void apply_windows(const uint8_t* img, const uint8_t* shd);
    bool apply_source(const uint8_t* img, const uint8_t* shd, int w, uint16_t v);   // true: re-laid out
    void apply_crop_rows(const uint8_t* img, const uint8_t* shd);
    void show_crop(const uint8_t* img, int n, int row);   // list position n shows crop row `row`
    void apply_fade(const uint8_t* img, const uint8_t* shd);
    void raise_requests(const uint8_t* img, const uint8_t* shd);
    void serve_debug_registers(class TlxRamPara* store);
    void per_pass_work();
    void full_relayout();
    static ST_RECT crop_rect(const uint8_t* img, int row);
    static int selected_window(const uint8_t* img);
    // Raw register and debug requests of the image.
    static bool reg_request_valid(uint32_t id, unsigned n, uint32_t stride);
    void run_reg_request(const uint8_t* img);
    void run_debug_command(uint8_t cmd, uint8_t p2, uint8_t p3);
    void dbg_set_dbd(uint8_t p2, uint8_t p3);
    void dbg_fade_flip(uint8_t p2, uint8_t p3);
    void dbg_osd_settings(uint8_t p2, uint8_t p3);
    void dbg_read_app_file();
    void dbg_port_status(uint8_t p2, uint8_t p3);
    void dbg_set_layer(uint8_t p2, uint8_t p3);
    void dbg_print_enables(uint8_t p2, uint8_t p3);
    void dbg_run_control(uint8_t p2);

    // ---- debug facilities (debug.cpp) -----------------------------------------------------
    void tlxDbg_c331_print_regGrp(int grp);
    void tlxDbg_c331_param();
    void tlxDbg_c331_param(int n);
    void c331_print();
    void c331_outputTimmingCtrlReg(char p1, char p2);
    void c331_calc_PixelCLK();
    void c331_debugEnv();
    void input_slidebar(int fd);
    void output_slidebar(int fd);
    void disable_slidebar(int fd);
    void vbyone_rx_ch1_seq(int fd);
    void vbyone_rx_ch2_seq(int fd);
    void read_c331_b174bug(int fd);


    // ---- panel layout, channel allocation, picture, test patterns ------------------------------
    // panel_layout.cpp
    void tlxApi_PnlInit2(int ledW, int ledH, int out1w, int out1h, int splice);
    void tlxApi_PnlInitOch3();
    void keep_shown_panel(const ST_PANEL& shown, int ledW, int ledH, int splice);
    int tlxApi_PnlInitOch_diff(int* htt, int* vtt, int hblank, int vblank);
    void tlxApi_c331InitRegPanel();
    void tlxApi_WriteRam(int addr);
    // channel_alloc.cpp
    void tlxApi_initEnvC331();
    void tlxApi_initEnvC331Default();
    void set_unrotated(int n);
    void tlxApi_MultiWinGet(ST_MWIN* out);
    void tlxApi_MultiWinInit();
    void tlxApi_PreviewCh();
    void tlxApi_MultiWinChAlloc(int init);
    void tlxApi_MultiWinChOverlay();
    void drop_windows_beyond_channels(int wincnt);
    void tlxApi_MultiWinChInit();
    uint8_t tlxApi_inputCvtC331(int source);                       // 255 for a source above 5
    int32_t tlxApi_OchGetWinOffset1(ST_WIN_INFO* wi, int side);
    int32_t tlxApi_CropGetOffset(int port, ST_RECT* rect, int side);
    bool load_window(const uint8_t* img, int slot, int n);
    // picture.cpp
    void tlxApi_WriteSeq(const std::vector<RegWrite>& seq);          // plays a planned sequence
    void write_held(const std::vector<RegWrite>& seq);               // ... between set_rtct 2 and 1
    void tlxApi_forceColorDisable(int fd);
    void c331_SetBrightness(int value);
    void c331_SetContrast(int value);
    void c331_SetSharpness(int value);
    std::vector<RegWrite> sharpness_walk();
    void follow_sharpness();   // rewrites the walk when the windows' ratios or channels moved
    void c331_SetSaturation(int value);
    void c331_SetColorTemp(uint32_t value);
    // test_pattern.cpp
    int c331_SetPattern(int number);
    bool tlxApi_IsPatternGen() const;
    void follow_pattern();   // draws the pattern again where window 0 is after a re-layout

    ST_PANEL pnl{};
    ST_MWIN gMwin{};
    ST_RECT gMwin_rects[kWindows]{};
    ST_WIN_INFO pwinfo[kWindows]{};
    uint32_t pattern_active = 0;
    // What the generators were last drawn for: the pattern number, window 0's channels and
    // whether it was wide.
    struct PatternDrawn {
        int number = 0;
        bool wide = false;
        std::vector<uint8_t> channels;
    };
    PatternDrawn pattern_drawn;
    PatternDrawn pattern_for_window0(int number) const;
    int sharp_value = 0;                       // sharpness last applied
    std::vector<RegWrite> sharp_written;       // the sharpness walk as last written to the chip
    uint32_t g_win_pending = 0;                // pending-window status, cleared by each list rebuild
    _ImageWindowDef_st IWIN[kWindows]{};       // input and output windows of the window geometry
    _ImageWindowDef_st OWIN[kWindows]{};
    // ---- end of panel layout, channel allocation, picture, test patterns -----------------------

    // ==== window pipeline, input following, input processing ==================================
    // window_geometry.cpp (members), window_output.cpp: display window programming
    void calc_iwin2(int win);
    void calc_owin2(int win);
    void calc_oact(_ImageWindowDef_st owin, _ImageWindowDef2_St* oact, int win);
    void get_och(int win, int* och);
    int first_ich(int win) const;   // the window's first input channel, -1 none
    void set_output(int fd);
    void set_display_window_ich(int fd, _ImageWindowDef_st iwin, _ImageWindowDef_st owin, int win);
    void set_display_window_ich_dbd(int fd, int win, int code);
    void set_display_window_och(int fd, _ImageWindowDef_st iwin, _ImageWindowDef_st owin, int win);
    void reset_act(int fd, int mode);
    void park_och(int fd, int k);   // a channel no window uses
    void park_ich(int fd, int c);   // an input channel no window uses
    void set_oscwct(int fd, int och);
    void check_stitching_chg();
    int check_stitching_win(int* win, int* partner);
    bool wait1_pivs(int fd, int ich);
    void wait1_pivs2(int fd);
    bool wait1_povs(int fd, int och);
    // ich_budget.cpp: input channels and dot-by-dot memory
    int check_ich_all(int win);
    int check_ich(int need_low, int dual);
    int adjust_ich(int need_low, int dual, int win);
    int set_input(int win, int port);
    int take_ichs(int win, int port);
    void assign_ichs();
    void reset_ich(int win);
    void rebuild_win_ich();
    bool port_needs_low(uint32_t port) const;
    void set_ichsel(int fd, int win);
    void set_idual(int fd, int ich, int on, int port);
    void park_idual(int fd, int ich);   // the pair's join as at bring-up
    int check_dbd_input(int fd, int port);
    void reset_dbd_mem(int win);
    int set_dbd_mem(int fd, int win);
    int tlxApi_GetWinDbdMultiPort(int win, int* ports);
    // layers.cpp: layers, overlay, fade and freeze
    void update_overlay_info();
    void set_overlay(int fd);
    void reset_layer_coef(int fd);
    void set_layer_coef(int fd, int win, int cnt, int dir);
    void set_freeze(int fd, int on);
    void win_freeze_sel(int fd, int win, int on);
    void c331_SetWinPriority(int w, int pri);
    void c331_SetWinPriority1(int fd);
    // window_setters.cpp: window, source and crop setters, port operations
    void c331_SetWinAttr(int w, int value);
    void c331_SetWinOutput(int fd, int w, int value);
    void c331_SetWinDbdMode(int fd, int w, int value);
    void apply_dbd(int w);   // classifies the window's ports, then applies its dot-by-dot change
    void c331_SetInputsourceCrop(int w, int v);
    void c331_SetCrop(int w, int enable, ST_RECT rect);
    void tlxApi_updateCrop(int port);
    int window_crop_row(int n) const;   // the crop row list position n shows, -1 none
    void set_input_bkg2(int fd, int win, int on);
    void set_input_bkg(int fd, int port, int on);
    void set_pict(int fd, int on, int i);
    void set_VBORXfrange(int fd, int r, int toggle, float pclk);
    void set_sypol(int fd, int vbo, int i);
    void set_VBOInput(int fd, int r);
    int tlxApi_GetPortDevId(int port) const;
    bool port_has_signal(uint32_t port) const;
    // A port has a signal while its last measurement found one, or, while a re-layout has
    // marked the measurement unknown (until the next input check), while it keeps its class.
    static bool signal_kept(const ST_PORT_INFO& measured, uint32_t state) { return measured.nosig == 0 || state != 0; }
    // input_follow.cpp: input port following
    void load_hdmi();
    void check_port_valid(int fd);
    void check_input_port(int fd);
    void c331_SetInputsource(int w, int s);
    bool port_used(int port) const;
    bool window_shows_port(int win, int port) const;   // its own port or one of its joined ports
    int window_ports(int win, int* ports) const;   // ports a window shows, ended by 6
    void vbo_rx_restart(int fd, int q, uint32_t lane_mask);
    void count_retry(int q);
    void port_lost(int fd, int p);
    void port_changed(int fd, int p);
    bool vbo_lanes_ok(int fd, int q, uint32_t lanes);
    // input_proc.cpp, filter_tables.cpp: input processing and scaler filters
    void set_ip(int fd, int ich);
    void set_nr(int fd, int ich, int port);
    void set_mct(int fd, int win, int refresh);
    uint32_t mct_port(int win) const;        // the port whose state set_mct follows, 6 none
    uint32_t ich_sync_mode(int win) const;   // what set_mct gives the first channel's sync control
    void set_iscwct(int fd, int win);
    void set_lut_hshrnk(int fd, int ratio, int ich, int pair);
    void set_lut_vshrnk_4sym(int fd, int ratio, int ich, int pair);
    void reset_shrink(int fd, int ich);   // a channel that does not shrink
    void reset_ip(int fd, int ich);       // a channel whose picture skips the input processing
    void reset_ich_stages(int fd, int ich);   // both: a channel without a scaled window
    void set_lut_vzoom_4sym(int fd, int ratio, int och);
    // debug.cpp: parts of the parameter listing
    void print_memory_view();
    void print_filter_settings();
    // Memory plan words of the input-processing channels (PS_MEM_IP).
    uint32_t PS_MEM_IP_I(int c, int k) const { return PS_MEM_IP[2 + 2 * c + k]; }
    uint32_t PS_MEM_IP_P(int c, int k) const { return PS_MEM_IP[10 + 2 * c + k]; }
    uint32_t PS_MEM_IPYOFF(int c) const { return PS_MEM_IP[18 + c]; }
    uint32_t PS_MEM_MV(int c) const { return PS_MEM_IP[22 + c]; }
    uint32_t PS_MWI_IP(int c) const { return PS_MEM_IP[26 + c]; }
    uint32_t PS_MEM_DBD_STRIDE() const { return PS_MEM_IP[0]; }

    int32_t slot_pos[kWindows]{0, -1, -1, -1, -1, -1};   // window slot -> list position, -1 unlisted
    bool list_fallback = false;   // the listed windows did not fit: one unrotated window over the LED
    // A window past the right or bottom edge of the channel canvas is cut there: by list
    // position, its width and height as recorded and the part cut off each side (left,
    // right, top, bottom, on the wall). Its picture keeps its scale (calc_iwin2).
    int32_t win_full[kWindows][2]{};
    int32_t win_cut[kWindows][4]{};
    bool windows_dropped = false;   // the last layout left windows dark for want of output channels
    uint32_t ichs_left_out = 0;     // bit n: listed window n is left without input channels (lowest layers)
    // An apply may lay the windows out more than once (panel, layers, window records): the
    // windows it leaves dark are logged once, for the layout it ends with.
    bool dropped_note_held = false;
    std::string dropped_note;
    uint32_t wincnt = kWindows;                         // windows the scaler serves
    uint32_t PM_MEM_WMODE[kWindows]{}, PS_MEM_WMODE[kWindows]{};
    uint32_t port_iact[kPorts][4]{};
    uint8_t win_vbo2_flag[kWindows]{};
    uint32_t nren_old[kPorts]{};
    uint32_t port_ip_meas[kPorts][2]{};                // A, B of the deinterlacer set-up
    int32_t ich_owner[8]{-1, -1, -1, -1, -1, -1, -1, -1};
    int32_t win_ich[kWindows][8]{};
    int32_t win_ich_prev[kWindows][8]{};
    int32_t dbd_mem_owner[6]{-1, -1, -1, -1, -1, -1};
    int32_t win_dbd_blk[kWindows][4]{};
    uint32_t win_fld_addr[kWindows][5]{};
    uint32_t win_dbd_mwi[kWindows]{};                  // dot-by-dot memory width
    uint32_t win_line_start[kWindows]{};               // byte where the first input channel's line begins
    uint32_t och_win_prev[kOch]{};
    int32_t win_och[kWindows][8]{};
    int32_t g_och_layer[kOch][8]{};
    int32_t g_och_layer_cnt[kOch]{};
    uint32_t win_fld_idx[kWindows][5]{};
    uint32_t win_frozen[kWindows]{};
    uint8_t win_capped[kWindows]{};
    bool fade_timeout_logged = false;
    // ==== end of window pipeline ===========================================================
    // ==== on-chip OSD, fonts and the chip's serial flash =======================================
    // osd.cpp (parameters, windows, redraw), osd_draw.cpp (drawing engine), osd_fonts.cpp,
    // c331_flash.cpp, omenu_file.cpp (the menu file).
    //
    // Lock order: c331_lock, then osd_flash_mutex, then Utils::_c331_bnk_mutex, then
    // Utils::_spi_mutex. osd_flash_mutex is held across every flash-controller and
    // drawing-engine sequence, so the scaler thread's redraw, the remote font reload and the
    // remote flash commands never mix their register writes. The public sequences take it
    // (update_osd, update_font, read/write/erase_flash, load_char); the drawing primitives run
    // inside one of them.
    QMutex osd_flash_mutex;

    struct OsdRect { int32_t HST, HW, VST, VW; };
    struct OsdSpan { int32_t start, size; };   // start in a channel's active area, and size
    // The part of the OSD window one output channel shows: where in its active area, and the
    // OSD pixel shown at its top left (relative to the window's first, in OSD memory pixels).
    struct OsdPiece { OsdSpan h, v; int32_t src_x, src_y; };
    static constexpr int kOsdLines = 64;       // text buffer: 64 lines ...
    static constexpr int kOsdLineUnits = 128;  // ... of 127 characters and an ending zero unit

    // osd.cpp
    int tlxApi_OsdSet(int type, int value);   // 1 known type, 0 unknown (nothing changes)
    // lines modulo 64 lines of text[i][0 .. counts[i]-1] (code points, low 16 bits kept).
    int tlxApi_OsdSetUnicode(int lines, const int* counts, const uint32_t (*text)[kOsdLineUnits]);
    bool update_osd(int fd);                   // false: a drawing step did not finish in time
    void serve_osd_requests(int fd);           // a pass's redraw or window request
    // which 0: drawing memory with the crop, 1: display memory; hidden: the windows are placed
    // with the OSD off whatever PM_OSD_EN says.
    void set_osd(int fd, int which, bool hidden = false);
    void set_scroll(int fd);
    void calc_osd();
    void osd_source_size(int32_t* w, int32_t* h) const;
    static void osd_pitch(uint32_t width, uint32_t* mwi, uint32_t* shift);
    uint32_t osd_pitch_units() const { return g_osd_mwi_shift ? 4 * g_osd_mwi : g_osd_mwi; }
    uint32_t osd_addr(uint32_t base, int32_t x, int32_t y) const;
    uint32_t osd_memory_lines(uint32_t width) const;   // canvas lines the drawing memory holds
    void load_char();
    void fit_osd_canvas();                     // the canvas of the entry set by types 5 to 8
    void load_bmp();
    // osd_draw.cpp: each returns false when the engine or the DMA did not finish in time.
    // The caller holds osd_flash_mutex.
    bool osd_paint(int fd, int x, int w, int y, int h, uint32_t colour, uint32_t base);
    bool osd_copy(int fd, uint32_t src, uint32_t dst, int w, int h, bool from_flash_stage);
    bool osd_write_dma_sfl(int fd, uint32_t flash_addr, uint32_t dst, int mode, uint32_t len);
    bool osd_put_unicode_string(int fd, const uint8_t* line, int x, int y, int fg, int bg, int w, int h,
                                uint32_t base, bool big);
    bool gen_char(int fd);
    void set_char_color(int fd);
    bool osd_engine_run(int fd, uint32_t cmd);
    bool osd_engine_free(int fd);              // a redraw can start now (engine, and flash DMA for a bitmap)
    // The glyph of one 16-bit code unit: ASCII 0x20..0x7F and CJK U+4E00..U+9FFF (after the
    // ascii_glyphs ASCII glyphs); anything else draws a space.
    static int osd_glyph(uint16_t unit, int ascii_glyphs = 96);
    // osd_fonts.cpp
    void read_c331_font(int fd);               // checks the fonts and stores the result
    uint32_t check_fonts(int fd);              // font_flags of the fonts found in flash
    void store_font_flags(uint32_t flags);     // font_flags and the status byte; holds c331_lock
    void update_font(int fd);
    void reload_fonts();                       // the remote font reload (register 14 bit 3)
    void tlxApi_debug_printf_unicode(int code, int fd);
    void install_osd_hooks();
    void remove_osd_hooks();
    // omenu_file.cpp
    void reload_osd_menus();                   // reads "/data/configs/omenu.json" (without c331_lock), applies it (with)
    void apply_osd_entry(const OMENU_PARA& e); // set_OSD_para on this manager
    // c331_flash.cpp: 0 done, -1 when the controller did not finish in time.
    int read_flash(int fd, uint32_t addr, uint32_t len, uint8_t* buf);
    int write_flash(int fd, uint32_t addr, uint32_t len, const uint8_t* buf);
    int erase_flash(int fd, uint32_t sector, uint32_t count, int kind);
    void flash_pin_setup(int fd);
    bool flash_page_end(int fd);
    bool flash_clear_wel(int fd);
    bool flash_erase_unit(int fd, uint32_t addr, uint32_t opcode);
    // Reads reg every 50 µs until (value & mask) == want; false (after the command register
    // end_reg := 0 and a warning) when limit_us passes first. *last gets the last value read.
    bool wait_reg(int fd, uint32_t reg, uint32_t mask, uint32_t want, uint64_t limit_us, uint32_t end_reg,
                  const char* what, uint32_t* last = nullptr);

    // Memory plan of the OSD (load_system_param).
    uint32_t PS_SFL_ADDR = 0, PS_MEM_OSD = 0, PS_MEM_OSD1 = 0, PS_FONT_ADDR = 0;
    // OSD source parameters (load_char, load_bmp; tlxApi_OsdSet overrides some).
    uint32_t PS_BG_HACT = 0, PS_BG_VACT = 0, PS_BG_COLOR = 0, PS_BG_TRANS = 0;
    uint32_t PS_CHAR_HST = 0, PS_CHAR_VST = 0, PS_CHAR_COLOR = 0;
    uint32_t PS_CHAR_ADDR_32ASCII = 0, PS_CHAR_SIZE_32ASCII = 0, PS_CHAR_ADDR_32CHN = 0, PS_CHAR_SIZE_32CHN = 0;
    uint32_t PS_CHAR_ADDR_64ASCII = 0, PS_CHAR_SIZE_64ASCII = 0, PS_CHAR_ADDR_64CHN = 0, PS_CHAR_SIZE_64CHN = 0;
    uint32_t PS_BMP_ADDR = 0, PS_BMP_HACT = 0, PS_BMP_VACT = 0, PS_BMPCP_ADDR = 0;
    uint32_t osd_layer_bottom = 0, char_space = 0, line_space = 0;
    // Derived state.
    OsdRect OSD_WIN{};
    OsdPiece osd_piece[kOch]{};               // per output channel (calc_osd)
    uint32_t g_osd_mwi = 0, g_osd_mwi_shift = 0;
    uint32_t g_font_addr_32ASCII = 0, g_font_addr_32CHN = 0, g_font_addr_64ASCII = 0, g_font_addr_64CHN = 0;
    uint8_t g_unicode_buf[kOsdLines][2 * kOsdLineUnits]{};   // big-endian 16-bit units per line
    int g_unicode_line = 0;
    // ==== end of on-chip OSD, fonts and the chip's serial flash =================================

    // ---- members (port_status and PI_PORT_INFO: c331_ports) --------------------------------

    // System parameters (load_system_param, define_param).
    uint32_t PS_CLK[5]{};              // 4 loaded clock values (Hz) + the derived quarter of [1]
    uint32_t PS_ACTHW = 0, PS_ACTVW = 0;
    uint32_t PS_HTOTAL = 0, PS_VTOTAL = 0;
    uint32_t PS_HSW = 0, PS_HBP = 0, PS_VSW = 0, PS_VBP = 0;
    uint32_t PS_VBOTX_MODE = 0, PS_VBOTX_LAYOUT = 0;
    uint32_t PS_OTIMING[9]{};          // bank-0 output timing words (0x47..0x4B, 0x51..0x54)
    uint32_t PS_MEM_SC[8][5]{};        // frame-store plan: five field addresses per group
    uint32_t PS_MEM_LINE = 0;          // shared memory width value
    uint32_t PS_MEM_DBD[5]{};          // dot-by-dot base addresses
    uint32_t PS_MEM_IP[36]{};          // input-processing memory plan
    uint32_t PS_MEM_IP_RSV[6]{};
    uint32_t PS_OAOIHST = 0, PS_OAOIHED = 0, PS_OAOIVST = 0, PS_OAOIVED = 0;
    uint32_t PS_ACTHST = 0, PS_ACTVST = 0;
    uint32_t PS_PANEL_HW = 0, PS_PANEL_VW = 0, PS_PANEL_HSHAPE = 0, PS_PANEL_VSHAPE = 0;

    // Mode parameters.
    uint32_t PM_INPUT[kWindows]{};
    uint32_t PM_WIN_SHAPE[kWindows][2]{};
    uint32_t PM_WIN_OFFSET[kWindows][4]{};
    uint32_t PM_INPUT_OFFSET[kWindows][4]{};
    uint32_t PM_INPUT_OFFSET_EN[kWindows]{};
    uint32_t PM_WIN_NUM[kOch]{};
    uint32_t PM_AREA_NUM[kOch]{};
    uint32_t PM_OVERLAY[kOch]{};
    uint32_t PM_OVERLAY_PRI[kWindows]{};
    uint32_t PM_WIN_STITCHING[kWindows]{};
    uint32_t PM_WIN_DBD_MODE[kWindows]{};
    uint32_t PM_OSD_EN = 0, PM_OSD_HZOOM_EN = 0, PM_OSD_VZOOM_EN = 0, PM_OSD_DATA_MODE = 0;
    uint32_t PM_OSD_UPDATE_BUTTON = 0, PM_OSD_SCROLL_MODE = 0;
    int32_t PM_OSD_OUTPUT_OFFSET[4]{}, PM_OSD_INPUT_OFFSET[4]{};   // signed: see calc_osd
    uint32_t PM_OSD_SCROLL_SPEED = 0, PM_OSD_CHAR_64DOT = 0;
    uint32_t PM_OSD_EXTRA[2]{};        // the two words after the OSD offsets in the default table
    // Input-processing settings per input port (ports 4 and 5 stay 0).
    uint32_t PM_HNR[kPorts]{}, PM_VNR[kPorts]{}, PM_TNR[kPorts]{}, PM_BNR[kPorts]{}, PM_MNR[kPorts]{};
    uint32_t PM_COMB[kPorts]{}, PM_IPEN[kPorts]{}, PM_DIAG[kPorts]{}, PM_MVFLT[kPorts]{};
    uint32_t PM_22PD[kPorts]{}, PM_23PD[kPorts]{}, PM_22PDSQTH[kPorts]{}, PM_23PDSQTH[kPorts]{};
    uint32_t PM_24SF[kPorts]{};

    // Window pipeline state that the defaults initialise.
    uint32_t win_mirror[kWindows][2]{};
    uint32_t win_switch_effect[kWindows]{};
    uint32_t win_fade_in_frames[kWindows]{};
    uint32_t win_fade_out_frames[kWindows]{};
    uint32_t win_dbd_fixed_owin[kWindows]{};
    int32_t win_port_link[kWindows]{};   // window-to-port link, -1 none
    int32_t win_dbd_prev[kWindows]{};    // per-window dot-by-dot mode last applied, -1 none
    uint32_t port_map[kPorts]{};         // port identity map
    uint32_t port_value99[kPorts]{};
    uint32_t port_list5[5]{};
    uint32_t port_retry[kPorts]{};
    uint32_t port_flags[kPorts]{};
    int32_t och_assign[kOch][6]{};       // per output channel: -1, index, -1, -1, -1, 1

    // Change flags consumed by the window programming.
    uint32_t g_chg_win[kWindows]{}, g_chg_input[kWindows]{}, g_chg_attr[kWindows]{};
    uint32_t g_chg_fade[kWindows]{}, g_chg_dbd[kWindows]{}, g_chg_stitch[kWindows]{};
    uint32_t g_chg_stitch_req[kWindows]{};
    uint32_t g_chg_och[kOch]{};
    uint32_t g_chg_overlay = 0, g_chg_pri = 0, g_chg_osd = 0;
    uint32_t g_chg_osd_extra[2]{};

    // Input measurements.
    ST_HDMI_INFO PI_HDMI_INFO[kPorts]{};
    uint32_t PI_HTOTAL[kPorts]{}, PI_VTOTAL[kPorts]{};
    uint32_t PI_ACT[kPorts][4]{};
    uint32_t PI_STATE[kPorts]{}, PI_UPDATE[kPorts]{}, PI_UPDATE2[kPorts]{};
    // The port's measurement moved while its receiver's record was withdrawn: the record's
    // return is a change, whatever it holds (the measurement it is compared with is new).
    bool moved_while_withdrawn[kPorts]{};
    uint32_t PI_FPICLK[kPorts]{};
    double PI_FH[kPorts]{}, PI_FV[kPorts]{}, PI_IFH[kPorts]{}, PI_IFV[kPorts]{};
    uint32_t PI_SYNC_POL[kPorts]{}, PI_SCAN_MODE[kPorts]{};

    uint32_t port_change_book[4]{};
    std::atomic<uint32_t> font_flags{0};  // the factory page reads it without c331_lock
    int c331_fd = -1;
    c331_drv* drv = nullptr;           // owned, never freed
    std::atomic<uint8_t> thread_state{0};
    std::atomic<uint32_t> debug_run_bits{0};
    std::thread thread;
    std::atomic<uint8_t> use1och{0};  // the remote FPGA page read takes it without c331_lock
    ST_MWIN_PRESET mwin_preset[10]{};
    ST_RECT mwin_preset_rects[10][kWindows]{};

    // OSD requests served by the per-pass work: redraw (update_osd), and reprogram the
    // windows and scrolling (set_osd, set_scroll).
    std::atomic<int> osd_full_update_req{0};
    std::atomic<int> osd_set_req{0};
    bool osd_redraw_deferred = false;   // the last redraw waited for the drawing engine (scaler thread)

    static uint8_t prnEn[20][20];
    static std::atomic<int> g_osd_update;

    std::atomic<bool> stop_thread{false};   // tests stop the thread (the destructor joins it); the device never does

private:
    void probe_step();
    uint64_t probe_failures = 0;
    uint64_t probe_report_us = 0;
};
