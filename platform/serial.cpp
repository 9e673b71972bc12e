// Serial ports through termios.
#include "platform/serial.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/log_hook.h"
#include "platform/paths.h"

namespace platform {

unsigned baud_constant(int baud)
{
    switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 921600: return B921600;
    default: return 0;
    }
}

int open_serial(const std::string& path, int baud)
{
    const speed_t speed = baud_constant(baud);
    if (speed == 0) {
        log(kLogError, path + ": unsupported baud rate " + std::to_string(baud));
        errno = EINVAL;
        return -1;
    }
    // O_NONBLOCK only for the open itself (a modem line must not hold it up).
    int fd = ::open(rooted(path).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        log(kLogError, "can't open " + path + ": " + std::strerror(errno));
        return -1;
    }
    termios t{};
    if (tcgetattr(fd, &t) < 0) {
        int e = errno;
        log(kLogError, path + " is not a serial port: " + std::strerror(e));
        ::close(fd);
        errno = e;
        return -1;
    }
    cfmakeraw(&t);
    t.c_cflag &= ~(PARENB | CSTOPB | CSIZE | CRTSCTS);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    int flags = fcntl(fd, F_GETFL);
    if (tcsetattr(fd, TCSANOW, &t) < 0 || flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
        int e = errno;
        log(kLogError, path + ": can't set up the port: " + std::strerror(e));
        ::close(fd);
        errno = e;
        return -1;
    }
    tcflush(fd, TCIOFLUSH);
    return fd;
}

}  // namespace platform
