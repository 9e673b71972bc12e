#pragma once
// The four IT6602 HDMI receivers (receivers 0..3). One driver serves them all: the
// supervision thread selects receiver r's channel on the receiver switch before each call,
// so every chip answers at the same address. Each step follows cable power, clock and sync,
// measures the timing and publishes it to hdminfo and the image's timing record.
#include <cstdint>

#include "video_io/Drv_I2C0.h"
#include "video_io/hdminfo.h"

// The equaliser search of one port (see it6602_eq.cpp).
struct IT6602_EQ {
    uint8_t step = 255;        // 255 idle
    uint8_t port = 0;
    uint8_t busy = 0;
    uint8_t error_count = 0;   // error count of the setting in use
    uint8_t sync_loss = 0;
    uint8_t repeat = 0;        // successive saturated error reads
    uint8_t mute_steps = 0;
    uint8_t c[3] = {10, 10, 10};  // error counts of the three trial settings
};

struct IT6602_dev_data {
    uint32_t video_state = 0;
    uint32_t audio_state = 0;
    uint16_t video_countdown = 0;
    uint16_t audio_countdown = 0;
    uint8_t sync_wait = 0;
    uint8_t port = 255;
    uint8_t out_colour = 0, out_data = 0, out_sync = 0;
    uint8_t avi[2] = {};
    uint8_t flags = 0;          // FLAG_HDMI, FLAG_NEW_AVI
    uint8_t audio_caps[3] = {};
    uint8_t eq_events = 0;      // bits 0..2 port 0, 4..6 port 1
    uint8_t eq_countdown[2] = {};
    uint8_t ecc_errors[2] = {};
    uint8_t deskew_errors[2] = {};
    IT6602_EQ eq[2];
    uint8_t frame_3d = 0;
    uint8_t timing_ok = 0;      // video on with a usable measurement published
};

// The measured timing of one receiver.
struct IT6602_TIMING {
    uint16_t Hact = 0, Vact = 0, Htotal = 0, Vtotal = 0;
    uint32_t pclk_mhz = 0;
    uint16_t Hfront = 0, Hsync = 0, Hback = 0, Vfront = 0, Vsync = 0, Vback = 0;
    uint8_t flags = 0;  // bit 0 interlaced, 1 vertical sync positive, 2 horizontal positive
};

class zelta_it6602 {
public:
    enum VideoState : uint32_t { VSTATE_Off = 0, VSTATE_SyncWait = 4, VSTATE_SWReset = 5, VSTATE_SyncChecking = 6,
                                 VSTATE_VideoOn = 10, VSTATE_Unknown = 13 };
    enum AudioState : uint32_t { ASTATE_AudioOff = 0, ASTATE_RequestAudio = 1, ASTATE_ResetAudio = 2,
                                 ASTATE_WaitForReady = 3, ASTATE_AudioOn = 4, ASTATE_Unknown = 5 };
    static constexpr uint8_t FLAG_HDMI = 0x08, FLAG_NEW_AVI = 0x20;
    static constexpr uint8_t IT6602EQTable[3] = {0xFF, 0x9F, 0x83};

    int fd = -1;  // set by zeltasource::initialize()
    uint8_t identify_failures[4] = {};
    IT6602_dev_data dev[4];
    uint8_t pll_checks[4] = {};
    uint8_t eq_busy[4][2] = {};
    uint8_t amp_valid[4][2] = {};
    uint8_t amp[4][2][3] = {};
    uint8_t eq_forced[4][2] = {};
    uint8_t address = 0x94;
    IT6602_TIMING timing[4];
    uint32_t tmds_clock[4] = {};
    uint8_t colour_depth[4] = {};
    uint8_t in_colour[4] = {}, out_colour[4] = {};
    uint32_t oclk_count[4] = {};
    uint32_t read_failures = 0;   // failed register reads (each gives 0)
    uint32_t write_failures = 0;  // failed register writes

    // ---- entry points of the supervision thread ----
    int IT6602_fsm_init(int fd, int r);    // identify and reset; 1 when the chip answered
    void IT6602_fsm_init_1(int fd, int r);
    void IT6602_fsm(int fd, int r);

    // ---- pure helpers (the measurement arithmetic, guarded against zero divisors) ----
    // Registers 0x90..0xA8 as read (index 0 = register 0x90) -> timing; false when the
    // measurement is not usable (zero divisor, total, active size or a negative porch).
    static bool timing_from_regs(const uint8_t regs[0x19], IT6602_TIMING* t);
    static uint32_t refresh_hz(const IT6602_TIMING& t);  // 0 for zero totals
    static uint16_t recorded_refresh(uint32_t hz);       // below 55 as measured, else 60
    // The trial setting chosen from the error counts of the three settings (index 0..2).
    static int JudgeBestEQ(const uint8_t c[3]);

    // ---- register access (bank 0 unless the caller switched) ----
    uint8_t hdmirxrd_it6602(uint8_t reg);
    int hdmirxwr_it6602(uint8_t reg, uint8_t value);  // 0 on success
    void hdmirxset_it6602(uint8_t reg, uint8_t mask, uint8_t value);  // nothing after a failed read
    int hdmirxbwr_it6602(uint8_t reg, const uint8_t* data, int count);
    void chgbank_it6602(int bank);

private:
    bool read_reg(uint8_t reg, uint8_t* v);
    static HDMI_INFO* info_of(int r);  // receiver r's hdminfo record (null without the supervision)
    static void set_no_signal(int r, uint32_t v);
    Drv_I2C0 bus_;  // stateless: reaches the bus handle fd
    struct InitRow {
        uint8_t reg, mask, value;
    };
    static const InitRow IT6602_HDMI_INIT_TABLE[];
    void hdimrx_write_init_it6602(const InitRow* table);

    // status predicates of the selected port
    bool power_5v(int port);
    bool clock_stable(int port);
    bool sync_detected();

    int IT6602_Identify_Chip(int r);
    void IT6602_Rst(int r);
    uint32_t CP_OCLK();
    void IT6602PortSelect(int r, int port);
    void IT6602HPDCtrl(int r, int port, int level);

    void IT6602SwitchVideoState(int r, uint32_t state);
    void IT6602SwitchAudioState(int r, uint32_t state);
    void unpublish(int r);
    void video_output_off(int r);
    void video_output_on(int r);
    void IT6602_VideoHandler(int r);
    void IT6602_AudioHandler(int r);
    void IT6602_Interrupt(int r);
    void pll_check(int r);
    void configure_output(int r);
    bool measure_and_publish(int r);  // false when nothing usable was measured
    void reset_audio_fifo();
    void configure_3d(int r);
    void lift_mute(int r);

    // equaliser and link recovery (it6602_eq.cpp)
public:
    void IT6602HDMIEventManager(int r);
    void HDMIAdjustEQ(int r, int port);
    void HDMIStartEQDetect(int r, int port);
    void AmpValidCheck(int r, int port);
    void TMDSCheck(int r, int port);
    void DisableOverWriteRS(int r, int port);
    void hdmirx_ECCTimingOut(int r, int port);

private:
    void HDMISwitchEQstate(int r, int port, int target);
    void HDMIJudgeECCvalue(int r, int port);
    void HDMICheckSCDTon(int r, int port);
    bool HDMIPollingErrorCount(int r, int port);
    void judge_point(int r, int port);
    void OverWriteAmpValue2EQ(int r, int port);
    void apply_eq_setting(int r, int port, uint8_t value);
    void flip_eq_force(int port);
    int r_ = 0;  // receiver of the call in progress (for the read-failure count)
};
