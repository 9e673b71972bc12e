#include "video_io/SiI9022.h"

SiI9022* SiI9022::p_9022 = nullptr;

SiI9022::SiI9022() { SiI9022_para_init(); }

SiI9022* SiI9022::pInstance()
{
    if (!p_9022)
        p_9022 = new SiI9022;
    return p_9022;
}

void SiI9022::SiI9022_para_init()
{
    hfront = 60;
    hsync = 80;
    hback = 60;
    vfront = 20;
    vparam = 0x142B;  // bytes 43, 20
    value = 83;
}
