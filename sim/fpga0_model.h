#pragma once
// Simulated FPGA chip 0 on "/dev/spidev32766.1", with the receiving cards and the VMF module
// on its 16 output ports.
//
// The chip answers only while PAD_SPI_MUX_A is 16, PAD_SPI_MUX_B 0 and PAD_FPGA0_CFG 16 (a
// read otherwise gives 0). A message while PAD_FPGA0_SEL is 16 is a 4-byte command word, the
// next message its data: register write (old & ~mask) | (value & mask), register read, RAM
// write or read (12-bit address in a RAM block). PAD_FPGA0_CFG going 0 -> 16 powers it on.
//
// board.json keys (re-read live):
//   "fpga_version": [28, 29, 30, 31]       version registers (default [1, 0, 0, 33])
//   "fpga_not_ready": false                register 0 bit 3
//   "fpga_vbo_locked": true                register 40 reads 0x1C (else 0)
//   "fpga_age_r42": 0, "fpga_age_step": 1  register 42; register 43 rises by the step per read
//   "fpga_stage1_polls": 0                 reads of register 22 after register 3 bit 6 before
//                                          bit 3 clears (huge: stuck)
//   "fpga_restart": 0                      a change restarts the FPGA (register 22 bit 6,
//   "fpga_version_after_restart": 33       interrupt, register 31 reads this)
//   "fpga_input": [4096, 2160, 833753]     parameter page bytes 116-123 (width, height, clock)
//   "cards": [2, 2, 0, ...]                receiving cards per output port (16 entries)
//   "card_bad_checksum": false             the cards answer with a wrong checksum
//   "vmf": {"port": -1, "power_allowed": 1, "wanted": 12, "reading": true, "bad_checksum": false}
//                                          the VMF module's port (-1 none) and its answers
#include <QJsonObject>
#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <vector>

#include "sim/device.h"

namespace sim {

class SimBoard;

class Fpga0Model : public SpiModel {
public:
    static constexpr const char* kPath = "/dev/spidev32766.1";

    struct Sent {
        int port;
        std::vector<uint8_t> bytes;
    };

    explicit Fpga0Model(SimBoard& board);

    int transfer(const uint8_t* tx, uint8_t* rx, size_t len) override;
    QJsonObject state() const override;
    void reset() override;

    // ---- observation (take device_lock() or call while the software is idle) ----
    uint8_t reg(uint8_t r) const { return regs_[r]; }
    std::vector<uint8_t> ram(uint8_t block, uint32_t addr, uint32_t len) const;
    // The frames sent to the ports, the most recent kRingKeep of them.
    const Ring<Sent>& sent() const { return sent_; }
    void clear_sent() { sent_.clear(); }
    uint32_t power_ons() const { return power_ons_; }
    uint64_t transfers() const { return transfers_; }
    uint8_t relays() const { return relays_; }             // bit r-1: relay r switched on
    int brightness() const { return brightness_; }         // last value the cards took, -1 none
    uint64_t card_brightness_takes() const { return card_brightness_takes_; }  // by port with cards
    // Register reads by register number (tests check what was read over the bus).
    uint64_t reads_of(uint8_t r) const { return reads_[r]; }

private:
    bool selected() const;
    void power_on();
    void refresh_config();
    uint8_t read_reg(uint8_t r);
    void write_reg(uint8_t r, uint8_t value, uint8_t mask);
    void send_pair(int pair);
    void answer(int port, const std::vector<uint8_t>& req);
    void vmf_answer(int port, const std::vector<uint8_t>& req);
    void queue(int port, std::vector<uint8_t> frame);
    void load_head(int pair);
    void update_irq();
    int cards_on(int port) const;

    SimBoard& board_;
    uint8_t regs_[256];
    std::map<uint8_t, std::vector<uint8_t>> ram_;  // block -> 4096 bytes
    std::array<std::deque<std::vector<uint8_t>>, 8> answers_;
    Ring<Sent> sent_;
    uint64_t reads_[256] = {};
    uint32_t word_ = 0;
    bool have_word_ = false;
    bool powered_ = false;
    uint16_t last_cfg_ = 0;
    uint32_t power_ons_ = 0;
    uint64_t stage1_reads_ = 0;
    bool restart_unreported_ = false;
    uint8_t relays_ = 0;
    int brightness_ = -1;
    uint64_t card_brightness_takes_ = 0;
    uint64_t transfers_ = 0;
    // Cached board.json.
    uint64_t seen_generation_ = 0;
    QJsonObject cfg_;
    int last_restart_ = 0;
};

}  // namespace sim
