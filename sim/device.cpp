// The model base classes: transaction record, default SPI configuration, I2C switch.
#include "sim/device.h"

#include <cstdio>

namespace sim {

QJsonArray TxnRecord::to_json() const
{
    QJsonArray a;
    for (const auto& l : lines_)
        a.append(QString::fromStdString(l));
    return a;
}

std::string hex_bytes(const uint8_t* p, size_t n, size_t max)
{
    std::string s;
    char b[4];
    for (size_t i = 0; i < n && i < max; ++i) {
        std::snprintf(b, sizeof b, i ? " %02x" : "%02x", p[i]);
        s += b;
    }
    if (n > max)
        s += " ...";
    return s;
}

QJsonObject set_registers(const uint8_t* regs, int first, int count)
{
    QJsonObject o;
    for (int r = first; r < first + count; ++r)
        if (regs[r])
            o.insert(QString::asprintf("0x%02X", r), regs[r]);
    return o;
}

int SpiModel::configure(const platform::SpiConfig& want, platform::SpiConfig* got)
{
    cfg_ = want;
    if (got)
        *got = cfg_;
    note("config mode " + std::to_string(want.mode) + " bits " + std::to_string(want.bits) + " speed " +
         std::to_string(want.speed_hz));
    return 0;
}

bool I2cSwitch::i2c_write(const uint8_t* data, size_t len)
{
    if (len == 0 || len > 2)
        return false;
    channels_ = data[len - 1];  // {0x00, byte} or {byte}
    note_bytes("W", data, len);
    return true;
}

bool I2cSwitch::i2c_read(uint8_t* data, size_t len)
{
    for (size_t i = 0; i < len; ++i)
        data[i] = channels_;
    note("R " + std::to_string(len));
    return true;
}

QJsonObject I2cSwitch::state() const { return {{"channels", channels_}}; }

}  // namespace sim
