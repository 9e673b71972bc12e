#pragma once
// The factory parameter file (4096 bytes), built at compile time from the address map.
#include <cstdint>

#include "core/ram_map.h"

struct FactoryImage {
    uint8_t bytes[PARA_FILE_SIZE];
};

// File byte of image address a (a in 0x300..0xFFF).
constexpr uint32_t factory_offset(uint32_t a) { return a - RAM_VOLATILE_END + PARA_FILE_IMAGE_OFFSET; }

constexpr void factory_put16(FactoryImage& f, uint32_t a, uint16_t v)
{
    f.bytes[factory_offset(a)] = static_cast<uint8_t>(v);
    f.bytes[factory_offset(a) + 1] = static_cast<uint8_t>(v >> 8);
}

constexpr FactoryImage build_factory_image()
{
    FactoryImage f{};
    f.bytes[0] = 0xAA;
    f.bytes[1] = 0xAA;
    factory_put16(f, ram_reserved_302, 100);
    for (int p = 0; p < RAM_INPUTS; ++p) {
        const bool uhd = p >= 4;
        factory_put16(f, ram_edid_addr(p), uhd ? 3840 : 1920);
        factory_put16(f, ram_edid_addr(p) + 2, uhd ? 2160 : 1080);
        factory_put16(f, ram_edid_addr(p) + 4, 60);
    }
    factory_put16(f, ram_led_width, 4096);
    factory_put16(f, ram_led_height, 2048);
    const uint16_t och[7] = {0, 0, 2, 1, 2048, 4096, 0};
    for (int i = 0; i < 7; ++i)
        factory_put16(f, ram_och_layout + 2 * i, och[i]);
    for (int k = 0; k < 2; ++k) {
        factory_put16(f, ram_output_rect + RAM_OUTPUT_RECT_STRIDE * k + 4, 4096);
        factory_put16(f, ram_output_rect + RAM_OUTPUT_RECT_STRIDE * k + 6, 2048);
    }
    // 64 unused crop rows from 0x5C0 to 0x83F; the row at 0x82C has width 0.
    for (uint32_t a = ram_crop_table; a < ram_selected_window; a += RAM_CROP_STRIDE) {
        factory_put16(f, a + CROP_KEY, 0x0005);
        factory_put16(f, a + CROP_WIDTH, a == 0x82C ? 0 : 1920);
        factory_put16(f, a + CROP_HEIGHT, 1080);
    }
    factory_put16(f, ram_brightness, 50);
    factory_put16(f, ram_contrast, 50);
    factory_put16(f, ram_sharpness, 10);
    factory_put16(f, ram_saturation, 50);
    factory_put16(f, ram_colour_temp_type, 2);
    for (int i = 0; i < 3; ++i)
        factory_put16(f, ram_colour_temp_rgb + 2 * i, 64);
    for (int w = 0; w < RAM_WINDOWS; ++w)
        factory_put16(f, ram_win_priority + 2 * w, static_cast<uint16_t>(w));
    factory_put16(f, ram_reserved_8de, 1);
    const uint16_t sources[6] = {4, 5, 3, 2, 1, 0};
    factory_put16(f, ram_window_addr(0, WIN_ENABLE), 1);
    for (int w = 0; w < 6; ++w) {
        factory_put16(f, ram_window_addr(w, WIN_SOURCE), sources[w]);
        factory_put16(f, ram_window_addr(w, WIN_WIDTH), 4096);
        factory_put16(f, ram_window_addr(w, WIN_HEIGHT), 2048);
    }
    return f;
}
