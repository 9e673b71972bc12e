#pragma once
// Runs the built device program (tlxK57N) as a child process for whole-process tests:
// start it with an environment, wait for a file or a condition with a bounded timeout,
// end it with SIGTERM and collect how it ended. The child's stdout and stderr go to a file.
//
//   testutil::TempDir root;
//   testutil::DeviceProcess dev(testutil::DeviceProcess::sim_options(root.path()));
//   ASSERT_TRUE(dev.start());
//   ASSERT_TRUE(dev.wait_for_file(root.file("data/configs/tcpip.ini"), 10000));
//   EXPECT_TRUE(dev.terminate());
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

#include <QJsonObject>

namespace testutil {

// $K57_BUILD_DIR/tlxK57N ("" when K57_BUILD_DIR is unset). CTest sets K57_BUILD_DIR to the
// build directory; a test program started by hand needs it set the same way.
std::string device_executable();

// A loopback TCP port free at the time of the call.
uint16_t free_tcp_port();
// An offset that moves the device's two UDP ports (5008, 13769) onto ports free at the time
// of the call (the simulated board honours K57_SIM_UDP_PORT_OFFSET).
uint16_t free_udp_offset();

class DeviceProcess {
public:
    struct Options {
        std::string exe;                          // program path
        std::vector<std::string> args;            // arguments after the program name
        std::map<std::string, std::string> env;   // added to (or replacing in) this environment
        std::string output_path;                  // stdout+stderr of the child ("" = inherit)
        uint16_t tcp_port = 0;                    // the remote TCP port the device listens on
        uint16_t udp_offset = 0;                  // K57_SIM_UDP_PORT_OFFSET given to the device
    };

    // The device on the simulated board: "-platform offscreen", K57_BOARD=sim,
    // K57_ROOT=root, output into root/process-output.txt. Its ports are free ones, so that
    // several devices (and a developer's own) can run side by side: a fresh root gets a
    // "tcpip.ini" naming a free TCP port, and the UDP ports are moved by a free offset.
    static Options sim_options(const std::string& root);

    explicit DeviceProcess(Options opt);
    ~DeviceProcess();  // kills (SIGKILL) and reaps a child still running
    DeviceProcess(const DeviceProcess&) = delete;
    DeviceProcess& operator=(const DeviceProcess&) = delete;

    // False, saying why on stderr, when the program is missing. The child is killed when the
    // thread that started it ends (and so with the test program, however it ends): start it
    // from the test's main thread.
    bool start();
    pid_t pid() const { return pid_; }
    // True while the child has not ended (reaps it when it has).
    bool running();

    // Polls `cond` every poll_ms until it holds (true) or timeout_ms pass or the child ends
    // (false).
    bool wait_for(const std::function<bool()>& cond, int timeout_ms, int poll_ms = 20);
    bool wait_for_file(const std::string& path, int timeout_ms);
    // Waits up to timeout_ms for the child to end by itself; true when it did.
    bool wait_exit(int timeout_ms);

    // Sends SIGTERM and waits up to timeout_ms; then SIGKILL. True when SIGTERM ended it.
    bool terminate(int timeout_ms = 5000);

    // How the child ended (valid once it has): exit code or the signal that ended it.
    bool exited() const { return ended_ && exit_code_ >= 0; }
    int exit_code() const { return exit_code_; }
    int term_signal() const { return term_signal_; }
    // The child's captured output so far.
    std::string output() const;

private:
    void reap(int status);

    Options opt_;
    pid_t pid_ = -1;
    bool ended_ = false;
    int exit_code_ = -1;
    int term_signal_ = 0;
};

// The device on the simulated board under `root` (sim_options) with its clock running
// `time_scale` times faster (K57_TIME_SCALE), not yet started; *tcp_port is set to the remote
// port it will listen on.
std::unique_ptr<DeviceProcess> sim_device(const std::string& root, const std::string& time_scale,
                                          uint16_t* tcp_port);

// Asks the running simulated board under `root` for a fresh state dump and returns the
// "registers" object of `device` (root/sim/state/<device>.json); empty when the request
// cannot be written (the board has not made its directory yet) or on time-out.
QJsonObject dump_registers(DeviceProcess& dev, const std::string& root, const std::string& device,
                           int timeout_ms);

// A register of `bytes` bytes (1..4, low byte first) at bank/r of a dump's register banks
// ({"0xBB": {"0xRR": value}}); registers holding 0 are not listed and read as 0.
uint32_t bank_register(const QJsonObject& banks, int bank, int r, int bytes);

// The 16-bit word (low byte first) of image address `addr` in the parameter file the device
// persists (root/data/ram_device_info, image 0x300.. from its byte 2); -1 while the file is
// shorter.
int para_file_word(const std::string& root, uint32_t addr);

// The front-panel key pipe of the simulated board under `root` ("F4", "F5", "F6", "BACK").
bool key_pipe_ready(const std::string& root);
// Writes one key line; non-blocking, so a device that has gone away fails the caller instead
// of hanging it.
bool send_key(const std::string& root, const std::string& line);

// An EEPROM image whose first block is an EDID base block: the header and a zero byte sum.
inline bool valid_edid_base_block(const std::string& e)
{
    if (e.size() != 256 || e.compare(0, 8, std::string("\x00\xFF\xFF\xFF\xFF\xFF\xFF\x00", 8)) != 0)
        return false;
    unsigned sum = 0;
    for (int i = 0; i < 128; ++i)
        sum += uint8_t(e[size_t(i)]);
    return (sum & 0xFF) == 0;
}

}  // namespace testutil
