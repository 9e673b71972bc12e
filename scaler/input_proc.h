#pragma once
// Input processing of channels 0..3 (deinterlacer, motion filter, noise reducers) as planned
// register sequences. Each function returns the writes of one sub-block for channel ich
// (channel registers carry the channel offset); c331_manage::set_ip plays them.
#include <cstdint>
#include <vector>

#include "scaler/panel_layout.h"

namespace ipproc {

// What the sequences depend on: the port's measured class and its settings block.
struct Port {
    uint32_t state = 0, scan = 0;
    uint32_t act[4] = {};
    uint32_t hnr = 0, vnr = 0, tnr = 0, bnr = 0, mnr = 0, comb = 0, ipen = 1, diag = 2, mvflt = 3;
    uint32_t pd22 = 0, pd23 = 0, sq22 = 1, sq23 = 1, sf24 = 0;
};

// The deinterlacer / noise path is needed at all.
bool ip_on(const Port& p);

std::vector<RegWrite> set_nr(const Port& p, int ich);
std::vector<RegWrite> set_nr_block(const Port& p, int ich);
std::vector<RegWrite> set_nr_b(int ich, int level, int preset);   // preset: 0 1080i, 1 1080p, 2 480i, 3 480p, 4 720p
std::vector<RegWrite> set_nr_tpx(const Port& p, int ich);
std::vector<RegWrite> set_nr_hvpx(const Port& p, int ich);
std::vector<RegWrite> set_nr_mosq(const Port& p, int ich);
std::vector<RegWrite> set_diag(const Port& p, int ich);
std::vector<RegWrite> set_comb(const Port& p, int ich);
std::vector<RegWrite> set_mvflt(const Port& p, int ich);
std::vector<RegWrite> set_ipregs(const Port& p, int ich);
// Steps 4 to 6 of the set-up with the channel's measurements A (+1 applied) and B.
std::vector<RegWrite> ip_timing(const Port& p, int ich, uint32_t A, uint32_t B);
// The timing block as the bring-up leaves it (what a channel without interlaced set-up holds).
std::vector<RegWrite> ip_timing_off(int ich);
// Step 7: the frame-buffer addresses. mem: F0, F1, P0, P1, y offset, memory width.
std::vector<RegWrite> ip_memory(bool interlaced, int ich, const uint32_t mem[6]);

}  // namespace ipproc
