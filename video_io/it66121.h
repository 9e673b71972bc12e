#pragma once
// The IT66121 HDMI transmitter on the SDI board (I2C 0x98): identified and loaded with its
// register tables once by the SDI bring-up; its polling step does nothing (no hot-plug, sink
// EDID, HDCP or audio handling runs on it).
#include <cstdint>

// One table row: mask 0xFF writes value, another non-zero mask writes the masked bits,
// {reg, 0, 0} pauses reg milliseconds, {0, 0, 0} ends the table.
struct RegSetEntry {
    uint8_t reg, mask, value;
};

// I2C access to the transmitter, on the bus handle the IT6805 system holds.
class sdi_it66121 {
public:
    static constexpr uint8_t kAddress = 0x98;
    int fd = -1;
    int I2C2_IT66121_Read(uint8_t address, uint8_t reg, int count, uint8_t* buffer);
    int I2C2_IT66121_Write(uint8_t address, uint8_t reg, int count, uint8_t* data);
    uint8_t HDMITX_ReadI2C_Byte(uint8_t reg);  // a failed read gives 0
    int HDMITX_WriteI2C_Byte(uint8_t reg, uint8_t value);
    int HDMITX_SetI2C_Byte(uint8_t reg, uint8_t mask, uint8_t value);
};

class it66121_hdmitx_drv {
public:
    explicit it66121_hdmitx_drv(sdi_it66121& io) : io_(io) {}
    void Switch_HDMITX_Bank(int bank);
    void hdmitx_LoadRegSetting(const RegSetEntry* table);
    uint8_t instance[20] = {};
    uint8_t flags = 0;

private:
    sdi_it66121& io_;
};

// The mode record: what would be programmed if the transmitter's loop ran.
class it66121_hdmitx_sys {
public:
    static constexpr uint8_t InstanceData[20] = {0x00, 0x98, 0x40, 0x00, 0x01, 0x00, 0x01, 0x02};
    uint16_t output_flags = 0x1801;
    uint8_t output_colour = 0;  // RGB
    uint32_t pixel_clock_hz = 0;
    uint16_t video_code = 0;    // + 0x100 for pixel repetition
    uint32_t audio_rate = 48000;
    uint8_t audio_channels = 2;
    uint8_t update_pending = 0;
    uint8_t status[2] = {};
    bool enabled = false;       // cleared at construction; nothing sets it

    void CHANGE_INPUT(int n);
    void HDMITX_DevLoopProc();
};

class it66121_sys {
public:
    static constexpr uint8_t kMaxTestFailures = 10;
    uint8_t chip_test_ok = 0;
    uint8_t chip_test_failures = 0;
    sdi_it66121 io;
    it66121_hdmitx_sys tx_sys;
    it66121_hdmitx_drv tx_drv{io};

    void sdi_it66121_init();
    int IT66121_Test();   // 1 when the chip identifies itself
    void IT66121_init();
    void GS2971_Reset();
};

// The register tables, for the tests.
namespace it66121_tables {
extern const RegSetEntry HDMITX_Init_Table[];
extern const RegSetEntry HDMITX_DefaultVideo_Table[];
extern const RegSetEntry HDMITX_SetHDMI_Table[];
extern const RegSetEntry HDMITX_DefaultAVIInfo_Table[];
extern const RegSetEntry HDMITX_DeaultAudioInfo_Table[];
extern const RegSetEntry HDMITX_Aud_CHStatus_LPCM_20bit_48Khz[];
extern const RegSetEntry HDMITX_AUD_SPDIF_2ch_24bit[];
}  // namespace it66121_tables
