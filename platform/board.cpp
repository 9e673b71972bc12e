// Choosing and reaching the one board of the process.
#include "platform/board.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/hw_board.h"

namespace platform {
namespace {

std::atomic<Board*> g_board{nullptr};
std::atomic<BoardFactory> g_sim_factory{nullptr};

Board* hw_board()
{
    static HwBoard hw;
    return &hw;
}

}  // namespace

Board& board()
{
    Board* b = g_board.load(std::memory_order_acquire);
    if (!b) {
        Board* expected = nullptr;
        g_board.compare_exchange_strong(expected, hw_board());
        b = g_board.load(std::memory_order_acquire);
    }
    return *b;
}

int write_fault(const std::string& real_path) { return board().write_fault(real_path); }

void install_board(Board* b) { g_board.store(b, std::memory_order_release); }

void register_sim_factory(BoardFactory f) { g_sim_factory.store(f); }

const char* select_board_from_env()
{
    const char* want = std::getenv("K57_BOARD");
    if (!want || !*want || std::strcmp(want, "hw") == 0) {
        install_board(hw_board());
        return board().name();
    }
    // Anything else must be the simulated board: running the real interfaces (and the real
    // shell) because of a mistyped name would be the worst outcome on a development machine.
    BoardFactory f = g_sim_factory.load();
    if (std::strcmp(want, "sim") != 0 || !f) {
        std::fprintf(stderr, "K57_BOARD=%s: %s\n", want,
                     std::strcmp(want, "sim") != 0 ? "unknown board (use hw or sim)"
                                                   : "the simulated board is not linked in");
        std::exit(2);
    }
    install_board(f());
    return board().name();
}

}  // namespace platform
