#pragma once
// The input side of the simulated board (I2C "/dev/i2c-0", 7-bit addresses):
//
//   i2c_switch_rx      0x77 on the bus: channels 0x01/0x02/0x04/0x08 the IT6602 receivers
//                      it6602_0..3, 0x20/0x10 the IT6805 devices (their own models)
//   i2c_switch_eeprom  0x70 on the bus: channels 0x01/0x02/0x04/0x08/0x20/0x10 the EDID
//                      EEPROMs edid_eeprom_0..5 (0x50), 0x80 the clock generator clkgen (0x68)
//   audio_selector     0x20 and it66121 0x4C on the bus
//   sdi_rx             no bus: watches PAD_SDI_RST (pulses and the last low time)
//
// Another model file attaches its devices behind the receiver switch through rx_switch():
//   SIM_DEVICE_INSTALLER(it6805) {
//       board.add_i2c(0x48, std::make_shared<It6805>(board, 0), sim::rx_switch(board), 0x20);
//   }
// Whichever installer runs first creates the switch; it is the same object for all.
//
// board.json keys (missing = default): "inputs" (sim/board_inputs.h) with the per-input
// "eeprom": "ok" | "absent" | "read_only" and "link_errors"; "it6602_addr" (148, the 8-bit
// address the four IT6602 answer at: 148 = 0x4A, 144 = 0x48; read when the board is built);
// "clkgen_nack" (the clock generator refuses its first n writes, 0); "eeprom_switch",
// "clkgen", "it66121", "audio_selector" (true = present).
#include <cstdint>
#include <memory>
#include <string>

#include "sim/device.h"

namespace sim {

class SimBoard;

// The receiver switch of a board (created on first call).
std::shared_ptr<I2cSwitch> rx_switch(SimBoard& board);

// A byte-register chip: {register, data...} writes with auto-increment, reads from the
// register pointer. Absent (every message NACKed) while its board.json key is false.
class RegChipModel : public I2cModel {
public:
    RegChipModel(SimBoard& board, std::string name, const char* present_key);
    bool i2c_write(const uint8_t* data, size_t len) override;
    bool i2c_read(uint8_t* data, size_t len) override;
    QJsonObject state() const override;
    void reset() override;
    uint8_t reg(uint8_t r) const { return regs_[r]; }
    uint64_t writes() const { return writes_; }
    void set_reg(uint8_t r, uint8_t v) { regs_[r] = v; }

protected:
    virtual bool refuse_write() { return false; }
    bool present() const;
    SimBoard& board_;

private:
    const char* present_key_;
    uint8_t regs_[256] = {};
    uint8_t ptr_ = 0;
    uint64_t writes_ = 0;
};

// A 256-byte EDID EEPROM backed by $K57_ROOT/sim/edid<s>.bin (0xFF when new).
class EepromModel : public I2cModel {
public:
    static constexpr uint64_t kWriteCycleUs = 5000;
    EepromModel(SimBoard& board, int s);
    bool i2c_write(const uint8_t* data, size_t len) override;
    bool i2c_read(uint8_t* data, size_t len) override;
    QJsonObject state() const override;
    const uint8_t* bytes() const { return mem_; }
    uint64_t page_writes() const { return page_writes_; }

private:
    std::string mode() const;  // "ok", "absent", "read_only"
    bool busy() const;
    void save_page(uint8_t page) const;
    SimBoard& board_;
    int s_;
    std::string path_;
    uint8_t mem_[256];
    uint8_t ptr_ = 0;
    uint64_t busy_until_us_ = 0;
    uint64_t page_writes_ = 0;
};

// The SDI receiver's reset line.
class SdiRxModel : public Device {
public:
    explicit SdiRxModel(SimBoard& board);
    QJsonObject state() const override;
    uint64_t pulses() const { return pulses_; }
    uint64_t last_low_us() const { return last_low_us_; }

private:
    void line(uint16_t v);
    uint16_t level_ = 1;
    uint64_t low_since_us_ = 0;
    uint64_t pulses_ = 0;
    uint64_t last_low_us_ = 0;
};

}  // namespace sim
