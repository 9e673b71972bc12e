#pragma once
// The simulated board (K57_BOARD=sim): the platform::Board whose devices are models.
//
// It holds: SPI models by spidev path; I2C models by 7-bit address on "/dev/i2c-0", either
// on the bus itself or behind a channel of an I2C switch; the SoC register block (pads and
// identifier words); MTD partitions backed by files under $K57_ROOT/sim/; the recording
// shell; and board.json (sim/board_config.h).
//
// Wiring a model in (from the model's own .cpp in sim/; it runs for every SimBoard):
//   SIM_DEVICE_INSTALLER(c331) {
//       board.add_spi("/dev/spidev32766.0", std::make_shared<C331Model>(board));
//   }
//   SIM_DEVICE_INSTALLER(inputs) {
//       auto sw = board.add_i2c_switch(0x77, "i2c_switch_rx");          // 8-bit 0xEE
//       board.add_i2c(0x48, std::make_shared<Rx>("it6602_0"), sw, 0x01); // behind channel bit 0
//   }
// A model reads its own board.json keys through config() (re-read on change; compare
// config_generation() or register on_config_change()).
//
// Observation: creating $K57_ROOT/sim/dump-request makes the watcher thread write each
// device's state to $K57_ROOT/sim/state/<device>.json (plus "soc.json") and delete the request.
//
// Time: when K57_TIME_SCALE is set to a number above 1, the board installs a clock on which
// every platform sleep runs that many times faster (and now_us() runs that much faster), so
// a whole-process run reaches long hardware waits quickly. Unset, 0 or 1: the real clock.
//
// In-process tests: SimBoard::Options{.watcher = false} and SimBoard::install_for_test(root).
#include <QJsonObject>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/board.h"
#include "sim/board_config.h"
#include "sim/device.h"
#include "sim/sim_mtd.h"
#include "sim/sim_shell.h"
#include "sim/soc_regs.h"

namespace sim {

class SimBoard : public platform::Board {
public:
    struct Options {
        bool watcher = true;           // poll board.json and dump-request from a thread
        bool install_models = true;    // run every SIM_DEVICE_INSTALLER
        bool time_scale_from_env = true;
    };

    // Uses platform::root(); creates $root/sim and board.json when missing.
    explicit SimBoard(Options opt);
    SimBoard() : SimBoard(Options{}) {}
    ~SimBoard() override;

    // Points K57_ROOT at root, creates a board without the watcher and installs it.
    // The caller keeps the board; destroying it uninstalls it.
    static std::unique_ptr<SimBoard> install_for_test(const std::string& root, Options opt = no_watcher());
    static Options no_watcher() { Options o; o.watcher = false; return o; }

    // --- platform::Board ---
    const char* name() const override { return "sim"; }
    platform::Shell& shell() override { return shell_; }
    platform::Mtd& mtd() override { return mtd_; }
    std::unique_ptr<platform::SpiDevice> open_spi(const std::string& path) override;
    std::unique_ptr<platform::I2cBus> open_i2c(const std::string& path) override;
    platform::RegWindow& soc_window(platform::WindowStatus* status = nullptr) override;
    std::unique_ptr<platform::RegWindow> map_phys(uint32_t phys_base, uint32_t length) override;
    int open_knob() override;
    int write_fault(const std::string& real_path) const override { return config_.write_fault(real_path); }

    // --- wiring ---
    // path as the device software names it ("/dev/spidev32766.0"). Replaces an earlier model.
    void add_spi(const std::string& path, std::shared_ptr<SpiModel> m);
    std::shared_ptr<SpiModel> spi_model(const std::string& path) const;
    // A device at addr7 on the bus (parent null) or behind channel bit(s) ch_mask of a switch.
    void add_i2c(uint8_t addr7, std::shared_ptr<I2cModel> m,
                 const std::shared_ptr<I2cSwitch>& parent = nullptr, uint8_t ch_mask = 0);
    std::shared_ptr<I2cSwitch> add_i2c_switch(uint8_t addr7, const std::string& name,
                                              const std::shared_ptr<I2cSwitch>& parent = nullptr,
                                              uint8_t ch_mask = 0);
    // A device on no bus (one that only watches pads): dumped like the others.
    void add_device(std::shared_ptr<Device> d);
    // Any wired device by its name (the dump file's name), or null.
    std::shared_ptr<Device> device(const std::string& name) const;
    // The device answering at addr7 with the switches as they are now (null: none, a NACK).
    std::shared_ptr<I2cModel> i2c_target(uint8_t addr7) const;
    // One I2C_RDWR: 0 done, -1 when any message gets no answer.
    int i2c_transfer(platform::I2cMsg* msgs, int count);

    SocRegs& soc() { return soc_; }
    SimShell& sim_shell() { return shell_; }
    SimMtd& sim_mtd() { return mtd_; }

    // --- board.json ---
    QJsonObject config() const { return config_.json(); }
    uint64_t config_generation() const { return config_.generation(); }
    BoardConfig& board_config() { return config_; }
    // Called (on the watcher's thread, or the poll() caller's) after each re-read.
    void on_config_change(std::function<void()> fn);

    // --- observation ---
    // Writes state/<device>.json for every device, soc.json, then runs the dump writers.
    void dump_state();
    // Extra writers (e.g. a screen grab); get the state directory. Called from the watcher.
    void add_dump_writer(std::function<void(const std::string& state_dir)> fn);
    // One watcher step: re-read board.json when changed, serve a dump request.
    void poll();

    std::string sim_dir() const { return sim_dir_; }

private:
    struct I2cNode {
        uint8_t addr7;
        std::shared_ptr<I2cModel> model;
        std::shared_ptr<I2cSwitch> parent;  // null: on the bus
        uint8_t ch_mask;
    };
    std::vector<std::shared_ptr<Device>> all_devices() const;
    bool reachable(const I2cNode& n) const;
    void apply_config();
    void watcher_loop();
    void watcher_loop_polling();  // without inotify

    std::string sim_dir_;
    BoardConfig config_;
    SocRegs soc_;
    SimShell shell_;
    SimMtd mtd_;
    std::unique_ptr<platform::RegWindow> soc_window_;
    std::unique_ptr<platform::Clock> scaled_clock_;

    mutable std::mutex mu_;  // the wiring tables and hooks
    std::map<std::string, std::shared_ptr<SpiModel>> spi_;
    std::vector<I2cNode> i2c_;
    std::vector<std::shared_ptr<Device>> others_;
    std::vector<std::function<void()>> config_hooks_;
    std::vector<std::function<void(const std::string&)>> dump_writers_;

    std::atomic<bool> stop_{false};
    std::thread watcher_;
};

// Installers of the models: each runs once for every SimBoard (Options::install_models).
using DeviceInstaller = void (*)(SimBoard& board);
struct InstallerRegistration {
    InstallerRegistration(const char* name, DeviceInstaller fn);
};

// Makes select_board_from_env() able to create the board for K57_BOARD=sim.
void register_factory();

}  // namespace sim

#define SIM_DEVICE_INSTALLER(id)                                                         \
    static void sim_install_##id(::sim::SimBoard& board);                                \
    static const ::sim::InstallerRegistration sim_installer_reg_##id(#id, &sim_install_##id); \
    static void sim_install_##id(::sim::SimBoard& board)
