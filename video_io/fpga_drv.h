#pragma once
// The lowest layer to the FPGA of the LED outputs: its spidev devices and the serial NOR
// commands of its configuration flash (busy wait, erase, page program, fast read, unique
// identifier). The bus is shared with the C331: every flash sequence steers the multiplexer
// pads under Utils::_spi_mutex and leaves them idle (both 16) when done.
//
// Only chip 0 (index 0) and its flash (index 2) are ever opened. Flash numbers other than 2
// are refused: the second chip's flash has no descriptor.
#include <cstdint>
#include <memory>

namespace platform { class SpiDevice; class RegWindow; }

class fpga_drv {
public:
    static constexpr int kDevices = 4;
    static constexpr uint32_t kSpeedHz = 10000000;
    static constexpr uint64_t kBusyTimeoutUs = 3000000;  // a flash busy longer is given up
    static constexpr uint32_t kReadChunk = 2048;         // data bytes per read message

    fpga_drv();
    ~fpga_drv();

    // Opens and configures device `index` (0..3 of the table); indexes 1 and 3 open nothing.
    // Returns the descriptor (the index), or -1.
    int initialize_vbyne1(unsigned char index);

    // One message on descriptor fd: 1 when sent, 0 or less when not (printed).
    int SPI_Transfer(int fd, const unsigned char* tx, unsigned char* rx, int len);
    int SPI_Transfer_Write(int fd, const unsigned char* tx, int len);

    // Polls the status register until the flash is idle, at most kBusyTimeoutUs.
    // 1 idle, 0 timed out (logged). The caller holds the bus (flash 0 selected); it is let go
    // while the wait sleeps between polls and held again when the wait returns. The flash stays
    // the caller's meanwhile: each operation below holds the flash's own lock (one command at a
    // time, in the order asked) over each command and its wait: a page, an erase unit, a read.
    int FPGA_SPI_WAIT_BUSY(int fd);

    // Each returns 1 done, 0 refused or failed (range, flash number, busy time-out).
    // `issued`, when given, is set once an erase command went out: from then on what the
    // units held may be gone, even when the flash then stays busy and the erase fails.
    // With `done`: stops after the first unit that ends `part_us` or more after the start
    // (units left); *done is the count of units erased.
    unsigned int FPGA_SPI_FLASH_VBYONE_ERASE(unsigned char flash, unsigned int sector, unsigned char type,
                                             unsigned int count, bool* issued = nullptr, uint64_t part_us = 0,
                                             unsigned int* done = nullptr);
    unsigned int FPGA_SPI_FLASH_VBYONE_WRITE(unsigned char flash, unsigned int address, const unsigned char* data,
                                             unsigned int length);
    unsigned int FPGA_SPI_FLASH_VBYONE_READ(unsigned char flash, unsigned int address, unsigned int length,
                                            unsigned char* out);
    // 1 and the 8 identifier bytes in out; 0 refused.
    unsigned int FPGA_SPI_FLASH_SSTF016B_RD_UID(unsigned char flash, unsigned char* out);


private:
    bool select_flash(unsigned char flash);  // takes the bus; false = refused (nothing taken)
    void release_flash();
    bool take_flash(unsigned char flash);  // the flash's command lock, then the bus; false as above
    void give_flash();
    int page_program(int fd, uint32_t address, const unsigned char* data, uint32_t n);

    std::unique_ptr<platform::SpiDevice> dev_[kDevices];
};
