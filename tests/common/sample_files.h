#pragma once
// Files a PC tool sends, as whole-process tests put them on the device.

namespace testutil {

// An OSD menu of one text entry "K57": 64-dot characters in a 1000 x 200 window at the top
// left, white on black, shown ("on"), scrolling at speed 3.
inline constexpr const char* kOsdMenuK57 = R"({"name": "p", "osdcount": 1, "oactcount": 1,
    "menu": [{"type": 0, "status": "on", "pos": {"x": 0, "y": 0, "w": 1000, "h": 200},
              "act": {"effect": 0, "speed": 3, "staytime": 0},
              "backpara": {"enable": "on", "color": "0x000000"},
              "fontpara": {"startx": 0, "starty": 0, "fontw": 64, "fonth": 64, "wordspace": 0,
                           "verticalspace": 0, "color": "0xFFFFFF"},
              "texts": "K57"}]})";

}  // namespace testutil
