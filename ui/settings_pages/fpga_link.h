#pragma once
// What the settings pages use of the FPGA component (fpga_manage), in one place: its run
// state, the output-port link bitmap, a port's picture area, and the LED-size hand-shake.
// Without the component the FPGA counts as not running, every port as offline, every area 0.
#include <cstdint>

namespace fpga_link {

// Register 80 of chip 0 (3 = running); 0 without the FPGA component.
int run_state();
// Chip 0 runs after a whole bring-up and is not being reset: its link registers and the
// parameter page it loaded are the wall's. False without the component.
bool chip_ready();
// Bit p set while output port p (0..15) has a link, read from the FPGA over SPI; 0 while the
// FPGA is not running.
uint16_t link_bitmap();
// The same bits as last read by anyone (the FPGA thread looks every search period), from the
// register mirror: no SPI, for the GUI thread's periodic look.
uint16_t link_bitmap_seen();
// Start X, start Y, width and height of port `port`'s picture area from chip 0's parameter
// page; all 0 without the component.
struct PortArea {
    uint16_t x = 0, y = 0, w = 0, h = 0;
    bool operator==(const PortArea& o) const { return x == o.x && y == o.y && w == o.w && h == o.h; }
    bool operator!=(const PortArea& o) const { return !(*this == o); }
};
PortArea port_area(int port);
// The caller holds c331_lock and has changed the LED canvas: at run state 3 asks the FPGA
// thread to blank and restart its outputs around the panel re-initialisation.
void start_led_handshake_locked();

}  // namespace fpga_link
