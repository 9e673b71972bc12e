#pragma once
// The device's real interfaces (K57_BOARD=hw, the default): spidev, i2c-dev, the msys
// driver and "/dev/mem", MTD character devices, /bin/sh. Every path is rooted, so tests can
// run these classes under a temporary root where the nodes are missing or plain files.
#include <unistd.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "platform/board.h"

namespace platform {

// An owned file descriptor, closed with its owner.
class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    ~UniqueFd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Opens a device node (rooted) read-write; -1 when it can't, with the reason logged.
int open_device_node(const std::string& path);

class HwSpiDevice : public SpiDevice {
public:
    // Opens rooted(path) read-write; check fd() >= 0.
    explicit HwSpiDevice(const std::string& path) : fd_(open_device_node(path)) {}
    int fd() const { return fd_.get(); }
    int configure(const SpiConfig& want, SpiConfig* got) override;
    int transfer(const uint8_t* tx, uint8_t* rx, size_t len, uint32_t speed_hz) override;

private:
    UniqueFd fd_;
    SpiConfig cfg_;
};

class HwI2cBus : public I2cBus {
public:
    explicit HwI2cBus(const std::string& path) : fd_(open_device_node(path)) {}
    int fd() const { return fd_.get(); }
    int transfer(I2cMsg* msgs, int count) override;

private:
    UniqueFd fd_;
};

// A mapping of "/dev/mem" (or nothing: then reads give 0 and writes are dropped, logged once).
class MemWindow : public RegWindow {
public:
    MemWindow() = default;  // unmapped
    MemWindow(void* map, size_t map_len, size_t skip, uint32_t length);
    ~MemWindow() override;
    bool mapped() const override { return base_ != nullptr; }
    uint16_t read16(uint32_t offset) override;
    void write16(uint32_t offset, uint16_t value) override;

private:
    bool in_range(uint32_t offset);

    void* map_ = nullptr;       // what munmap gets
    size_t map_len_ = 0;
    volatile uint8_t* base_ = nullptr;
    uint32_t length_ = 0;
    std::atomic_flag unmapped_logged_ = ATOMIC_FLAG_INIT;
    std::atomic_flag range_logged_ = ATOMIC_FLAG_INIT;
};

// The msys driver's answer to request 0x5315: five 32-bit words.
struct MsysRequest {
    uint32_t header = 0x4D530100;
    uint32_t phys_base = 0;   // filled by the driver
    uint32_t reserved = 0;
    uint32_t length = 0;      // filled by the driver
    uint32_t size = 20;
};
static_assert(sizeof(MsysRequest) == 20, "the msys record is 20 bytes");
constexpr unsigned long kMsysRequestWindow = 0x5315;

// Maps the SoC register block: opens "/dev/msys" and "/dev/mem", asks for the block, maps it.
std::unique_ptr<RegWindow> map_soc_window(WindowStatus* status);
// Maps length bytes of "/dev/mem" at phys_base (any alignment); unmapped on failure.
std::unique_ptr<RegWindow> map_mem(uint32_t phys_base, uint32_t length);

class HwMtd : public Mtd {
public:
    int open(const char* path, int flags) override;
    int close(int fd) override;
    int getinfo(int fd, MtdInfo* info) override;
    int unlock(int fd, uint32_t start, uint32_t length) override;
    int erase(int fd, uint32_t start, uint32_t length) override;
    ssize_t pwrite(int fd, const void* data, size_t len, off_t offset) override;
};

class HwShell : public Shell {
public:
    int run(const std::string& cmdline) override;
    std::string capture(const std::string& cmdline, int* status = nullptr) override;
};

// Opens rooted "/dev/ec11" read-write with SIGIO sent to this process; -1 when absent.
int open_knob_device();

class HwBoard : public Board {
public:
    const char* name() const override { return "hw"; }
    Shell& shell() override { return shell_; }
    Mtd& mtd() override { return mtd_; }
    std::unique_ptr<SpiDevice> open_spi(const std::string& path) override;
    std::unique_ptr<I2cBus> open_i2c(const std::string& path) override;
    RegWindow& soc_window(WindowStatus* status = nullptr) override;
    std::unique_ptr<RegWindow> map_phys(uint32_t phys_base, uint32_t length) override;
    int open_knob() override { return open_knob_device(); }

private:
    HwShell shell_;
    HwMtd mtd_;
    std::once_flag window_once_;
    std::unique_ptr<RegWindow> window_;
    WindowStatus window_status_ = WindowStatus::NoMsys;
};

}  // namespace platform
