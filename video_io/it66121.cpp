// The IT66121 on the SDI board: chip test, table loads and the recorded video mode.
#include "video_io/it66121.h"

#include "platform/board.h"
#include "video_io/Drv_I2C0.h"
#include "video_io/soc_pads.h"

constexpr uint8_t it66121_hdmitx_sys::InstanceData[20];

namespace {
constexpr uint8_t REG_VENDOR_ID0 = 0x00;  // 0x54
constexpr uint8_t REG_VENDOR_ID1 = 0x01;  // 0x49
constexpr uint8_t REG_BANK = 0x0F;        // bit 0 selects the register bank
constexpr uint16_t kVendorId = 0x4954;
constexpr uint64_t kGs2971ResetMs = 50;

void sdi_reset_line(uint16_t v) { platform::board().soc_window().write16(pads::PAD_SDI_RST, v); }
}  // namespace

// ---- access ----------------------------------------------------------------------------------

int sdi_it66121::I2C2_IT66121_Read(uint8_t address, uint8_t reg, int count, uint8_t* buffer)
{
    return Drv_I2C0::p_drv_i2c0 ? Drv_I2C0::p_drv_i2c0->i2c_read(fd, address, reg, buffer, count) : 0;
}

int sdi_it66121::I2C2_IT66121_Write(uint8_t address, uint8_t reg, int count, uint8_t* data)
{
    return Drv_I2C0::p_drv_i2c0 && count >= 0 ? Drv_I2C0::p_drv_i2c0->i2c_write(fd, address, reg, data, unsigned(count))
                                              : 0;
}

uint8_t sdi_it66121::HDMITX_ReadI2C_Byte(uint8_t reg)
{
    uint8_t v = 0;
    return I2C2_IT66121_Read(kAddress, reg, 1, &v) ? v : 0;
}

int sdi_it66121::HDMITX_WriteI2C_Byte(uint8_t reg, uint8_t value)
{
    return I2C2_IT66121_Write(kAddress, reg, 1, &value);
}

int sdi_it66121::HDMITX_SetI2C_Byte(uint8_t reg, uint8_t mask, uint8_t value)
{
    if (mask != 0xFF)
        value = uint8_t((HDMITX_ReadI2C_Byte(reg) & ~mask) | (value & mask));
    return HDMITX_WriteI2C_Byte(reg, value);
}

// ---- tables ----------------------------------------------------------------------------------

void it66121_hdmitx_drv::Switch_HDMITX_Bank(int bank)
{
    io_.HDMITX_SetI2C_Byte(REG_BANK, 0x01, uint8_t(bank & 1));
}

void it66121_hdmitx_drv::hdmitx_LoadRegSetting(const RegSetEntry* t)
{
    for (; t->reg || t->mask || t->value; ++t) {
        if (t->mask == 0 && t->value == 0)
            platform::sleep_ms(t->reg);
        else
            io_.HDMITX_SetI2C_Byte(t->reg, t->mask, t->value);
    }
}

// ---- mode record -----------------------------------------------------------------------------

void it66121_hdmitx_sys::CHANGE_INPUT(int n)
{
    static constexpr uint8_t kCode[18] = {1, 2, 3, 4, 5, 6, 7, 16, 17, 18, 19, 20, 21, 22, 31, 32, 33, 34};
    const uint8_t code = kCode[((n % 18) + 18) % 18];
    uint16_t recorded = code;
    switch (code) {
    case 1: pixel_clock_hz = 25000000; break;
    case 2: case 3: case 17: case 18: pixel_clock_hz = 27000000; break;
    case 6: case 7: case 21: case 22:
        pixel_clock_hz = 13500000;
        recorded = uint16_t(code + 0x100);  // pixel repetition
        break;
    case 16: case 31: pixel_clock_hz = 148500000; break;
    default: pixel_clock_hz = 74250000; break;
    }
    video_code = recorded;
    output_colour = 0;
    output_flags |= 0x30;
    update_pending = 1;
}

void it66121_hdmitx_sys::HDMITX_DevLoopProc()
{
    if (!enabled)
        return;
}

// ---- bring-up steps --------------------------------------------------------------------------

void it66121_sys::sdi_it66121_init()
{
    platform::board().soc_window().write16(pads::PAD_AUX_7800, 0x10);
    sdi_reset_line(1);
}

int it66121_sys::IT66121_Test()
{
    tx_drv.Switch_HDMITX_Bank(0);
    const uint16_t id = uint16_t(io.HDMITX_ReadI2C_Byte(REG_VENDOR_ID1) << 8 | io.HDMITX_ReadI2C_Byte(REG_VENDOR_ID0));
    chip_test_ok = id == kVendorId;
    if (!chip_test_ok)
        ++chip_test_failures;
    return chip_test_ok;
}

void it66121_sys::IT66121_init()
{
    using namespace it66121_tables;
    for (int i = 0; i < 20; ++i)
        tx_drv.instance[i] = it66121_hdmitx_sys::InstanceData[i];
    tx_sys.status[0] = tx_sys.status[1] = 0;
    tx_drv.hdmitx_LoadRegSetting(HDMITX_Init_Table);
    tx_drv.flags = uint8_t((tx_drv.flags & ~0x04) | (tx_drv.instance[2] >> 7 & 1) << 2);
    for (const RegSetEntry* t : {HDMITX_DefaultVideo_Table, HDMITX_SetHDMI_Table, HDMITX_DefaultAVIInfo_Table,
                                 HDMITX_DeaultAudioInfo_Table, HDMITX_Aud_CHStatus_LPCM_20bit_48Khz,
                                 HDMITX_AUD_SPDIF_2ch_24bit})
        tx_drv.hdmitx_LoadRegSetting(t);
    tx_sys.CHANGE_INPUT(7);  // 1920x1080p60
    GS2971_Reset();
}

void it66121_sys::GS2971_Reset()
{
    sdi_reset_line(0);
    platform::sleep_ms(kGs2971ResetMs);
    sdi_reset_line(1);
}
