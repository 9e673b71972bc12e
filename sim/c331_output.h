#pragma once
// The output side of the simulated C331 as the wall sees it: how each output channel reads
// the frame store, decoded from its registers.
//   source   the sync source (bank 0x08 + 0x10 k, 0x08): (input channel << 8) for a window's
//            first output channel, (first output channel << 8) | 0x1000 for its others.
//   address  OSFLD0 (bank 0x16 + 0x10 k, 0x08, 4 bytes) is one line step before the first
//            line read; the line step is the memory width (0x30) as a signed byte, x 1024.
//            A negative step reads the lines bottom up.
//   mirror   bank 0x08 + 0x10 k, 0x22 bit 0: the line part read is shown right to left.
//   width    the active width (bank 0x08 + 0x10 k, 0x42) is what the channel shows, however
//            few pixels, from its active start (0x40), cut to its output area (0x28 to
//            0x2A); unzoomed it is also the line part read, zoomed that part is the shown
//            width over the zoom ratio.
//   packing  OSCWCT (bank 0, 0x69 + k): 128 five pixels in 16 bytes, 1 three in 8, 17 two
//            bytes, otherwise four bytes per pixel.
// Pixel and line are relative to the first field store (ISFLD0, bank 0x16 + 0x10 c, 0x1C)
// of the input channel the output channel follows.
//
// The OSD each output channel lays over its picture, from its OSD registers (bank 0x09 +
// 0x10 k): control 0x08 (2 bytes; bits 0-1 non-zero shown, 0x2000 pitch in units of four,
// 0x1000 / 0x0800 double width / height), window start 0x12 / 0x16 and size 0x14 / 0x18
// (2 bytes each), memory address of its first pixel 0x1A (4 bytes), memory pitch 0x1E (one
// byte, in units of 128 bytes). The window start counts from 4 pixels before the start of
// the channel's output area (bank 0x08 + 0x10 k, 0x28) and from the line after it (0x2C),
// whatever part of that area the channel's picture takes.
#include <cstdint>

namespace sim {

struct OchRead {
    int ich = -1;           // input channel whose store is read; -1: none
    int64_t x = 0;          // lowest pixel of the line part read
    int64_t line = 0;       // first line read
    int hdir = 1, vdir = 1; // -1: shown right to left / read bottom up
    uint32_t hw = 0, vw = 0;          // active width and height on the wall
    uint32_t hzoom = 0, vzoom = 0;    // zoom ratios, 16.16 (0: none)
};

OchRead och_read(const uint8_t (*regs)[128], int och);

struct OsdRead {
    bool on = false;                  // the OSD is shown on this channel
    int64_t x = 0, y = 0;             // window start in the channel's output area
    uint32_t w = 0, h = 0;            // window size on the wall
    uint32_t addr = 0;                // memory address of the OSD pixel shown at (x, y)
    uint32_t pitch = 0;               // bytes per line of that memory
    bool hzoom = false, vzoom = false;
};

OsdRead osd_read(const uint8_t (*regs)[128], int och);

}  // namespace sim
