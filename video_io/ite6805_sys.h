#pragma once
// The two IT6805 HDMI 2.0 receivers (receivers 4 and 5: device 0 and 1), each feeding an IT6807
// V-by-One transmitter set up through the receiver's bank 5. One object tree serves both; every
// operation takes the device number last. The supervision thread selects a device's channel on
// the receiver switch (0x20 device 0, 0x10 device 1), then steps its state machine; all of this
// code runs on that thread.
//
//   ite6805_sys            fd, per-device state, the objects below, the state machine
//   ite6805_i2c_rdwr       register access primitives over Drv_I2C0
//   ite6805_drv            chip operations: init, calibration, hot-plug, timing, V-by-One
//   ite6805_eq             equaliser state per device
//   ite6805_cec_sys/_drv/_feture   CEC queue and state, controller operations, replies
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/i2c.h"
#include "video_io/ite6805_calc.h"

class ite6805_sys;

enum STATEV_Type : uint32_t {
    STATEV_VideoOff = 0, STATEV_Unplug, STATEV_WaitSync, STATEV_CheckSync, STATEV_VidStable, STATEV_Unknown
};
enum STATEA_Type : uint32_t { STATEA_AudioOff = 0, STATEA_RequestAudio, STATEA_WaitForReady, STATEA_AudioOn };
enum STATEEQ_Type : uint32_t {
    STATEEQ_Off = 0, STATEEQ_Start, STATEEQ_WaitAuto, STATEEQ_Report, STATEEQ_CheckBitErr, STATEEQ_NextTrial,
    STATEEQ_BackToTrial, STATEEQ_KeepEQStateUntil5VOff, STATEEQ_Unused8, STATEEQ_EQDone
};
enum STATECEC_Type : uint8_t { STATECEC_None = 0, STATECEC_TXFail = 2, STATECEC_TXDone = 3, STATECEC_RXCheck = 4 };

// The per-device state record.
struct iTE6805_Data {
    uint16_t hdcp_state = 0;          // 0 none, 1 HDCP 1.x, 256 HDCP 2
    uint8_t ChipID = 0;
    uint32_t STATEV = STATEV_Unplug, STATEA = STATEA_AudioOff, STATEEQ = STATEEQ_Off;
    uint8_t STATECEC = STATECEC_None;
    uint8_t CurrentPort = 0;
    uint8_t Force_Sampling_Frequency = 0, Audio_CH_Status = 0;
    uint32_t US_Output_ColorFormat = 0, AVIInfoFrame_Input_ColorFormat = 0;
    uint8_t colorimetry = 0, ext_colorimetry = 0, vic = 0, rgb_quant = 0, yuv_quant = 0, scan_info = 0;
    uint8_t input_type = 0;           // 0 HDMI, 1 MHL, 2 DVI
    uint8_t Flag_VidStable_Done = 0;
    uint8_t port_select_request = 0, port_select_target = 0, port_reset_request = 0, port_reset_target = 0;
    uint8_t av_mute = 0;
    uint8_t VBO_LaneCount = 0, VBO_ByteMode = 1, downscale_mode = 1, color_change_bits = 0, last_lane = 7;
    uint8_t sync_change_kept = 0;     // a sync change the video logic reset cleared
    // measured timing
    it6805::VidTiming t;
    uint32_t pclk_khz = 0, tmds_khz = 0, frame_rate = 0;
    uint16_t interlaced = 0, vpol = 0, hpol = 0;
    uint8_t input_mode = 0;           // register 0x98 & 0xF0
};

// One CEC frame: received (size, header, opcode, operands; then destination, initiator).
struct CEC_FRAME {
    uint8_t size = 0;
    uint8_t bytes[18] = {};  // header, opcode, up to 16 operands
    uint8_t dest = 0, init = 0;
};
static_assert(sizeof(CEC_FRAME) == 21, "received CEC frame is 21 bytes");

// ---- register access ------------------------------------------------------------------------
class ite6805_i2c_rdwr {
public:
    explicit ite6805_i2c_rdwr(ite6805_sys* sys) : sys_(sys) {}
    // Receiver (0x90). A failed read returns 0 and is counted; *ok tells the caller.
    uint8_t hdmirxrd(uint8_t reg, uint8_t device, bool* ok = nullptr);
    int hdmirxwr(uint8_t reg, uint8_t value, uint8_t device);       // 0 ok, 1 failed
    void hdmirxset(uint8_t reg, uint8_t mask, uint8_t value, uint8_t device);  // nothing on a failed read
    int hdmirxbwr(uint8_t reg, uint8_t count, const uint8_t* buffer, uint8_t device);
    void hdimrx_write_init(const uint8_t (*table)[3], uint8_t device);
    // CEC controller (0xC8), the same operations.
    uint8_t cecrd_6805(uint8_t reg, uint8_t device, bool* ok = nullptr);
    int cecwr_6805(uint8_t reg, uint8_t value, uint8_t device);
    void cecset_6805(uint8_t reg, uint8_t mask, uint8_t value, uint8_t device);
    int cecbrd_it6805(uint8_t reg, uint8_t count, uint8_t* out, uint8_t device);  // 1 ok, 0 failed
    int cecbwr_it6805(uint8_t reg, uint8_t count, const uint8_t* buffer, uint8_t device);

private:
    uint8_t rd(uint8_t addr, uint8_t reg, uint8_t device, bool* ok);
    int wr(uint8_t addr, uint8_t reg, const uint8_t* data, uint8_t count, uint8_t device);
    void set(uint8_t addr, uint8_t reg, uint8_t mask, uint8_t value, uint8_t device);
    void count_failure(uint8_t addr, uint8_t device, bool read);
    ite6805_sys* sys_;
};

// ---- chip operations ------------------------------------------------------------------------
class ite6805_drv {
public:
    explicit ite6805_drv(ite6805_sys* sys) : sys_(sys) {}

    uint8_t cec_time_unit[2] = {};
    uint8_t downscale_rows = 6;
    uint32_t RCLK[2] = {it6805::kRclkTypical, it6805::kRclkTypical};

    // Hot-plug of one port. Called from outside the state machine (the supervision's hot-plug
    // commands) it selects the device's switch channel first and restores the channel after.
    void iTE6805_Set_HPD_Ctrl(uint8_t port, uint8_t level, uint8_t device);
    void hpd_ctrl(uint8_t port, uint8_t level, uint8_t device);  // with the channel selected

    bool iTE6805_Init_fsm(uint8_t device);  // false when the bus failed on the way
    void chgbank(uint8_t bank, uint8_t device);
    void iTE6805_Reset_ALL_Logic(uint8_t port, uint8_t device);
    void iTE6805_Reset_Video_Logic(uint8_t device);
    void iTE6805_Reset_Audio_Logic(uint8_t device);
    bool iTE6805_Check_5V_State(uint8_t port, uint8_t device);
    bool iTE6805_Check_CLK_Vaild(uint8_t device);
    bool iTE6805_Check_CLK_Stable(uint8_t device);
    bool iTE6805_Check_SCDT(uint8_t device);
    bool iTE6805_Check_AUDT(uint8_t device);
    bool iTE6805_Check_HDMI2(uint8_t device);
    bool iTE6805_Check_TMDS_Bigger_Than_1G(uint8_t device);
    uint8_t iTE6805_Check_HDMI_OR_DVI_Mode(uint8_t port, uint8_t device);
    bool iTE6805_Check_PORT0_IS_MHL_Mode(uint8_t port, uint8_t device);
    bool iTE6805_Check_Single_Dual_Mode(uint8_t device);
    bool iTE6805_Check_AVMute(uint8_t device);
    bool iTE6805_Check_4K_Resolution(uint8_t device);
    void iTE6805_Set_AVMute(bool on, uint8_t device);
    void iTE6805_Set_Video_Tristate(bool on, uint8_t device);
    uint8_t iTE6805_GET_InputType(uint8_t device);
    void iTE6805_Show_AUD_Info(uint8_t device);
    void iTE6805_Enable_Audio_Output(uint8_t device);
    uint32_t iTE6805_Get_TMDS(uint8_t samples, uint8_t device);
    uint32_t iTE6805_Get_PCLK(uint8_t device);
    void iTE6805_Get_VID_Info(uint8_t device);
    it6805::VidTiming read_timing(uint8_t device);
    bool timing_moved(uint8_t device);
    void iTE6805_Show_VID_Info(uint8_t device);
    void iTE6805_Get_AVIInfoFrame_Info(uint8_t device);
    void iTE6805_Enable_Video_Output(uint8_t device);
    void iTE6805_Set_ColorDepth(uint8_t device);
    void iTE6805_Set_1B0_By_PixelClock(uint8_t device);
    void iTE6805_Set_47_By_TMDS(uint8_t device);
    void iTE6807_Video_Output_Setting(uint8_t device);
    void set_vbo_output(bool on, uint8_t device);  // bank 5 0xC9

    // bus helpers for the other IT6805 objects
    uint8_t rd(uint8_t device, uint8_t reg, bool* ok = nullptr);
    void wr(uint8_t device, uint8_t reg, uint8_t v);
    void set(uint8_t device, uint8_t reg, uint8_t mask, uint8_t v);
    // Sleeps ms; then, when at least kWaitServiceUs passed since it last ran, runs
    // between_waits: a step that sleeps for seconds (measuring a new input) lets the
    // supervision serve what must not wait that long (EEPROM requests) inside it.
    void delay1ms(uint32_t ms);
    static constexpr uint64_t kWaitServiceUs = 100000;
    std::function<void()> between_waits;

private:
    uint64_t last_service_us_ = 0;
    void offset_calibration(uint8_t device);
    void caof_port(uint8_t port, uint8_t device);
    uint32_t read_factory_rclk(uint8_t device);
    void osc_calibration(uint8_t device);
    uint8_t efuse_read(uint8_t a0, uint8_t a1, uint8_t* second, uint8_t device);
    void write_csc_row(int row, uint8_t device);
    void store_image_timing(uint8_t device);
    ite6805_sys* sys_;
};

// ---- equaliser ------------------------------------------------------------------------------
class ite6805_eq {
public:
    explicit ite6805_eq(ite6805_sys* sys) : sys_(sys) {}

    struct Dev {
        uint8_t auto_done = 0, h2_err = 0, h1_err = 0, eq_done = 0;
        uint8_t use_h1 = 0, use_h2 = 0, dfe_pending = 0, manual = 0, result = 0;
        uint8_t passed[3] = {}, pass_trial[3] = {};
        uint8_t skew_pending = 0, high_rate = 0;
        uint8_t wait = 0, check_count = 0, check_interval = 32;
        uint8_t best[3] = {};
        uint16_t best_err[3] = {32767, 32767, 32767};
        uint8_t trial = 0;  // per device: two inputs may equalise at once
        uint8_t err[5][3][2] = {};
        uint32_t acc[3] = {};
        const uint8_t* table = nullptr;
        uint8_t dfe[14][3][3] = {};
        uint8_t eq_result[3] = {};
    } dev[2];

    void iTE6805_EQ_chg(uint32_t state, uint8_t device);
    void iTE6805_EQ_fsm(uint8_t device);
    void iTE6805_hdmirx_port0_EQ_irq(uint8_t device);
    void iTE6805_hdmirx_port1_EQ_irq(uint8_t device);
    void iTE6805_Set_EQResult_Flag(uint8_t device);
    bool iTE6805_BitErr_Check_Again(uint8_t device);

private:
    uint8_t phy(uint8_t device) const;
    void bank_phy(uint8_t device);
    void bank0(uint8_t device);
    void port_irq(uint8_t device, bool port0);
    void BitErr_Get(uint8_t device);
    bool BitErr_Check(uint8_t device, uint8_t limit);
    bool parity_check(uint8_t device);
    void Trigger_EQ(uint8_t device);
    void Trigger_SAREQ(uint8_t device);
    void Trigger_RSSKEW_EQ(uint8_t device);
    void Reset_EQ(uint8_t device);
    void Report_EQ(uint8_t device);
    void Report_Skew(uint8_t device);
    void Get_DFE(uint8_t channel, uint8_t device);
    void Set_DFE(uint8_t value, uint8_t channel, uint8_t device);
    void pulse_port_reset(uint8_t device, uint32_t ms);
    void next_trial(uint8_t device);
    void entry_check(uint8_t device);
    void entry_report(uint8_t device);
    ite6805_sys* sys_;
};

// ---- CEC ------------------------------------------------------------------------------------
class ite6805_cec_sys {
public:
    static constexpr int kRing = 64;
    struct Dev {
        uint8_t logical = 0;
        uint8_t phys[2] = {};
        uint8_t rd = 0, wr = 0;
        uint8_t ring[kRing] = {};
        uint8_t pending[3] = {};
        bool has_pending = false;
        CEC_FRAME rx;
        uint8_t tx[21] = {};
        uint8_t retry = 0;
        bool silent = false;  // the controller failed its initialisation: CEC off until one succeeds
    } dev[2];

    // Ring of received messages: a message fits only when smaller than the free space, so a
    // full ring never looks empty. Bytes queued = (wr - rd) mod 64.
    static int queued(const Dev& d) { return (d.wr - d.rd + kRing) % kRing; }
    static int free_space(const Dev& d) { return kRing - queued(d); }
    static bool fits(const Dev& d, int size) { return size < free_space(d); }
    static void put(Dev& d, uint8_t byte);
    // Takes the next message into d.rx; false when none is complete.
    static bool take(Dev& d);
};

class ite6805_cec_feture {
public:
    // Whether the received frame is accepted for logical address `la`.
    static bool check(const CEC_FRAME& f, uint8_t la);
    // The reply to a received frame into out (size byte first, then the frame); 0 when none.
    static int reply(const CEC_FRAME& f, uint8_t la, const uint8_t phys[2], uint8_t out[21]);
};

class ite6805_cec_drv {
public:
    explicit ite6805_cec_drv(ite6805_sys* sys) : sys_(sys) {}
    void iTE6805_CEC_INIT(uint8_t device);
    void iTE6805_hdmirx_CEC_irq(uint8_t device);
    void iTE6805_CEC_chg(uint8_t state, uint8_t device);
    void iTE6805_CEC_CMD_Ready_To_Fire(uint8_t device);
    void rx_fifo_reset(uint8_t device);

private:
    void set_silent(uint8_t device, bool silent);
    void fill_queue(uint8_t device);
    bool append_message(uint8_t device);
    void answer_queue(uint8_t device);
    uint8_t tx_status(uint8_t device);
    bool polling_message(uint8_t device);
    ite6805_sys* sys_;
};

// ---- the system -----------------------------------------------------------------------------
class ite6805_sys {
public:
    int fd = -1;                          // "/dev/i2c-0", set by zeltasource::initialize()
    uint8_t identify_failures[2] = {};
    // input watchdog: change count, last sample tick, last htt, last vtt
    uint32_t wd_count[2] = {}, wd_tick[2] = {}, wd_htt[2] = {}, wd_vtt[2] = {};
    uint32_t reserved_254[2] = {254, 254};
    iTE6805_Data iTE6805_DATA[2];
    ite6805_i2c_rdwr* i2c = nullptr;
    ite6805_drv* drv = nullptr;
    ite6805_cec_sys* cec_sys = nullptr;
    ite6805_eq* eq = nullptr;
    ite6805_cec_drv* cec_drv = nullptr;
    ite6805_cec_feture* cec_feture = nullptr;
    // per-device counters and latches
    uint8_t prevAVIDB[2] = {}, aud_snapshot[2][3] = {}, aud_first[2] = {1, 1};
    uint8_t deskewerrcnt[2] = {}, deskew_escalation[2] = {};
    uint8_t symlock_count[2][3] = {};
    uint8_t ecc_count[2] = {}, ecc_escalation[2] = {};
    uint8_t avi_changed[2] = {};
    uint8_t Current_SCDTCheck_Count[2] = {};
    uint8_t aud_wait[2] = {}, aud_hold[2] = {};
    uint8_t Current_AudioSamplingFreq_ErrorCount[2] = {};
    uint8_t clk_stable_count[2] = {};
    uint8_t last_scdt[2] = {};
    uint8_t colour_snapshot[2][4] = {};
    uint8_t vpol_changed[2] = {};
    uint8_t hdcp_recheck[2] = {};
    uint8_t audio_window[2] = {};
    uint8_t init_state[2] = {};           // 0 identify and initialise on the next pass, 1 running
    // Bus failures per device (reads and writes) of the receiver itself, for diagnosis and for
    // the pass guards; those of its CEC controller apart (a silent CEC block leaves video alone).
    uint32_t read_failures[2] = {}, write_failures[2] = {};
    uint32_t cec_failures[2] = {};
    uint32_t skipped_passes[2] = {};      // passes skipped because the bus was not ours

    ite6805_sys();
    ~ite6805_sys();
    ite6805_sys(const ite6805_sys&) = delete;
    ite6805_sys& operator=(const ite6805_sys&) = delete;

    void iTE6805_FSM(uint8_t device);     // one supervision pass of one device
    void ite6805_sys_reset_init();        // the supervision reset the chips
    // Identify and initialise the device again on its next pass (a reset of the chips, a
    // custom EDID, a hot-plug command): the video it showed is lost, as on a video loss.
    void restart(uint8_t device);
    // Leaves the video states for the unplugged one without touching the chip; a stable video
    // withdraws its timing records.
    void drop_video(uint8_t device);

    void iTE6805_vid_chg(uint32_t state, uint8_t device);
    void iTE6805_aud_chg(uint32_t state, uint8_t device);
    void port_5v_change(uint8_t port, uint8_t device);
    void iTE6805_update_hdmi(uint8_t device);
    // The device's video is gone: hdminfo no longer stable, the image's record "no signal".
    void withdraw_timing(uint8_t device);
    // Stores the device's timing (or no signal) in its hdminfo record under the record lock.
    void fill_hdminfo(uint8_t device, bool no_signal);

    // Switch channel of the device on the receiver switch, and whether it is selected now.
    static uint8_t channel(uint8_t device) { return device ? 0x10 : 0x20; }
    bool channel_selected(uint8_t device);
    // Reads the receiver switch's control byte; -1 on a bus failure.
    int read_switch();
    bool write_switch(uint8_t channels);
    bool in_fsm() const { return in_fsm_; }
    void set_in_fsm(bool v) { in_fsm_ = v; }

    void port_select(uint8_t device);  // carries out a port-select request

private:
    void identify(uint8_t device);
    void main_body(uint8_t device);
    void port_irq(uint8_t device);
    void ecc_error(uint8_t port, uint8_t device);
    void common_irq(uint8_t device);
    void scdt_change(uint8_t device);
    void vid_fsm(uint8_t device);
    void vid_stable_pass(uint8_t device);
    void aud_fsm(uint8_t device);
    void vbo_guard(uint8_t device);
    void publish(uint8_t device);
    void watchdog(uint8_t device, int port);
    void set_chip_present(uint8_t device, bool present);
    void update_color_change(uint8_t device, uint8_t avidb);
    void video_stable_setup(uint8_t device);
    bool sync_changed_in_setup(uint8_t device);

    bool in_fsm_ = false;
    uint32_t prev_statev_[2] = {STATEV_Unknown, STATEV_Unknown};
    std::unique_ptr<platform::I2cBus> switch_bus_;  // plain reads of the switch's control byte
    uint32_t stable_stamp_[2] = {};
};
