#include "video_io/fpga_frames.h"

#include <QDate>

#include <cstring>

namespace fpga_frames {

namespace {
constexpr uint8_t kSrcLow = 0x00, kSrcHigh = 0xF0;  // the FPGA's own address 0xF000
int bcd(uint8_t b) { return (b >> 4) * 10 + (b & 0x0F); }
}  // namespace

uint8_t xor_of(const uint8_t* p, uint32_t n)
{
    uint8_t x = 0;
    for (uint32_t i = 0; i < n; ++i)
        x ^= p[i];
    return x;
}

bool bcc_ok(const uint8_t* frame, uint32_t len)
{
    return len >= 1 && xor_of(frame, len - 1) == frame[len - 1];
}

void set_bcc(uint8_t* frame, uint32_t len)
{
    if (len >= 1)
        frame[len - 1] = xor_of(frame, len - 1);
}

void set_byte(uint8_t* frame, uint32_t len, uint32_t at, uint8_t v)
{
    if (at + 1 >= len)
        return;
    frame[len - 1] ^= uint8_t(frame[at] ^ v);
    frame[at] = v;
}

void set_group_bits(uint8_t* frame, uint32_t len, uint32_t at, uint8_t v)
{
    const uint8_t hi = frame[at + 1];
    set_byte(frame, len, at + 1, uint8_t((hi & ~0x30) | ((v & 3) << 4)));
}

void search_frame(uint8_t port, uint8_t out[kSearchLen])
{
    const uint8_t f[kSearchLen] = {0xFE, uint8_t(0x0F | ((port % 4) << 4)), kSrcLow, kSrcHigh, 0x10, 0xAA, 0xFF,
                                   uint8_t(port + 1), 0x00, kCmdSearch, 0, 0, 0, 0, 0};
    std::memcpy(out, f, kSearchLen);
    set_bcc(out, kSearchLen);
}

void relay_frame(uint16_t vmf_addr, uint8_t relay, bool on, uint8_t out[kRelayLen])
{
    const int k = (relay - 1) % 4;
    const uint8_t s = on ? 3 : 1;
    const uint8_t f[kRelayLen] = {uint8_t(vmf_addr), uint8_t(vmf_addr >> 8), kSrcLow, kSrcHigh, 0x10, 0xBB, 0x03,
                                  0x00, 0x00, kCmdRelay, uint8_t(relay <= 4 ? 0x02 : 0x03), uint8_t(3 << (2 * k)),
                                  0x00, uint8_t(s << (2 * k)), 0};
    std::memcpy(out, f, kRelayLen);
    set_bcc(out, kRelayLen);
}

static void vmf_read(uint16_t vmf_addr, const uint8_t args[8], uint8_t out[kVmfReadLen])
{
    const uint8_t head[10] = {uint8_t(vmf_addr), uint8_t(vmf_addr >> 8), kSrcLow, kSrcHigh, 0x10, 0xBB, 0x03,
                              0x00, 0x00, kCmdVmfRead};
    std::memcpy(out, head, 10);
    std::memcpy(out + 10, args, 8);
    set_bcc(out, kVmfReadLen);
}

void vmf_ram0_frame(uint16_t vmf_addr, uint8_t out[kVmfReadLen])
{
    static constexpr uint8_t kArgs[8] = {0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00};
    vmf_read(vmf_addr, kArgs, out);
}

void vmf_data_frame(uint16_t vmf_addr, uint8_t out[kVmfReadLen])
{
    static constexpr uint8_t kArgs[8] = {0x00, 0x00, 0x00, 0x02, 0x80, 0x00, 0x00, 0x00};
    vmf_read(vmf_addr, kArgs, out);
}

bool clock_fields_ok(const uint8_t b[7])
{
    for (int i = 0; i < 7; ++i)
        if ((b[i] >> 4) > 9 || (b[i] & 0x0F) > 9)
            return false;
    return QDate(bcd(b[1]) * 100 + bcd(b[0]), bcd(b[2]), bcd(b[3])).isValid() && bcd(b[4]) <= 23 &&
           bcd(b[5]) <= 59 && bcd(b[6]) <= 59;
}

QString clock_command(const uint8_t b[7])
{
    const QString date = QString("%1-%2-%3").arg(bcd(b[1]) * 100 + bcd(b[0])).arg(bcd(b[2])).arg(bcd(b[3]));
    const QString time = QString("%1:%2:%3").arg(bcd(b[4])).arg(bcd(b[5])).arg(bcd(b[6]));
    return "date \"" + date + " " + time + "\";hwclock -wu";
}

}  // namespace fpga_frames
