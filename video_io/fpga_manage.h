#pragma once
// Controller of the FPGA that feeds the LED receiving cards: the SoC register window, the
// register mirror and RAM pages, the FPGA thread with its bring-up and output start, the
// receiving-card frames (search, pass-through, brightness), the LED-size hand-over with the
// scaler, the output ports' network pages, the power relays and the clock command.
//
// One object for the process (fpga_manage::p_fpga_manage). The FPGA thread runs fpga_pass()
// while g_fpga_c331_start is set; tests run passes directly. Other threads (pages, remote
// commands, the transports' pass-through) call the public operations below.
//
// Mirror and pages are atomic bytes, so the pages may read them without a lock; each
// read-modify-write of a mirror byte is done under mirror_mutex. The frame exchange with
// the cards (send, interrupt processing, pass-through) runs under frame_mutex.
#include <pthread.h>

#include <atomic>
#include <cstdint>
#include <mutex>

#include "core/globals.h"
#include "video_io/fpga_regs.h"

class fpga_drv;
class TlxRamPara;
namespace platform { class RegWindow; }

using abyte = std::atomic<uint8_t>;

// Tick stamps and request words of the FPGA component.
struct FpgaChange {
    std::atomic<u32> powerup_time[fpga::kChips]{};
    std::atomic<u32> output_time[fpga::kChips]{};
    std::atomic<u32> search_time{0};
    std::atomic<u32> search_active{0};
    std::atomic<u32> search_cycle{0};
    std::atomic<u32> link_check_time[fpga::kChips]{};
    std::atomic<u32> bright_time{0};
    std::atomic<u32> bright_enable{0};
    std::atomic<u32> bright_reload{0};
    std::atomic<u32> bright_applied{0};
    std::atomic<u32> bright_reapply{0};
    std::atomic<u32> bright_value{16};
    std::atomic<u32> sensor_faults{0};
    std::atomic<u32> vmf_addr{0};        // 0x4000..0x7000, 0 none
    std::atomic<u32> vmf_group{0};       // 1..4, 0 none
    std::atomic<u32> answer_cmd{0};      // expected VMF answer command
    std::atomic<u32> answer_received{0};
    std::atomic<u32> answer_result{0};   // 1 good, 2 bad
    std::atomic<u32> irq_state[fpga::kChips]{};
    std::atomic<u32> pass_time[fpga::kChips]{};
    std::atomic<u32> pass_state[fpga::kChips]{};
    // Power control.
    std::atomic<u32> power_allowed{0};
    std::atomic<u32> signal_check_time{0};
    std::atomic<u32> power_task_time{0};
    std::atomic<u32> nosig_time{0};
    std::atomic<u32> relay_time{0};
    std::atomic<u32> time_record_time{0};

    void clear();  // every word 0 (the brightness in use 16)
};
extern FpgaChange g_change;

// The time of day kept for the half-hour brightness.
struct TimeRealType {
    u8 second, minute, hour, day, unused, month;
    u16 year;
};

class fpga_manage {
public:
    static fpga_manage* pInstance();  // creates, then initialize() (2 s wait, thread)
    // Published once initialised: the transports' threads, running before it exists, read it.
    static std::atomic<fpga_manage*> p_fpga_manage;

    fpga_manage();
    ~fpga_manage();  // the device never deletes it; tests do (stops the thread first)
    fpga_manage(const fpga_manage&) = delete;
    fpga_manage& operator=(const fpga_manage&) = delete;

    // Opens the SPI devices, maps the window, waits 2 s, starts the thread: 0, or 255.
    int initialize();
    // The initialize() steps without the 2 s wait and the thread (tests): 0, or 255.
    int open_devices();
    // 1 while chip 0 runs (run state 3, power-up done, not "not ready").
    unsigned int get_fpga_status();
    // One pass of the FPGA thread.
    void fpga_pass();
    // True when the next pass must follow in 1 ms rather than at the next tick: a card's
    // answer to a pass-through is awaited, the interrupt pad or a flagged answer asks for
    // service, an LED-size hand-over runs, or the output start is at a step that acts on the
    // following pass. Otherwise the thread waits for the next tick or an fpga_wake().
    bool pass_due();
    // The aging log's sample: registers 40, 42 and 43 of chip 0 read over SPI.
    void read_age_registers(int& r40, int& r42, int& r43);

    // ---- window, registers, RAM (fpga_access.cpp) ------------------------------------------
    static uint32_t fpga_reg_cmd_to_spi_data(u8 type, u8 block, u8 reg, u8 read, u8 mask);
    static uint32_t fpga_cmd_to_spi_data(u8 type, u8 block, uint32_t address, u8 read);
    void read_fpga_register(unsigned int reg, unsigned char* value, unsigned char chip);
    void write_fpga_register(unsigned int reg, unsigned char value, unsigned char chip, unsigned char mask);
    void read_from_register(unsigned char reg, unsigned char chip);
    // A write of register 2 with bit 2 runs the command page first; `command`, when given,
    // receives how that went.
    enum class CommandResult : u8 { Done, Refused, Failed };
    void write_to_register(unsigned char reg, unsigned char mask, unsigned char value, unsigned char chip,
                           CommandResult* command = nullptr);
    void write_fpga_ram(const unsigned char* data, unsigned int address, unsigned int length, unsigned char block,
                        unsigned char chip);
    void read_fpga_ram(unsigned char* out, unsigned int address, unsigned int length, unsigned char block,
                       unsigned char chip);
    void SCREEN_fpgactrl_status(int SCREEN_status);
    void SCREEN_fpgactrl_status2(int SCREEN_status, unsigned char chip);
    // Mirror byte of chip c (no SPI); 0 for a register or chip out of range.
    u8 reg(u8 r, u8 chip = 0) const
    {
        return r < fpga::kRegCount && chip < fpga::kChips ? MCU_REG[chip][r].load() : 0;
    }
    // Reads register r over SPI into the mirror and returns it.
    u8 read_reg(u8 r, u8 chip = 0);
    void set_bits(u8 r, u8 bits, u8 chip = 0) { write_to_register(r, bits, bits, chip); }
    void clear_bits(u8 r, u8 bits, u8 chip = 0) { write_to_register(r, bits, 0, chip); }
    void set_local(u8 r, u8 value, u8 chip = 0) { write_to_register(r, 0xFF, value, chip); }
    // Register 80 reads 3 once the bring-up is whole; the bring-up's own last steps
    // (`fpga_init`) already act as on a running chip.
    bool running_state(u8 chip = 0) const
    {
        return reg(fpga::REG_RUN_STATE, chip) == 3 || (chip < fpga::kChips && initialising[chip]);
    }
    // Chip 0 runs (register 80 reads 3 after a whole bring-up) and is not held in reset: a
    // write to its registers or RAM reaches it and stays until the chip restarts, and what a
    // tool reads of it, or of what its bring-up loads (the records, the saved page), is what
    // the wall has. Before (and during a restart) a tool's write would be lost and a read
    // would answer values not there yet, so both are refused then.
    bool chip_ready() const;
    // Chip 0 runs and its parameter page holds what the bring-up loaded: before, a remote
    // write to the page or a save of it would be lost or store a page never loaded.
    bool page_ready() const { return running_state(0) && page_loaded; }

    // ---- pages ----------------------------------------------------------------------------
    static abyte* MCU_REG_func[fpga::kChips];
    static abyte* MCU_RAM_PARA_func[fpga::kChips];
    static abyte* MCU_RAM_ETH_PARA_func[fpga::kChips];
    static abyte* MCU_RAM_ETH_BACK_PARA_func[fpga::kChips];
    static u8* MCU_RAM_RX_func[fpga::kChips];
    static u8* MCU_RAM_TX_func[fpga::kChips];
    static abyte MCU_RAM_EXTEND[fpga::kPageSize];
    static abyte MCU_RAM_CMD[fpga::kPageSize];
    static abyte MCU_RAM_ZOOM[fpga::kPageSize];
    static abyte MCU_RAM_DEFAULT[2 * fpga::kPageSize];
    // Page helpers: 16-bit little-endian fields, copies out of and into atomic pages.
    static u16 page_rd16(const abyte* page, uint32_t addr);
    static void page_wr16(abyte* page, uint32_t addr, u16 v);
    static void page_copy_out(const abyte* page, uint32_t addr, u8* out, uint32_t n);
    static void page_copy_in(abyte* page, uint32_t addr, const u8* in, uint32_t n);
    // The command page: a tool's write, whose command waits there for its run (register 2
    // bit 2); the device's own fill at a bring-up (the stored records, the version), which
    // leaves such a waiting command as it is; and the copy a run takes, which ends the wait.
    void write_command_page(uint32_t addr, const u8* in, uint32_t n);
    void fill_command_page(uint32_t addr, const u8* in, uint32_t n);
    void take_command_page(u8* out);
    // Writes bytes [addr, addr + n) of the parameter page to RAM block 1.
    void push_para(uint32_t addr, uint32_t n, u8 chip = 0);

    // ---- bring-up (fpga_manage.cpp) ---------------------------------------------------------
    void reset_chip(u8 chip);
    void reset_release();
    void power_up_step(u8 chip);
    void fpga_init(u8 chip);
    void output_start_step(u8 chip);
    // The input the FPGA measures (page bytes 116 to 123: width, height, clock), read from the
    // chip into `info` and the page, where a tool reads it.
    void take_fpga_input(u8* info, u8 chip = 0);
    static const u8 RAM1[256];

    // ---- receiving cards (fpga_cards.cpp) --------------------------------------------------
    void Send_to_port(const unsigned char* frame, unsigned short length, unsigned short port, unsigned char chip);
    // A frame from the PC tool to the cards. The requester is the transport in
    // g_passby_trans_port (set by the caller) and `peer` within it (a TCP client, a UDP
    // sender; 0 on the serial line). It replaces the outstanding pass-through: an answer to
    // another requester's replaced frame is dropped, never handed to the new requester.
    int Dealwith1_PC_to_eth(unsigned int length, unsigned char* frame, uint64_t peer = 0);
    // Whether a card still owes, within its wait, an answer to a frame of `transport` (under
    // frame_mutex).
    bool pass_owed_to(u8 transport) const;
    void reg_IRQ_Dealwith(unsigned char chip, unsigned char force);
    void update_link_state(u8 chip);
    void card_search();
    bool tool_frame_awaited() const;
    void vbo_link_check();
    void search_cycle();
    // The relay of an answer to the transport that asked, with the requester within it:
    // installed by each transport.
    using RelayFn = void (*)(const u8* frame, u32 length, uint64_t peer);
    static void set_relay(u8 transport, RelayFn fn);
    std::mutex frame_mutex;   // frame exchange with the cards
    std::mutex mirror_mutex;  // read-modify-write of the mirror and the extend page

    // ---- brightness (fpga_brightness.cpp) ----------------------------------------------------
    int Brightness_hand_dealwith(unsigned char);
    // The record into use; with `into_page` (the bring-up) also into the command page, where a
    // tool reads the records back.
    void load_brightness_record(bool into_page);
    // A tool's write of register 64, the brightness value in use: false (nothing changed) when
    // the merged value is not one the brightness mode in use takes, as the command page
    // refuses it (1 to 16, any byte in the raw mode); else the newest brightness, on the cards
    // at once as a manual command's.
    bool write_brightness_value(u8 mask, u8 value);
    void brightness_task();
    // Runs the command page (register 2 bit 2): clock, on/off times, brightness. Refused: a
    // command the device cannot keep (unknown, or a brightness mode that needs a record and
    // was not to be stored); Failed: its store or its clock command failed.
    CommandResult Dealwith_mcu_ram();

    // ---- output ports, hand-over (fpga_output.cpp) -------------------------------------------
    int get_eth_param_addr(unsigned char port, unsigned short* x, unsigned short* y, unsigned short* width,
                           unsigned short* height);
    void eth_param_init(unsigned char defaults, unsigned char chip);
    void K57_mcu_set_net_para(unsigned char chip);
    // The parameter page at initialisation: the saved one (its link and search state cleared)
    // or, with saved null, the defaults; then its copy and, for a saved page, the offsets.
    void load_para_page(u8 chip, u8* saved);
    // Stores the page of chip 0, without the output offsets, as the record the next bring-up
    // loads. False (nothing written) while chip 0 is not running or its page not loaded yet,
    // or when the flash fails.
    bool save_led_page();
    int set_fpga_lcd();
    int set_output_status();
    unsigned int get_wlan_state();
    void led_handover_step();
    void blank_step();
    void take_handback();
    void restart_step();
    // The requesting side of an LED-size change (the caller holds c331_lock, has changed
    // the canvas and raised the change flag): asks for the hand-over while chip 0 runs.
    static void request_led_size_handover();

    // ---- power, clock, time record (fpga_power.cpp) ------------------------------------------
    void power_init();
    void power_control();
    void time_record_refresh();
    void load_onoff_record();
    bool vmf_find();
    // Sends a frame to the VMF module and waits (bounded) for its answer, running the
    // answer processing of `chip`. True when an answer arrived (vmf_answer_frame holds it).
    bool vmf_exchange(const u8* frame, u32 len, u8 port, u8 chip);

    // ---- state ------------------------------------------------------------------------------
    fpga_drv* drv = nullptr;
    int spi_fd = -1;     // chip 0
    int flash_fd = -1;   // chip 0's configuration flash
    platform::RegWindow* window = nullptr;
    pthread_t thread{};
    std::atomic<bool> thread_started{false};
    std::atomic<bool> stop_thread{false};

    std::atomic<u8> fpga_reset_pending[fpga::kChips]{};
    std::atomic<u32> fpga_reset_time[fpga::kChips]{};
    static constexpr u8 kBringupDone = 7;  // bringup_step once the bring-up is whole
    std::atomic<u8> bringup_step[fpga::kChips]{};
    std::atomic<u16> bringup_poll_count[fpga::kChips]{};  // zeroed by a restart seen on a transport thread
    u8 bringup_retry[fpga::kChips] = {};
    std::atomic<u8> output_start_state[fpga::kChips]{};
    u32 output_start_time[fpga::kChips] = {};
    u16 output_poll_count[fpga::kChips] = {};  // grows by 20 per reset: wider than a byte
    u8 output_reset_count[fpga::kChips] = {};
    u8 output_link_read[fpga::kChips] = {};

    // Card frames.
    std::atomic<u8> pass_mode{0};
    std::atomic<u8> pass_all_pending{0};
    std::atomic<u32> pass_all_time{0};
    std::atomic<u32> pass_all_answered{0};
    std::atomic<u8> pass_all_byte5{0};
    std::atomic<u8> pass_all_broadcast{0};
    std::atomic<u8> pass_relayed{0};
    // The pass-through (under frame_mutex): the requester of the frame being sent, and per
    // answer slot (chip, port pair, card place: one output port's card) the requester its
    // answer is owed to, given up 300 ticks after the frame went out. A frame of another
    // requester to a slot that still owes an answer marks it stale: the next answer from that
    // slot within 300 ticks answers the replaced frame (a card answers its frames in order)
    // and reaches nobody. Other slots keep what they owe.
    struct PassSlot {
        u8 transport = 255;
        uint64_t peer = 0;
        u32 sent = 0;  // tick of the last frame to the slot
        bool owed = false;
        bool stale = false;
        u32 stale_time = 0;
    };
    u8 pass_transport = 255;
    uint64_t pass_peer = 0;
    PassSlot pass_slot[fpga::kChips * fpga::kPairs * 4];
    std::atomic<u32> search_asked{0};
    std::atomic<u32> search_answered{0};
    u8 vbo_fault[fpga::kChips] = {};
    u8 vbo_step[fpga::kChips] = {};
    u16 vbo_poll_count[fpga::kChips] = {};
    u32 vbo_attempts[fpga::kChips] = {};  // recovery attempts since the input link was lost, 0 linked
    std::atomic<u8> vmf_answer_pending{0};
    std::atomic<u8> vmf_answer_cmd{0};
    u8 vmf_answer_data[129] = {};   // answer bytes 10..138, under frame_mutex
    u8 vmf_answer_frame[fpga::kPageSize] = {};  // the whole last VMF answer, under frame_mutex
    u32 vmf_answer_len = 0;
    std::atomic<u8> vmf_port{252};
    std::atomic<u8> vmf_chip{0};
    std::atomic<u8> brightness_mode{0xFF};  // the mode in use: the record's, or the newest command's
    std::mutex brightness_mutex;           // brightness_mode, register 64 and the reload between task and command
    // A manual command not kept in the record is newer than the record: a bring-up keeps it
    // in use rather than loading the record (under brightness_mutex).
    bool brightness_commanded = false;
    // Every brightness command is numbered as it arrives (under brightness_mutex): the newest
    // rules, whichever transport or thread brought it and whichever store finishes first.
    // store_brightness_record(gen, ...) stores or erases command gen's record unless a newer
    // command's already reached the flash (bright_record_gen, under bright_store_mutex);
    // brightness_stored(gen, done) then takes the record into use only while gen is still the
    // newest command. A store moved to another thread calls both with its command's number.
    u32 brightness_gen = 0;
    u32 bright_record_gen = 0;
    std::mutex bright_store_mutex;
    bool store_brightness_record(u32 gen, const u8* cmd, bool write);
    void brightness_stored(u32 gen, bool done);
    std::atomic<u32> links_seen[fpga::kChips]{};  // the ports with a link at the last look
    u8 brightness_slot = 255;
    u8 slot_applied = 0;           // applications in the current half-hour slot
    u8 HalfHourValue[48];

    // Output ports: the image offsets (x, y) the page's positions hold, under net_para_mutex.
    std::mutex net_para_mutex;
    u16 page_offset[fpga::kChips][2] = {};
    // Chip 0's page holds the saved page (or the defaults) since its last bring-up, which marks
    // the chip running before it loads the page.
    std::atomic<bool> page_loaded{false};
    std::atomic<bool> initialising[fpga::kChips]{};  // inside fpga_init, on the fpga thread
    std::mutex cmd_page_mutex;        // a tool's command-page write against the bring-up's fill
    bool tool_command_waiting = false;  // a tool wrote the command page and has not run it yet

    // Hand-over.
    u32 handover_time = 0;
    u32 handover_poll_count = 0;

    // Power.
    u8 power_restart = 0, power_nosig_timing = 0, power_armed = 0, signal_present = 0;
    u8 power_stop_step = 0, relay_index = 1;
    u8 vmf_ram0[256] = {};
    TimeRealType time_record{};
    std::mutex time_mutex;  // time_record

private:
    bool outstanding_reset(u8 chip) const { return fpga_reset_pending[chip].load() != 0; }
    void collect_answers(u8 chip);
    bool read_answer(u8 chip, int pair, u8* buf, u32* len);
    void ack_answer(u8 chip, int pair);
    void handle_answer(u8 chip, int pair, u8* buf, u32 len);
    void relay_answer(u8* buf, u32 len, const PassSlot& owner);
    bool is_search_answer(const u8* buf) const;
    void take_search_answer(u8 chip, int pair, const u8* buf, u32 len);
    void send_pass(const u8* frame, u32 len, u8 port, u8 chip);
    const PassSlot* answers_outstanding(u8 chip, int pair, const u8* buf);
    void send_all_ports(u8* frame, u32 len);
    void send_locked(const u8* frame, u32 len, u8 port, u8 chip);
    bool transmitter_free(u8 chip, int pair);
    void forget_pass_through();
    void store_search_result(u8 chip, int pair, const u8* buf);
    void zero_port_result(int port, u8 chip);
    void relay_step(bool on);
    void vmf_power_read();
    CommandResult run_onoff_command(const u8* cmd);
    CommandResult run_clock_command(const u8* cmd);
    CommandResult run_brightness_command(const u8* cmd);
    void brightness_half_hour(bool relinked);
    void brightness_auto();
    void no_brightness_record();
    bool apply_brightness(u8 mode);
    void use_brightness(u8 mode, u8 value);
    void take_link_state(u8 chip, u8 a, u8 b);
    void count_bad_checksum(u8 chip);
    void back_copy_locked(u8 chip);
    void build_page_locked(u8 chip);

    abyte MCU_REG[fpga::kChips][fpga::kRegCount];
    abyte MCU_RAM_PARA[fpga::kChips][fpga::kPageSize];
    abyte MCU_RAM_ETH_PARA[fpga::kChips][fpga::kEthPageSize];
    abyte MCU_RAM_ETH_BACK_PARA[fpga::kChips][fpga::kEthPageSize];
    u8 MCU_RAM_RX[fpga::kChips][fpga::kPageSize];
    u8 MCU_RAM_TX[fpga::kChips][fpga::kPageSize];
    static std::atomic<RelayFn> relay_fns_[4];
};

// The caller holds c331_lock and has changed the image: a new LED canvas size, against the
// one the scaler runs, asks for the hand-over (a tool's apply, a user-mode recall).
void request_handover_on_new_size_locked(const TlxRamPara* s);
