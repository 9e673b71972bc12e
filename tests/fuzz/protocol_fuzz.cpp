// Fuzz target of the remote protocol: one input is what hostile peers send. Its bytes go
// through the frame reassembler, the decoder and the dispatcher of a transport endpoint,
// against the parameter store and the FPGA with its configuration flash on the simulated board
// under a temporary root. Every reply must be one well-formed frame; a crash, a sanitizer
// report or a bad reply ends the run.
//
// The first byte chooses how the rest is read:
//   even: wire bytes of one peer, handed over in pieces of (first byte / 2 + 1) bytes, so that
//         frames are split anywhere; each frame is served whole as it comes, as on UDP and the
//         serial line;
//   odd:  frame bodies of up to four peers, each as [length low][length high][body], the top
//         two bits of the length's high byte naming the peer and the rest the length; the
//         checksum is appended and the frame encoded here, so that mutated requests reach the
//         command handlers. The peers are served as the TCP server serves its clients: as each
//         frame arrives, one turn (a frame, or a part of a long erase, of every peer with one
//         waiting), and at the end turns until none waits, so one peer's frames land between
//         the parts of another's request.
//
// An input stops being served once it has made the FPGA flash carry out kFlashWriteBudget
// erases and programs: twice an erase of the whole flash in its smallest units. Past that an
// input only repeats work it has done (each erased unit costs the device's whole erase loop),
// and inputs that erase the flash many times over would otherwise set the rate of a long run.
#include <unistd.h>

#include <QDir>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "common/factory_store.h"
#include "common/temp_dir.h"
#include "core/log.h"
#include "core/utils.h"
#include "platform/virtual_clock.h"
#include "remote/file_transfer.h"
#include "remote/remote_endpoint.h"
#include "sim/fpga0_flash_model.h"
#include "sim/sim_board.h"
#include "video_io/fpga_manage.h"
#include "video_io/soc_pads.h"
#include "video_io/zeltasource.h"

namespace {

constexpr uint64_t kPeer = 1;
constexpr size_t kPeers = 4;
constexpr uint64_t kFlashWriteBudget = 2 * sim::Fpga0FlashModel::kSize / sim::Fpga0FlashModel::kSector;

// The device root: the one the test wrapper (tests/common/in_temp_root) made, which removes it;
// started by hand or as a libFuzzer worker, a fresh one of this process under TMPDIR, removed
// at exit. The board stays installed until then: a thread the device started (the file writer,
// a requested restart) may still use it.
const std::string& root()
{
    static const std::string path = [] {
        const char* set = std::getenv("K57_ROOT");
        if (set && *set)
            return std::string(set);
        static testutil::TempDir own("k57fuzz");
        return own.path();
    }();
    return path;
}

// Virtual time whose sleeps pass at once: the flash's busy polls take no real time, and a long
// erase still stops in parts. No other thread of the target sleeps on the clock.
struct InstantClock : platform::VirtualClock {
    using VirtualClock::VirtualClock;
    void sleep_us(uint64_t us) override { advance_us(us); }
};

// The device once per process: board, store, FPGA, endpoint. Time is virtual, so the 30 s idle
// limit of a file transfer passes between two inputs and each starts without one.
struct Device {
    InstantClock clock{1000000};
    std::unique_ptr<sim::SimBoard> board;
    TlxRamPara* store = nullptr;
    fpga_manage* fpga = nullptr;
    std::unique_ptr<remote::RemoteEndpoint> endpoint;
    const std::string log_path = root() + devlog::kLogPath;
    sim::Fpga0FlashModel* flash = nullptr;
    uint64_t flash_writes_at_start = 0;

    Device()
    {
        testutil::write_factory_para_file(root());
        // Small flash partitions of the same shape: a partition read hashes the whole of it,
        // which at the real sizes (2 and 6 MiB) would cost each such input a tenth of a second.
        QDir().mkpath(QString::fromStdString(root() + "/sim"));
        std::ofstream(root() + "/sim/board.json")
            << R"({"mtd": {"mtd8": {"size": 32768, "erasesize": 4096, "writesize": 512},)"
               R"( "mtd10": {"size": 98304, "erasesize": 4096, "writesize": 512}}})";
        board = sim::SimBoard::install_for_test(root());
        flash = dynamic_cast<sim::Fpga0FlashModel*>(board->spi_model(sim::Fpga0FlashModel::kPath).get());
        if (!flash) {
            std::fprintf(stderr, "protocol fuzz: the board has no FPGA flash\n");
            std::abort();
        }
        board->sim_shell().set_reboot_action([] {});  // a restart the shell is asked for is only recorded
        // A restart requested by a frame is not carried out: no thread is started while inputs
        // run, so the leak check never meets a thread it has lost track of.
        message_deal::set_restart_start([] {});
        platform::set_clock(&clock);
        g_debugSwitch = 0;  // the log file only, not the console
        store = TlxRamPara::pInstance();
        fpga = new fpga_manage();  // its flash and registers reached by frames; no FPGA thread
        fpga_manage::p_fpga_manage = fpga;
        fpga->open_devices();
        bring_up_fpga();
        endpoint = std::make_unique<remote::RemoteEndpoint>(remote::TR_TCP);
        start_file_writer();
    }

    // The FPGA brought up once, as its thread does after a start: frames then reach its
    // registers, blocks and pages, which are refused before.
    void bring_up_fpga()
    {
        zeltasource::pInstance()->clock_setup_state[0] = 2;
        board->soc().write16(pads::PAD_FPGA0_CFG, pads::kHigh);
        for (int i = 0; i < 2000 && fpga->get_fpga_status() != 1; ++i) {
            ++G_timeTicks;
            fpga->fpga_pass();
        }
        if (fpga->get_fpga_status() != 1) {
            std::fprintf(stderr, "protocol fuzz: the FPGA did not come up\n");
            std::abort();
        }
    }

    // The file writer's thread, which the first file write starts, is started here, before any
    // input: a write of one byte whose digest does not match, so nothing is installed.
    static void start_file_writer()
    {
        const remote::Requester owner = remote::requester(remote::TR_TCP, kPeer);
        const u8 start[8] = {'A', 'L', 'I', 'S', 1, 0, 0, 0}, block[7] = {0, 0, 0, 0, 1, 0, '{'}, end[16] = {};
        u8 out[message_deal::kReplyCapacity];
        remote::file_write_start(owner, start, sizeof start, out);
        remote::file_write_block(owner, block, sizeof block, out);
        remote::file_write_end(owner, end, sizeof end, out);
    }

    // Every input starts from the factory image and no open transfer.
    void reset()
    {
        // The log kept short (it is appended to, so the open file carries on): reading it back
        // hashes all of it, and it would grow by megabytes a minute.
        (void)::truncate(log_path.c_str(), 0);
        clock.advance_us(remote::kFileIdleUs + 1000000);
        remote::file_transfer_expire();
        testutil::restore_factory_store(store);
        flash_writes_at_start = flash_writes();
    }

    uint64_t flash_writes() const { return flash->erases() + flash->programs(); }
    bool over_budget() const { return flash_writes() - flash_writes_at_start >= kFlashWriteBudget; }
};

Device& device()
{
    static Device* d = new Device;  // never destroyed, see root()
    return *d;
}

// A reply must be one frame: start bytes, a body without delimiters, the end byte; decoded,
// at least a header and a status, with a good checksum.
void check_reply(const uint8_t* wire, size_t length)
{
    static protocol_phy phy;
    static std::vector<u8> decoded(remote::kMaxWire);
    size_t body = 0;
    while (body < length && wire[body] == phy::kStart)
        ++body;
    bool framed = body > 0 && length > body + 1 && wire[length - 1] == phy::kEnd && length <= remote::kMaxWire;
    for (size_t i = body; framed && i + 1 < length; ++i)
        framed = wire[i] != phy::kStart && wire[i] != phy::kEnd;
    u8 complete = 0;
    const u32 n = framed ? phy.data_transf_meaning(wire, decoded.data(), u32(length), &complete) : 0;
    if (!framed || !complete || phy.bad_escape() || n < remote::kMinFrame || Utils::BCC(decoded.data(), n - 1) != decoded[n - 1]) {
        std::fprintf(stderr, "protocol fuzz: malformed reply of %zu bytes\n", length);
        std::abort();
    }
}

void feed_wire(Device& d, const uint8_t* data, size_t size, size_t piece)
{
    remote::FrameReassembler stream;
    auto reply = [](const u8* wire, size_t n) { check_reply(wire, n); };
    for (size_t at = 0; at < size && !d.over_budget(); at += piece)
        d.endpoint->receive(stream, data + at, std::min(piece, size - at), reply, kPeer);
}

// A peer of the turns: its stream and the wire bytes it sent that are not served yet.
struct Peer {
    remote::FrameReassembler stream;
    std::vector<u8> in;
    size_t head = 0;
    bool waiting() const { return head < in.size() || !stream.rest.empty(); }
};

// One turn, the newest peer first as on the TCP server; whether a peer still waits.
bool serve_turn(Device& d, Peer (&peers)[kPeers])
{
    auto reply = [](const u8* wire, size_t n) { check_reply(wire, n); };
    bool more = false;
    for (size_t i = kPeers; i-- > 0;) {
        Peer& p = peers[i];
        if (!p.waiting())
            continue;
        bool taken = false;
        p.head += d.endpoint->receive_one(p.stream, p.in.data() + p.head, p.in.size() - p.head, reply, kPeer + i, taken);
        more = more || p.waiting();
    }
    return more;
}

void feed_bodies(Device& d, const uint8_t* data, size_t size)
{
    static protocol_phy phy;
    Peer peers[kPeers];
    std::vector<u8> frame, wire;
    while (size >= 2 && !d.over_budget()) {
        Peer& to = peers[data[1] >> 6];
        const size_t n = std::min<size_t>(size - 2, size_t(data[0] | (data[1] & 0x3F) << 8));
        frame.assign(data + 2, data + 2 + n);
        frame.push_back(Utils::BCC(frame.data(), u32(frame.size())));
        wire.resize(2 * frame.size() + 4);
        u8 flag = 0;
        wire.resize(phy.data_re_transf_meaning(wire.data(), frame.data(), u32(frame.size()), &flag));
        to.in.insert(to.in.end(), wire.begin(), wire.end());
        serve_turn(d, peers);
        data += 2 + n;
        size -= 2 + n;
    }
    while (!d.over_budget() && serve_turn(d, peers)) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    Device& d = device();
    d.reset();
    if (data[0] & 1)
        feed_bodies(d, data + 1, size - 1);
    else
        feed_wire(d, data + 1, size - 1, size_t(data[0] / 2) + 1);
    return 0;
}
