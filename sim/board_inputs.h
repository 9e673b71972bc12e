#pragma once
// The six scripted video inputs of board.json, by source number s (0..5):
//   "inputs": [ {"cable": true, "signal": true, "receiver": true, "format": "1080p60"}, ... ]
// "format" is one of 1080p60 (default), 1080p50, 720p60, 1080i60, 2160p30, 2160p60; explicit
// "hactive", "vactive", "htotal", "vtotal", "hfront", "hsync", "vfront", "vsync", "pclk_khz",
// "interlaced", "hpol", "vpol" override the format's values. Interlaced formats give frame
// values (1080i60: 1080 active lines of 1125); a model derives per-field values itself.
// Every receiver model and the scaler's port measurement read these same entries; keys only
// one model knows ("colour", "eeprom", "link_errors", "lanes", "audio_khz", "cec_in", ...)
// are read from `raw`.
#include <QJsonObject>
#include <cstdint>

namespace sim {

struct SimInput {
    bool cable = true;     // a source is plugged in (5 V present)
    bool signal = true;    // the source sends video
    bool receiver = true;  // the receiver chip answers on its bus
    bool hdmi = true;
    int hactive = 1920, vactive = 1080, htotal = 2200, vtotal = 1125;
    int hfront = 88, hsync = 44, vfront = 4, vsync = 5;
    uint32_t pclk_khz = 148500;
    bool interlaced = false, hpol = true, vpol = true;
    QJsonObject raw;  // the entry as written

    bool video() const { return cable && signal; }
    int hback() const { return htotal - hactive - hfront - hsync; }
    int vback() const { return vtotal - vactive - vfront - vsync; }
    // Frames per second (fields per second when interlaced), rounded; 0 for zero totals.
    int refresh_hz() const;
};

// Entry s of the board's "inputs" (defaults for a missing entry or key).
SimInput board_input(const QJsonObject& board, int s);

}  // namespace sim
