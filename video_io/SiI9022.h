#pragma once
// The SiI9022 HDMI transmitter's parameter object: the default blanking of a user-defined
// output timing. Created at start; nothing programs a SiI9022 on this board.
#include <cstdint>

class SiI9022 {
public:
    static SiI9022* pInstance();
    static SiI9022* p_9022;

    void SiI9022_para_init();

    uint8_t hfront = 0, hsync = 0, hback = 0, vfront = 0;
    uint16_t vparam = 0;   // 0x142B
    uint32_t value = 0;    // 83

private:
    SiI9022();
};
