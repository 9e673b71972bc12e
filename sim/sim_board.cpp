// The simulated board: wiring, routing, board.json, observation.
#include "sim/sim_board.h"

#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <chrono>
#include <cstdlib>
#include <vector>

#include "platform/log_hook.h"
#include "platform/thread_name.h"
#include "platform/virtual_clock.h"

namespace sim {
namespace {

std::vector<std::pair<const char*, DeviceInstaller>>& installers()
{
    static std::vector<std::pair<const char*, DeviceInstaller>> v;
    return v;
}

// A spidev node opened on the board: passes each message to the model under its lock.
class SimSpiDevice : public platform::SpiDevice {
public:
    explicit SimSpiDevice(std::shared_ptr<SpiModel> m) : m_(std::move(m)) {}
    int configure(const platform::SpiConfig& want, platform::SpiConfig* got) override
    {
        std::lock_guard<std::recursive_mutex> lk(m_->device_lock());
        return m_->configure(want, got);
    }
    // The models see bytes, not clocks: the speed is not modelled.
    int transfer(const uint8_t* tx, uint8_t* rx, size_t len, uint32_t /*speed_hz*/) override
    {
        if (!tx && len)
            return -1;
        uint8_t small[64];  // the answer to a write, dropped: commands and status polls fit
        std::vector<uint8_t> scratch;
        if (!rx && len <= sizeof small) {
            rx = small;
        } else if (!rx) {
            scratch.resize(len);
            rx = scratch.data();
        }
        std::lock_guard<std::recursive_mutex> lk(m_->device_lock());
        return m_->transfer(tx, rx, len);
    }

private:
    std::shared_ptr<SpiModel> m_;
};

class SimI2cBus : public platform::I2cBus {
public:
    explicit SimI2cBus(SimBoard& b) : b_(b) {}
    int transfer(platform::I2cMsg* msgs, int count) override { return b_.i2c_transfer(msgs, count); }

private:
    SimBoard& b_;
};

// A view of the SoC registers at a window offset (the msys window, or "/dev/mem" inside it).
class SimRegWindow : public platform::RegWindow {
public:
    SimRegWindow(SocRegs* regs, uint32_t start, uint32_t length) : regs_(regs), start_(start), length_(length) {}
    bool mapped() const override { return regs_ != nullptr; }
    uint16_t read16(uint32_t off) override { return ok(off) ? regs_->read16(start_ + off) : 0; }
    void write16(uint32_t off, uint16_t v) override
    {
        if (ok(off))
            regs_->write16(start_ + off, v);
    }

private:
    bool ok(uint32_t off)
    {
        if (regs_ && off % 2 == 0 && uint64_t(off) + 2 <= length_)
            return true;
        platform::log_once(logged_, platform::kLogError,
                           regs_ ? "SoC register access outside the window: ignored"
                                 : "SoC register window not mapped: writes dropped, reads give 0");
        return false;
    }
    SocRegs* regs_;
    uint32_t start_, length_;
    std::atomic_flag logged_ = ATOMIC_FLAG_INIT;
};

std::string sim_dir_for_root() { return platform::rooted("/sim"); }

bool write_json(const std::string& path, const QJsonObject& o)
{
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    f.write(QJsonDocument(o).toJson());
    return true;
}

}  // namespace

InstallerRegistration::InstallerRegistration(const char* name, DeviceInstaller fn)
{
    installers().emplace_back(name, fn);
}

SimBoard::SimBoard(Options opt)
    : sim_dir_(sim_dir_for_root()),
      config_(sim_dir_ + "/board.json"),
      shell_(sim_dir_ + "/shell.log", config_),
      mtd_(sim_dir_, config_)
{
    QDir().mkpath(QString::fromStdString(sim_dir_));
    if (platform::root().empty())
        platform::log(platform::kLogWarning, "simulated board without K57_ROOT: its files go to /sim");
    config_.load();
    apply_config();
    soc_window_ = std::make_unique<SimRegWindow>(&soc_, 0, SocRegs::kLength);

    if (opt.time_scale_from_env) {
        const char* s = std::getenv("K57_TIME_SCALE");
        const long scale = s ? std::strtol(s, nullptr, 10) : 1;
        if (scale > 1) {
            scaled_clock_ = std::make_unique<platform::ScaledClock>(uint64_t(scale));
            platform::set_clock(scaled_clock_.get());
        }
    }
    if (opt.install_models)
        for (auto& [name, fn] : installers())
            fn(*this);
    if (opt.watcher)
        watcher_ = std::thread([this] { watcher_loop(); });
}

SimBoard::~SimBoard()
{
    stop_ = true;
    if (watcher_.joinable())
        watcher_.join();
    if (scaled_clock_ && &platform::clock() == scaled_clock_.get())
        platform::set_clock(nullptr);
    if (&platform::board() == this)
        platform::install_board(nullptr);  // no one may reach a destroyed board
}

std::unique_ptr<SimBoard> SimBoard::install_for_test(const std::string& root, Options opt)
{
    setenv("K57_ROOT", root.c_str(), 1);
    platform::reload_root();
    auto b = std::make_unique<SimBoard>(opt);
    platform::install_board(b.get());
    return b;
}

// --- platform::Board ---

std::unique_ptr<platform::SpiDevice> SimBoard::open_spi(const std::string& path)
{
    auto m = spi_model(path);
    if (!m) {
        platform::log(platform::kLogError, "can't open " + path + " (no device on the simulated board)");
        return nullptr;
    }
    return std::make_unique<SimSpiDevice>(std::move(m));
}

std::unique_ptr<platform::I2cBus> SimBoard::open_i2c(const std::string& path)
{
    if (path != "/dev/i2c-0") {
        platform::log(platform::kLogError, "can't open " + path + " (no such bus on the simulated board)");
        return nullptr;
    }
    return std::make_unique<SimI2cBus>(*this);
}

platform::RegWindow& SimBoard::soc_window(platform::WindowStatus* status)
{
    if (status)
        *status = platform::WindowStatus::Ok;
    return *soc_window_;
}

std::unique_ptr<platform::RegWindow> SimBoard::map_phys(uint32_t phys_base, uint32_t length)
{
    const uint64_t end = uint64_t(phys_base) + length;
    if (phys_base >= SocRegs::kPhysBase && end <= uint64_t(SocRegs::kPhysBase) + SocRegs::kLength && length > 0)
        return std::make_unique<SimRegWindow>(&soc_, phys_base - SocRegs::kPhysBase, length);
    platform::log(platform::kLogError, "simulated /dev/mem: nothing at the requested physical range");
    return std::make_unique<SimRegWindow>(nullptr, 0, 0);
}

int SimBoard::open_knob()
{
    static std::atomic_flag logged = ATOMIC_FLAG_INIT;
    platform::log_once(logged, platform::kLogInfo, "knob /dev/ec11 absent on the simulated board");
    return -1;
}

// --- wiring ---

void SimBoard::add_spi(const std::string& path, std::shared_ptr<SpiModel> m)
{
    std::lock_guard<std::mutex> lk(mu_);
    spi_[path] = std::move(m);
}

std::shared_ptr<SpiModel> SimBoard::spi_model(const std::string& path) const
{
    std::lock_guard<std::mutex> lk(mu_);
    auto it = spi_.find(path);
    return it == spi_.end() ? nullptr : it->second;
}

void SimBoard::add_i2c(uint8_t addr7, std::shared_ptr<I2cModel> m, const std::shared_ptr<I2cSwitch>& parent,
                       uint8_t ch_mask)
{
    std::lock_guard<std::mutex> lk(mu_);
    i2c_.push_back({uint8_t(addr7 & 0x7F), std::move(m), parent, ch_mask});
}

std::shared_ptr<I2cSwitch> SimBoard::add_i2c_switch(uint8_t addr7, const std::string& name,
                                                    const std::shared_ptr<I2cSwitch>& parent, uint8_t ch_mask)
{
    auto sw = std::make_shared<I2cSwitch>(name);
    add_i2c(addr7, sw, parent, ch_mask);
    return sw;
}

void SimBoard::add_device(std::shared_ptr<Device> d)
{
    std::lock_guard<std::mutex> lk(mu_);
    others_.push_back(std::move(d));
}

std::shared_ptr<Device> SimBoard::device(const std::string& name) const
{
    for (const auto& d : all_devices())
        if (d->name() == name)
            return d;
    return nullptr;
}

// A node answers when every switch on its way has one of the node's channels selected.
bool SimBoard::reachable(const I2cNode& n) const
{
    if (!n.parent)
        return true;
    uint8_t ch;
    {
        std::lock_guard<std::recursive_mutex> lk(n.parent->device_lock());
        ch = n.parent->channels();
    }
    if (!(ch & n.ch_mask))
        return false;
    for (const auto& up : i2c_)
        if (up.model == n.parent)
            return reachable(up);
    return false;  // a switch that is not wired in
}

std::shared_ptr<I2cModel> SimBoard::i2c_target(uint8_t addr7) const
{
    std::lock_guard<std::mutex> lk(mu_);
    for (const auto& n : i2c_)
        if (n.addr7 == (addr7 & 0x7F) && reachable(n))
            return n.model;
    return nullptr;
}

int SimBoard::i2c_transfer(platform::I2cMsg* msgs, int count)
{
    if (!msgs || count < 1 || count > 2)
        return -1;
    // Both messages of a combined transaction go to the first one's device (a repeated start
    // to another address does not happen on this bus).
    auto dev = i2c_target(uint8_t(msgs[0].addr));
    if (!dev)
        return -1;
    std::lock_guard<std::recursive_mutex> lk(dev->device_lock());
    dev->i2c_start();
    bool ok = true;
    for (int i = 0; i < count && ok; ++i) {
        if (msgs[i].addr != msgs[0].addr || (msgs[i].len && !msgs[i].buf))
            ok = false;
        else
            ok = msgs[i].read ? dev->i2c_read(msgs[i].buf, msgs[i].len) : dev->i2c_write(msgs[i].buf, msgs[i].len);
    }
    dev->i2c_stop();
    return ok ? 0 : -1;
}

// --- board.json ---

void SimBoard::apply_config()
{
    const auto w = config_.soc_id_words();
    for (int i = 0; i < 3; ++i)
        soc_.set16(SocRegs::kIdWordOffset[i], w[i]);
}

void SimBoard::on_config_change(std::function<void()> fn)
{
    std::lock_guard<std::mutex> lk(mu_);
    config_hooks_.push_back(std::move(fn));
}

// --- observation ---

std::vector<std::shared_ptr<Device>> SimBoard::all_devices() const
{
    std::lock_guard<std::mutex> lk(mu_);
    std::vector<std::shared_ptr<Device>> v;
    for (const auto& [path, m] : spi_)
        v.push_back(m);
    for (const auto& n : i2c_)
        v.push_back(n.model);
    v.insert(v.end(), others_.begin(), others_.end());
    return v;
}

void SimBoard::dump_state()
{
    const std::string dir = sim_dir_ + "/state";
    QDir().mkpath(QString::fromStdString(dir));
    for (const auto& d : all_devices()) {
        QJsonObject o;
        {
            std::lock_guard<std::recursive_mutex> lk(d->device_lock());
            o = QJsonObject{{"device", QString::fromStdString(d->name())},
                            {"registers", d->state()},
                            {"transactions_total", double(d->record().total())},
                            {"transactions", d->record().to_json()}};
        }
        write_json(dir + "/" + d->name() + ".json", o);
    }
    write_json(dir + "/soc.json", QJsonObject{{"device", "soc"}, {"registers", soc_.state()}});
    std::vector<std::function<void(const std::string&)>> writers;
    {
        std::lock_guard<std::mutex> lk(mu_);
        writers = dump_writers_;
    }
    for (auto& w : writers)
        w(dir);
}

void SimBoard::add_dump_writer(std::function<void(const std::string&)> fn)
{
    std::lock_guard<std::mutex> lk(mu_);
    dump_writers_.push_back(std::move(fn));
}

void SimBoard::poll()
{
    if (config_.poll()) {
        apply_config();
        std::vector<std::function<void()>> hooks;
        {
            std::lock_guard<std::mutex> lk(mu_);
            hooks = config_hooks_;
        }
        for (auto& h : hooks)
            h();
    }
    const std::string req = sim_dir_ + "/dump-request";
    if (::access(req.c_str(), F_OK) == 0) {
        dump_state();
        ::unlink(req.c_str());
    }
}

void SimBoard::watcher_loop()
{
    platform::name_this_thread("sim-board");
    // Woken by changes in the sim directory (board.json written, dump-request created), so an
    // idle board costs no wake-ups; a look once a second covers a change inotify missed.
    // Real time on purpose: the watcher serves the outside world, not the device's clock.
    const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd >= 0 && ::inotify_add_watch(fd, sim_dir_.c_str(), IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE) < 0) {
        ::close(fd);
        return watcher_loop_polling();
    }
    if (fd < 0)
        return watcher_loop_polling();
    alignas(inotify_event) char events[4096];
    bool look = true;  // first pass, then after a time-out or an event on one of our files
    while (!stop_) {
        if (look)
            poll();
        pollfd p{fd, POLLIN, 0};
        look = ::poll(&p, 1, 1000) <= 0;
        // Models write their own files here too (shell.log, flash images): only ours count.
        ssize_t n;
        while ((n = ::read(fd, events, sizeof events)) > 0)
            for (ssize_t at = 0; at < n;) {
                const auto* ev = reinterpret_cast<const inotify_event*>(events + at);
                const std::string name = ev->len ? ev->name : "";
                look = look || name == "board.json" || name == "dump-request";
                at += ssize_t(sizeof(inotify_event) + ev->len);
            }
    }
    ::close(fd);
}

void SimBoard::watcher_loop_polling()
{
    while (!stop_) {
        poll();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

// --- selection ---

namespace {
platform::Board* make_sim_board()
{
    static SimBoard* b = new SimBoard();  // lives as long as the process
    return b;
}
}  // namespace

void register_factory() { platform::register_sim_factory(&make_sim_board); }

}  // namespace sim
