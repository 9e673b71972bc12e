#pragma once
// The SoC register block as the simulated board serves it: 16-bit registers at byte
// offsets of the window that the msys driver reports (physical 0x1F000000, 0x2B0000 bytes).
// "/dev/mem" mapped inside that block shows the same registers.
//
// Usage from a model:
//   board.soc().watch(PAD_FPGA0_CFG, [this](uint32_t off, uint16_t v) { ...reset line... });
//   board.soc().set16(PAD_FPGA0_IRQ, 1);     // a line the device drives (no watchers fire)
//   if (board.soc().read16(PAD_SPI_MUX_A) == 0x10) ...
// Watchers run on the writer's thread, outside the register lock, so they may take their
// device's lock and read or set other pads.
//
// The registers are kept in flat banks of 4 KiB of the window, each made on its first write:
// a model polling a pad costs an index, not a search. Offsets are even and inside the window;
// others read 0 and take no writes.
#include <QJsonObject>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace sim {

class SocRegs {
public:
    static constexpr uint32_t kPhysBase = 0x1F000000;
    static constexpr uint32_t kLength = 0x2B0000;
    // Identifier words read by the configuration engine (one per board.json "soc_id_words").
    static constexpr uint32_t kIdWordOffset[3] = {0x4058, 0x405C, 0x4060};

    using Watcher = std::function<void(uint32_t offset, uint16_t value)>;

    uint16_t read16(uint32_t offset) const;
    // A write by the device software: stored, counted and passed to the watchers of offset.
    void write16(uint32_t offset, uint16_t value);
    // A value driven by the board or a device model: stored, watchers not called.
    void set16(uint32_t offset, uint16_t value);
    void watch(uint32_t offset, Watcher w);

    // How many software writes went to offset (for tests and the dump).
    uint64_t write_count(uint32_t offset) const;
    // Every non-zero register, {"0x207900": 16, ...}.
    QJsonObject state() const;

private:
    static constexpr uint32_t kBankBytes = 0x1000;
    static constexpr uint32_t kBankRegs = kBankBytes / 2;
    struct Bank {
        uint16_t value[kBankRegs] = {};
        uint64_t writes[kBankRegs] = {};
        bool watched[kBankRegs] = {};
    };
    // The bank of offset (nullptr for an offset not in the window); make() makes it if needed.
    const Bank* find(uint32_t offset) const;
    Bank* make(uint32_t offset);
    static bool in_window(uint32_t offset) { return offset % 2 == 0 && offset < kLength; }
    static uint32_t slot(uint32_t offset) { return offset % kBankBytes / 2; }

    mutable std::mutex mu_;
    std::unique_ptr<Bank> banks_[kLength / kBankBytes];
    std::map<uint32_t, std::vector<Watcher>> watchers_;
};

}  // namespace sim
