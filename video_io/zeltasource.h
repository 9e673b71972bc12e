#pragma once
// Input-source supervision: owns the receivers (four IT6602, two IT6805), the IT66121 on the
// SDI board and the I2C bus object, and runs the one thread that does all their I2C traffic.
// Receivers r = 0..5 are the image's source numbers s. The EDID and audio request flags live
// in core/requests.h (scaler_req::), which the apply pass raises.
//
// Thread states (source_state): 0 hold the receiver groups in reset, 1 wait 100 ticks,
// 2 release, 3 wait 500 ticks, 4 check the EDID EEPROMs, 5 poll for ever.
#include <atomic>
#include <cstdint>
#include <pthread.h>

#include "video_io/hdminfo.h"

class ite6805_sys;
class it66121_sys;
class zelta_it6602;
class Drv_I2C0;

class zeltasource {
public:
    static zeltasource* pInstance();  // creates the object (start step 5); no thread yet
    static zeltasource* p_zelta_source;

    // The device creates its one object through pInstance(); tests create their own and
    // step it with thread_pass() (no thread) or start it with initialize().
    zeltasource();
    ~zeltasource();  // stops and joins the thread (the device never destroys the object)

    int initialize();  // start step 7: opens the bus, starts the supervision thread
    int open_bus();    // the bus part of initialize(), without the thread; the handle or -1

    ite6805_sys* ite6805 = nullptr;   // owned
    it66121_sys* it66121 = nullptr;   // owned
    std::atomic<uint8_t> sdi_reset_request{0};  // remote register 17 bit 0
    uint8_t sdi_reset_phase = 0;
    uint32_t sdi_reset_tick = 0;
    uint32_t port_mask = 255;         // from g_check_source
    HDMI_INFO hdminfo[kSourceCount] = {};  // under Utils::_source_hdminfo_mutex
    zelta_it6602* it6602 = nullptr;   // owned
    Drv_I2C0* i2c = nullptr;          // owned
    uint8_t it6602_stage[4] = {};
    pthread_t thread{};
    uint32_t sdi_state = 0;
    // Clock generator state 0..2; the FPGA thread powers the FPGA up only when entry 0 is 2.
    std::atomic<uint8_t> clock_setup_state[2] = {};
    uint8_t clock_done[2] = {};
    // Under Utils::_source_init_mutex.
    uint32_t state_tick = 0;
    uint8_t source_state = 0;
    uint8_t reset_request[kSourceCount] = {1, 1, 1, 1, 1, 1};

    // The EDID images served by the EEPROMs: receivers 0..3 and 4..5. A custom timing is
    // written into them and stays until restart. Touched only by the supervision thread.
    uint8_t zelta_default_edid_6602[4][256];
    uint8_t zelta_default_edid_6805[2][256];

    int fd = -1;  // the I2C bus handle of Drv_I2C0

    // ---- I2C devices (8-bit addresses) and switch channels ----
    static constexpr uint8_t kRxSwitch = 0xEE;
    static constexpr uint8_t kEepromSwitch = 0xE0;
    static constexpr uint8_t kEeprom = 0xA0;
    static constexpr uint8_t kClockGen = 0xD0;
    static constexpr uint8_t kAudioSelector = 0x40;
    static constexpr uint8_t kClockGenChannel = 0x80;
    static constexpr uint8_t kChannel[kSourceCount] = {0x01, 0x02, 0x04, 0x08, 0x20, 0x10};

    // ---- the thread ----
    static void* checksourceThread(void* arg);
    void thread_pass();   // one step of the state machine (a whole polling pass in state 5)
    void polling_pass();
    void sourcecheck();   // one pass over the receivers
    std::atomic<bool> stop_thread{false};

    // ---- clock generator and SDI chain ----
    void s5p210_setup(int n);
    void it66121_sdi_enable();

    // ---- EDID ----
    // Writes receiver r's custom preferred timing into its image. false (image kept, WARNING)
    // for r outside 0..5, a zero field or a pixel clock beyond the descriptor's 16 bits.
    bool Set_Custom_HDMI_EDID(int width, int height, int refresh, int r);
    static uint8_t CalcSum4LCD(uint8_t seed, const uint8_t* data, int length);
    uint8_t* edid_image(int r);  // receiver r's image, null outside 0..5

    // ---- audio ----
    // The selector byte for an image: the selected window's source (a crop's own source),
    // 0x00 when its sound is off or it names no valid source or crop row.
    static uint8_t audio_selector_byte(const uint8_t* image);

private:
    void set_state(uint8_t state);
    uint8_t state();
    bool tick_elapsed(uint32_t ticks);
    void next_state_after(uint32_t ticks, uint8_t next);
    void sleep_until_elapsed(uint32_t ticks);
    void reset_groups();
    void release_groups();

    bool select(uint8_t sw, uint8_t channels);
    bool select_eeprom(int r);
    bool eeprom_read(uint8_t* image);
    bool eeprom_write(const uint8_t* image);
    static bool edid_valid(const uint8_t* image);
    bool eeprom_good(int r) const;
    void set_eeprom_good(int r, bool good);
    void edid_check();
    bool edid_check_one(int r);
    // A valid EEPROM holding another timing than receiver r's record is written anew from it.
    void edid_follow_record(int r, const uint8_t* held_image);
    void edid_check_done();
    bool custom_edid_writes();
    void serve_edid_requests();
    bool edid_record(int r, uint16_t rec[3]);
    const uint8_t* repair_image(int r);
    void write_custom_edid(int r);
    void record_eeprom_timing(int r, const uint16_t refused[3]);

    bool serve_hotplug_byte2();
    bool serve_hotplug_byte1();
    void ite6805_hpd(int device, int level);
    void select_audio();
    void sdi_reset_pulse();
    void restart_receiver(int r);
    void step_receiver(int r);

    bool thread_running_ = false;
};
