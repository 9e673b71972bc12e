#pragma once
// Simulated devices: the base classes a chip model derives from.
//
// Usage (a model of an SPI chip, e.g. sim/c331_model.cpp):
//
//   class MyChip : public sim::SpiModel {
//   public:
//       explicit MyChip(sim::SimBoard& b) : SpiModel("mychip"), board_(b) {}
//       int transfer(const uint8_t* tx, uint8_t* rx, size_t len) override {
//           if (board_.soc().read16(PAD_X) != 0x10) return 0;   // not selected: no answer
//           note_bytes("xfer", tx, len);                          // bounded record
//           ...fill rx...
//           return 0;
//       }
//       QJsonObject state() const override { ...registers... }
//   private:
//       sim::SimBoard& board_;
//   };
//   SIM_DEVICE_INSTALLER(mychip) { board.add_spi("/dev/spidev32766.0", std::make_shared<MyChip>(board)); }
//
// The board calls transfer()/i2c_*()/state()/reset() with the device's own lock held
// (device_lock()), so a model needs no lock of its own for its register state. Don't call
// back into another device from inside a call; reading or setting SoC pads is fine.
// Models live in the sim library and may use only platform/ and Qt Core (plus header-only
// register constants of other folders): the sim library is linked into every test.
#include <QJsonArray>
#include <QJsonObject>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/spi.h"
#include "sim/ring.h"

namespace sim {

// The record of the transactions addressed to a device: the last kRingKeep lines.
class TxnRecord {
public:
    void add(std::string line) { lines_.push(std::move(line)); }
    const Ring<std::string>& lines() const { return lines_; }
    uint64_t total() const { return lines_.total(); }  // every transaction ever added
    void clear() { lines_.clear(); }
    QJsonArray to_json() const;

private:
    Ring<std::string> lines_;
};

// "0a 1b ff" (at most max bytes, then "...").
std::string hex_bytes(const uint8_t* p, size_t n, size_t max = 32);

// Registers first .. first+count-1 of a register block as {"0xRR": value}; registers holding
// 0 are left out, so a dump lists only what was set.
QJsonObject set_registers(const uint8_t* regs, int first = 0, int count = 256);

class Device {
public:
    explicit Device(std::string name) : name_(std::move(name)) {}
    virtual ~Device() = default;
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // Names the dump file: $K57_ROOT/sim/state/<name>.json
    const std::string& name() const { return name_; }

    // The register state for the dump (the record is added by the board).
    virtual QJsonObject state() const { return {}; }
    // Back to reset values (a test may call it; the board never does on its own).
    virtual void reset() {}

    std::recursive_mutex& device_lock() const { return lock_; }
    TxnRecord& record() { return record_; }
    const TxnRecord& record() const { return record_; }

protected:
    void note(std::string line) { record_.add(std::move(line)); }
    void note_bytes(const char* what, const uint8_t* p, size_t n) { note(std::string(what) + " " + hex_bytes(p, n)); }

private:
    std::string name_;
    mutable std::recursive_mutex lock_;
    TxnRecord record_;
};

// A device on a spidev node. One call per SPI message.
class SpiModel : public Device {
public:
    using Device::Device;
    // tx: the len bytes clocked out; rx: where the len bytes clocked in go (never null: a
    // transmit-only message gets a scratch buffer). 0 done, -1 failed (the ioctl's error).
    virtual int transfer(const uint8_t* tx, uint8_t* rx, size_t len) = 0;
    // Default: accepts what is asked and reports it back.
    virtual int configure(const platform::SpiConfig& want, platform::SpiConfig* got);
    const platform::SpiConfig& config() const { return cfg_; }

protected:
    platform::SpiConfig cfg_;
};

// A device at a 7-bit I2C address. One combined transaction is split into its messages:
// a write message, then (optionally) a read message, without a stop between them.
class I2cModel : public Device {
public:
    using Device::Device;
    // A write message. false = NACK (the whole transaction fails).
    virtual bool i2c_write(const uint8_t* data, size_t len) = 0;
    // A read message. false = NACK.
    virtual bool i2c_read(uint8_t* data, size_t len) = 0;
    // Called when a transaction starts and ends (a register pointer may reset at stop).
    virtual void i2c_start() {}
    virtual void i2c_stop() {}
};

// An I2C switch (one control byte; bit n connects downstream channel n). Written as
// {0x00, byte} or {byte}; reads give the control byte. The board routes through it.
class I2cSwitch : public I2cModel {
public:
    using I2cModel::I2cModel;
    bool i2c_write(const uint8_t* data, size_t len) override;
    bool i2c_read(uint8_t* data, size_t len) override;
    QJsonObject state() const override;
    void reset() override { channels_ = 0; }
    uint8_t channels() const { return channels_; }
    void set_channels(uint8_t c) { channels_ = c; }

private:
    uint8_t channels_ = 0;
};

}  // namespace sim
