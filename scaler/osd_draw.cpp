// The OSD drawing engine of the C331: fill, copy, character strings, the flash-to-memory DMA
// and the palette. Every command is bounded: an engine or DMA that does not finish ends the
// command and reports false, so neither the scaler thread nor a remote handler hangs on it.
// The caller of each primitive holds osd_flash_mutex for its whole sequence (update_osd,
// update_font).

#include <algorithm>

#include "core/log.h"
#include "platform/clock.h"
#include "scaler/c331_drv.h"
#include "scaler/c331_manage.h"
#include "scaler/c331_osd_regs.h"

namespace {

constexpr uint64_t kPollUs = 50;
constexpr uint64_t kEngineLimitUs = 200000;
constexpr uint64_t kDmaBaseUs = 1000000;       // DMA: 1 s, plus 1 s per MiB moved
constexpr uint64_t kDmaPerMiBUs = 1000000;
constexpr uint32_t kCjkFirst = 0x4E00, kCjkLast = 0x9FFF;
constexpr uint32_t kAsciiFirst = 0x20, kAsciiLast = 0x7F;

}  // namespace

bool c331_manage::wait_reg(int fd, uint32_t reg, uint32_t mask, uint32_t want, uint64_t limit_us, uint32_t end_reg,
                           const char* what, uint32_t* last)
{
    const uint64_t start = platform::clock().now_us();
    for (;;) {
        const uint32_t v = drv->read_C331(fd, reg, 0);
        if (last)
            *last = v;
        if ((v & mask) == want)
            return true;
        if (platform::clock().now_us() - start >= limit_us) {
            drv->write_C331(fd, end_reg, 0, 0);
            writeLogMsg(LOG_WARNING, std::string("c331: ") + what + " did not finish within " +
                                         std::to_string(limit_us / 1000) + " ms, command ended");
            return false;
        }
        platform::sleep_us(kPollUs);
    }
}

bool c331_manage::osd_engine_free(int fd)
{
    if (drv->read_C331(fd, c331::ENG_STATUS, 0) & c331::ENG_BUSY)
        return false;
    // A bitmap is first moved out of the flash by its DMA.
    return PM_OSD_DATA_MODE || (drv->read_C331(fd, c331::SFL_STAT, 0) & c331::SFL_STAT_DMA) == 0;
}

bool c331_manage::osd_engine_run(int fd, uint32_t cmd)
{
    drv->write_C331(fd, c331::ENG_CMD, cmd, 0);
    if (!wait_reg(fd, c331::ENG_STATUS, c331::ENG_BUSY, 0, kEngineLimitUs, c331::ENG_CMD, "OSD drawing engine"))
        return false;
    drv->write_C331(fd, c331::ENG_CMD, c331::ENG_IDLE, 0);
    return true;
}

bool c331_manage::osd_paint(int fd, int x, int w, int y, int h, uint32_t colour, uint32_t base)
{
    drv->write_C331(fd, c331::ENG_FILL_COLOR, colour, 0);
    drv->write_C331(fd, c331::ENG_WIDTH, uint32_t(w - 1), 0);
    drv->write_C331(fd, c331::ENG_HEIGHT, uint32_t(h - 1), 0);
    drv->write_C331(fd, c331::ENG_DST, osd_addr(base, x, y), 0);
    drv->write_C331(fd, c331::ENG_DST_PITCH, g_osd_mwi, 0);
    drv->write_C331(fd, c331::ENG_SRC_PITCH, g_osd_mwi, 0);
    drv->write_C331(fd, c331::ENG_PITCH_MODE, g_osd_mwi_shift ? 48 : 0, 0);
    return osd_engine_run(fd, c331::ENG_FILL);
}

bool c331_manage::osd_copy(int fd, uint32_t src, uint32_t dst, int w, int h, bool from_flash_stage)
{
    drv->write_C331(fd, c331::ENG_SRC, src, 0);
    drv->write_C331(fd, c331::ENG_DST, dst, 0);
    drv->write_C331(fd, c331::ENG_WIDTH, uint32_t(w - 1), 0);
    drv->write_C331(fd, c331::ENG_HEIGHT, uint32_t(h - 1), 0);
    uint32_t mode;
    if (from_flash_stage) {
        // The staging area holds the bitmap packed at its own width.
        const bool wide = w >= 8320;
        drv->write_C331(fd, c331::ENG_SRC_PITCH, wide ? uint32_t(w) >> 9 : uint32_t(w) / 128, 0);
        mode = (g_osd_mwi_shift ? 16 : 0) + (wide ? 32 : 0);
    } else {
        drv->write_C331(fd, c331::ENG_SRC_PITCH, g_osd_mwi, 0);
        mode = g_osd_mwi_shift ? 48 : 0;
    }
    drv->write_C331(fd, c331::ENG_DST_PITCH, g_osd_mwi, 0);
    drv->write_C331(fd, c331::ENG_PITCH_MODE, mode, 0);
    return osd_engine_run(fd, c331::ENG_COPY);
}

bool c331_manage::osd_write_dma_sfl(int fd, uint32_t flash_addr, uint32_t dst, int mode, uint32_t len)
{
    drv->write_C331(fd, c331::SFL_PIN_A, 85, 0);
    drv->write_C331(fd, c331::SFL_PIN_D, 1023, 0);
    drv->write_C331(fd, c331::SFL_PIN_B, 768, 0);
    drv->write_C331(fd, c331::SFL_PIN_C, 768, 0);
    drv->write_C331(fd, c331::ENG_CMD, c331::ENG_IDLE, 0);
    drv->write_C331(fd, c331::SFL_CMD, c331::SFL_CMD_IDLE, 0);
    drv->write_C331(fd, c331::SFL_MODE, c331::SFL_MODE_RESET, 0);
    drv->write_C331(fd, c331::SFL_MODE, mode == 1 ? 55 : 51, 0);
    drv->write_C331(fd, c331::SFL_BYTE_ACCESS, 2, 0);
    drv->write_C331(fd, c331::SFL_PROG_OP, c331::SFL_OP_PROGRAM4, 0);
    drv->write_C331(fd, c331::SFL_READ_OP, c331::SFL_OP_FASTREAD4, 0);
    drv->write_C331(fd, c331::SFL_ERASE_OP, 199, 0);
    drv->write_C331(fd, c331::SFL_WREN_OP, c331::SFL_OP_WREN, 0);
    drv->write_C331(fd, c331::SFL_RDSR_OP, c331::SFL_OP_RDSR, 0);
    drv->write_C331(fd, c331::SFL_ADDR, flash_addr, 0);
    drv->write_C331(fd, c331::SFL_DMA_LEN, len | 0x80000000u, 0);
    drv->write_C331(fd, c331::SFL_DMA_MODE, uint32_t(mode) & 15, 0);
    if (mode == 0)
        drv->write_C331(fd, c331::ENG_DST, dst, 0);
    else if (mode == 1)
        drv->write_C331(fd, c331::CHR_PARAM_ADDR, dst & 0xFFFF, 0);
    else if (mode == 4)
        drv->write_C331(fd, c331::PAL_INDEX, dst & 255, 0);
    drv->write_C331(fd, c331::SFL_CMD, c331::SFL_CMD_DMA, 0);
    const uint64_t limit = kDmaBaseUs + kDmaPerMiBUs * ((uint64_t(len) + (1u << 20) - 1) >> 20);
    if (!wait_reg(fd, c331::SFL_STAT, c331::SFL_STAT_DMA, 0, limit, c331::SFL_CMD, "flash DMA"))
        return false;
    drv->write_C331(fd, c331::SFL_CMD, c331::SFL_CMD_IDLE, 0);
    return true;
}

int c331_manage::osd_glyph(uint16_t unit, int ascii_glyphs)
{
    if (unit >= kAsciiFirst && unit <= kAsciiLast)
        return unit - kAsciiFirst;
    if (unit >= kCjkFirst && unit <= kCjkLast)
        return int(unit - kCjkFirst) + ascii_glyphs;
    return ' ' - kAsciiFirst;
}

bool c331_manage::osd_put_unicode_string(int fd, const uint8_t* line, int x, int y, int fg, int bg, int w, int h,
                                         uint32_t base, bool big)
{
    const uint32_t font = big ? g_font_addr_64ASCII : g_font_addr_32ASCII;
    const int ascii_glyphs = int(big ? PS_CHAR_SIZE_64ASCII / 512 : PS_CHAR_SIZE_32ASCII / 128);
    auto glyph = [&](int k) { return osd_glyph(uint16_t(line[2 * k] << 8 | line[2 * k + 1]), ascii_glyphs); };
    auto width = [&](int g) { return int64_t(g < ascii_glyphs ? w / 2 : w); };
    // The advance is one byte: a space from the menu file of any size is held to it.
    auto advance = [&](int g) { return std::clamp<int64_t>(width(g) + int32_t(char_space), 0, 255); };
    // The characters drawn: up to the line's end and the last one that ends inside the
    // memory line, since one past it would be drawn into the next line's memory.
    const int64_t row = int64_t(osd_pitch_units()) << 7;
    int n = 0;
    for (int64_t at = x; n < kOsdLineUnits && (line[2 * n] | line[2 * n + 1]) != 0; ++n) {
        if (at + width(glyph(n)) > row)
            break;
        at += advance(glyph(n));
    }
    if (n == 0)
        return true;   // an empty line starts no command
    drv->write_C331(fd, c331::CHR_FONT_MODE, big ? 72 : 8, 0);
    drv->write_C331(fd, c331::CHR_PARAM_ADDR, 2560, 0);
    drv->write_C331(fd, c331::CHR_PARAM_DATA, uint32_t(h) & 255, 0);
    drv->write_C331(fd, c331::CHR_PARAM_ADDR, 0, 0);
    for (int k = 0; k < n; ++k) {
        const int g = glyph(k);
        const uint32_t bytes[5] = {uint32_t(g) & 255, uint32_t(g) >> 8 & 255, uint32_t(fg), uint32_t(bg),
                                   uint32_t(advance(g))};
        for (uint32_t b : bytes)
            drv->write_C331(fd, c331::CHR_PARAM_DATA, b, 0);
    }
    drv->write_C331(fd, c331::CHR_FIRST, 0, 0);
    drv->write_C331(fd, c331::CHR_LAST, uint32_t(n - 1), 0);
    drv->write_C331(fd, c331::CHR_OPT_A, 0, 0);
    drv->write_C331(fd, c331::CHR_OPT_B, 0, 0);
    drv->write_C331(fd, c331::ENG_SRC, font, 0);
    drv->write_C331(fd, c331::ENG_DST, osd_addr(base, x, y), 0);
    return osd_engine_run(fd, c331::ENG_STRING);
}

bool c331_manage::gen_char(int fd)
{
    const int s = PM_OSD_CHAR_64DOT ? 64 : 32;
    const int64_t pitch = s + int64_t(int32_t(line_space));
    const int bg = PS_BG_TRANS ? 255 : 1;
    const int64_t lines = osd_memory_lines(PS_BG_HACT);
    for (int i = 0; i < g_unicode_line && i < kOsdLines; ++i) {
        const int64_t y = int64_t(PS_CHAR_VST) + i * pitch;
        // A line that starts off the canvas, or whose glyphs run past the last line of the
        // drawing memory into the memory the OSD is shown from, is not drawn.
        if (PS_CHAR_HST >= PS_BG_HACT || y < 0 || y >= int64_t(PS_BG_VACT) || y + s > lines)
            continue;
        if (!osd_put_unicode_string(fd, g_unicode_buf[i], int(PS_CHAR_HST), int(y), 2, bg, s, s, PS_MEM_OSD,
                                    PM_OSD_CHAR_64DOT != 0))
            return false;
    }
    return true;
}

void c331_manage::set_char_color(int fd)
{
    drv->write_C331(fd, c331::PAL_ACCESS, 1, 0);
    drv->write_C331(fd, c331::PAL_INDEX, 1, 0);   // entry 1 background, entry 2 characters
    for (uint32_t colour : {PS_BG_COLOR, PS_CHAR_COLOR})
        for (int k = 0; k < 3; ++k)
            drv->write_C331(fd, c331::PAL_DATA, colour >> (8 * k) & 0xFF, 0);
    drv->write_C331(fd, c331::PAL_ACCESS, 0, 0);
}
