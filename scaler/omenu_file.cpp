// The OSD menu file: read with Boost property_tree, applied to the OSD through tlxApi_OsdSet
// and tlxApi_OsdSetUnicode. The file comes from the network (file code "OSDS"): a missing key
// or a mistyped value leaves the list without entries instead of stopping the program.
#include "scaler/omenu_file.h"

#include <QMutexLocker>
#include <boost/property_tree/ptree.hpp>
#include <algorithm>
#include <memory>
#include <cstdio>
#include <cstring>

#include "core/TlxRamPara.h"
#include "core/json_file.h"
#include "core/log.h"
#include "core/ram_map.h"
#include "core/utils.h"
#include "platform/paths.h"
#include "scaler/c331_manage.h"
#include "scaler/dbg_print.h"
#include "scaler/osd_text.h"

namespace pt = boost::property_tree;

OSD_LIST g_osd_list;

namespace {

constexpr const char* kOmenuFile = "/data/configs/omenu.json";
constexpr int kRecords = 3;

void print_record(int i, const OMENU_PARA& r)
{
    SCALER_DBG("\n *************************osd%d start******************************** ", i + 1);
    SCALER_DBG("  type: %d , status: %s \n", r.type, r.status.c_str());
    SCALER_DBG("  pos_x: %d , pos_y: %d , pos_w: %d , pos_h: %d \n", r.pos_x, r.pos_y, r.pos_w, r.pos_h);
    SCALER_DBG("  effect: %d , speed: %d , staytime: %d \n", r.effect, r.speed, r.staytime);
    SCALER_DBG("  backpara_enable: %s , backpara_color: %s ,backpara_layer:%s\n", r.backpara_enable.c_str(),
               r.backpara_color.c_str(), r.backpara_layer.c_str());
    SCALER_DBG("  startx: %d , starty: %d , fontw: %d , fonth: %d \n", r.startx, r.starty, r.fontw, r.fonth);
    SCALER_DBG("  wordspace: %d , verticalspace: %d , font_color: %s \n", r.wordspace, r.verticalspace,
               r.font_color.c_str());
    SCALER_DBG("  texts: %s \n", r.texts.c_str());
    SCALER_DBG("\n *************************osd%d over******************************** ", i + 1);
}

// Reads the menu of a parsed file into *list; empty when read, else why not (a missing key,
// a non-number where a number is read, a status or colour in another form).
std::string read_menu(const pt::ptree& root, OSD_LIST* list);

void read_pos_act(const pt::ptree& e, OMENU_PARA* r)
{
    const pt::ptree& pos = e.get_child("pos");
    r->pos_x = pos.get<int>("x");
    r->pos_y = pos.get<int>("y");
    r->pos_w = pos.get<int>("w");
    r->pos_h = pos.get<int>("h");
    const pt::ptree& act = e.get_child("act");
    r->effect = act.get<int>("effect");
    r->speed = act.get<int>("speed");
    r->staytime = act.get<int>("staytime", 0);  // read, no effect: may be absent
}

// A colour the entry shows must be in a form the OSD reads (not taken as another colour).
void check_colour(const char* what, const std::string& text)
{
    uint32_t bgr;
    if (!osd_text::colour_bgr(text, &bgr))
        throw pt::ptree_bad_data(std::string(what) + " \"" + text + "\" is not #RRGGBB, RRGGBB or 0xRRGGBB", text);
}

// "on" shows the entry, "off" hides it; another value (the number 1, "ON") would hide it
// without a word.
void check_status(const std::string& text)
{
    if (text != "on" && text != "off")
        throw pt::ptree_bad_data("status \"" + text + "\" is not \"on\" or \"off\"", text);
}

// One entry of "menu", read from the defaults (what a file shows does not depend on the file
// before it); throws pt::ptree_error on a missing key, a mistyped value, a type, status or
// colour in another form.
void read_record(const pt::ptree& e, OMENU_PARA* r)
{
    *r = OMENU_PARA{};
    r->type = e.get<int>("type");
    if (r->type != 0 && r->type != 1)
        throw pt::ptree_bad_data("type " + std::to_string(r->type) + " is not 0 (text) or 1 (bitmap)", r->type);
    r->status = e.get<std::string>("status");
    check_status(r->status);
    if (r->type == 0) {
        read_pos_act(e, r);
        r->backpara_layer = e.get<std::string>("pos.layer", "");
        r->backpara_enable = e.get<std::string>("backpara.enable");
        r->backpara_color = e.get<std::string>("backpara.color");
        const pt::ptree& font = e.get_child("fontpara");
        r->startx = font.get<int>("startx");
        r->starty = font.get<int>("starty");
        r->fontw = font.get<int>("fontw");
        r->fonth = font.get<int>("fonth");
        r->wordspace = font.get<int>("wordspace");
        r->verticalspace = font.get<int>("verticalspace");
        r->font_color = font.get<std::string>("color");
        r->texts = e.get<std::string>("texts");
        check_colour("font colour", r->font_color);
        if (r->backpara_enable != "off")   // a transparent background's colour is not used
            check_colour("background colour", r->backpara_color);
    } else {
        read_pos_act(e, r);
        r->bmp_start = e.get<int>("bmppara.start", 0);  // read, no effect: may be absent
        r->bmp_end = e.get<int>("bmppara.end", 0);
    }
}

}  // namespace

void get_json_omenu_para(const char* path, OSD_LIST* list)
{
    list->osd[0].osdcount = 0;
    pt::ptree root;
    std::string why;
    switch (json_file::load(platform::rooted(path), &root, &why)) {
    case json_file::Load::Missing: return;
    case json_file::Load::Refused:
        SCALER_DBG("json error: %s", why.c_str());
        // Only the live menu file is removed (so its refusal is logged once); a user mode's
        // broken copy is left alone.
        if (std::strcmp(path, kOmenuFile) == 0) {
            writeLogMsg(LOG_WARNING, std::string("OSD menu file refused (") + why + "), removed");
            Utils::system_mutex(QStringLiteral("rm -rf %1").arg(kOmenuFile));
        } else {
            writeLogMsg(LOG_WARNING, std::string("OSD menu file ") + path + " refused (" + why + "), not applied");
        }
        return;
    case json_file::Load::Ok: break;
    }
    // Read into a copy: a file that fails half-way leaves the list as it was (count 0).
    OSD_LIST next = *list;
    const std::string fault = read_menu(root, &next);
    if (!fault.empty()) {
        writeLogMsg(LOG_WARNING, std::string("OSD menu file ") + path + ": " + fault + ", no entry applied");
        return;
    }
    *list = next;
}

std::string omenu_file_fault(const std::string& real_path)
{
    pt::ptree root;
    std::string why;
    if (json_file::load(real_path, &root, &why) != json_file::Load::Ok)
        return why.empty() ? "cannot be read" : why;
    OSD_LIST scratch;
    return read_menu(root, &scratch);
}

namespace {

std::string read_menu(const pt::ptree& root, OSD_LIST* list)
{
    SCALER_DBG("\n *************************START OSDS******************************** ");
    OSD_LIST& next = *list;
    try {
        const pt::ptree& doc = root;
        const std::string name = doc.get<std::string>("name", "");
        const int count = doc.get<int>("osdcount");
        const int active = doc.get<int>("oactcount", 0);  // read, no effect: may be absent
        SCALER_DBG(" \n file_name: %s , osdcount: %d , oactcount: %d\n", name.c_str(), count, active);
        if (count != 0) {
            int i = 0;
            for (const auto& kv : doc.get_child("menu")) {
                if (i >= kRecords)
                    break;
                read_record(kv.second, &next.osd[i]);
                print_record(i, next.osd[i]);
                ++i;
            }
            // A count without an entry would show the previous file's entry until the next
            // start, and nothing after it.
            if (i == 0)
                return "no entry in menu";
            SCALER_DBG("\n *************************OSDS OVER******************************** ");
        }
        next.osd[0].oactcount = active;
        next.osd[0].osdcount = count;
    } catch (const pt::ptree_error& e) {
        return e.what();
    }
    return std::string();
}

}  // namespace

void set_OSD_para(const OMENU_PARA& entry)
{
    if (c331_manage* m = c331_manage::p_c331_manage)
        m->apply_osd_entry(entry);
}

// The file is read and parsed without c331_lock (a large file must not hold up every editor
// of the image); the entry is applied under it.
void c331_manage::reload_osd_menus()
{
    get_json_omenu_para(kOmenuFile, &g_osd_list);
    QMutexLocker lk(&c331_lock);
    apply_osd_entry(g_osd_list.osd[0]);
}

// c331_lock held. Position and size are held on the LED screen of the layout in force (a
// wall the output channels cannot show keeps the one before), computed signed, so the
// margins of types 6 and 8 never wrap. Every setting is made from the entry alone, none left
// from the entry before. The entry's "on" shows the OSD only while the OSD is switched on
// (image 0x84C).
void c331_manage::apply_osd_entry(const OMENU_PARA& e)
{
    if (e.osdcount == 0)
        return;
    const uint8_t* img = TlxRamPara::p_tlxrampara_config->ram_image;
    const int x = std::clamp(e.pos_x, 0, int(pnl.w)), w = std::clamp(e.pos_w, 0, int(pnl.w));
    const int y = std::clamp(e.pos_y, 0, int(pnl.h)), h = std::clamp(e.pos_h, 0, int(pnl.h));

    load_char();
    tlxApi_OsdSet(5, x);
    tlxApi_OsdSet(6, w);
    tlxApi_OsdSet(7, y);
    tlxApi_OsdSet(8, h);
    tlxApi_OsdSet(3, e.type == 0 ? 1 : 0);
    // 128: 64-dot characters at double size; 64: 64-dot; any other pair (a bitmap entry's
    // none) 32-dot, at normal size.
    const bool square = e.fontw == e.fonth, zoom = square && e.fontw == 128;
    tlxApi_OsdSet(1, zoom);
    tlxApi_OsdSet(2, zoom);
    tlxApi_OsdSet(14, zoom || (square && e.fontw == 64));
    fit_osd_canvas();
    tlxApi_OsdSet(21, e.startx);
    tlxApi_OsdSet(22, e.starty);

    const std::vector<std::vector<uint32_t>> text = osd_text::lines(e.texts);
    std::unique_ptr<uint32_t[][kOsdLineUnits]> units(new uint32_t[text.size() + 1][kOsdLineUnits]());
    std::vector<int> counts(text.size() + 1, 0);
    for (size_t i = 0; i < text.size(); ++i) {
        counts[i] = int(text[i].size());
        std::copy(text[i].begin(), text[i].end(), units[i]);
    }
    tlxApi_OsdSetUnicode(int(text.size()), counts.data(), units.get());

    uint32_t bgr;
    if (osd_text::colour_bgr(e.font_color, &bgr))
        tlxApi_OsdSet(17, int(bgr));
    tlxApi_OsdSet(13, int(uint32_t(int64_t(e.speed) * 10)));
    if (e.backpara_enable != "off") {
        if (osd_text::colour_bgr(e.backpara_color, &bgr))
            tlxApi_OsdSet(16, int(bgr));
        tlxApi_OsdSet(18, 0);
    } else {
        tlxApi_OsdSet(18, 1);
    }
    static constexpr int kScroll[5] = {0, 3, 4, 1, 2};
    tlxApi_OsdSet(4, e.effect >= 0 && e.effect < 5 ? kScroll[e.effect] : 0);   // another effect: no scrolling
    tlxApi_OsdSet(0, e.status == "on" && ram_rd16(img, ram_osd_enable) != 0);
    tlxApi_OsdSet(33, e.backpara_layer == "buttom");
    tlxApi_OsdSet(34, e.wordspace);
    tlxApi_OsdSet(35, e.verticalspace);
}
