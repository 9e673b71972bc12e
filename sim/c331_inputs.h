#pragma once
// The input side of the simulated C331: what its port measurement, input-channel measurement,
// field status, V-by-One lock and vertical-sync flags read, from the scripted inputs of
// board.json ("inputs", by source number s; port p = {3, 2, 1, 0, 5, 4}[s]).
//   ports 0..3: htt = htotal - 1, vtt = field vtotal, third count = vtotal - 1,
//               period = round(200 MHz / field rate) - 1, hw = hactive; 0 without signal.
//   ports 4, 5: the same, on the first "lanes" lanes (default 4); 0xFFFF / 0xFFFFFF elsewhere
//               and without signal. 0xB2/0x63 bit 5 (port 4) and bit 7 (port 5) while locked.
//   bank 0xA8: per input channel c, from the port its selector (bank 0, 0x10 + c) names.
//   "c331_vsync": false makes the vertical-sync flags (0x05/0x22, 0x23) read 0.
#include <cstdint>

namespace sim {

class SimBoard;

class C331InputSide {
public:
    explicit C331InputSide(SimBoard& board) : board_(board) {}
    // true when (bank, reg) is an input-side register; out is its byte.
    bool read(uint8_t bank, uint8_t reg, const uint8_t (*regs)[128], uint8_t& out) const;

private:
    SimBoard& board_;
};

}  // namespace sim
