#pragma once
// The OSD menu file ("/data/configs/omenu.json", and a user mode's own copy
// "/data/modes/MOxx.json"): one record per menu entry, read by get_json_omenu_para.
#include <string>

struct OMENU_PARA {
    int osdcount = 0;    // "osdcount" (record 0 only): 0 = no entries, nothing applied
    int oactcount = 0;   // "oactcount" (record 0 only)
    int type = 0;        // 0 text entry, 1 bitmap entry; another is refused
    std::string status;  // "on" shows the OSD, "off" hides it
    int pos_x = 0;
    int pos_y = 0;
    int pos_w = 0;
    int pos_h = 0;
    int effect = 0;      // scroll pattern
    int speed = 0;       // in tens
    int staytime = 0;
    std::string backpara_enable;  // "off" = transparent background
    std::string backpara_color;   // "0xRRGGBB"
    std::string backpara_layer;   // "pos"/"layer": "buttom" = bottom layer; empty when absent
    int startx = 0;
    int starty = 0;
    int fontw = 0;
    int fonth = 0;
    int wordspace = 0;
    int verticalspace = 0;
    std::string font_color;  // "0xRRGGBB"
    std::string texts;       // lines separated by "\n"
    int bmp_start = 0;
    int bmp_end = 0;
};

// Three menu entries; the count lives in record 0.
struct OSD_LIST {
    OMENU_PARA osd[3];
};

// The menu of "/data/configs/omenu.json" as the scaler last read it (scaler thread only).
extern OSD_LIST g_osd_list;

// Reads the file at `path` into `list` (count 0 first; a missing file changes nothing else).
// A file the JSON check refuses (core/json_file.h) is deleted only when it is
// "/data/configs/omenu.json" itself; a file that lacks a key, holds a non-number where a
// number belongs, or a type, status or colour in another form leaves the count 0 (logged).
// Each entry read starts from the defaults; the values without effect default to 0 or "".
void get_json_omenu_para(const char* path, OSD_LIST* list);

// Why the reader above would apply nothing of the file at the rooted `real_path` (not JSON, a
// missing key, a non-number where a number is read, a type, status or colour in another
// form); empty when it reads it. The values that have no effect ("name", "oactcount",
// "staytime", "bmppara") may be absent.
std::string omenu_file_fault(const std::string& real_path);

// Applies one record to the scaler's OSD (the running scaler manager); nothing when its
// count is 0.
void set_OSD_para(const OMENU_PARA& entry);
