#include "sim/board_inputs.h"

#include <QJsonArray>
#include <cstring>

namespace sim {
namespace {

struct Format {
    const char* name;
    int hactive, vactive, htotal, vtotal, hfront, hsync, vfront, vsync;
    uint32_t pclk_khz;
    bool interlaced;
};

// CEA-861 timings, frame values.
constexpr Format kFormats[] = {
    {"1080p60", 1920, 1080, 2200, 1125, 88, 44, 4, 5, 148500, false},
    {"1080p50", 1920, 1080, 2640, 1125, 528, 44, 4, 5, 148500, false},
    {"720p60", 1280, 720, 1650, 750, 110, 40, 5, 5, 74250, false},
    {"1080i60", 1920, 1080, 2200, 1125, 88, 44, 4, 10, 74250, true},
    {"2160p30", 3840, 2160, 4400, 2250, 176, 88, 8, 10, 297000, false},
    {"2160p60", 3840, 2160, 4400, 2250, 176, 88, 8, 10, 594000, false},
};

void apply_format(SimInput& in, const Format& f)
{
    in.hactive = f.hactive;
    in.vactive = f.vactive;
    in.htotal = f.htotal;
    in.vtotal = f.vtotal;
    in.hfront = f.hfront;
    in.hsync = f.hsync;
    in.vfront = f.vfront;
    in.vsync = f.vsync;
    in.pclk_khz = f.pclk_khz;
    in.interlaced = f.interlaced;
}

void take_int(const QJsonObject& o, const char* key, int& v)
{
    if (o.contains(key))
        v = o.value(key).toInt(v);
}

void take_bool(const QJsonObject& o, const char* key, bool& v)
{
    if (o.contains(key))
        v = o.value(key).toBool(v);
}

}  // namespace

int SimInput::refresh_hz() const
{
    const uint64_t total = uint64_t(htotal > 0 ? htotal : 0) * uint64_t(vtotal > 0 ? vtotal : 0);
    if (total == 0)
        return 0;
    uint64_t hz = (uint64_t(pclk_khz) * 1000 + total / 2) / total;
    return int(interlaced ? hz * 2 : hz);
}

SimInput board_input(const QJsonObject& board, int s)
{
    SimInput in;
    const QJsonArray inputs = board.value("inputs").toArray();
    if (s < 0 || s >= inputs.size())
        return in;
    const QJsonObject o = inputs.at(s).toObject();
    in.raw = o;
    take_bool(o, "cable", in.cable);
    take_bool(o, "signal", in.signal);
    take_bool(o, "receiver", in.receiver);
    take_bool(o, "hdmi", in.hdmi);
    const QByteArray fmt = o.value("format").toString().toLatin1();
    for (const Format& f : kFormats)
        if (!fmt.isEmpty() && std::strcmp(f.name, fmt.constData()) == 0)
            apply_format(in, f);
    take_int(o, "hactive", in.hactive);
    take_int(o, "vactive", in.vactive);
    take_int(o, "htotal", in.htotal);
    take_int(o, "vtotal", in.vtotal);
    take_int(o, "hfront", in.hfront);
    take_int(o, "hsync", in.hsync);
    take_int(o, "vfront", in.vfront);
    take_int(o, "vsync", in.vsync);
    if (o.contains("pclk_khz"))
        in.pclk_khz = uint32_t(o.value("pclk_khz").toDouble(in.pclk_khz));
    take_bool(o, "interlaced", in.interlaced);
    take_bool(o, "hpol", in.hpol);
    take_bool(o, "vpol", in.vpol);
    return in;
}

}  // namespace sim
