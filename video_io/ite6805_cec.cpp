// IT6805 CEC: answers the requests a source sends on the input with a fixed identity (TV at
// logical address 0, physical address 0.0.0.0, CEC 2.0). Received messages move from the
// controller into a 64-byte ring per device, then are checked and answered one by one.
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>

#include "core/log.h"
#include "video_io/it6805_regs.h"
#include "video_io/ite6805_sys.h"

using namespace it6805;

namespace {

// Per opcode: bits 0-4 the minimum frame size, bit 7 accepted directed, bits 5-6 broadcast.
struct MsgSizeTable {
    uint8_t v[256] = {};
    constexpr MsgSizeTable()
    {
        constexpr uint8_t rows[][2] = {
            {0x00, 0x84}, {0x04, 0x82}, {0x05, 0x82}, {0x06, 0x82}, {0x07, 0x87}, {0x08, 0x83}, {0x09, 0x83},
            {0x0A, 0x83}, {0x0B, 0x82}, {0x0D, 0x82}, {0x0F, 0x82}, {0x1A, 0x83}, {0x1B, 0x83}, {0x32, 0x65},
            {0x33, 0x8D}, {0x34, 0x8D}, {0x35, 0x83}, {0x36, 0xE2}, {0x41, 0x83}, {0x42, 0x83}, {0x43, 0x83},
            {0x44, 0x83}, {0x45, 0x82}, {0x46, 0x82}, {0x47, 0x82}, {0x64, 0x83}, {0x67, 0x82}, {0x70, 0x82},
            {0x71, 0x82}, {0x72, 0xE3}, {0x7A, 0x83}, {0x7D, 0x82}, {0x7E, 0x83}, {0x80, 0x66}, {0x81, 0x64},
            {0x82, 0x64}, {0x83, 0x82}, {0x84, 0x65}, {0x85, 0x62}, {0x86, 0x64}, {0x87, 0x65}, {0x89, 0x82},
            {0x8A, 0xE2}, {0x8B, 0xE2}, {0x8C, 0x82}, {0x8D, 0x83}, {0x8E, 0x83}, {0x8F, 0x82}, {0x90, 0xA3},
            {0x91, 0x82}, {0x92, 0x86}, {0x93, 0x89}, {0x97, 0x90}, {0x99, 0x90}, {0x9A, 0x83}, {0x9D, 0x84},
            {0x9E, 0x83}, {0x9F, 0x82}, {0xA0, 0xE5}, {0xA1, 0x8D}, {0xA2, 0x8D}, {0xA3, 0x82}, {0xA4, 0x82},
            {0xA5, 0x82}, {0xA6, 0x66}, {0xA7, 0x64}, {0xA8, 0x67}, {0xC0, 0x82}, {0xC1, 0x82}, {0xC2, 0x82},
            {0xC3, 0x82}, {0xC4, 0x82}, {0xC5, 0x82}, {0xF8, 0x62}, {0xFF, 0x82},
        };
        for (const auto& r : rows)
            v[r[0]] = r[1];
    }
};
constexpr MsgSizeTable cec_msg_size;

constexpr uint8_t kBroadcast = 15;
constexpr int kMaxMessagesPerFill = 15;  // a controller that keeps reporting cannot hold the thread

}  // namespace

// ---- the ring -------------------------------------------------------------------------------

void ite6805_cec_sys::put(Dev& d, uint8_t byte)
{
    d.ring[d.wr] = byte;
    d.wr = uint8_t((d.wr + 1) % kRing);
}

bool ite6805_cec_sys::take(Dev& d)
{
    const int n = queued(d);
    if (n < 3)
        return false;
    const uint8_t size_byte = d.ring[d.rd];
    if (size_byte < 3 || size_byte > n || size_byte - 1 > int(sizeof d.rx.bytes)) {
        d.rd = d.wr;  // the ring is inconsistent: drop what is in it
        return false;
    }
    for (int i = 1; i < size_byte; ++i)
        d.rx.bytes[i - 1] = d.ring[(d.rd + i) % kRing];
    d.rd = uint8_t((d.rd + size_byte) % kRing);
    d.rx.size = uint8_t(size_byte - 1);
    d.rx.dest = d.rx.bytes[0] & 0x0F;
    d.rx.init = d.rx.bytes[0] >> 4;
    return true;
}

// ---- checks and replies ---------------------------------------------------------------------

bool ite6805_cec_feture::check(const CEC_FRAME& f, uint8_t la)
{
    if (f.size < 2 || f.size > 16)
        return false;
    const uint8_t entry = cec_msg_size.v[f.bytes[1]];
    if (f.size < (entry & 0x1F))
        return false;
    if (f.init == la && f.init != kBroadcast)
        return false;
    if (f.dest != kBroadcast)
        return f.dest == la && ((entry & 0x80) || entry == 0);
    return (entry & 0x60) || entry == 0;
}

int ite6805_cec_feture::reply(const CEC_FRAME& f, uint8_t la, const uint8_t phys[2], uint8_t out[21])
{
    const uint8_t op = f.bytes[1];
    const uint8_t to_initiator = uint8_t(la << 4 | f.init), to_all = uint8_t(la << 4 | kBroadcast);
    auto frame = [out](std::initializer_list<uint8_t> bytes) {
        out[0] = uint8_t(bytes.size());
        int i = 1;
        for (uint8_t b : bytes)
            out[i++] = b;
        return int(bytes.size());
    };
    switch (op) {
    case 0x0F:
    case 0x42:
    case 0xFF:
        return frame({to_initiator, 0x00, op, 0x04});  // Feature Abort: refused
    case 0x46:
        return frame({to_initiator, 0x47, 0x68, 0x05});
    case 0x83:
        return frame({to_all, 0x84, phys[1], phys[0], 0x00});
    case 0x85:
        return frame({to_all, 0x82, phys[1], phys[0]});
    case 0x8C:
        return frame({to_all, 0x87, 0x00, 0x00, 0x00});
    case 0x8F:
        return frame({to_initiator, 0x90, 0x00});
    case 0x9F:
        return frame({to_initiator, 0x9E, 0x06});
    default:
        return 0;
    }
}

// ---- controller -----------------------------------------------------------------------------

void ite6805_cec_drv::rx_fifo_reset(uint8_t d)
{
    ite6805_i2c_rdwr* io = sys_->i2c;
    io->cecwr_6805(CEC_RX_COUNT, 0x60, d);
    io->cecwr_6805(CEC_RX_COUNT, 0xE0, d);
    io->cecwr_6805(CEC_RX_COUNT, 0x80, d);
    sys_->cec_sys->dev[d].has_pending = false;
}

void ite6805_cec_drv::iTE6805_CEC_INIT(uint8_t d)
{
    const uint32_t failures = sys_->cec_failures[d];
    ite6805_i2c_rdwr* io = sys_->i2c;
    sys_->iTE6805_DATA[d].STATECEC = STATECEC_None;
    ite6805_cec_sys::Dev& c = sys_->cec_sys->dev[d];
    c.logical = 0;
    c.phys[0] = c.phys[1] = 0;
    c.rd = c.wr = 0;
    c.has_pending = false;
    io->cecwr_6805(CEC_CTRL, 0x4C, d);
    io->cecwr_6805(CEC_CTRL, 0x48, d);
    io->cecwr_6805(0x09, 0x60, d);
    io->cecwr_6805(0x0B, 0x14, d);
    io->cecwr_6805(CEC_TIME_UNIT, sys_->drv->cec_time_unit[d], d);
    io->cecset_6805(CEC_CTRL, 0x04, 0x00, d);
    io->cecset_6805(0x09, 0x02, 0x00, d);
    io->cecwr_6805(0x06, 0x00, d);
    io->cecset_6805(CEC_CTRL, 0x01, 0x01, d);
    rx_fifo_reset(d);
    io->cecwr_6805(0x22, 0x00, d);
    io->cecwr_6805(0x0A, 0x03, d);
    io->cecset_6805(0x0A, 0x40, 0x40, d);
    set_silent(d, sys_->cec_failures[d] != failures);
}

// A controller that does not answer leaves the video alone: CEC is off (one warning) until an
// initialisation goes through.
void ite6805_cec_drv::set_silent(uint8_t d, bool silent)
{
    ite6805_cec_sys::Dev& c = sys_->cec_sys->dev[d];
    if (silent && !c.silent)
        writeLogMsg(LOG_WARNING, "IT6805 input " + std::to_string(4 + d) + ": CEC controller does not answer, CEC off");
    c.silent = silent;
}

void ite6805_cec_drv::iTE6805_hdmirx_CEC_irq(uint8_t d)
{
    if (sys_->cec_sys->dev[d].silent)
        return;
    bool ok = false;
    const uint8_t v = sys_->i2c->cecrd_6805(CEC_INT, d, &ok);
    if (!ok)
        return;
    sys_->i2c->cecwr_6805(CEC_INT, v, d);
    if (v & 0x20)
        iTE6805_CEC_chg(STATECEC_TXFail, d);
    if (v & 0x08)
        iTE6805_CEC_chg(STATECEC_TXDone, d);
    if (v & 0x14)
        iTE6805_CEC_chg(STATECEC_RXCheck, d);
    if (v & 0xC0)
        rx_fifo_reset(d);
}

uint8_t ite6805_cec_drv::tx_status(uint8_t d)
{
    const uint8_t s = sys_->i2c->cecrd_6805(CEC_TX_STATUS, d) & 0x03;
    return s == 1 ? 1 : s == 2 ? 2 : 0;
}

bool ite6805_cec_drv::polling_message(uint8_t d)
{
    const uint8_t h = sys_->i2c->cecrd_6805(CEC_TX_FRAME, d);
    return (h & 0x0F) == (h >> 4);
}

void ite6805_cec_drv::iTE6805_CEC_chg(uint8_t state, uint8_t d)
{
    sys_->iTE6805_DATA[d].STATECEC = state;
    ite6805_cec_sys::Dev& c = sys_->cec_sys->dev[d];
    switch (state) {
    case STATECEC_TXDone:
        if (polling_message(d))
            tx_status(d);
        break;
    case STATECEC_TXFail:
        // Counted only: the controller never reports ready for another attempt.
        if ((!polling_message(d) || tx_status(d) != 2) && c.retry < 5)
            ++c.retry;
        break;
    case STATECEC_RXCheck:
        fill_queue(d);
        answer_queue(d);
        c.rd = c.wr = 0;
        break;
    default:
        break;
    }
}

// One message from the controller into the ring; false stops the filling.
bool ite6805_cec_drv::append_message(uint8_t d)
{
    ite6805_cec_sys::Dev& c = sys_->cec_sys->dev[d];
    uint8_t h[3];
    if (c.has_pending) {
        std::memcpy(h, c.pending, 3);
        c.has_pending = false;
    } else if (!sys_->i2c->cecbrd_it6805(CEC_RX_HEADER, 3, h, d)) {
        return false;
    }
    if (h[2] & 0x60)
        return true;  // received with an error: dropped
    const int size = h[2] & 0x1F;
    if (size < 2 || size > 16)
        return false;  // a size the frame cannot hold: the FIFO reset after filling drops it
    if (!ite6805_cec_sys::fits(c, size + 1)) {
        std::memcpy(c.pending, h, 3);
        c.has_pending = true;
        return false;
    }
    ite6805_cec_sys::put(c, uint8_t(size + 1));
    ite6805_cec_sys::put(c, h[0]);
    ite6805_cec_sys::put(c, h[1]);
    const int operands = size - 2;
    if (operands == 0)
        return true;
    if (c.wr + operands <= ite6805_cec_sys::kRing) {
        if (!sys_->i2c->cecbrd_it6805(CEC_RX_FIFO, uint8_t(operands), c.ring + c.wr, d))
            return false;
        c.wr = uint8_t((c.wr + operands) % ite6805_cec_sys::kRing);
    } else {
        for (int i = 0; i < operands; ++i)
            ite6805_cec_sys::put(c, sys_->i2c->cecrd_6805(CEC_RX_FIFO, d));
    }
    return true;
}

void ite6805_cec_drv::fill_queue(uint8_t d)
{
    ite6805_i2c_rdwr* io = sys_->i2c;
    int messages = 0;
    bool go = true;
    while (go && messages < kMaxMessagesPerFill) {
        bool ok1 = false, ok2 = false;
        const uint8_t s51 = io->cecrd_6805(CEC_RX_STATUS, d, &ok1);
        const uint8_t s52 = io->cecrd_6805(CEC_RX_COUNT, d, &ok2);
        const int count = s52 & 0x0F;
        if (!ok1 || !ok2 || (s51 & 0xCC) || count == 0)
            break;
        for (int i = 0; i < count && go && messages < kMaxMessagesPerFill; ++i, ++messages)
            go = append_message(d);
    }
    rx_fifo_reset(d);
}

void ite6805_cec_drv::answer_queue(uint8_t d)
{
    ite6805_cec_sys::Dev& c = sys_->cec_sys->dev[d];
    while (ite6805_cec_sys::take(c)) {
        if (!ite6805_cec_feture::check(c.rx, c.logical))
            continue;
        if (ite6805_cec_feture::reply(c.rx, c.logical, c.phys, c.tx) > 0)
            iTE6805_CEC_CMD_Ready_To_Fire(d);
    }
}

void ite6805_cec_drv::iTE6805_CEC_CMD_Ready_To_Fire(uint8_t d)
{
    ite6805_i2c_rdwr* io = sys_->i2c;
    ite6805_cec_sys::Dev& c = sys_->cec_sys->dev[d];
    io->cecwr_6805(CEC_TX_SIZE, c.tx[0], d);
    io->cecbwr_it6805(CEC_TX_FRAME, c.tx[0], c.tx + 1, d);
    c.retry = 0;
    io->cecset_6805(CEC_CTRL, 0x88, 0x08, d);
    io->cecset_6805(CEC_CTRL, 0x88, 0x88, d);
}
