#pragma once
// Serial ports: termios 8N1, raw, no flow control.
#include <string>

namespace platform {

// Opens the port (the path is rooted here, so on the simulated board a test may put a
// pseudo-terminal at "<root>/dev/ttyS2") and sets baud, 8 data bits, no parity, 1 stop bit,
// raw mode; reads block until at least one byte is there. Returns the descriptor, or -1
// (errno set; EINVAL for a baud rate termios has no constant for).
int open_serial(const std::string& path, int baud);

// The termios speed constant for a baud rate, 0 when there is none. Exposed for tests.
unsigned baud_constant(int baud);

}  // namespace platform
