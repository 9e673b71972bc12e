// Frames to and from the LED receiving cards: sending on a port, the interrupt and answer
// processing, the link state, the periodic card search and the pass-through of the PC tool's
// frames with the relay of the cards' answers.
#include <cstdio>
#include <algorithm>
#include <cstring>

#include "core/fpga_wake.h"
#include "core/log.h"
#include "core/protocol_phy.h"
#include "core/utils.h"
#include "platform/clock.h"
#include "platform/regwindow.h"
#include "video_io/fpga_frames.h"
#include "video_io/fpga_manage.h"
#include "video_io/soc_pads.h"

using namespace fpga;
namespace ff = fpga_frames;

std::atomic<fpga_manage::RelayFn> fpga_manage::relay_fns_[4] = {};

namespace {

constexpr uint64_t kTxWaitUs = 3000000;     // transmitter busy: 300 ticks
constexpr u32 kPassWaitTicks = 300;         // a card's answer not come by then is not coming
constexpr u32 kSearchTicks = 80;
constexpr u32 kLinkCheckTicks = 10;


bool group_a(int pair) { return pair < 4; }
u8 wait_reg(int pair) { return group_a(pair) ? REG_WAIT_A : REG_WAIT_B; }
u8 trig_reg(int pair) { return group_a(pair) ? REG_TRIG_A : REG_TRIG_B; }
u8 ack_rel_reg(int pair) { return group_a(pair) ? REG_ACK_REL_A : REG_ACK_REL_B; }
u8 answer_bit(int pair) { return BIT(2 * (pair % 4)); }
u8 busy_bit(int pair) { return BIT(2 * (pair % 4) + 1); }
u16 rd16(const u8* p) { return u16(p[0] | (p[1] << 8)); }
// The card's place in its group of four: bits 12-13 of FRAME_DST or FRAME_SRC at `at`.
u8 place_of(const u8* frame, u32 at) { return (frame[at + 1] >> 4) & 3; }
// Where an answer comes back: the chip's port pair and the card's place it echoes.
size_t answer_slot(u8 chip, int pair, u8 place) { return size_t((chip * kPairs + pair) * 4 + place); }
u32 now() { return G_timeTicks.load(); }

}  // namespace

void fpga_manage::set_relay(u8 transport, RelayFn fn)
{
    if (transport < 4)
        relay_fns_[transport] = fn;
}

// ---- sending ---------------------------------------------------------------------------------------

bool fpga_manage::transmitter_free(u8 chip, int pair)
{
    return platform::poll_until([&] { return !(read_reg(wait_reg(pair), chip) & busy_bit(pair)); }, kTxWaitUs, 1000);
}

void fpga_manage::Send_to_port(const unsigned char* frame, unsigned short length, unsigned short port,
                               unsigned char chip)
{
    if (port >= kPorts || length == 0 || length > kPageSize || chip >= kChips)
        return;
    const int pair = port / 2;
    if (!transmitter_free(chip, pair))
        writeLogMsg(LOG_DEBUG, "fpga: transmitter busy, frame sent anyway");
    if (port < 8)
        write_to_register(REG_PORT_SEL_A, 0xFF, u8(1u << port), chip);
    else
        write_to_register(REG_PORT_SEL_B, 0xFF, u8(1u << (port - 8)), chip);
    write_fpga_ram(frame, 0, length, block_tx(pair), chip);
    const unsigned n = length - 1u;
    write_to_register(kTxLenLow[pair], 0xFF, u8(n), chip);
    const int shift = 2 * (pair % 4);
    write_to_register(group_a(pair) ? REG_TX_LEN_HIGH_A : REG_TX_LEN_HIGH_B, u8(3 << shift), u8(((n >> 8) & 3) << shift),
                      chip);
    write_to_register(trig_reg(pair), 0xF0, u8(0x10 << (pair % 4)), chip);
}

void fpga_manage::send_locked(const u8* frame, u32 len, u8 port, u8 chip)
{
    std::lock_guard<std::mutex> lk(frame_mutex);
    Send_to_port(frame, u16(len), port, chip);
}

// ---- interrupt and answers ----------------------------------------------------------------------------

void fpga_manage::forget_pass_through()
{
    pass_all_pending = 0;
    pass_all_answered = 0;
    pass_mode = 0;
}

void fpga_manage::reg_IRQ_Dealwith(unsigned char chip, unsigned char force)
{
    if (chip >= kChips)
        return;
    const u8 run = reg(REG_RUN_STATE, chip);
    if (run != 2 && run != 3)
        return;
    if (pass_all_pending && Utils::getTimeSpace(pass_all_time) > kPassWaitTicks)
        forget_pass_through();
    const uint32_t irq_pad = chip == 0 ? pads::PAD_FPGA0_IRQ : pads::PAD_FPGA1_IRQ;
    const bool pending = force == 1 || g_change.irq_state[chip] == 1 || (window && (window->read16(irq_pad) & 1));
    if (!pending) {
        g_change.irq_state[chip] = 0;
        if (pc_cmd_valid == 1 && pass_all_pending) {
            if (g_change.pass_state[chip] == 0) {
                g_change.pass_state[chip] = 1;
                g_change.pass_time[chip] = now();
            } else if (Utils::getTimeSpace(g_change.pass_time[chip]) > 1) {
                if ((read_reg(REG_WAIT_A, chip) | read_reg(REG_WAIT_B, chip)) & kAnswersWaiting)
                    g_change.irq_state[chip] = 1;
                g_change.pass_state[chip] = 0;
            }
        }
        return;
    }
    g_change.irq_state[chip] = 0;
    g_change.pass_state[chip] = 0;
    clear_bits(REG_STATUS, BIT(5), chip);
    if (read_reg(REG_STATUS, chip) & BIT(6)) {
        write_to_register(REG_STATUS, BIT(5) | BIT(6), 0, chip);
        const u8 v = read_reg(REG_VERSION3, chip);
        if (v != 25 && (v < 32 || v > 35)) {
            // Not a version this software runs with: power-up starts over from the version read.
            writeLogMsg(LOG_WARNING, "fpga: restarted with version " + std::to_string(v) + ", bring-up again");
            {
                std::lock_guard<std::mutex> lk(mirror_mutex);
                MCU_REG[chip][REG_RUN_STATE] = 0;
                MCU_REG[chip][REG_VERSION3] = 0;
            }
            if (chip == 0)
                page_loaded = false;  // the next bring-up loads the saved page again
            bringup_step[chip] = 0;
            bringup_poll_count[chip] = 0;
            output_start_state[chip] = 0;
            return;
        }
    }
    if ((read_reg(REG_WAIT_A, chip) | read_reg(REG_WAIT_B, chip)) & kAnswersWaiting)
        collect_answers(chip);
    update_link_state(chip);
}

bool fpga_manage::read_answer(u8 chip, int pair, u8* buf, u32* len)
{
    const u8 high_reg = group_a(pair) ? REG_RX_LEN_HIGH_A : REG_RX_LEN_HIGH_B;
    const u32 high = (read_reg(high_reg, chip) >> (2 * (pair % 4))) & 3;
    const u32 n = ((high << 8) | read_reg(kRxLenLow[pair], chip)) + 1;
    read_fpga_ram(buf, 0, n, block_rx(pair), chip);
    *len = n;
    return n >= ff::kMinAnswer;
}

void fpga_manage::ack_answer(u8 chip, int pair)
{
    const u8 bit = BIT(pair % 4);
    set_bits(trig_reg(pair), bit, chip);
    clear_bits(ack_rel_reg(pair), bit, chip);
    read_from_register(wait_reg(pair), chip);
}

void fpga_manage::collect_answers(u8 chip)
{
    u8 buf[kPageSize];
    u32 len = 0;
    // Search answers first: stored and acknowledged here, other answers wait for below.
    for (int pair = 0; pair < kPairs; ++pair) {
        if (!(reg(wait_reg(pair), chip) & answer_bit(pair)))
            continue;
        if (!read_answer(chip, pair, buf, &len)) {
            ack_answer(chip, pair);  // too short to be anything: dropped
            continue;
        }
        if (is_search_answer(buf))
            take_search_answer(chip, pair, buf, len);
    }
    // Then the first other answer still waiting. Every answer read is acknowledged, kept,
    // relayed or dropped: one left in its receive block would hold back every later answer.
    for (int pair = 0; pair < kPairs; ++pair) {
        if (!(read_reg(wait_reg(pair), chip) & answer_bit(pair)))
            continue;
        if (!read_answer(chip, pair, buf, &len)) {
            ack_answer(chip, pair);
            return;
        }
        if (is_search_answer(buf)) {  // came in since the loop above
            take_search_answer(chip, pair, buf, len);
            continue;
        }
        ack_answer(chip, pair);
        handle_answer(chip, pair, buf, len);
        return;
    }
}

// An answer to the device's own search frame (the PC tool's search frames come back to the
// tool's address, not to the FPGA's).
bool fpga_manage::is_search_answer(const u8* buf) const
{
    return rd16(buf + FRAME_DST) == 0xF000 && buf[FRAME_CMD] == ff::kCmdSearch;
}

// Stored when good, acknowledged whatever it holds.
void fpga_manage::take_search_answer(u8 chip, int pair, const u8* buf, u32 len)
{
    if (len >= ff::kMinSearchAnswer && ff::bcc_ok(buf, len)) {
        search_answered |= 1u << (chip * 8 + pair);
        if (buf[10] == 0)
            store_search_result(chip, pair, buf);
    }
    ack_answer(chip, pair);
}

void fpga_manage::store_search_result(u8 chip, int pair, const u8* buf)
{
    u32 n = buf[FRAME_NETPORT];
    if (n == 0)
        n = u32(pair / 2) * 4 + ((rd16(buf + FRAME_SRC) >> 12) & 3) + 1;
    if (n < 1 || n > kPorts)
        return;
    abyte* page = MCU_RAM_PARA_func[chip];
    const u16 a = PARA_RESULT_WORD[n - 1], b = PARA_RESULT_BYTE[n - 1];
    page[a] = buf[11];
    page[a + 1] = buf[12];
    page[b] = buf[13];
    push_para(a, u32(b - a + 1), chip);
}

void fpga_manage::zero_port_result(int port, u8 chip)
{
    abyte* page = MCU_RAM_PARA_func[chip];
    if (page_rd16(page, PARA_RESULT_WORD[port]) == 0 && page[PARA_RESULT_BYTE[port]] == 0)
        return;  // already none: nothing to send
    page_wr16(page, PARA_RESULT_WORD[port], 0);
    page[PARA_RESULT_BYTE[port]] = 0;
    push_para(PARA_RESULT_WORD[port], 2, chip);
    push_para(PARA_RESULT_BYTE[port], 1, chip);
}

void fpga_manage::handle_answer(u8 chip, int pair, u8* buf, u32 len)
{
    const u8 cmd = buf[FRAME_CMD];
    const u16 dst = rd16(buf + FRAME_DST), src = rd16(buf + FRAME_SRC);
    if ((cmd == ff::kCmdVmfRead || cmd == ff::kCmdRelay) && dst == 0xF000) {
        // Kept whole: the waiting side checks its checksum and length.
        std::memcpy(vmf_answer_frame, buf, len);
        vmf_answer_len = len;
        std::memset(vmf_answer_data, 0, sizeof vmf_answer_data);
        std::memcpy(vmf_answer_data, buf + 10, std::min<u32>(len - 10, sizeof vmf_answer_data));
        vmf_answer_cmd = cmd;
        vmf_answer_pending = 1;
        return;
    }
    if (dst >= 0xF000 && dst <= 0xF00F && src < 0xF000 && buf[FRAME_BYTE5] == ff::kByte5Brightness)
        return;
    // Whatever its command, from here on it is a card's answer to the PC tool.
    const PassSlot* owner = answers_outstanding(chip, pair, buf);
    if (!owner)
        return;
    const u8 netport = buf[FRAME_NETPORT];
    const u8 place = place_of(buf, FRAME_SRC);
    if (pass_mode != 0 || netport == 255) {
        if (!ff::bcc_ok(buf, len) || buf[FRAME_BYTE5] != pass_all_byte5)
            return;
        pass_all_answered |= 1u << (chip * 16 + (pair / 2) * 4 + ((src >> 12) & 3));
        const u32 links = u32(reg(REG_LINK_B) << 8) | reg(REG_LINK_A);
        if (pass_all_answered != links)
            return;
        const u16 from = pass_all_broadcast ? 0x0FFE : 0x0FFF;
        pass_all_broadcast = 0;
        buf[FRAME_SRC] = u8(from);
        buf[FRAME_SRC + 1] = u8(from >> 8);
        buf[FRAME_NETPORT] = 255;
        ff::set_bcc(buf, len);
        pass_all_answered = 0;
        pass_all_pending = 0;
    } else if (netport == 0) {
        ff::set_byte(buf, len, FRAME_NETPORT, u8(place + 1 + chip * 16 + (pair / 2) * 4));
        ff::set_group_bits(buf, len, FRAME_SRC, 0);
    } else {
        ff::set_group_bits(buf, len, FRAME_SRC, 0);
    }
    relay_answer(buf, len, *owner);
}

// The slot the answer comes from when it owes one, which it then no longer does; null for an
// answer nobody awaits: none owed, owed for longer than the wait, or answering a replaced frame.
const fpga_manage::PassSlot* fpga_manage::answers_outstanding(u8 chip, int pair, const u8* buf)
{
    PassSlot& s = pass_slot[answer_slot(chip, pair, place_of(buf, FRAME_SRC))];
    if (s.stale) {
        s.stale = false;
        if (Utils::getTimeSpace(s.stale_time) <= kPassWaitTicks) {
            writeLogMsg(LOG_DEBUG, "fpga: answer to a replaced pass-through dropped");
            return nullptr;
        }
    }
    if (!s.owed)
        return nullptr;
    s.owed = false;
    if (Utils::getTimeSpace(s.sent) > kPassWaitTicks) {
        writeLogMsg(LOG_DEBUG, "fpga: answer to a pass-through after its 3 s wait dropped");
        return nullptr;
    }
    return &s;
}

void fpga_manage::relay_answer(u8* buf, u32 len, const PassSlot& owner)
{
    g_passby_trans_port = 255;
    RelayFn fn = (owner.transport >= 1 && owner.transport <= 3) ? relay_fns_[owner.transport].load() : nullptr;
    if (!fn)
        return;
    fn(buf, len, owner.peer);
    pass_relayed = 1;
}

// ---- link state -----------------------------------------------------------------------------------------

void fpga_manage::update_link_state(u8 chip)
{
    const u8 a = read_reg(REG_LINK_A, chip), b = read_reg(REG_LINK_B, chip);
    take_link_state(chip, a, b);
}

// The link bits of the parameter page follow the link registers; a port without its link has
// no search result. A port that gained its link gets the brightness in use again.
void fpga_manage::take_link_state(u8 chip, u8 a, u8 b)
{
    abyte* page = MCU_RAM_PARA_func[chip];
    const u8 l0 = u8((page[PARA_LINK0] & 0xE4) | (a & 0x03) | ((a & 0x0C) << 1));
    const u8 l4 = u8((page[PARA_LINK4] & 0xF0) | ((a >> 4) & 0x0F));
    const struct { uint32_t at; u8 v; } bytes[3] = {{PARA_LINK0, l0}, {PARA_LINK4, l4}, {PARA_LINK8, b}};
    for (const auto& x : bytes) {
        if (page[x.at] == x.v)
            continue;
        page[x.at] = x.v;
        push_para(x.at, 1, chip);
    }
    const u32 links = u32(b) << 8 | a;
    for (int p = 0; p < kPorts; ++p)
        if (!(links & (1u << p)))
            zero_port_result(p, chip);
    if (links & ~links_seen[chip].exchange(links))
        g_change.bright_reapply = 1;
}

// ---- pass-through ---------------------------------------------------------------------------------------

// Sends one frame of the pass-through; its answer is owed to the frame's requester by the
// port's pair from the card at the place the frame addresses. What that slot still owed
// another requester within its wait is marked stale: the card answers that frame first.
void fpga_manage::send_pass(const u8* frame, u32 len, u8 port, u8 chip)
{
    Send_to_port(frame, u16(len), port, chip);
    PassSlot& s = pass_slot[answer_slot(chip, port / 2, place_of(frame, FRAME_DST))];
    const bool other = s.transport != pass_transport || s.peer != pass_peer;
    if (s.owed && other && Utils::getTimeSpace(s.sent) <= kPassWaitTicks) {
        s.stale = true;
        s.stale_time = now();
    }
    s.transport = pass_transport;
    s.peer = pass_peer;
    s.owed = true;
    s.sent = now();
}

bool fpga_manage::pass_owed_to(u8 transport) const
{
    for (const PassSlot& s : pass_slot)
        if (s.owed && s.transport == transport && Utils::getTimeSpace(s.sent) <= kPassWaitTicks)
            return true;
    return false;
}

int fpga_manage::Dealwith1_PC_to_eth(unsigned int length, unsigned char* frame, uint64_t peer)
{
    if (!frame || length < ff::kMinAnswer || length >= kPageSize)
        return 1;
    // Before the bring-up (or while the chip is held in reset) no port has a link and the chip
    // would lose the frame: nothing is sent, and no answer comes, as from a port without a card.
    if (!chip_ready())
        return 1;
    u8 f[kPageSize];
    std::memcpy(f, frame, length);
    pass_transport = g_passby_trans_port;
    pass_peer = peer;
    pass_mode = 0;
    clear_bits(REG_ACK_REL_B, 0x0F);
    clear_bits(REG_ACK_REL_A, 0x0F);
    const u8 mode = f[FRAME_MODE], netport = f[FRAME_NETPORT];
    if (mode == 1 || mode == 3) {
        if (netport >= 1 && netport <= 16) {
            const u8 port = u8(netport - 1);
            ff::set_group_bits(f, length, FRAME_DST, port % 4);
            send_pass(f, length, port, 0);
        } else if (netport == 0) {
            const u8 port = (f[FRAME_DST + 1] >> 4) & 3;
            if (g_debugSwitch == 254)
                std::printf("FRAME_NETPORT : %d   port_num : %d\n", netport, port);
            ff::set_group_bits(f, length, FRAME_DST, port % 4);
            send_pass(f, length, port, 0);
        } else if (netport == 255) {
            pass_mode = u8(mode & ~2);
            pass_all_broadcast = rd16(f + FRAME_DST) == 0x0FFE ? 1 : 0;
            pass_all_answered = 0;
            pass_all_byte5 = f[FRAME_BYTE5];
            send_all_ports(f, length);
        }
    } else if (mode == 0) {
        if (netport <= 8)
            send_pass(f, length, 0, 0);
        else if (netport <= 16)
            send_pass(f, length, 0, 1);
    }
    return 1;
}

void fpga_manage::send_all_ports(u8* f, u32 len)
{
    const u8 a = read_reg(REG_LINK_A), b = read_reg(REG_LINK_B);
    const u32 links = running_state(0) ? (u32(b) << 8 | a) : 0;
    for (int p = 0; p < kPorts; ++p) {
        if (!(links & (1u << p)))
            continue;
        ff::set_group_bits(f, len, FRAME_DST, u8(p % 4));
        send_pass(f, len, u8(p), 0);
    }
    pass_all_pending = 1;
    pass_all_time = now();
}

// ---- search ------------------------------------------------------------------------------------------------

void fpga_manage::card_search()
{
    if (pc_cmd_valid == 1) {
        if (ticks_since(pc_cmd_time) > int32_t(kSearchTicks)) {  // the stamp may lie ahead
            pc_cmd_valid = 0;
            search_asked = 0;
        } else if (get_fpga_status() == 1 && !tool_frame_awaited()) {
            // A tool talking to the device pauses the search frames, not the brightness: a
            // tool polling the processor would otherwise keep a wall switched on meanwhile
            // (or a new half-hour slot) without it for as long as it polls. The link state
            // that tells a port gained its link is still taken at the search's pace.
            if (Utils::getTimeSpace(g_change.search_time) >= kSearchTicks) {
                take_link_state(0, read_reg(REG_LINK_A), read_reg(REG_LINK_B));
                g_change.search_time = now();
            }
            if (g_change.bright_reload || g_change.bright_enable)
                brightness_task();
        }
        return;
    }
    if (get_fpga_status() != 1)
        return;
    vbo_link_check();
    search_cycle();
    if (g_change.bright_reload || g_change.bright_enable)
        brightness_task();
}

// A card frame of a tool still awaits its answer (within its wait).
bool fpga_manage::tool_frame_awaited() const
{
    return (g_passby_trans_port.load() != 255 && Utils::getTimeSpace(pc_cmd_time) <= kPassWaitTicks) ||
           (pass_all_pending && Utils::getTimeSpace(pass_all_time) <= kPassWaitTicks);
}

void fpga_manage::vbo_link_check()
{
    if (Utils::getTimeSpace(g_change.link_check_time[0]) < kLinkCheckTicks)
        return;
    g_change.link_check_time[0] = now();
    if (vbo_fault[0] == 0) {
        int bad = 0;
        for (int i = 0; i < 8; ++i)
            if ((read_reg(REG_LINK_IN) & 0x1C) != 0x1C)
                ++bad;
        if (bad > 3) {
            // Logged once at the loss and once at the recovery: a link lost overnight would
            // otherwise fill the log (and restart it) with one line per attempt.
            if (vbo_attempts[0] == 0)
                writeLogMsg(LOG_WARNING, "fpga: input link from the scaler lost, recovering");
            ++vbo_attempts[0];
            vbo_fault[0] = 1;
            clear_bits(REG_CONTROL3, BIT(6) | BIT(7));
            vbo_step[0] = 0;
        } else if (vbo_attempts[0] != 0) {
            writeLogMsg(LOG_WARNING, "fpga: input link from the scaler back after " +
                                         std::to_string(vbo_attempts[0]) + " recovery attempts");
            vbo_attempts[0] = 0;
        }
        return;
    }
    if (vbo_step[0] == 0) {
        set_bits(REG_CONTROL3, BIT(6));
        vbo_step[0] = 1;
        vbo_poll_count[0] = 0;
        return;
    }
    const u8 st = read_reg(REG_STATUS);
    ++vbo_poll_count[0];
    if (!(st & BIT(3)) || vbo_poll_count[0] >= 1000) {
        set_bits(REG_CONTROL3, BIT(7));
        vbo_fault[0] = 0;
    }
}

void fpga_manage::search_cycle()
{
    if (reg(REG_OUTPUT_CTRL) & BIT(3)) {
        g_change.search_time = now();
        return;
    }
    if (Utils::getTimeSpace(g_change.search_time) < kSearchTicks)
        return;
    const u8 link_a = read_reg(REG_LINK_A), link_b = read_reg(REG_LINK_B);
    const u32 links = u32(link_b) << 8 | link_a;
    // Cards unplugged raise no interrupt (with none left nothing answers at all): the search
    // takes the link state itself.
    take_link_state(0, link_a, link_b);
    g_change.search_active = (running_state(0) && links != 0) ? 1 : 0;
    if (!g_change.search_active)
        return;
    const bool odd = (g_change.search_cycle.fetch_add(1) & 1) != 0;
    if (search_answered & (1u << 31)) {
        for (int k = 0; k < kPairs; ++k) {
            if (search_answered & (1u << k))
                continue;
            const int asked = (search_asked & (1u << (2 * k + 1))) ? 2 * k + 1
                              : (search_asked & (1u << (2 * k))) ? 2 * k : -1;
            if (asked >= 0)
                zero_port_result(asked, 0);
        }
    }
    search_asked = 0;
    search_answered = 0;
    for (int k = 0; k < kPairs; ++k) {
        const int first = odd ? 2 * k + 1 : 2 * k, second = odd ? 2 * k : 2 * k + 1;
        const int port = (links & (1u << first)) ? first : second;
        if (k < 4)
            clear_bits(REG_ACK_REL_A, BIT(k));
        u8 frame[ff::kSearchLen];
        ff::search_frame(u8(port), frame);
        send_locked(frame, ff::kSearchLen, u8(port), 0);
        search_asked |= 1u << port;
        if (odd)
            search_answered |= 0xC0000000u;
        else
            search_answered &= ~(0xFFFF0000u | (1u << 14));
    }
    g_change.search_active = 0;
    g_change.search_time = now();
}
