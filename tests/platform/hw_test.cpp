// The real interfaces under a temporary root: missing and wrong nodes fail cleanly.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "platform/hw_board.h"
#include "platform/log_hook.h"
#include "platform/serial.h"
#include "temp_root.h"

namespace {

// Collects platform log lines for the duration of a test.
struct LogCapture {
    std::vector<std::string> lines;
    LogCapture()
    {
        platform::set_log_hook([this](int, const std::string& m) { lines.push_back(m); });
    }
    ~LogCapture() { platform::set_log_hook(nullptr); }
    int count(const std::string& part) const
    {
        int n = 0;
        for (const auto& l : lines)
            n += l.find(part) != std::string::npos;
        return n;
    }
};

TEST(HwWindow, WithoutMsysReadsZeroDropsWritesAndLogsOnce)
{
    TempRoot root;
    LogCapture log;
    platform::HwBoard hw;
    platform::WindowStatus st = platform::WindowStatus::Ok;
    platform::RegWindow& w = hw.soc_window(&st);
    EXPECT_EQ(platform::WindowStatus::NoMsys, st);
    EXPECT_FALSE(w.mapped());
    for (int i = 0; i < 5; ++i) {
        w.write16(0x207900, 0x10);
        EXPECT_EQ(0, w.read16(0x207900));
    }
    EXPECT_EQ(&w, &hw.soc_window());  // mapped once
    EXPECT_EQ(1, log.count("not mapped"));
}

TEST(HwWindow, RefusedRequestAndMissingMemAreReported)
{
    TempRoot root;
    LogCapture log;
    root.write("/dev/msys", "");
    platform::WindowStatus st;
    EXPECT_FALSE(platform::map_soc_window(&st)->mapped());
    EXPECT_EQ(platform::WindowStatus::NoMem, st);
    root.write("/dev/mem", "");
    EXPECT_FALSE(platform::map_soc_window(&st)->mapped());
    EXPECT_EQ(platform::WindowStatus::RequestFailed, st);  // a plain file answers no ioctl
}

TEST(HwWindow, MemMappingAtAnUnalignedBaseStaysInsideItsLength)
{
    TempRoot root;
    LogCapture log;
    EXPECT_FALSE(platform::map_mem(0x1F000000, 0x1000)->mapped());  // no /dev/mem at all
    // A sparse file stands in for physical memory.
    root.write("/dev/mem", "");
    ASSERT_EQ(0, truncate(root.at("/dev/mem").c_str(), 0x3000));
    auto w = platform::map_mem(0x1002, 0x100);
    ASSERT_TRUE(w->mapped());
    w->write16(0x10, 0xBEEF);
    EXPECT_EQ(0xBEEF, w->read16(0x10));
    int fd = ::open(root.at("/dev/mem").c_str(), O_RDONLY);
    uint16_t v = 0;
    ASSERT_EQ(2, ::pread(fd, &v, 2, 0x1012));
    EXPECT_EQ(0xBEEF, v);
    ::close(fd);
    w->write16(0x100, 1);                  // one past the end
    EXPECT_EQ(0, w->read16(0xFFFFFFFE));   // far outside
    EXPECT_EQ(0, w->read16(0x11));         // odd
    EXPECT_EQ(1, log.count("outside"));
}

TEST(HwBuses, MissingOrWrongNodesFailWithoutCrashing)
{
    TempRoot root;
    LogCapture log;
    platform::HwBoard hw;
    EXPECT_EQ(nullptr, hw.open_spi("/dev/spidev32766.0"));
    EXPECT_EQ(nullptr, hw.open_i2c("/dev/i2c-0"));
    EXPECT_EQ(-1, hw.open_knob());
    EXPECT_EQ(-1, hw.open_knob());

    root.write("/dev/spidev32766.0", "");
    root.write("/dev/i2c-0", "");
    auto spi = hw.open_spi("/dev/spidev32766.0");
    ASSERT_NE(nullptr, spi);
    platform::SpiConfig got;
    EXPECT_EQ(-1, spi->configure({3, 8, 10000000}, &got));
    uint8_t tx[4] = {1, 2, 3, 4}, rx[4];
    EXPECT_EQ(-1, spi->transfer(tx, rx, 4));
    EXPECT_EQ(-1, spi->transfer(tx, nullptr, 4));

    auto i2c = hw.open_i2c("/dev/i2c-0");
    ASSERT_NE(nullptr, i2c);
    uint8_t reg = 0, val = 0;
    platform::I2cMsg m[3] = {{0x48, false, &reg, 1}, {0x48, true, &val, 1}, {0x48, true, &val, 1}};
    EXPECT_EQ(-1, i2c->transfer(m, 2));
    EXPECT_EQ(-1, i2c->transfer(m, 3));  // more than a combined transaction
    EXPECT_EQ(-1, i2c->transfer(m, 0));
}

TEST(HwShell, StatusesAndOutput)
{
    platform::HwShell sh;  // only harmless built-ins of /bin/sh
    EXPECT_EQ(0, sh.run("true"));
    EXPECT_EQ(7, sh.run("exit 7"));
    int st = -1;
    EXPECT_EQ("hi\n", sh.capture("echo hi", &st));
    EXPECT_EQ(0, st);
    sh.capture("exit 4", &st);
    EXPECT_EQ(4, st);
}

TEST(Serial, PseudoTerminalUnderTheRootCarriesBytes)
{
    TempRoot root;
    LogCapture log;
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(0, grantpt(master));
    ASSERT_EQ(0, unlockpt(master));
    std::filesystem::create_directories(root.at("/dev"));
    std::filesystem::create_symlink(ptsname(master), root.at("/dev/ttyS2"));

    int fd = platform::open_serial("/dev/ttyS2", 115200);
    ASSERT_GE(fd, 0);
    termios t{};
    ASSERT_EQ(0, tcgetattr(fd, &t));
    EXPECT_EQ(speed_t(B115200), cfgetospeed(&t));
    EXPECT_EQ(tcflag_t(CS8), t.c_cflag & CSIZE);
    EXPECT_EQ(0u, t.c_cflag & (PARENB | CSTOPB));
    EXPECT_EQ(0u, t.c_lflag & (ICANON | ECHO));
    const uint8_t frame[] = {0xA5, 0x0A, 0x0D, 0x5A};   // raw: no CR/LF translation
    ASSERT_EQ(4, write(master, frame, 4));
    uint8_t in[4] = {};
    size_t got = 0;
    while (got < 4) {
        ssize_t n = read(fd, in + got, 4 - got);
        ASSERT_GT(n, 0);
        got += size_t(n);
    }
    EXPECT_EQ(0, memcmp(frame, in, 4));
    ::close(fd);
    ::close(master);

    errno = 0;
    EXPECT_EQ(-1, platform::open_serial("/dev/ttyS2", 12345));
    EXPECT_EQ(EINVAL, errno);
    EXPECT_EQ(-1, platform::open_serial("/dev/ttyS3", 115200));
    root.write("/dev/ttyS4", "");
    EXPECT_EQ(-1, platform::open_serial("/dev/ttyS4", 115200));  // not a terminal
}

}  // namespace
