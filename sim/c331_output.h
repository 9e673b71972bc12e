#pragma once
// The output side of the simulated C331 as the wall sees it: how each output channel reads
// the frame store, decoded from its registers.
//   source   the sync source (bank 0x08 + 0x10 k, 0x08): (input channel << 8) for a window's
//            first output channel, (first output channel << 8) | 0x1000 for its others.
//   address  OSFLD0 (bank 0x16 + 0x10 k, 0x08, 4 bytes) is one line step before the first
//            line read; the line step is the memory width (0x30) as a signed byte, x 1024.
//            A negative step reads the lines bottom up.
//   mirror   bank 0x08 + 0x10 k, 0x22 bit 0: the line part read is shown right to left.
//   packing  OSCWCT (bank 0, 0x69 + k): 128 five pixels in 16 bytes, 1 three in 8, 17 two
//            bytes, otherwise four bytes per pixel.
// Pixel and line are relative to the first field store (ISFLD0, bank 0x16 + 0x10 c, 0x1C)
// of the input channel the output channel follows.
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

}  // namespace sim
