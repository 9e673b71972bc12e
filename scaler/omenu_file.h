#pragma once
// The OSD menu file ("/data/configs/omenu.json", and a user mode's own copy
// "/data/modes/MOxx.json"): one record per menu entry, read by get_json_omenu_para.
#include <string>

struct OMENU_PARA {
    int osdcount;   // "osdcount" (record 0 only): 0 = no entries, nothing applied
    int oactcount;  // "oactcount" (record 0 only)
    int type;       // 0 text entry, 1 bitmap entry
    std::string status;  // "on" shows the OSD
    int pos_x;
    int pos_y;
    int pos_w;
    int pos_h;
    int effect;    // scroll pattern
    int speed;     // in tens
    int staytime;
    std::string backpara_enable;  // "off" = transparent background
    std::string backpara_color;   // hexadecimal RRGGBB
    std::string backpara_layer;   // "buttom" = bottom layer; empty when absent
    int startx;
    int starty;
    int fontw;
    int fonth;
    int wordspace;
    int verticalspace;
    std::string font_color;  // hexadecimal RRGGBB
    std::string texts;       // lines separated by "\n"
    int bmp_start;
    int bmp_end;
};

// Three menu entries; the count lives in record 0.
struct OSD_LIST {
    OMENU_PARA osd[3];
};

// Reads the file at `path` into `list` (count 0 first; a missing file changes nothing else).
void get_json_omenu_para(const char* path, OSD_LIST* list);
