// The on-chip OSD, its fonts, the chip's serial flash and the OSD menu file on the simulated
// chip: the setters, the window arithmetic, glyphs, the menu file reader and applier, the
// flash controller (also when it hangs), and the font reload racing the scaler's redraw.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <set>
#include <fstream>
#include <sstream>
#include <thread>

#include "core/request_hooks.h"
#include "core/TlxRamPara.h"
#include "platform/virtual_clock.h"
#include "remote/fpga_commands.h"
#include "scaler/c331_osd_regs.h"
#include "scaler/omenu_file.h"
#include "scaler/osd_text.h"
#include "scaler_fixture.h"

namespace {

constexpr uint32_t kFontHeaders[4] = {0x000000, 0x010000, 0x410000, 0x450000};

// A text entry of the menu file; `extra` replaces the fields it names.
std::string menu_json(const std::string& entry_fields = "", int count = 1, const std::string& more = "")
{
    std::string e = R"("type": 0, "status": "on",
        "pos": {"x": 10, "y": 20, "w": 1000, "h": 200},
        "act": {"effect": 2, "speed": 3, "staytime": 0},
        "backpara": {"enable": "on", "color": "0x112233"},
        "fontpara": {"startx": 4, "starty": 6, "fontw": 64, "fonth": 64, "wordspace": 2,
                     "verticalspace": 1, "color": "0xA0B0C0"},
        "texts": "AB\nCD")";
    return R"({"name": "m", "osdcount": )" + std::to_string(count) + R"(, "oactcount": 1, "menu": [{)" +
           entry_fields + (entry_fields.empty() ? "" : ", ") + e + "}" + more + "]}";
}

class OsdTest : public ScalerFixture {
protected:
    void SetUp() override
    {
        ScalerFixture::SetUp();
        for (uint32_t a : kFontHeaders) {
            std::vector<uint8_t> h(35, 0);
            h[0] = 'P';
            h[17] = a >= 0x410000 ? 64 : 32;
            h[18] = h[17];
            model_->osd_flash().seed(a, h);
        }
        bring_up();
    }
    void TearDown() override
    {
        platform::set_clock(nullptr);
        ScalerFixture::TearDown();
    }

    void write_file(const std::string& abs, const std::string& text)
    {
        const std::string p = platform::rooted(abs);
        std::filesystem::create_directories(std::filesystem::path(p).parent_path());
        std::ofstream(p) << text;
    }
    bool exists(const std::string& abs) { return std::filesystem::exists(platform::rooted(abs)); }
    void reload_menu() { mgr_->reload_osd_menus(); }
    // The OSD switch (image 0x84C) as the image, the applied copy and the persisted shadow
    // hold it.
    void osd_switch(uint16_t on)
    {
        QMutexLocker lk(&c331_shared::c331_lock);
        ram_wr16(img(), ram_osd_enable, on);
        ram_wr16(store_->ram_applied, ram_osd_enable, on);
        ram_wr16(shd(), ram_osd_enable, on);
    }
    // An uploaded menu file: the reload request and the apply pass it raises.
    void upload_pass()
    {
        c331_manage::g_osd_update = 1;
        edit_and_pass([](uint8_t*) {});
    }
    std::vector<std::string> record()
    {
        std::lock_guard<std::recursive_mutex> lk(model_->device_lock());
        return {model_->record().lines().begin(), model_->record().lines().end()};
    }
    // Every 32-bit value written to the flash pointer register 0x044E04, in order.
    std::vector<uint32_t> pointer_writes() const
    {
        std::vector<uint32_t> out;
        uint32_t v = 0;
        for (const auto& w : model_->writes()) {
            if (w.bank != 0x04 || w.reg < 0x4E || w.reg > 0x51)
                continue;
            const int k = w.reg - 0x4E;
            v = (v & ~(0xFFu << (8 * k))) | uint32_t(w.value) << (8 * k);
            if (k == 3)
                out.push_back(v);
        }
        return out;
    }
};

TEST_F(OsdTest, SetterStoresValuesAndRaisesRequests)
{
    mgr_->osd_set_req = 0;
    mgr_->osd_full_update_req = 0;
    EXPECT_EQ(mgr_->tlxApi_OsdSet(4, 10), 1);
    EXPECT_EQ(mgr_->PM_OSD_SCROLL_MODE, 1u);
    EXPECT_EQ(mgr_->tlxApi_OsdSet(13, 300), 1);
    EXPECT_EQ(mgr_->PM_OSD_SCROLL_SPEED, 44u);
    EXPECT_EQ(mgr_->osd_set_req, 1);
    EXPECT_EQ(mgr_->osd_full_update_req, 0);
    mgr_->tlxApi_OsdSet(19, 1920);
    mgr_->tlxApi_OsdSet(5, 100);
    mgr_->tlxApi_OsdSet(6, 500);
    EXPECT_EQ(mgr_->PM_OSD_OUTPUT_OFFSET[1], 1820 - 500);
    mgr_->tlxApi_OsdSet(6, 3000);   // wider than the canvas: a negative margin, not a wrap
    EXPECT_EQ(mgr_->PM_OSD_OUTPUT_OFFSET[1], 1820 - 3000);

    mgr_->osd_set_req = 0;
    const uint32_t speed = mgr_->PM_OSD_SCROLL_SPEED, colour = mgr_->PS_BG_COLOR;
    for (int type : {23, 27, 31, 36, -1})
        EXPECT_EQ(mgr_->tlxApi_OsdSet(type, 0x55), 0) << type;
    EXPECT_EQ(mgr_->PM_OSD_SCROLL_SPEED, speed);
    EXPECT_EQ(mgr_->PS_BG_COLOR, colour);
    EXPECT_EQ(mgr_->osd_set_req + mgr_->osd_full_update_req, 0);

    static uint32_t text[64][128];
    int counts[64] = {};
    for (int k = 0; k < 128; ++k)
        text[0][k] = 0x10041;   // above U+FFFF: only the low 16 bits are stored
    counts[0] = 200;
    mgr_->tlxApi_OsdSetUnicode(1, counts, text);
    EXPECT_EQ(mgr_->g_unicode_line, 1);
    EXPECT_EQ(mgr_->g_unicode_buf[0][2 * 126 + 1], 0x41);
    EXPECT_EQ(mgr_->g_unicode_buf[0][2 * 127 + 1], 0) << "127 characters kept, then the end";
    mgr_->tlxApi_OsdSetUnicode(64, counts, text);
    EXPECT_EQ(mgr_->g_unicode_line, 0);
}

TEST_F(OsdTest, PitchGlyphsTextAndColours)
{
    uint32_t mwi, shift;
    const uint32_t expect[3][3] = {{1920, 32, 0}, {4096, 64, 0}, {8192, 32, 1}};
    for (const auto& e : expect) {
        c331_manage::osd_pitch(e[0], &mwi, &shift);
        EXPECT_EQ(mwi, e[1]) << e[0];
        EXPECT_EQ(shift, e[2]) << e[0];
    }

    EXPECT_EQ(c331_manage::osd_glyph('A'), 33);
    EXPECT_EQ(c331_manage::osd_glyph(0x4E00), 96);
    EXPECT_EQ(c331_manage::osd_glyph(0x9FFF), 21087);
    for (uint16_t off : {0x0D, 0x09, 0x0416, 0xFF01, 0xF600})
        EXPECT_EQ(c331_manage::osd_glyph(off), 0) << off;

    // "A\r\n", then CR-less text with a Cyrillic letter, a full-width "!", an emoji, a lone CR,
    // a broken sequence and "B".
    const auto lines = osd_text::lines("A\r\n\xD0\x96\xEF\xBC\x81\xF0\x9F\x98\x80\r\xC3" "B\n");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], std::vector<uint32_t>{'A'});
    EXPECT_EQ(lines[1], (std::vector<uint32_t>{' ', ' ', ' ', ' ', ' ', 'B'}));
    EXPECT_TRUE(lines[2].empty());
    // A longer text shows its first 63 lines (the text buffer counts lines modulo 64), also
    // 63 lines ended by a line feed.
    for (const std::string& text : {std::string(100, '\n'), std::string(63, 'A') + std::string(63, '\n')}) {
        OMENU_PARA e;
        e.osdcount = 1;
        e.texts = text;
        QMutexLocker lk(&c331_shared::c331_lock);
        mgr_->apply_osd_entry(e);
        EXPECT_EQ(mgr_->g_unicode_line, 63);
    }
    // Colours as a user writes red, green and blue; any other form is refused.
    const struct {
        const char* text;
        uint32_t bgr;   // 0: refused
    } colours[] = {
        {"0x112233", 0x332211}, {"0XFF0000", 0x0000FF}, {"0xff", 0xFF0000}, {"#FF0000", 0x0000FF},
        {"#00ff80", 0x80FF00},  {"FF0000", 0x0000FF},   {"A0B0C0", 0xC0B0A0}, {"0xGG0000", 0},
        {"", 0},                {"#FFF", 0},            {"FF00", 0},          {"#FF00000", 0},
        {"0x1234567", 0},       {"white", 0},           {"# FF0000", 0},      {"0x", 0},
    };
    for (const auto& c : colours) {
        uint32_t bgr = 7;
        EXPECT_EQ(osd_text::colour_bgr(c.text, &bgr), c.bgr != 0) << c.text;
        EXPECT_EQ(bgr, c.bgr ? c.bgr : 7) << c.text;
    }
}

TEST_F(OsdTest, MenuFileIsReadAndApplied)
{
    const uint16_t led_w = ram_rd16(img(), ram_led_width), led_h = ram_rd16(img(), ram_led_height);
    ASSERT_GT(led_w, 100);
    // The second entry leaves out its stay time, which has no effect.
    const std::string second = R"(, {"type": 1, "status": "off", "pos": {"x": 1, "y": 2, "w": 3, "h": 4},
        "act": {"effect": 0, "speed": 1}, "bmppara": {"start": 7, "end": 9}})";
    write_file("/data/configs/omenu.json", menu_json("", 2, second));
    mgr_->osd_full_update_req = 0;
    osd_switch(1);
    reload_menu();
    EXPECT_EQ(g_osd_list.osd[1].bmp_end, 9) << "the second entry is read and kept";
    EXPECT_EQ(mgr_->PM_OSD_EN, 1u);
    EXPECT_EQ(mgr_->PM_OSD_OUTPUT_OFFSET[0], 10);
    EXPECT_EQ(mgr_->PM_OSD_OUTPUT_OFFSET[1], int32_t(mgr_->PS_BG_HACT) - 1000 - 10);
    EXPECT_EQ(mgr_->PM_OSD_CHAR_64DOT, 1u);
    EXPECT_EQ(mgr_->PM_OSD_SCROLL_MODE, 4u);
    EXPECT_EQ(mgr_->PM_OSD_SCROLL_SPEED, 30u);
    EXPECT_EQ(mgr_->PS_BG_COLOR, 0x332211u);
    EXPECT_EQ(mgr_->PS_CHAR_COLOR, 0xC0B0A0u);
    EXPECT_EQ(mgr_->g_unicode_line, 2);
    EXPECT_EQ(mgr_->osd_full_update_req, 1);

    // Off the LED screen, a transparent background, a mismatched font and a bad colour.
    mgr_->tlxApi_OsdSet(1, 1);
    write_file("/data/configs/omenu.json",
               menu_json(R"("pos": {"x": -50, "y": 60000, "w": 60000, "h": 70000},
                            "backpara": {"enable": "off", "color": "none"},
                            "fontpara": {"startx": 0, "starty": 0, "fontw": 64, "fonth": 32, "wordspace": 0,
                                         "verticalspace": 0, "color": "#FF0000"})"));
    reload_menu();
    EXPECT_EQ(mgr_->PM_OSD_OUTPUT_OFFSET[0], 0);
    EXPECT_EQ(mgr_->PM_OSD_OUTPUT_OFFSET[1], int32_t(mgr_->PS_BG_HACT) - led_w);
    EXPECT_EQ(mgr_->PM_OSD_OUTPUT_OFFSET[2], led_h);
    EXPECT_EQ(mgr_->PM_OSD_OUTPUT_OFFSET[3], int32_t(mgr_->PS_BG_VACT) - led_h - led_h);
    EXPECT_EQ(mgr_->PS_BG_TRANS, 1u);
    EXPECT_EQ(mgr_->PS_BG_COLOR, 0xFF0000u) << "built-in colour kept";
    EXPECT_EQ(mgr_->PS_CHAR_COLOR, 0x0000FFu) << "red";
    EXPECT_EQ(mgr_->PM_OSD_CHAR_64DOT, 0u);
    EXPECT_EQ(mgr_->PM_OSD_HZOOM_EN, 0u) << "normal size, not the zoom set before";
    // A bitmap entry after a double-size text: at normal size, as after a start.
    write_file("/data/configs/omenu.json",
               menu_json(R"("fontpara": {"startx": 0, "starty": 0, "fontw": 128, "fonth": 128, "wordspace": 0,
                                         "verticalspace": 0, "color": "#FF0000"})"));
    reload_menu();
    ASSERT_EQ(mgr_->PM_OSD_HZOOM_EN, 1u);
    write_file("/data/configs/omenu.json", R"({"osdcount": 1, "menu": [{"type": 1, "status": "on",
        "pos": {"x": 0, "y": 0, "w": 1920, "h": 1080}, "act": {"effect": 0, "speed": 1}}]})");
    reload_menu();
    EXPECT_EQ(mgr_->PM_OSD_DATA_MODE, 0u);
    EXPECT_EQ(mgr_->PM_OSD_HZOOM_EN, 0u);
    EXPECT_EQ(mgr_->PM_OSD_VZOOM_EN, 0u);

    // Nothing applied: no entries, a missing key, a word where a number belongs, a colour in
    // no form the OSD reads, a status neither "on" nor "off", a type neither text nor bitmap.
    for (const std::string& text :
         {menu_json("", 0), std::string(R"({"name": "m", "oactcount": 1, "menu": []})"),
          menu_json(R"("pos": {"x": "ten", "y": 0, "w": 1, "h": 1})"), menu_json(R"("status": 1)"),
          menu_json(R"("type": 2)"),
          menu_json(R"("fontpara": {"startx": 0, "starty": 0, "fontw": 64, "fonth": 64, "wordspace": 0,
                                    "verticalspace": 0, "color": "white"})"),
          menu_json(R"("backpara": {"enable": "on", "color": "#FFF"})")}) {
        mgr_->tlxApi_OsdSet(0, 0);
        mgr_->osd_full_update_req = 0;
        write_file("/data/configs/omenu.json", text);
        reload_menu();
        EXPECT_EQ(g_osd_list.osd[0].osdcount, 0) << text;
        EXPECT_EQ(mgr_->PM_OSD_EN, 0u) << text;
        EXPECT_EQ(mgr_->osd_full_update_req, 0) << text;
        EXPECT_TRUE(exists("/data/configs/omenu.json")) << text;
    }

    // A broken user-mode copy is left alone and keeps the live menu; a broken live menu goes.
    write_file("/data/modes/MO01.json", "{ broken");
    OSD_LIST own{};
    get_json_omenu_para("/data/modes/MO01.json", &own);
    EXPECT_EQ(own.osd[0].osdcount, 0);
    EXPECT_TRUE(exists("/data/configs/omenu.json"));
    EXPECT_TRUE(exists("/data/modes/MO01.json"));
    write_file("/data/configs/omenu.json", "{ broken");
    reload_menu();
    EXPECT_FALSE(exists("/data/configs/omenu.json"));
    std::stringstream shell;
    shell << std::ifstream(root_ + "/sim/shell.log").rdbuf();
    EXPECT_NE(shell.str().find("rm -rf /data/configs/omenu.json"), std::string::npos) << shell.str();
}

// An upload reloads the menu; its "on" entry is shown only while the OSD is switched on.
TEST_F(OsdTest, MenuIsShownOnlyWhileTheOsdIsSwitchedOn)
{
    write_file("/data/configs/omenu.json", menu_json());
    upload_pass();
    EXPECT_EQ(g_osd_list.osd[0].osdcount, 1) << "read all the same";
    EXPECT_EQ(mgr_->PM_OSD_EN, 0u);
    edit_and_pass([](uint8_t* image) { ram_wr16(image, ram_osd_enable, 1); });
    EXPECT_EQ(mgr_->PM_OSD_EN, 1u);
    edit_and_pass([](uint8_t* image) { ram_wr16(image, ram_osd_enable, 0); });
    EXPECT_EQ(mgr_->PM_OSD_EN, 0u);
    upload_pass();
    edit_and_pass([](uint8_t* image) { ram_wr16(image, ram_osd_enable, 0); });
    EXPECT_EQ(mgr_->PM_OSD_EN, 0u);

    // After a wall change a menu that applies nothing (no entries; a file kept, not read)
    // shows no OSD, as at a start: not a piece of the entry placed on the wall before.
    for (const std::string& text : {menu_json("", 0), menu_json(R"("status": 1)")}) {
        SCOPED_TRACE(text);
        write_file("/data/configs/omenu.json", menu_json());
        edit_and_pass([](uint8_t* image) { ram_wr16(image, ram_osd_enable, 1); });
        ASSERT_TRUE(model_->osd_read(0).on);
        write_file("/data/configs/omenu.json", text);
        upload_pass();
        edit_and_pass([](uint8_t* image) { ram_wr16(image, ram_led_width, ram_rd16(image, ram_led_width) - 8); });
        for (int k = 0; k < 8; ++k)
            EXPECT_FALSE(model_->osd_read(k).on) << k;
        edit_and_pass([](uint8_t* image) { ram_wr16(image, ram_osd_enable, 0); });
    }
}

// An entry at LED x, y is drawn there on every wall shape, cut over the output channels it
// spans as the layout places them on the wall (behind the offset that ends an unequal first
// piece on the channel boundary), whole wherever the drawing memory holds it, at double size
// too. Each channel's OSD window is read back from the chip.
TEST_F(OsdTest, EntryIsDrawnAtItsLedPositionOnEveryWallShape)
{
    struct Entry {
        int x, y, w, h;
        int font = 64;    // 128: double size
        int shown_h = 0;  // lines shown when the drawing memory cannot hold them all
        int starty = 6;   // the first text line on the canvas
    };
    const struct {
        int w, h, splice, out_w, out_h;
        int cols, rows;   // the output-channel grid of the layout
        std::vector<Entry> entries;
        bool refused = false;   // the output channels cannot show it: the layout before stays
    } walls[] = {
        {1920, 1080, 0, 1920, 1080, 2, 1, {{0, 0, 400, 100}, {1520, 980, 400, 100}}},
        {8400, 1000, 0, 8400, 1000, 2, 1, {{4000, 10, 1000, 200}, {8000, 900, 400, 100}}},
        {7680, 2160, 0, 7680, 2160, 4, 1, {{3640, 100, 400, 100}, {7280, 2060, 400, 100}}},
        {3840, 1080, 3, 1920, 1080, 2, 1, {{0, 0, 400, 100}, {1720, 500, 400, 100}, {3440, 980, 400, 100}}},
        {3840, 1080, 3, 1000, 1080, 2, 1,
         {{0, 0, 400, 100}, {800, 500, 400, 100}, {3440, 980, 400, 100}, {999, 500, 400, 100, 128}}},
        {7680, 4320, 3, 3840, 4320, 4, 1,
         {{1800, 0, 400, 100}, {5000, 4000, 2000, 320}, {0, 4200, 7680, 120}, {1000, 100, 5000, 200},
          {1919, 99, 400, 100, 128}}},
        {1920, 2160, 2, 1920, 1000, 1, 2, {{0, 0, 400, 100}, {100, 950, 400, 100}, {1520, 2060, 400, 100}}},
        {1920, 2160, 1, 1920, 1000, 1, 2, {{0, 0, 400, 100}, {100, 950, 400, 100}}},
        {7680, 4320, 2, 7680, 2160, 2, 2,
         {{0, 0, 400, 100}, {100, 3000, 400, 100}, {5000, 100, 400, 100}, {3640, 2110, 400, 100},
          {7280, 4220, 400, 100}, {0, 4200, 7680, 120}, {1000, 100, 5000, 200},
          {3839, 2159, 400, 100, 128}, {0, 0, 7680, 4320, 64, 2577}, {1000, 0, 5000, 4320, 64, 3865},
          {0, 0, 7680, 4320, 64, 2577, 2576}}},
        // Refused: the entry is placed on the layout in force.
        {1920, 1080, 5, 1920, 1080, 2, 2, {{0, 4200, 7680, 120}}, true},
        {7680, 4320, 1, 7680, 2160, 2, 2,
         {{3640, 2110, 400, 100}, {0, 4200, 7680, 120}, {1000, 100, 5000, 200}, {3841, 2157, 400, 100, 128}}},
        {1920, 1080, 4, 1920, 1080, 2, 1, {{1520, 980, 400, 100}}},
        {1280, 720, 5, 1280, 720, 2, 1, {{440, 600, 400, 100}}},
        // A canvas taller than the drawing memory holds at its pitch.
        {4096, 2560, 0, 4096, 2560, 2, 1,
         {{0, 2400, 400, 160}, {0, 0, 4096, 2560}, {0, 0, 200, 2560}, {100, 100, 1, 2460},
          {0, 0, 4096, 2400, 64, 0, 2400}}},
        {3840, 2730, 0, 3840, 2730, 2, 1, {{0, 0, 3840, 2730}}},
    };
    osd_switch(1);
    for (const auto& wall : walls) {
        const std::string name = std::to_string(wall.w) + "x" + std::to_string(wall.h) + " splice " +
                                 std::to_string(wall.splice) + " first " + std::to_string(wall.out_w) + "x" +
                                 std::to_string(wall.out_h);
        SCOPED_TRACE(name);
        const int in_force_w = wall.refused ? mgr_->pnl.w : wall.w;
        edit_and_pass([&](uint8_t* m) {
            ram_wr16(m, ram_splice_mode, uint16_t(wall.splice));
            ram_wr16(m, ram_led_width, uint16_t(wall.w));
            ram_wr16(m, ram_led_height, uint16_t(wall.h));
            ram_wr16(m, ram_output_rect + 4, uint16_t(wall.out_w));
            ram_wr16(m, ram_output_rect + 6, uint16_t(wall.out_h));
        });
        // Where each channel lies on the wall: the layout the FPGA is given.
        const int xoffs = ram_rd16(img(), ram_och_layout), yoffs = ram_rd16(img(), ram_och_layout + 2);
        const int och_w = ram_rd16(img(), ram_och_layout + 8), och_h = ram_rd16(img(), ram_och_layout + 10);
        ASSERT_EQ(mgr_->pnl.w, in_force_w);
        for (const Entry& e : wall.entries) {
            SCOPED_TRACE("entry " + std::to_string(e.x) + "," + std::to_string(e.y));
            const std::string font = std::to_string(e.font);
            write_file("/data/configs/omenu.json",
                       menu_json(R"("pos": {"x": )" + std::to_string(e.x) + R"(, "y": )" + std::to_string(e.y) +
                                 R"(, "w": )" + std::to_string(e.w) + R"(, "h": )" + std::to_string(e.h) +
                                 R"(}, "fontpara": {"startx": 4, "starty": )" + std::to_string(e.starty) +
                                 R"(, "fontw": )" + font + R"(, "fonth": )" + font +
                                 R"(, "wordspace": 2, "verticalspace": 1, "color": "0xA0B0C0"})"));
            const int cuts = logged("the lines below are not shown");
            reload_menu();
            const int shown_h = e.shown_h ? e.shown_h : e.h;
            EXPECT_EQ(logged("the lines below are not shown") - cuts, e.shown_h ? 1 : 0);
            model_->record().clear();
            ASSERT_TRUE(mgr_->update_osd(mgr_->c331_fd));
            // The canvas is drawn in the drawing memory only, not into the memory shown.
            const uint64_t pitch = uint64_t(mgr_->osd_pitch_units()) << 7;
            for (const std::string& l : record()) {
                unsigned dst = 0, h = 0;
                const bool fill = std::sscanf(l.c_str(), "fill dst=0x%x w=%*u h=%u", &dst, &h) == 2;
                if (fill || std::sscanf(l.c_str(), "string src=0x%*x dst=0x%x", &dst) == 1) {
                    EXPECT_LE(dst + pitch * (fill ? h : 64), mgr_->PS_MEM_OSD1) << l;
                }
            }
            int64_t area = 0;
            for (int k = 0; k < 8; ++k) {
                const sim::OsdRead r = model_->osd_read(k);
                if (r.w == 0 || r.h == 0)
                    continue;
                SCOPED_TRACE("channel " + std::to_string(k));
                EXPECT_TRUE(r.on);
                ASSERT_LT(k, wall.cols * wall.rows) << "a channel the layout does not use";
                EXPECT_EQ(r.hzoom, e.font == 128);
                // At double size a window may begin one pixel before the channel's area.
                const int z = e.font == 128 ? 2 : 1;
                EXPECT_GE(r.x, 1 - z);
                EXPECT_GE(r.y, 1 - z);
                EXPECT_LE(r.x + r.w, och_w);
                EXPECT_LE(r.y + r.h, och_h);
                const int64_t x = int64_t(k % wall.cols) * och_w + r.x - xoffs;
                const int64_t y = int64_t(k / wall.cols) * och_h + r.y - yoffs;
                EXPECT_GE(x, e.x);
                EXPECT_GE(y, e.y);
                EXPECT_LE(x + r.w, e.x + e.w);
                EXPECT_LE(y + r.h, e.y + shown_h);
                // The part of the entry this piece shows: each wall pixel its own OSD pixel.
                ASSERT_GT(r.pitch, 0u);
                const uint32_t off = r.addr - mgr_->PS_MEM_OSD1;
                EXPECT_EQ(off % r.pitch * z, x - e.x);
                EXPECT_EQ(off / r.pitch * z, y - e.y);
                area += (r.w - std::max<int64_t>(-r.x, 0)) * (r.h - std::max<int64_t>(-r.y, 0));
            }
            EXPECT_EQ(area, int64_t(e.w) * shown_h) << "the whole entry, once";
        }
    }
}

// A font reload while the OSD is shown draws the text again from the new font memory on the
// scaler's next pass. A redraw asked for while one waits to draw is kept for the next pass.
TEST_F(OsdTest, FontReloadDrawsTheTextAgain)
{
    osd_switch(1);
    write_file("/data/configs/omenu.json", menu_json());
    reload_menu();
    mgr_->per_pass_work();
    model_->record().clear();
    remote::run_hook(remote::Hook::ReloadFonts);
    mgr_->per_pass_work();
    const std::vector<std::string> rec = record();
    const auto last_dma = std::find_if(rec.rbegin(), rec.rend(), [](const std::string& l) { return l.rfind("dma", 0) == 0; });
    ASSERT_NE(last_dma, rec.rend()) << "the fonts were copied";
    EXPECT_NE(std::find_if(rec.rbegin(), last_dma, [](const std::string& l) { return l.rfind("string", 0) == 0; }),
              last_dma)
        << "the text drawn after the copy";

    mgr_->osd_full_update_req = 1;
    std::thread pass;
    {
        QMutexLocker hold(&mgr_->osd_flash_mutex);   // the redraw waits for it
        pass = std::thread([&] { mgr_->per_pass_work(); });
        bool taken = false;
        for (int i = 0; i < 5000 && !taken; ++i) {
            taken = mgr_->osd_full_update_req == 0;
            if (!taken)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        EXPECT_TRUE(taken) << "the pass takes the request before it draws";
        mgr_->osd_full_update_req = 1;   // as a font reload raises it
    }
    pass.join();
    EXPECT_EQ(mgr_->osd_full_update_req, 1) << "left for the next pass";
}

// A menu sent while the drawing engine is busy is drawn once the engine is free; meanwhile
// no pass waits on the busy engine, the earlier menu's drawing is not shown at the new place
// (nor memory never drawn), and switching the OSD off is still served.
TEST_F(OsdTest, MenuSentWhileTheEngineIsBusyIsDrawnOnceItIsFree)
{
    platform::VirtualClock vc(1000);
    platform::set_clock(&vc);
    osd_switch(1);
    write_file("/data/configs/omenu.json", menu_json(R"("pos": {"x": 0, "y": 0, "w": 300, "h": 64})"));
    upload_pass();
    mgr_->per_pass_work();
    ASSERT_EQ(chip(c331::OSD_CTRL) & 3, 3u) << "the first menu is shown";
    board(R"({"c331_engine_stuck": true})");
    write_file("/data/configs/omenu.json", menu_json());
    upload_pass();
    EXPECT_EQ(mgr_->PM_OSD_EN, 1u);
    model_->record().clear();
    const uint64_t t0 = vc.now_us();
    mgr_->per_pass_work();
    EXPECT_LT(vc.now_us() - t0, 10000u) << "no wait on the busy engine";
    EXPECT_TRUE(record().empty()) << "nothing started";
    for (int ch = 0; ch < 8; ++ch)
        EXPECT_EQ(chip(c331::OSD_CTRL, ch) & 3, 0u) << "channel " << ch << " shows no OSD until it is drawn";
    edit_and_pass([](uint8_t* image) { ram_wr16(image, ram_osd_enable, 0); });
    EXPECT_EQ(chip(c331::OSD_CTRL) & 3, 0u) << "switched off";
    edit_and_pass([](uint8_t* image) { ram_wr16(image, ram_osd_enable, 1); });

    board("{}");
    mgr_->per_pass_work();
    int strings = 0;
    for (const std::string& l : record())
        strings += l.rfind("string", 0) == 0;
    EXPECT_EQ(strings, 2) << "both lines of the menu drawn";
    EXPECT_EQ(chip(c331::OSD_CTRL) & 3, 3u);
    EXPECT_EQ(chip(c331::OSD_HW), 1000u);
    EXPECT_EQ(mgr_->osd_full_update_req, 0);
}

// An OSD stored as on is drawn by the first pass after a start, with no change to apply.
TEST_F(OsdTest, OsdStoredAsOnIsShownAtStart)
{
    write_file("/data/configs/omenu.json", menu_json());
    osd_switch(1);
    c331_shared::param_changed = 0;
    mgr_->thread_state = c331_manage::kStateBringUp;   // a start on this image
    mgr_->thread_pass();
    ASSERT_EQ(mgr_->thread_state, c331_manage::kStateRunning);
    mgr_->thread_pass();
    EXPECT_EQ(chip(c331::OSD_CTRL) & 3, 3u);
    EXPECT_EQ(chip(c331::OSD_HW), 1000u);
}

// A null text draws nothing; spaces near INT_MAX are held to what a character advance holds.
TEST_F(OsdTest, NullTextAndHugeSpacesAreHeld)
{
    osd_switch(1);
    write_file("/data/configs/omenu.json", menu_json(R"("texts": null)"));
    reload_menu();
    EXPECT_EQ(g_osd_list.osd[0].texts, "");
    model_->record().clear();
    mgr_->update_osd(mgr_->c331_fd);
    for (const std::string& l : record())
        EXPECT_NE(l.rfind("string", 0), 0u) << l;

    write_file("/data/configs/omenu.json",
               menu_json(R"("fontpara": {"startx": 0, "starty": 0, "fontw": 32, "fonth": 32,
                                         "wordspace": 2147483647, "verticalspace": 2147483647,
                                         "color": "0xFFFFFF"})"));
    reload_menu();
    model_->clear_writes();
    mgr_->update_osd(mgr_->c331_fd);
    // The line's height, then five bytes per character: glyph (2), colours (2), advance.
    const std::vector<uint8_t> params = writes_to(0x04, 0x29);
    ASSERT_EQ(params.size(), 11u) << "one line: the next starts beyond the canvas";
    EXPECT_EQ(params[5], 255);
    EXPECT_EQ(params[10], 255);

    // A line longer than a line of the memory ends with the last character that ends in it,
    // not drawn on into the next line's memory.
    write_file("/data/configs/omenu.json",
               menu_json(R"("texts": ")" + std::string(127, 'A') + R"(", "fontpara": {"startx": 0, "starty": 0,
                   "fontw": 32, "fonth": 32, "wordspace": 2147483647, "verticalspace": 0, "color": "0xFFFFFF"})"));
    reload_menu();
    model_->clear_writes();
    mgr_->update_osd(mgr_->c331_fd);
    const int64_t row = int64_t(mgr_->osd_pitch_units()) << 7;
    EXPECT_EQ(writes_to(0x04, 0x29).size(), size_t(1 + 5 * ((row - 16) / 255 + 1)));
}

// Nested 100,000 deep, the menu would overflow the scaler thread's stack in the parser.
TEST_F(OsdTest, NestedMenuFileIsRefusedAtLoad)
{
    osd_switch(1);
    write_file("/data/configs/omenu.json", menu_json());
    reload_menu();
    ASSERT_EQ(mgr_->PM_OSD_EN, 1u);
    mgr_->tlxApi_OsdSet(0, 0);
    write_file("/data/modes/MO02.json", std::string(100000, '['));
    OSD_LIST own{};
    get_json_omenu_para("/data/modes/MO02.json", &own);
    EXPECT_EQ(own.osd[0].osdcount, 0);
    EXPECT_TRUE(exists("/data/modes/MO02.json")) << "a user mode's copy is left alone";

    write_file("/data/configs/omenu.json", std::string(100000, '['));
    upload_pass();
    EXPECT_EQ(g_osd_list.osd[0].osdcount, 0);
    EXPECT_EQ(mgr_->PM_OSD_EN, 0u) << "not applied";
    EXPECT_FALSE(exists("/data/configs/omenu.json")) << "removed: refused once";
}

TEST_F(OsdTest, FlashProgramsPagesErasesAndReadsBack)
{
    const remote::FlashOps* ops = remote::scaler_flash();
    ASSERT_NE(ops, nullptr);
    std::vector<uint8_t> data(256);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = uint8_t(i * 7 + 1);

    model_->clear_writes();
    ASSERT_EQ(ops->write(0x1000, data.data(), 256), 0);
    EXPECT_EQ(pointer_writes(), (std::vector<uint32_t>{0x1000, 0x1000, 0x1100}));
    model_->clear_writes();
    ASSERT_EQ(mgr_->write_flash(mgr_->c331_fd, 0x1F8, 10, data.data()), 0);
    EXPECT_EQ(pointer_writes(), (std::vector<uint32_t>{0x1F8, 0x1F8, 0x200, 0x202}));

    std::vector<uint8_t> back(256);
    ASSERT_EQ(ops->read(0x1000, back.data(), 256), 0);
    EXPECT_EQ(back, data);
    ASSERT_EQ(mgr_->read_flash(mgr_->c331_fd, 0x1F6, 14, back.data()), 0);
    EXPECT_EQ(std::vector<uint8_t>(back.begin(), back.begin() + 14),
              (std::vector<uint8_t>{0xFF, 0xFF, 1, 8, 15, 22, 29, 36, 43, 50, 57, 64, 0xFF, 0xFF}));

    ASSERT_EQ(mgr_->erase_flash(mgr_->c331_fd, 16, 3, 1), 0);
    ASSERT_EQ(ops->erase(0x1234, 1, 0), 0);   // the 4 KiB unit holding the address
    std::vector<std::string> erased;
    for (const std::string& l : record())
        if (l.rfind("erase", 0) == 0)
            erased.push_back(l);
    EXPECT_EQ(erased, (std::vector<std::string>{"erase addr=0x10000 size=0x8000", "erase addr=0x18000 size=0x8000",
                                                "erase addr=0x20000 size=0x8000", "erase addr=0x1000 size=0x1000"}));
    ASSERT_EQ(ops->read(0x1000, back.data(), 4), 0);
    EXPECT_EQ(back[0], 0xFF);
    EXPECT_EQ(ops->read(0x1FFFFFF, back.data(), 2), -1) << "past the 32 MiB flash";
}

// A flash that keeps its write-enable latch after an erase gets a write disable, whose opcode
// takes the erase opcode's register: every later unit must still be erased.
TEST_F(OsdTest, EraseAfterAWriteDisableErasesEveryUnit)
{
    board(R"({"c331_flash_wel_sticks": true})");
    for (uint32_t a : {0x20000u, 0x21000u, 0x22000u})
        model_->osd_flash().seed(a, {0x00, 0x00});
    ASSERT_EQ(remote::scaler_flash()->erase(0x20000, 3, 0), 0);
    for (uint32_t a : {0x20000u, 0x21000u, 0x22000u})
        EXPECT_EQ(model_->osd_flash().flash_bytes(a, 2), (std::vector<uint8_t>{0xFF, 0xFF})) << std::hex << a;
    const std::vector<uint8_t> commands = writes_to(0x04, 0x48);
    EXPECT_EQ(std::count(commands.begin(), commands.end(), 5), 3) << "a write disable after each unit";
}

// The remote flash commands reach the first 16 MiB of the 32 MiB flash: the top address byte
// chooses the flash. What runs past that is refused and touches nothing.
TEST_F(OsdTest, RemoteFlashCommandsRefuseWhatRunsPast16MiB)
{
    const auto erase = [](uint32_t addr, uint16_t count, uint8_t kind) {
        const std::vector<uint8_t> req = {uint8_t(addr), uint8_t(addr >> 8), uint8_t(addr >> 16), uint8_t(addr >> 24),
                                          uint8_t(count), uint8_t(count >> 8), kind};
        uint8_t out[8] = {0xEE};
        remote::flash_erase(req.data(), u32(req.size()), out);
        return out[0];
    };
    const auto read = [](uint32_t addr, uint16_t len) {
        const std::vector<uint8_t> req = {uint8_t(addr), uint8_t(addr >> 8), uint8_t(addr >> 16), uint8_t(addr >> 24),
                                          uint8_t(len), uint8_t(len >> 8)};
        std::vector<uint8_t> out(7 + len, 0xEE);
        remote::flash_read(req.data(), u32(req.size()), out.data());
        return out[0];
    };
    model_->record().clear();
    EXPECT_EQ(erase(0x00FFF000, 2, 0), remote::ST_REFUSED);
    EXPECT_EQ(erase(0x00FF0000, 1, 2), remote::ST_DONE) << "the last 64 KiB in reach";
    EXPECT_EQ(erase(0x00FF8000, 0x200, 1), remote::ST_REFUSED);
    EXPECT_EQ(read(0x00FFFFFF, 2), remote::ST_REFUSED);
    EXPECT_EQ(read(0x00FFFFFF, 1), remote::ST_DONE);
    int erases = 0;
    for (const std::string& l : record())
        erases += l.rfind("erase", 0) == 0;
    EXPECT_EQ(erases, 1);
}

TEST_F(OsdTest, StuckControllerAndEngineGiveUpWithinTheirBounds)
{
    platform::VirtualClock vc(1000);
    platform::set_clock(&vc);
    board(R"({"c331_flash_stuck": true})");
    uint8_t buf[16] = {};
    uint64_t t0 = vc.now_us();
    EXPECT_EQ(mgr_->write_flash(mgr_->c331_fd, 0x100, 16, buf), -1);
    EXPECT_LT(vc.now_us() - t0, 150000u);
    t0 = vc.now_us();
    EXPECT_EQ(mgr_->read_flash(mgr_->c331_fd, 0x100, 16, buf), -1);
    EXPECT_LT(vc.now_us() - t0, 150000u);
    EXPECT_EQ(model_->value(0x044801), 0u) << "the command was ended";

    board(R"({"c331_engine_stuck": true})");
    write_file("/data/configs/omenu.json", menu_json());
    reload_menu();
    model_->record().clear();
    t0 = vc.now_us();
    mgr_->update_osd(mgr_->c331_fd);
    EXPECT_LT(vc.now_us() - t0, 300000u);
    const auto rec = record();
    ASSERT_EQ(rec.size(), 1u);
    EXPECT_EQ(rec[0].rfind("fill", 0), 0u) << "the redraw stops at the first stuck command";
    EXPECT_EQ(model_->value(0x040801), 0u);
}

// The remote font reload runs on its own thread while the scaler thread redraws: the chip
// must see one whole engine or flash sequence at a time.
TEST_F(OsdTest, FontReloadDoesNotInterleaveWithRedraw)
{
    // Virtual time: a thread descheduled on a loaded machine must not run out a wait's bound.
    platform::VirtualClock vc(1000);
    platform::set_clock(&vc);
    write_file("/data/configs/omenu.json", menu_json());
    reload_menu();
    {
        QMutexLocker lk(&c331_shared::c331_lock);
        store_->status_page[STATUS_FONT] = 0;
    }
    const auto hex = [](uint32_t v) { return QString::asprintf("0x%X", v).toStdString(); };
    // The value after "name=" in a record line.
    const auto field = [](const std::string& l, const char* name) {
        const size_t at = l.find(name);
        return at == std::string::npos ? ~0u : uint32_t(std::stoul(l.substr(at + std::strlen(name)), nullptr, 16));
    };
    const uint32_t font = mgr_->PS_FONT_ADDR, draw = mgr_->PS_MEM_OSD, shown = mgr_->PS_MEM_OSD1;
    const std::set<std::string> dmas = {
        "dma mode=0 flash=0x23 len=0x3000 dst=" + hex(font),
        "dma mode=0 flash=0x10023 len=0x290000 dst=" + hex(font + 0x3000),
        "dma mode=0 flash=0x410023 len=0xC000 dst=" + hex(font + 0x293000),
        "dma mode=0 flash=0x450023 len=0xA40000 dst=" + hex(font + 0x29F000),
    };

    // Rounds small enough for the model's record (512 lines) to hold every command.
    for (int round = 0; round < 6; ++round) {
        model_->record().clear();
        std::atomic<bool> done{false};
        std::thread scaler([&] {
            for (int i = 0; i < 30; ++i) {
                mgr_->osd_full_update_req = 1;
                mgr_->per_pass_work();
            }
            done = true;
        });
        uint32_t shown_flags = 0;
        std::thread panel([&] {  // the factory page shows which fonts were found
            do
                shown_flags |= mgr_->font_flags;
            while (!done);
        });
        int reloads = 0;
        while ((!done && reloads < 40) || reloads < 4) {
            remote::run_hook(remote::Hook::ReloadFonts);
            ++reloads;
        }
        scaler.join();
        panel.join();
        EXPECT_EQ(shown_flags, 0x0Fu);

        int fills = 0, strings = 0, copies = 0, dma_count = 0, bad = 0;
        for (const std::string& l : record()) {
            bool ok = true;
            if (l.rfind("dma", 0) == 0) {
                ok = dmas.count(l) == 1;
                ++dma_count;
            } else if (l.rfind("fill", 0) == 0) {
                ok = field(l, "dst=") == draw;
                ++fills;
            } else if (l.rfind("string", 0) == 0) {
                ok = field(l, "src=") == font + 0x293000 && field(l, "dst=") > draw && field(l, "dst=") < shown &&
                     (l.find("glyphs=33,34") != std::string::npos || l.find("glyphs=35,36") != std::string::npos);
                ++strings;
            } else if (l.rfind("copy", 0) == 0) {
                ok = field(l, "src=") == draw && field(l, "dst=") >= shown && field(l, "dst=") < font;
                ++copies;
            }
            EXPECT_TRUE(ok) << "round " << round << ": " << l;
            bad += !ok;
        }
        EXPECT_EQ(fills, 30);
        EXPECT_EQ(strings, 60);
        EXPECT_EQ(copies, 120);
        EXPECT_EQ(dma_count, 4 * reloads);
        if (bad)
            break;
    }
    EXPECT_EQ(*store_->reg_byte(43), 0x3F);
    EXPECT_EQ(mgr_->font_flags, 0x0Fu);
}

}  // namespace
