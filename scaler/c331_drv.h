#pragma once
// C331 transport: the only road to the scaler chip. Byte registers in 256 banks of 128,
// reached over SPI with two-byte frames (see c331_regs.h). Every transfer first steers the
// shared SPI bus to the chip through the two SoC multiplexer pads.
//
// Locking: Utils::_c331_bnk_mutex is held across one whole register access (bank select and
// every byte), Utils::_spi_mutex inside it for each two-byte transfer. Callers holding
// c331_lock take these inside it.
#include <cstdint>
#include <memory>

namespace platform { class SpiDevice; }

class c331_drv {
public:
    static constexpr const char* kDevicePath = "/dev/spidev32766.0";
    static constexpr uint32_t kSpeedWriteHz = 10000000;
    static constexpr uint32_t kSpeedReadHz = 5000000;
    // SoC window offsets of the bus multiplexer pads; both at kPadC331 reach the chip.
    static constexpr uint32_t kPadSpiMuxA = 0x207900;
    static constexpr uint32_t kPadSpiMuxB = 0x207810;
    static constexpr uint16_t kPadC331 = 0x0010;

    c331_drv();
    ~c331_drv();

    // Opens and configures the chip's spidev node (mode 3, 8 bits, 10 MHz).
    // Returns the descriptor handed to every access, -1 when the node could not be opened.
    int initialize();
    // Takes an already opened device (tests, other boards); same result as initialize().
    int attach(std::unique_ptr<platform::SpiDevice> dev);

    // Forgets the selected bank: the next access sends a bank select.
    void init_reg_acc_param();

    void write_C331(int fd, unsigned regid, unsigned value, unsigned choffs);
    unsigned read_C331(int fd, unsigned regid, unsigned choffs);
    // Bits set in mask come from value, the others keep their state. The read and the
    // write are one locked step, so no other access lands between them.
    void write_c331_mask(int fd, unsigned regid, unsigned value, unsigned mask, unsigned choffs);

    // One two-byte message; return the bytes transferred, <= 0 on failure.
    int SPI_Transfer(int fd, const unsigned char* tx, unsigned char* rx, int len);
    int SPI_Transfer_Write(int fd, const unsigned char* tx, int len);

    int cached_bank() const { return bank_; }

private:
    // Unlocked steps; the caller holds Utils::_c331_bnk_mutex.
    bool select_bank(int fd, int bank);
    void write_locked(int fd, unsigned regid, unsigned value, unsigned choffs);
    unsigned read_locked(int fd, unsigned regid, unsigned choffs, bool* ok = nullptr);
    int transfer(int fd, const unsigned char* tx, unsigned char* rx, int len, uint32_t speed_hz);

    int bank_ = -1;   // bank last selected on the chip, -1 unknown
    std::unique_ptr<platform::SpiDevice> dev_;
};
