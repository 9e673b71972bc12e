#pragma once
// The one door to hardware and OS. main() chooses the implementation once at start by the
// environment variable K57_BOARD: "hw" (default: the device's real interfaces) or "sim"
// (the simulated board of sim/). Everything below is reached through board().
#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/i2c.h"
#include "platform/mtd.h"
#include "platform/paths.h"
#include "platform/regwindow.h"
#include "platform/shell.h"
#include "platform/spi.h"

namespace platform {

// Result of asking for the SoC register block ("/dev/msys" request 0x5315, then "/dev/mem").
enum class WindowStatus { Ok, NoMsys, NoMem, RequestFailed, MapFailed };

class Board {
public:
    virtual ~Board() = default;
    virtual const char* name() const = 0;  // "hw" or "sim"

    virtual Shell& shell() = 0;
    virtual Mtd& mtd() = 0;

    // Opens a spidev node (path as the device names it, rooted by the implementation); null on failure.
    virtual std::unique_ptr<SpiDevice> open_spi(const std::string& path) = 0;
    // Opens an i2c-dev node; null on failure.
    virtual std::unique_ptr<I2cBus> open_i2c(const std::string& path) = 0;

    // The SoC register block reported by the msys driver, mapped once on first call.
    // Never null: an unmapped window drops writes and reads 0; *status says why.
    virtual RegWindow& soc_window(WindowStatus* status = nullptr) = 0;
    // "/dev/mem" mapped at a physical address (the chip identifier registers).
    // Never null: check mapped().
    virtual std::unique_ptr<RegWindow> map_phys(uint32_t phys_base, uint32_t length) = 0;

    // The knob device "/dev/ec11": opened read-write with SIGIO notification; -1 when absent.
    virtual int open_knob() = 0;

    // 0 when a write to the rooted file `real_path` may go ahead, else the errno it fails
    // with before anything is written (the simulated board makes chosen paths full). The
    // device's own file writes ask this first.
    virtual int write_fault(const std::string& real_path) const
    {
        (void)real_path;
        return 0;
    }
};

// board().write_fault(real_path).
int write_fault(const std::string& real_path);

// The installed board. Installs the hw board on first use when none was installed.
Board& board();
// Installs a board (the caller keeps it alive). Used by the sim selection and by tests.
void install_board(Board* b);

// Reads K57_BOARD and installs the matching board; "sim" needs the simulated board's
// factory, registered by the sim library (sim::register_factory()). Returns the board's name.
using BoardFactory = Board* (*)();
void register_sim_factory(BoardFactory f);
const char* select_board_from_env();

}  // namespace platform
