#pragma once
// The detailed timing of one input as the receiver drivers measure it (one record per
// receiver r = source s, 0..5), kept by the source-supervision thread and taken over by the
// scaler. Every access is under Utils::_source_hdminfo_mutex; readers copy a whole record.
#include <cstdint>

struct HDMI_INFO {
    uint32_t Hact;
    uint32_t Hsync;
    uint32_t Hback;
    uint32_t Hpol;     // 1 positive (the IT6602 path always stores 1)
    uint32_t Htotal;
    uint32_t Vact;
    uint32_t Vsync;
    uint32_t Vback;
    uint32_t Vpol;     // 1 positive (IT6602 path: 1)
    uint32_t Vtotal;
    float PCLK;        // pixel clock, MHz
    uint32_t type;     // 0 IT6602, 1 IT6807 (the IT6805 receivers with V-by-One output)
    uint32_t data_mode;  // 0 SDR, 1 DDR
    uint32_t lanes;    // V-by-One lanes (IT6602 path: 0)
    uint32_t interlaced;
    uint32_t no_signal;  // 1 no video
    uint32_t stable;   // 1 = a new stable timing is stored and not yet taken over
};
static_assert(sizeof(HDMI_INFO) == 17 * 4, "hdminfo record is 17 32-bit words");

constexpr int kSourceCount = 6;
