#pragma once
// Address map of the 4096-byte parameter image (TlxRamPara::ram_image). Addresses are the
// remote protocol's parameter addresses 0x000 to 0xFFF; 16-bit fields are little-endian.
//
//   0x000..0x2FF  volatile: never written to a file (still compared with the shadow)
//   0x300..0xFFF  persisted in "/data/ram_device_info" at file offset 2
//   0x380..0xFFF  also what a user mode saves and recalls (0x300..0x37F are device-wide)
#include <cstddef>
#include <cstdint>

// ---- sizes ------------------------------------------------------------------------------
constexpr uint32_t RAM_IMAGE_SIZE = 4096;
constexpr uint32_t RAM_VOLATILE_END = 0x300;      // first persisted address
constexpr uint32_t RAM_MODE_BASE = 0x380;         // first address a user mode carries
constexpr uint32_t RAM_PERSIST_LEN = 0x1000 - RAM_VOLATILE_END;  // 3328 bytes
constexpr uint32_t RAM_MODE_LEN = 0x1000 - RAM_MODE_BASE;        // 3200 bytes

// ---- the parameter file "/data/ram_device_info" -------------------------------------------
constexpr uint32_t PARA_FILE_SIZE = 4096;
constexpr uint32_t PARA_FILE_IMAGE_OFFSET = 2;    // file byte 2 holds image 0x300

// ---- volatile region --------------------------------------------------------------------
constexpr uint32_t ram_it6805_timing = 0x000;     // + 3d: IT6805 device d low width, low height, rate
constexpr uint32_t ram_input_timing = 0x100;      // + 6s: SRC_TIMING of receiver s (w, h, Hz as u16)
constexpr uint32_t RAM_INPUT_TIMING_STRIDE = 6;
constexpr int RAM_INPUTS = 6;

// ---- device-wide settings (persisted, not part of a user mode) ----------------------------
constexpr uint32_t ram_language = 0x300;          // u8: 0 Chinese, 1 English, 2 Russian, 3 Vietnamese
constexpr uint32_t ram_reserved_302 = 0x302;      // u16: kept and persisted (factory 100)
constexpr uint32_t ram_panel_lock = 0x304;        // u16: 1 = front panel locked
constexpr uint32_t ram_wifi_disabled = 0x306;     // u8: 1 = WiFi access point off
constexpr uint32_t ram_test_pattern = 0x360;      // u8: scaler test pattern, 0 = off (volatile at boot)
constexpr uint32_t ram_current_mode = 0x362;      // u16: user mode in use 1..16, 0 = none
constexpr uint32_t ram_mode_save_request = 0x364; // u16: user mode 1..16 to save, 0 = none

// ---- user-mode region 0x380..0xFFF ----------------------------------------------------------
constexpr uint32_t ram_edid_para = 0x380;         // + 6p: EDID_PARA of input p (w, h, Hz as u16)
constexpr uint32_t RAM_EDID_STRIDE = 6;
constexpr uint32_t ram_splice_mode = 0x560;       // u16: 0 NONE, 1 HV, 2 V, 3 H, 4 CP12, 5 CP21
constexpr uint16_t RAM_SPLICE_NONE = 0;           // ram_splice_mode: the screen in one piece
constexpr uint32_t ram_led_width = 0x562;         // u16
constexpr uint32_t ram_led_height = 0x564;        // u16
constexpr uint32_t ram_och_layout = 0x566;        // 7 x u16: output-channel layout
constexpr uint32_t ram_och_columns = 0x56A;       // u16 (inside ram_och_layout)
constexpr uint32_t ram_och_rows = 0x56C;          // u16 (inside ram_och_layout)
constexpr uint32_t ram_output_rect = 0x580;       // 2 x {x, y, w, h} u16
constexpr uint32_t RAM_OUTPUT_RECT_STRIDE = 8;
constexpr uint32_t ram_crop_table = 0x5C0;        // + 10r: crop row r (0..39)
constexpr uint32_t RAM_CROP_STRIDE = 10;
constexpr int RAM_CROP_ROWS = 40;
constexpr uint32_t ram_selected_window = 0x840;   // u8: audio window 0..5 (larger reads as 0)
constexpr uint32_t ram_p2p_enable = 0x842;        // u16
constexpr uint32_t ram_black_screen = 0x844;      // u16: 1 = LED output blacked (volatile at boot)
constexpr uint32_t ram_switch_effect = 0x846;     // u16
constexpr uint32_t ram_osd_enable = 0x84C;        // u16
constexpr uint32_t ram_brightness = 0x880;        // i16 0..100
constexpr uint32_t ram_contrast = 0x882;          // u16 0..100
constexpr uint32_t ram_sharpness = 0x884;         // u16 0..100
constexpr uint32_t ram_saturation = 0x886;        // u16 0..100
constexpr uint32_t ram_colour_temp_type = 0x888;  // u16: 0 custom, 1 warm, 2 nature, 3 cool
constexpr uint32_t ram_colour_temp_rgb = 0x88A;   // 3 x u16: red, green, blue gains
constexpr uint32_t ram_win_priority = 0x8A0;      // + 2w: u16 layering priority of window w (16)
constexpr uint32_t ram_reserved_8de = 0x8DE;      // u16: kept and persisted (factory 1)
constexpr uint32_t ram_window = 0x8E0;            // + 26w: WIN_PARA of window w (16 records)
constexpr uint32_t RAM_WINDOW_STRIDE = 26;
constexpr int RAM_WINDOWS = 16;
constexpr uint32_t ram_fade_frames = 0xB00;       // + 4w: fade-in, fade-out frame counts (u16 each)
constexpr uint32_t RAM_FADE_STRIDE = 4;
constexpr uint32_t ram_debug_cmd = 0xF80;         // 3 x u8: command, parameter 2, parameter 3
constexpr uint32_t ram_reg_request = 0xF88;       // u32 id, u16 op, u32 data, u16 channel offset

// ---- WIN_PARA field offsets (inside a 26-byte window record) --------------------------------
constexpr uint32_t WIN_ENABLE = 0;     // u16 (used for window 0)
constexpr uint32_t WIN_ROTATE = 4;     // u16 rotate/mirror 0..3
constexpr uint32_t WIN_SOURCE = 8;     // u16: bit 15 = crop (low byte = crop row), else source 0..5
constexpr uint32_t WIN_X = 10;
constexpr uint32_t WIN_Y = 12;
constexpr uint32_t WIN_WIDTH = 14;
constexpr uint32_t WIN_HEIGHT = 16;
constexpr uint32_t WIN_OUTPUT = 18;    // u16: bit 0 black, bit 1 freeze, bit 2 switch effect, bit 8 dot-by-dot
constexpr uint32_t WIN_AUDIO = 20;     // u16: bit 15 sound on
constexpr uint32_t WIN_P2P_MODE = 22;  // u16: dot-by-dot mode 0..10
constexpr uint16_t WIN_SOURCE_CROP = 0x8000;
constexpr uint16_t WIN_OUT_BLACK = 0x0001;
constexpr uint16_t WIN_OUT_FREEZE = 0x0002;
constexpr uint16_t WIN_OUT_SWITCH_EFFECT = 0x0004;
constexpr uint16_t WIN_OUT_P2P = 0x0100;
constexpr uint16_t WIN_AUDIO_ON = 0x8000;

// ---- crop row fields (10 bytes: key, x, y, w, h as u16) --------------------------------------
constexpr uint32_t CROP_KEY = 0;
constexpr uint32_t CROP_X = 2;
constexpr uint32_t CROP_Y = 4;
constexpr uint32_t CROP_WIDTH = 6;
constexpr uint32_t CROP_HEIGHT = 8;
constexpr uint16_t CROP_KEY_USED = 0x8000;     // row in use
constexpr uint16_t CROP_KEY_NUMBER = 0x7F00;   // crop number - 1, bits 8..14
constexpr uint16_t CROP_KEY_SOURCE = 0x00FF;   // source 0..5

// Address of a field of window w / crop row r / input timing s / EDID record p.
constexpr uint32_t ram_window_addr(int w, uint32_t field) { return ram_window + RAM_WINDOW_STRIDE * w + field; }
constexpr uint32_t ram_crop_addr(int r, uint32_t field) { return ram_crop_table + RAM_CROP_STRIDE * r + field; }
constexpr uint32_t ram_input_timing_addr(int s) { return ram_input_timing + RAM_INPUT_TIMING_STRIDE * s; }
constexpr uint32_t ram_edid_addr(int p) { return ram_edid_para + RAM_EDID_STRIDE * p; }

// Little-endian field access on any byte buffer laid out like the image. The panel reads the
// live image without c331_lock while other threads write it under the lock, so a 16-bit
// field is read and written as one relaxed atomic access (a plain load or store on the
// device's CPU): a reader sees the old or the new value, never half of each. The device and
// the simulated board are little-endian; an odd address goes byte by byte.
// A byte the other threads read without the lock (status bits, switches): one relaxed access.
inline uint8_t ram_rd8(const uint8_t& cell) { return __atomic_load_n(&cell, __ATOMIC_RELAXED); }
inline void ram_wr8(uint8_t& cell, uint8_t v) { __atomic_store_n(&cell, v, __ATOMIC_RELAXED); }
inline uint16_t ram_rd16(const uint8_t* base, uint32_t addr)
{
    const uint8_t* p = base + addr;
    if ((reinterpret_cast<uintptr_t>(p) & 1) == 0)
        return __atomic_load_n(reinterpret_cast<const uint16_t*>(p), __ATOMIC_RELAXED);
    return static_cast<uint16_t>(__atomic_load_n(p, __ATOMIC_RELAXED) | (__atomic_load_n(p + 1, __ATOMIC_RELAXED) << 8));
}
inline void ram_wr16(uint8_t* base, uint32_t addr, uint16_t v)
{
    uint8_t* p = base + addr;
    if ((reinterpret_cast<uintptr_t>(p) & 1) == 0) {
        __atomic_store_n(reinterpret_cast<uint16_t*>(p), v, __ATOMIC_RELAXED);
        return;
    }
    __atomic_store_n(p, static_cast<uint8_t>(v), __ATOMIC_RELAXED);
    __atomic_store_n(p + 1, static_cast<uint8_t>(v >> 8), __ATOMIC_RELAXED);
}
// Copies bytes into the live image as the remote writes do: whole 16-bit fields at once.
inline void ram_copy_in(uint8_t* base, uint32_t addr, const uint8_t* src, size_t length)
{
    size_t i = 0;
    if (addr % 2 && length > 0) {
        __atomic_store_n(base + addr, src[0], __ATOMIC_RELAXED);
        i = 1;
    }
    for (; i + 1 < length; i += 2)
        ram_wr16(base, uint32_t(addr + i), static_cast<uint16_t>(src[i] | (src[i + 1] << 8)));
    if (i < length)
        __atomic_store_n(base + addr + i, src[i], __ATOMIC_RELAXED);
}
inline uint32_t ram_rd32(const uint8_t* base, uint32_t addr)
{
    return static_cast<uint32_t>(ram_rd16(base, addr)) | (static_cast<uint32_t>(ram_rd16(base, addr + 2)) << 16);
}
inline void ram_wr32(uint8_t* base, uint32_t addr, uint32_t v)
{
    ram_wr16(base, addr, static_cast<uint16_t>(v));
    ram_wr16(base, addr + 2, static_cast<uint16_t>(v >> 16));
}
