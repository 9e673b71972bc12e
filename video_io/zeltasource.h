#pragma once
// Input-source supervision: owns the receivers (four IT6602, two IT6805), the IT66121 on the
// SDI board and the I2C bus object, and runs the one thread that does all their I2C traffic.
// Receivers r = 0..5 are the image's source numbers s. The EDID and audio request flags live
// in scaler/requests.h (scaler_req::), which the apply pass raises.
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

    int initialize();  // start step 7: opens the bus, starts the supervision thread

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

private:
    zeltasource();
};
