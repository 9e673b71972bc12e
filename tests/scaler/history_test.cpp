// Any path to a parameter image programs what a fresh start on that image programs.
//
// A seeded generator makes random sequences of what a tool or the panel does: remote RAM
// writes over the words they change (and undos of the last write), applies (register 11),
// apply passes of the scaler thread, the parameter file written by the panel thread, FPGA
// passes, and new input timings: on the board (what the chip measures) and in the receivers'
// records (published, or withdrawn while a V-by-One receiver locks again) in separate steps.
// It reaches six windows (more input channels wanted than there are), capped windows (a
// V-by-One input wider than 2176 in a taller window, outside the one-window fallback),
// interlaced inputs and their crops, crops that do not fit their input, splice pieces of
// unequal sizes and the sharpness steps. After each sequence the device finishes its work,
// and the registers the apply pass programs (the scaler chip's banks, the FPGA's output page)
// must equal those of a device started afresh on the final image and the final inputs.
// Everything runs in process on virtual time: the scaler and FPGA managers are driven pass by
// pass from the test thread.
//
// K57_HISTORY_RUNS sets the number of sequences (default kDefaultRuns: enough to catch a
// capped window that loses its cap on a rotate-only change, a change and its undo in two
// quick applies, and an input that changes and comes back while its record is withdrawn);
// K57_HISTORY_SEED the first seed (default 1). A failing sequence is shrunk (steps dropped while it still fails)
// and printed with its seed.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutexLocker>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "common/factory_store.h"
#include "common/remote_client.h"
#include "common/temp_dir.h"
#include "core/SyncUpdate.h"
#include "core/TlxRamPara.h"
#include "core/c331_shared.h"
#include "core/globals.h"
#include "core/ram_map.h"
#include "core/requests.h"
#include "core/store_files.h"
#include "core/utils.h"
#include "platform/virtual_clock.h"
#include "remote/message_deal.h"
#include "scaler/c331_manage.h"
#include "scaler/panel_layout.h"
#include "sim/c331_model.h"
#include "sim/fpga0_model.h"
#include "sim/sim_board.h"
#include "video_io/fpga_manage.h"
#include "video_io/fpga_regs.h"
#include "video_io/soc_pads.h"
#include "video_io/zeltasource.h"

using testutil::operator+;

namespace {

constexpr int kDefaultRuns = 150;
constexpr int kMinSteps = 3, kMaxSteps = 18;
constexpr int kWindowsUsed = 6;    // all six: overlap, layers, and more input channels wanted than there are
constexpr int kSettleTicks = 300;  // bound of the FPGA's work after a settling pass (hand-over ~130)
constexpr int kStartTicks = 5000;  // bound of the FPGA's bring-up and output start
constexpr int kTicksPerPass = 5;   // the FPGA thread passes once per 5 ticks (its steps wait 5 or more)
constexpr int kStartTicksPerPass = 25;  // the output start's steps wait 5 to 701 ticks
constexpr uint8_t kOutputStarted = 18;  // the FPGA's output-start state once the output runs

// ---- what the generator changes ------------------------------------------------------------
// One switch per dimension. A dimension is off only while a known fault makes its paths
// differ from a fresh start; its comment names the fault.
constexpr bool kWindowSources = true;
constexpr bool kWindowSizes = true;
constexpr bool kWindowPositions = true;
// Windows beyond the LED: the layout falls back to one unrotated window over the whole LED.
constexpr bool kWindowsThatDoNotFit = true;
// Windows 1 to 5 listed or not: their input channels are handed out afresh at every apply.
constexpr bool kWindowEnables = true;
constexpr bool kRotate = true;
constexpr bool kCrops = true;   // windows showing crop rows 0 and 1
constexpr bool kCropRowEdits = true;   // the key and rectangle of crop rows 0 and 1
constexpr bool kDotByDot = true;
constexpr bool kLayers = true;
constexpr bool kLedSize = true;
// A splice mode the output channels cannot show keeps the layout shown before on purpose: a
// sequence ends on a showable one (end_on_showable_panel).
constexpr bool kSpliceModes = true;
// The output offsets a tool writes; a start recomputes them from the LED size (kPanelComputed).
constexpr bool kOffsets = true;
constexpr bool kPicture = true;
constexpr bool kSharpness = true;
// While a final image holds a test pattern the input following is paused on purpose: see
// pattern_owned below for what is compared then.
constexpr bool kPatterns = true;
// A window's black flag, also beside a second window's re-layout.
constexpr bool kBlackFlag = true;
constexpr bool kInputTimings = true;
// The V-by-One sources 4 and 5 too, on one input channel or two by the lanes their timing
// takes (vbo_lanes). Off: the windows show the HDMI sources 0..3 only, from the start on, and
// dot-by-dot joins only ports of those.
constexpr bool kDualChannelSources = true;
constexpr bool kApplyBeforeFileWrite = true;

// ---- what is compared --------------------------------------------------------------------------
// Every register of the scaler chip's 256 banks, the horizontal shrink set each input channel
// holds (loaded through a bank-0 port) and the FPGA's output page (RAM block 1), but:
//   - register 0 of every bank: the bank select, the bank of the last access;
//   - the registers in kExcluded below: their value depends on the path on purpose;
//   - the banks and bank-0 registers of an output channel that is off in both devices and of
//     an input channel no window owns in either (in_channel_unused_in_both): they put nothing
//     on the wall until a window takes the channel, which reprograms them;
//   - the sync polarity and V-by-One receiver set-up of an input port no window shows in either
//     (port_unshown_in_both): what the receiver reported when a window last took it, set again
//     when one takes it;
//   - the FPGA page's link and search state (kPageStateFirst..Last): the cards' state, not a
//     setting.
// A per-channel entry of kExcluded is named by its channel-0 bank and covers every channel.
struct Exclusion {
    uint8_t bank;
    bool per_channel;
    uint8_t reg_first, reg_last;
    const char* reason;
};
constexpr uint8_t kFrameStoreBank = 0x16;
const Exclusion kExcluded[] = {
    {kFrameStoreBank, true, 0x66, 0x68,
     "input field-store order: a source switch freezes the last picture in the spare field store, so the order "
     "rotates with every switch"},
    {kFrameStoreBank, true, 0x6C, 0x6D, "output field-store order: follows the input order above"},
    {0x00, false, 0x79, 0x7A,
     "horizontal shrink load port: holds the set last loaded and the channel it went to, the window "
     "programmed last; the set each input channel holds is compared instead (Programmed::hshrink)"},
};

// While a test pattern is on, the apply pass pauses its input following on purpose: the
// windows' picture path (input ports, input channels and their shrink sets, the scaling and
// store reads of the output channels) stays as the last input check left it, so it depends on when the pattern
// went on. What the pattern itself programs does not: each output channel's pattern generator
// and background, compared with the pattern on. Everything is compared again once the pattern
// is turned off in both devices and the following has caught up.
constexpr uint8_t kOchBank = 0x08;
constexpr uint8_t kBackgroundFirst = 0x48, kBackgroundLast = 0x4B;   // enable, colour
constexpr uint8_t kPatternGenFirst = 0x57, kPatternGenLast = 0x68;   // mode .. second colour
// A re-layout of the panel (splice mode, LED size) hands the channels to the windows but leaves
// their programming, background included, to the input following: with the pattern on, a channel
// the new layout gave to a window keeps what it had until the pattern goes off, unless a window
// setter (a window's size or place) reprogrammed the windows in that pass. So the background of
// an output channel whose window changed since the window programming ran, in either device,
// depends on the path: it is compared once the pattern is off.
bool pattern_owned(int bank, int reg, uint32_t ochs_relaid)
{
    if (bank < kOchBank || (bank - kOchBank) % 0x10 != 0)
        return false;
    const bool background = reg >= kBackgroundFirst && reg <= kBackgroundLast;
    if (background && (ochs_relaid & (1u << ((bank - kOchBank) / 0x10))))
        return false;
    return background || (reg >= kPatternGenFirst && reg <= kPatternGenLast);
}

// The FPGA output page bytes that are state, not settings.
constexpr uint32_t kPageStateFirst = fpga::PARA_STATE_FIRST, kPageStateLast = fpga::PARA_STATE_LAST;

// ---- inputs ------------------------------------------------------------------------------------------
struct Timing {
    const char* name;
    int hact, htotal, hfront, hsync, vact, vtotal, vfront, vsync, pclk_khz;   // frame values
    bool interlaced = false;
};
const Timing kTimings[] = {
    {"1080p60", 1920, 2200, 88, 44, 1080, 1125, 4, 5, 148500},
    {"720p60", 1280, 1650, 110, 40, 720, 750, 5, 5, 74250},
    {"1080p50", 1920, 2640, 528, 44, 1080, 1125, 4, 5, 148500},
    {"1440p60", 2560, 2720, 48, 32, 1440, 1481, 3, 5, 241700},
    {"2160p30", 3840, 4400, 176, 88, 2160, 2250, 8, 10, 297000},
    {"1080i60", 1920, 2200, 88, 44, 1080, 1125, 4, 10, 74250, true},
};
constexpr int kTimingCount = sizeof kTimings / sizeof kTimings[0];
constexpr int kWideTimings[2] = {3, 4};   // wider than a V-by-One channel carries (2176)
// The receivers of sources 0..3 take up to 1080p; the V-by-One inputs (4, 5) every timing.
bool timing_fits(int source, int t) { return source >= 4 || kTimings[t].hact <= 1920; }

// No receiving cards on the output ports: their search is not what is compared, and it is
// most of an FPGA pass.
const QJsonArray kNoCards{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

// The V-by-One lanes the IT6805 receivers (sources 4, 5) send a timing on: one up to 80 MHz,
// four above 160 MHz or beyond 2176 pixels a line, two between. Four lanes take two input
// channels of the scaler, fewer one.
int vbo_lanes(const Timing& t)
{
    if (t.pclk_khz > 160000 || t.hact > 2176)
        return 4;
    return t.pclk_khz <= 80000 ? 1 : 2;
}

// The record a receiver publishes; an interlaced timing in field values (540 of 562 lines).
HDMI_INFO hdmi_row(int source, const Timing& t)
{
    const int k = t.interlaced ? 2 : 1;
    HDMI_INFO r{};
    r.Hact = uint32_t(t.hact), r.Hsync = uint32_t(t.hsync), r.Htotal = uint32_t(t.htotal);
    r.Hback = uint32_t(t.htotal - t.hact - t.hfront - t.hsync), r.Hpol = 1;
    r.Vact = uint32_t(t.vact / k), r.Vsync = uint32_t(t.vsync / k), r.Vtotal = uint32_t(t.vtotal / k);
    r.Vback = uint32_t((t.vtotal - t.vact - t.vfront - t.vsync) / k), r.Vpol = 1;
    r.PCLK = float(t.pclk_khz) / 1000.0f;
    r.interlaced = t.interlaced ? 1 : 0;
    r.type = source >= 4 ? 1 : 0;
    r.lanes = source >= 4 ? uint32_t(vbo_lanes(t)) : 0;
    r.stable = 1;
    return r;
}

// ---- steps ---------------------------------------------------------------------------------------------
// InputTiming changes the board's input and the receiver's record at once; BoardInput only
// what the chip measures, Record has the record follow the board, Withdraw takes a V-by-One
// receiver's record back (as it does while it locks again). Undo applies what was written,
// then writes back what the image held before the last write (a change and its undo in two
// quick applies, before the parameter file is written).
// Glitch: a V-by-One input changes timing and comes back while its receiver relocks: the
// new timing measured, the record withdrawn, the old timing back, a scaler pass after each
// (the record stays withdrawn until a Record step or the end).
enum class Kind { Write, Apply, Pass, FileWrite, FpgaTicks, InputTiming, BoardInput, Record, Withdraw, Undo, Glitch };

constexpr uint16_t kBackToRecord = 0xFFFF;   // BoardInput: back to the timing last published

struct Step {
    Kind kind;
    uint32_t addr = 0;   // Write: image address; the input steps: source
    uint16_t value = 0;  // Write: value; InputTiming, BoardInput: index in kTimings
    uint8_t bytes = 2;   // Write: 1 or 2
};

std::string describe(const Step& s)
{
    std::ostringstream o;
    switch (s.kind) {
    case Kind::Write:
        o << "remote write 0x" << std::hex << std::uppercase << s.addr << std::dec << " = " << s.value
          << (s.bytes == 1 ? " (byte)" : "");
        break;
    case Kind::Apply: o << "register 11 bit 1 (apply)"; break;
    case Kind::Pass: o << "scaler pass"; break;
    case Kind::FileWrite: o << "parameter file written"; break;
    case Kind::FpgaTicks: o << "FPGA passes (50 ticks)"; break;
    case Kind::InputTiming: o << "board input " << s.addr << " -> " << kTimings[s.value].name << ", its record too"; break;
    case Kind::BoardInput:
        o << "board input " << s.addr << " -> "
          << (s.value == kBackToRecord ? "the timing of the last record published" : kTimings[s.value].name)
          << " (record unchanged)";
        break;
    case Kind::Record: o << "record of input " << s.addr << " follows the board"; break;
    case Kind::Withdraw: o << "record of input " << s.addr << " withdrawn"; break;
    case Kind::Undo: o << "apply, scaler pass, then the last remote write undone"; break;
    case Kind::Glitch:
        o << "board input " << s.addr << " -> " << kTimings[s.value].name
          << ", pass, its record withdrawn, pass, back to the timing last published, pass";
        break;
    }
    return o.str();
}

// An image word the generator changes, with the values it picks from.
struct Field {
    uint32_t addr;
    std::vector<uint16_t> values;
    uint8_t bytes = 2;
};

std::vector<Field> generator_fields()
{
    std::vector<Field> f;
    auto add = [&](bool on, uint32_t addr, std::vector<uint16_t> v, uint8_t bytes = 2) {
        if (on)
            f.push_back(Field{addr, std::move(v), bytes});
    };
    for (int w = 0; w < kWindowsUsed; ++w) {
        std::vector<uint16_t> sources;
        if (kWindowSources)
            sources = kDualChannelSources ? std::vector<uint16_t>{0, 1, 2, 3, 4, 5} : std::vector<uint16_t>{0, 1, 2, 3};
        if (kCrops)
            sources.insert(sources.end(), {WIN_SOURCE_CROP | 0, WIN_SOURCE_CROP | 1});
        add(!sources.empty(), ram_window_addr(w, WIN_SOURCE), sources);
        // Inside the smallest LED (3840 x 2048) while windows that do not fit are left out.
        // Taller than a 1440p input: a V-by-One input wider than 2176 zoomed vertically is
        // capped; small ones: many windows on few output channels.
        add(kWindowSizes, ram_window_addr(w, WIN_WIDTH), {400, 960, 1280, 1920, 2560});
        add(kWindowSizes, ram_window_addr(w, WIN_HEIGHT),
            kWindowsThatDoNotFit ? std::vector<uint16_t>{300, 540, 720, 1080, 1440, 2160}
                                 : std::vector<uint16_t>{300, 540, 720, 1080, 1440, 1800});
        add(kWindowPositions, ram_window_addr(w, WIN_X),
            kWindowsThatDoNotFit ? std::vector<uint16_t>{0, 100, 960, 1920, 3000} : std::vector<uint16_t>{0, 100, 1280});
        add(kWindowPositions, ram_window_addr(w, WIN_Y),
            kWindowsThatDoNotFit ? std::vector<uint16_t>{0, 50, 540, 1800} : std::vector<uint16_t>{0, 50, 540});
        add(kWindowEnables && w > 0, ram_window_addr(w, WIN_ENABLE), {0, 1});
        add(kRotate, ram_window_addr(w, WIN_ROTATE), {0, 1, 2, 3});
        std::vector<uint16_t> output{0};
        if (kDotByDot)
            output.push_back(WIN_OUT_P2P);
        if (kBlackFlag)
            output.push_back(WIN_OUT_BLACK);
        if (kDotByDot && kBlackFlag)
            output.push_back(WIN_OUT_P2P | WIN_OUT_BLACK);
        add(output.size() > 1, ram_window_addr(w, WIN_OUTPUT), output);
        add(kDotByDot, ram_window_addr(w, WIN_P2P_MODE),
            kDualChannelSources ? std::vector<uint16_t>{0, 1, 2, 5} : std::vector<uint16_t>{0, 1});
        add(kLayers, ram_win_priority + 2 * uint32_t(w), {0, 1, 2, 3, 4, 5});
    }
    // Crops of an HDMI source (interlaced too), of a V-by-One one (up to 2160p, so wider than
    // 2176), and crops that do not fit the input (x 1900 width 100, y 1000 height 200).
    for (int r = 0; r < 2; ++r) {
        add(kCropRowEdits, ram_crop_addr(r, CROP_KEY),
            {uint16_t(CROP_KEY_USED | (r << 8) | 2), uint16_t(CROP_KEY_USED | (r << 8) | (kDualChannelSources ? 4 : 3)),
             uint16_t(CROP_KEY_USED | (r << 8) | (kDualChannelSources ? 5 : 1)), uint16_t(CROP_KEY_USED | (r << 8) | 0)});
        add(kCropRowEdits, ram_crop_addr(r, CROP_X), {0, 100, 640, 1900});
        add(kCropRowEdits, ram_crop_addr(r, CROP_Y), {0, 60, 360, 1000});
        add(kCropRowEdits, ram_crop_addr(r, CROP_WIDTH), {960, 1280, 640, 100, 2560});
        add(kCropRowEdits, ram_crop_addr(r, CROP_HEIGHT), {540, 720, 360, 200, 1080});
    }
    const std::vector<uint16_t> led_w = kWindowsThatDoNotFit ? std::vector<uint16_t>{1280, 1920, 2560, 3840, 4096}
                                                             : std::vector<uint16_t>{3840, 4096};
    const std::vector<uint16_t> led_h = kWindowsThatDoNotFit ? std::vector<uint16_t>{720, 1080, 1440, 2048, 2160}
                                                             : std::vector<uint16_t>{2048, 2160};
    add(kLedSize, ram_led_width, led_w);
    add(kLedSize, ram_led_height, led_h);
    // A first output narrower or lower than the LED: splice pieces of unequal sizes (a first
    // piece less than half the LED's height, CP21 wider than 640).
    std::vector<uint16_t> out_w = led_w, out_h = led_h;
    out_w.push_back(1280);
    out_h.push_back(1000);
    add(kLedSize, ram_output_rect + 4, out_w);
    add(kLedSize, ram_output_rect + 6, out_h);
    add(kSpliceModes, ram_splice_mode, {0, 1, 2, 3, 4, 5});
    add(kOffsets, ram_och_layout, {0, 16, 100});
    add(kOffsets, ram_och_layout + 2, {0, 8, 50});
    add(kPicture, ram_brightness, {0, 50, 60, 100});
    add(kPicture, ram_contrast, {0, 50, 100});
    add(kPicture, ram_saturation, {0, 50, 100});
    add(kPicture, ram_colour_temp_type, {0, 1, 2, 3});
    add(kPicture, ram_colour_temp_rgb, {50, 100});
    add(kSharpness, ram_sharpness, {0, 29, 30, 31, 50, 60, 100});
    add(kPatterns, ram_test_pattern, {0, 1, 4}, 1);
    return f;
}

// The words a start clears or recomputes whatever the file holds (the splice mode is kept only
// for a screen that shows just split; the generator's screens all show in one piece): given
// again after a fresh start, as a tool would, so that the comparison covers them. The output
// offsets (the first two words of the output-channel layout) are the panel set-up's result:
// every start and every change of the LED size or splice mode computes them from those words,
// so a tool's offsets hold until the next panel set-up (a size change on the path replaces
// them in the image too, and the start then computes the same).
struct BootWord {
    uint32_t addr;
    uint8_t bytes;
};
const BootWord kClearedAtStart[] = {{ram_test_pattern, 1}, {ram_splice_mode, 2}, {ram_black_screen, 2}};
// The output offsets: the panel set-up computes them at a start and at every change of the
// splice mode or the LED size, and a tool's offsets hold until then. So they are written after
// the words above have been applied, as the last tool edit.
const BootWord kPanelComputed[] = {{ram_och_layout, 2}, {ram_och_layout + 2, 2}};

// The fields by group: window 0 (over the LED at start, the one a user edits most), the
// other windows, and the rest (crops, LED, picture).
bool window_field(uint32_t addr, int w)
{
    return (addr >= ram_window_addr(w, 0) && addr < ram_window_addr(w + 1, 0)) || addr == ram_win_priority + 2 * uint32_t(w);
}

std::vector<Step> generate(uint32_t seed)
{
    static const std::vector<Field> fields = generator_fields();
    static const std::vector<std::vector<size_t>> groups = [] {
        std::vector<std::vector<size_t>> g(3);
        for (size_t i = 0; i < fields.size(); ++i) {
            bool other = false;
            for (int w = 1; w < kWindowsUsed; ++w)
                other = other || window_field(fields[i].addr, w);
            g[window_field(fields[i].addr, 0) ? 0 : other ? 1 : 2].push_back(i);
        }
        return g;
    }();
    std::mt19937 rng(seed);
    auto pick = [&](int n) { return int(rng() % uint32_t(n)); };
    auto timing_for = [&](int source) {
        int t = pick(kTimingCount);
        while (!timing_fits(source, t))
            t = pick(kTimingCount);
        return uint16_t(t);
    };
    std::vector<Step> steps;
    // Most input steps move one V-by-One source: a change and its return, its record withdrawn
    // and published between them.
    const int moving = 4 + pick(2);
    auto input_source = [&] { return pick(10) < 7 ? moving : pick(kSourceCount); };
    // What only some timings reach is reached from the first edit on: every sequence starts
    // with a V-by-One input wider than 2176 (a window taller than it is capped: window 0 shows
    // source 4 over the LED at start), half with another input timing too (an interlaced
    // input, two input channels), followed before the first edit.
    if (kInputTimings) {
        steps.push_back(Step{Kind::InputTiming, uint32_t(4 + pick(2)), uint16_t(kWideTimings[pick(2)])});
        if (pick(2) == 0) {
            const int source = pick(kSourceCount);
            steps.push_back(Step{Kind::InputTiming, uint32_t(source), timing_for(source)});
        }
        steps.push_back(Step{Kind::Pass});
    }
    const int n = kMinSteps + pick(kMaxSteps - kMinSteps + 1);
    for (int i = 0; i < n; ++i) {
        const int roll = pick(100);
        if (roll < 50 && !fields.empty()) {
            const int group_roll = pick(100);
            const std::vector<size_t>& g = groups[group_roll < 30 ? 0 : group_roll < 60 ? 1 : 2];
            const Field& f = g.empty() ? fields[size_t(pick(int(fields.size())))] : fields[g[size_t(pick(int(g.size())))]];
            steps.push_back(Step{Kind::Write, f.addr, f.values[size_t(pick(int(f.values.size())))], f.bytes});
        } else if (roll < 54) {
            steps.push_back(Step{Kind::Undo});
        } else if (roll < 68) {
            steps.push_back(Step{Kind::Apply});
        } else if (roll < 78) {
            steps.push_back(Step{Kind::Pass});
        } else if (roll < 83) {
            steps.push_back(Step{Kind::FileWrite});
        } else if (roll < 87) {
            steps.push_back(Step{Kind::FpgaTicks});
        } else if (!kInputTimings) {
            continue;
        } else if (roll < 90) {
            const int source = input_source();
            steps.push_back(Step{Kind::InputTiming, uint32_t(source), timing_for(source)});
        } else if (roll < 93) {
            const int source = input_source();
            steps.push_back(Step{Kind::BoardInput, uint32_t(source), pick(2) ? timing_for(source) : kBackToRecord});
        } else if (roll < 96) {
            steps.push_back(Step{Kind::Record, uint32_t(input_source())});
        } else {
            const int source = pick(10) < 7 ? moving : 4 + pick(2);
            steps.push_back(roll < 98 ? Step{Kind::Withdraw, uint32_t(source)}
                                      : Step{Kind::Glitch, uint32_t(source), timing_for(source)});
        }
    }
    return steps;
}

// Virtual time that passes at once: the test thread is the only one using it.
class InstantClock : public platform::VirtualClock {
public:
    InstantClock() : VirtualClock(1000000) {}
    void sleep_us(uint64_t us) override { advance_us(us); }
};

// What the device has programmed: the scaler chip's registers and the FPGA's output page.
struct Programmed {
    std::vector<uint8_t> scaler;   // 256 banks x 128 registers
    std::vector<uint8_t> page;     // the FPGA's parameter page (RAM block 1)
    uint32_t ports_shown = 0;      // bit p: a listed window shows input port p
    uint32_t ichs_owned = 0;       // bit c: a window owns input channel c
    uint8_t hshrink[8] = {};       // the horizontal shrink set loaded into input channel c
    uint32_t ochs_relaid = 0;      // bit k: the layout moved output channel k since the window programming ran
    uint32_t ochs_windowed = 0;    // bit k: a window is on output channel k
};

// Output channel k: banks 0x08..0x0F + 0x10 k, bank 0 register 0x08 + k (bit 0 on) and its
// scaler control 0x69 + k. Input channel c: banks 0x10..0x17 + 0x10 c, bank 0 registers
// 0x10 + c (port select) and 0x71 + c (scaler control).
constexpr int kChannelBankStride = 0x10, kChannels = 8;
constexpr int kOchBankFirst = 0x08, kOchBankLast = 0x0F, kOchEnableReg = 0x08, kOchControlReg = 0x69;
constexpr int kIchBankFirst = 0x10, kIchBankLast = 0x17, kIchSelectReg = 0x10, kIchControlReg = 0x71;

bool och_on(const std::vector<uint8_t>& scaler, int k) { return scaler[size_t(kOchEnableReg + k)] & 1; }

// The channel a register belongs to (bank first..last + 0x10 c, or bank 0 register base + c).
int channel_of(int bank, int reg, int bank_first, int bank_last, const int (&bank0_regs)[2])
{
    if (bank == 0) {
        for (int base : bank0_regs)
            if (reg >= base && reg < base + kChannels)
                return reg - base;
        return -1;
    }
    const int c = (bank - bank_first) / kChannelBankStride;
    if (bank < bank_first || c >= kChannels || bank - c * kChannelBankStride > bank_last)
        return -1;
    return c;
}

// What a window-less output channel is parked with (its background shown, nothing read): the
// active width, the background enable and colour, and its store's memory width.
constexpr uint8_t kOchActHwFirst = 0x42, kOchActHwLast = 0x43;
bool parked_reg(int bank, int reg, int k)
{
    return bank == kOchBankFirst + kChannelBankStride * k &&
           ((reg >= kOchActHwFirst && reg <= kOchActHwLast) || (reg >= kBackgroundFirst && reg <= kBackgroundLast));
}
// The output side of frame store k (bank 0x16 + 0x10 k): the five output field addresses and
// the memory width (the line step of the reads).
constexpr uint8_t kOchStoreBank = 0x16, kOchFieldsFirst = 0x08, kOchFieldsLast = 0x1B, kOchStoreMwi = 0x30;
int store_och(int bank, int reg)
{
    if (bank < kOchStoreBank || (bank - kOchStoreBank) % kChannelBankStride != 0)
        return -1;
    const int k = (bank - kOchStoreBank) / kChannelBankStride;
    return k < kChannels && ((reg >= kOchFieldsFirst && reg <= kOchFieldsLast) || reg == kOchStoreMwi) ? k : -1;
}

// An output channel that is off in both devices puts nothing on the wall, and an input
// channel no window owns in either feeds none: what their registers kept from an earlier
// layout is not compared (a stale value that survives the channel being taken again is
// compared then). An output channel with no window in either device (on or off: the hold of
// the input channel of its number turns it on) shows its background and reads nothing: only
// what parks it is compared.
bool in_channel_unused_in_both(const Programmed& a, const Programmed& b, int bank, int reg)
{
    auto windowless = [&](int k) { return !((a.ochs_windowed | b.ochs_windowed) & (1u << k)); };
    const int s = store_och(bank, reg);
    if (s >= 0)
        return windowless(s) && reg != kOchStoreMwi;
    const int k = channel_of(bank, reg, kOchBankFirst, kOchBankLast, {kOchEnableReg, kOchControlReg});
    if (k >= 0 && !(bank == 0 && reg == kOchEnableReg + k))
        return (!och_on(a.scaler, k) && !och_on(b.scaler, k)) || (windowless(k) && !parked_reg(bank, reg, k));
    const int c = channel_of(bank, reg, kIchBankFirst, kIchBankLast, {kIchSelectReg, kIchControlReg});
    return c >= 0 && !((a.ichs_owned | b.ichs_owned) & (1u << c));
}

// Sync polarity of input port p (bank 0x06): one byte per HDMI port from 0x38, two per
// V-by-One port from 0x3C. Taken from the receiver when a window takes the port.
constexpr uint8_t kSyncPolBank = 0x06, kSyncPolHdmi = 0x38, kSyncPolVbo = 0x3C;
// The set-up of V-by-One receiver q (port 4 + q), from its record (lanes, clock) when a window
// takes the port: bank 0 lane set-up (two bytes from 0x1E + 2q) and lane select (0x39 + q),
// bank 2 the receiver's block 0x40 + 0x1C q .. 0x4F + 0x1C q.
constexpr uint8_t kVboSetupReg = 0x1E, kVboSelectReg = 0x39, kVboRxBank = 0x02, kVboRxFirst = 0x40, kVboRxLast = 0x4F,
                  kVboRxStride = 0x1C;
int port_of_reg(int bank, int reg)
{
    if (bank == kSyncPolBank) {
        if (reg >= kSyncPolHdmi && reg < kSyncPolHdmi + 4)
            return reg - kSyncPolHdmi;
        if (reg >= kSyncPolVbo && reg < kSyncPolVbo + 4)
            return 4 + (reg - kSyncPolVbo) / 2;
    }
    for (int q = 0; q < 2; ++q) {
        if (bank == 0 && (reg == kVboSetupReg + 2 * q || reg == kVboSetupReg + 2 * q + 1 || reg == kVboSelectReg + q))
            return 4 + q;
        if (bank == kVboRxBank && reg >= kVboRxFirst + kVboRxStride * q && reg <= kVboRxLast + kVboRxStride * q)
            return 4 + q;
    }
    return -1;
}

// The sync polarity and the V-by-One receiver set-up of a port that no window shows in either
// device are what the receiver reported when a window last took it: set again when one takes it.
bool port_unshown_in_both(const Programmed& a, const Programmed& b, int bank, int reg)
{
    const int p = port_of_reg(bank, reg);
    return p >= 0 && !((a.ports_shown | b.ports_shown) & (1u << p));
}

bool excluded(int bank, int reg)
{
    if (reg == 0)
        return true;   // every bank's register 0 selects the bank
    for (const Exclusion& e : kExcluded) {
        const bool bank_matches = e.per_channel ? bank >= e.bank && (bank - e.bank) % kChannelBankStride == 0 : bank == e.bank;
        if (bank_matches && reg >= e.reg_first && reg <= e.reg_last)
            return true;
    }
    return false;
}

// What is compared: everything but the exclusions, or only what a test pattern owns.
enum class Compare { All, PatternOwned };

// Differences, as readable lines (at most `max`).
std::vector<std::string> differences(const Programmed& got, const Programmed& fresh, Compare what = Compare::All,
                                     size_t max = 12)
{
    std::vector<std::string> d;
    char line[160];
    for (int bank = 0; bank < 256; ++bank)
        for (int reg = 1; reg < 128; ++reg) {
            const size_t i = size_t(bank * 128 + reg);
            if (excluded(bank, reg) || got.scaler[i] == fresh.scaler[i] || in_channel_unused_in_both(got, fresh, bank, reg) ||
                port_unshown_in_both(got, fresh, bank, reg) || (what == Compare::PatternOwned && !pattern_owned(bank, reg, got.ochs_relaid | fresh.ochs_relaid)))
                continue;
            if (d.size() < max) {
                std::snprintf(line, sizeof line, "scaler bank 0x%02X reg 0x%02X: 0x%02X, fresh start 0x%02X", bank, reg,
                              got.scaler[i], fresh.scaler[i]);
                d.emplace_back(line);
            } else {
                d.emplace_back("...");
                return d;
            }
        }
    for (uint32_t a = 0; a < fpga::kPageSize && what == Compare::All; ++a) {
        if ((a >= kPageStateFirst && a <= kPageStateLast) || got.page[a] == fresh.page[a])
            continue;
        if (d.size() >= max) {
            d.emplace_back("...");
            return d;
        }
        std::snprintf(line, sizeof line, "FPGA output page byte %u: 0x%02X, fresh start 0x%02X", a, got.page[a],
                      fresh.page[a]);
        d.emplace_back(line);
    }
    for (int c = 0; c < kChannels && what == Compare::All; ++c) {
        if (got.hshrink[c] == fresh.hshrink[c] || !((got.ichs_owned | fresh.ichs_owned) & (1u << c)))
            continue;
        if (d.size() >= max) {
            d.emplace_back("...");
            return d;
        }
        std::snprintf(line, sizeof line, "horizontal shrink set of input channel %d: %u, fresh start %u", c,
                      got.hshrink[c], fresh.hshrink[c]);
        d.emplace_back(line);
    }
    return d;
}

class HistoryIndependence : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        root_ = new testutil::TempDir("k57-history");
        std::filesystem::create_directories(root_->path() + "/sim");
        testutil::write_factory_para_file(root_->path());
        board_ = sim::SimBoard::install_for_test(root_->path()).release();   // kept installed
        platform::set_clock(&clock_);
    }

    void TearDown() override { stop_device(); }

    // The parameter file every sequence starts from: the factory image, crop rows 0 and 1 in
    // use, the windows inside the smallest LED while windows that do not fit are left out, and
    // on HDMI sources while sources taken by two input channels are left out.
    void write_start_file()
    {
        uint8_t image[RAM_IMAGE_SIZE] = {};
        std::memcpy(image + RAM_VOLATILE_END, ConfigEngine::default_para_ramlist + PARA_FILE_IMAGE_OFFSET,
                    RAM_PERSIST_LEN);
        for (int r = 0; r < 2; ++r) {
            ram_wr16(image, ram_crop_addr(r, CROP_KEY), uint16_t(CROP_KEY_USED | (r << 8) | (r + 1)));
            ram_wr16(image, ram_crop_addr(r, CROP_X), uint16_t(100 * r));
            ram_wr16(image, ram_crop_addr(r, CROP_Y), uint16_t(60 * r));
            ram_wr16(image, ram_crop_addr(r, CROP_WIDTH), 960);
            ram_wr16(image, ram_crop_addr(r, CROP_HEIGHT), 540);
        }
        if (!kWindowsThatDoNotFit)
            for (int w = 0; w < kWindowsUsed; ++w) {
                ram_wr16(image, ram_window_addr(w, WIN_WIDTH), 960);
                ram_wr16(image, ram_window_addr(w, WIN_HEIGHT), 540);
            }
        if (!kDualChannelSources) {
            for (int w = 0; w < kWindowsUsed; ++w)
                ram_wr16(image, ram_window_addr(w, WIN_SOURCE), uint16_t(w));
            for (int r = 0; r < RAM_CROP_ROWS; ++r)
                if ((ram_rd16(image, ram_crop_addr(r, CROP_KEY)) & CROP_KEY_SOURCE) >= 4)
                    ram_wr16(image, ram_crop_addr(r, CROP_KEY), 0);
        }
        store_files::write_param_file(image + RAM_VOLATILE_END);
    }

    // ---- the device ----------------------------------------------------------------------------
    // Starts the scaler and FPGA managers on powered-up chips, from the parameter file and the
    // board's inputs as they are.
    void start_device()
    {
        stop_device();
        board_->spi_model(sim::C331Model::kPath)->reset();
        board_->spi_model(sim::Fpga0Model::kPath)->reset();
        TlxRamPara::set_screen_rule(panel::shows);   // as the device installs it before its load
        store_ = TlxRamPara::pInstance();   // the start's load of the parameter file
        std::memset(store_->reg_file, 0, sizeof store_->reg_file);
        c331_shared::param_changed = 0;
        g_force_bkcolor = 1;   // the start colour until the FPGA has started the LED output
        g_fpga_c331_start = 0;
        g_set_led_para = 0;
        g_set_led_setup = 0;
        g_freeze_out = 0;
        G_timeTicks = 1000;
        scaler_req::net_para_dirty = 0;
        scaler_req::output_status_dirty = 0;
        scaler_req::applied_black_screen = 0;
        scaler_req::applied_och_offsets = 0;
        scaler_req::audio_select_request = 0;
        for (int p = 0; p < 6; ++p)
            scaler_req::edid_request[p] = 0, scaler_req::edid_done[p] = 1;
        publish_inputs();
        signals_ = 0;
        signal_ = QObject::connect(store_, &TlxRamPara::sig_update_para, [this](int) { ++signals_; });

        mgr_ = new c331_manage();
        mgr_->fill_mwin_preset();
        mgr_->open_transport();
        c331_manage::p_c331_manage = mgr_;
        for (int i = 0; i < 100 && mgr_->thread_state != c331_manage::kStateRunning; ++i)
            mgr_->thread_pass();
        ASSERT_EQ(mgr_->thread_state, c331_manage::kStateRunning);

        zeltasource::pInstance()->clock_setup_state[0] = 2;
        board_->soc().write16(pads::PAD_FPGA0_CFG, pads::kLow);
        board_->soc().write16(pads::PAD_FPGA0_CFG, pads::kHigh);
        for (auto& b : fpga_manage::MCU_RAM_CMD)
            b = 0;
        fpga_ = new fpga_manage();
        fpga_manage::p_fpga_manage = fpga_;
        ASSERT_EQ(fpga_->open_devices(), 0);
        // Up to the LED output started (which ends the start colour at the next apply pass).
        for (int i = 0; i < kStartTicks && fpga_->output_start_state[0] != kOutputStarted; i += kStartTicksPerPass) {
            G_timeTicks += kStartTicksPerPass;
            fpga_->fpga_pass();
        }
        ASSERT_EQ(fpga_->output_start_state[0], kOutputStarted);
    }
    void stop_device()
    {
        QObject::disconnect(signal_);
        if (fpga_) {
            fpga_manage::p_fpga_manage = nullptr;
            delete fpga_;
            fpga_ = nullptr;
        }
        if (mgr_) {
            c331_manage::p_c331_manage = nullptr;
            delete mgr_;
            mgr_ = nullptr;
        }
    }

    // The scripted inputs: board.json for the chip's measurement (timing_), the receivers'
    // records for the scaler (what the source supervision publishes: record_, -1 withdrawn).
    void publish_inputs()
    {
        QJsonArray inputs;
        for (int s = 0; s < kSourceCount; ++s) {
            const Timing& t = kTimings[timing_[s]];
            QJsonObject in{{"hactive", t.hact},   {"htotal", t.htotal}, {"hfront", t.hfront},
                           {"hsync", t.hsync},    {"vactive", t.vact},  {"vtotal", t.vtotal},
                           {"vfront", t.vfront},  {"vsync", t.vsync},   {"pclk_khz", t.pclk_khz},
                           {"interlaced", t.interlaced}};
            if (s >= 4)
                in.insert("lanes", vbo_lanes(t));
            inputs.append(in);
        }
        std::ofstream(root_->path() + "/sim/board.json")
            << QJsonDocument(QJsonObject{{"inputs", inputs}, {"cards", kNoCards}}).toJson().toStdString();
        board_->poll();
        QMutexLocker lk(&Utils::_source_hdminfo_mutex);
        for (int s = 0; s < kSourceCount; ++s)
            zeltasource::pInstance()->hdminfo[s] = record_[s] < 0 ? HDMI_INFO{} : hdmi_row(s, kTimings[record_[s]]);
    }

    // ---- what a tool, the panel thread and the device's threads do -----------------------------
    void remote(uint8_t cmd, const testutil::Bytes& data)
    {
        const testutil::Bytes req = testutil::make_frame(testutil::kProcessor, testutil::kTool, cmd, data);
        std::vector<uint8_t> reply(message_deal::kReplyCapacity);
        deal_.message_group_deal(req.data(), uint32_t(req.size()), reply.data(), 7);
    }
    void remote_write(uint32_t addr, uint16_t value, uint8_t bytes)
    {
        testutil::Bytes v{uint8_t(value)};
        if (bytes == 2)
            v.push_back(uint8_t(value >> 8));
        remote(remote::CMD_RAM_WRITE, testutil::le32(addr) + testutil::le16(bytes) + testutil::le16(0) + v);
    }
    void remote_apply() { remote(remote::CMD_REG_WRITE, {11, 0x02, 0x02}); }
    // One pass of the scaler thread; the FPGA thread meanwhile runs the hand-over it waits for.
    void scaler_pass()
    {
        for (int i = 0; i < 500 && g_set_led_para == 1; i += kTicksPerPass)
            fpga_ticks(kTicksPerPass);
        mgr_->c331managerdeal(mgr_);
        if (!kApplyBeforeFileWrite)
            file_write();
    }
    // The panel thread's answer to the change signal: the parameter file written.
    void file_write()
    {
        if (signals_ == 0)
            return;
        signals_ = 0;
        SyncUpdate::pInstance()->para_sync(1);
    }
    // n ticks of 10 ms; the FPGA thread passes once every kTicksPerPass of them (its steps
    // wait 5 ticks or more, so none is skipped).
    void fpga_ticks(int n)
    {
        for (int i = 0; i < n; i += kTicksPerPass) {
            G_timeTicks += kTicksPerPass;
            fpga_->fpga_pass();
        }
    }
    // The FPGA thread until it has nothing left to do for the scaler: the LED-size hand-over
    // and the page and output requests (bounded by kSettleTicks).
    void fpga_until_idle()
    {
        fpga_ticks(kTicksPerPass);
        for (int i = 0; i < kSettleTicks && (g_set_led_para != 0 || g_freeze_out != 0 ||
                                             scaler_req::net_para_dirty != 0 || scaler_req::output_status_dirty != 0);
             i += kTicksPerPass)
            fpga_ticks(kTicksPerPass);
    }
    void run(const Step& s)
    {
        switch (s.kind) {
        case Kind::Write: {
            QMutexLocker lk(&c331_shared::c331_lock);
            const uint8_t* img = store_->ram_image;
            undo_ = Step{Kind::Write, s.addr, uint16_t(s.bytes == 1 ? img[s.addr] : ram_rd16(img, s.addr)), s.bytes};
            lk.unlock();
            remote_write(s.addr, s.value, s.bytes);
            break;
        }
        case Kind::Undo:
            remote_apply();
            scaler_pass();
            if (undo_.kind == Kind::Write) {
                remote_write(undo_.addr, undo_.value, undo_.bytes);
                undo_ = Step{Kind::Undo};
            }
            break;
        case Kind::Apply: remote_apply(); break;
        case Kind::Pass: scaler_pass(); break;
        case Kind::FileWrite: file_write(); break;
        case Kind::FpgaTicks: fpga_ticks(50); break;
        case Kind::InputTiming:
            timing_[s.addr] = record_[s.addr] = published_[s.addr] = s.value;
            publish_inputs();
            break;
        case Kind::BoardInput:
            timing_[s.addr] = s.value == kBackToRecord ? published_[s.addr] : s.value;
            publish_inputs();
            break;
        case Kind::Record:
            record_[s.addr] = published_[s.addr] = timing_[s.addr];
            publish_inputs();
            break;
        case Kind::Withdraw:
            record_[s.addr] = -1;
            publish_inputs();
            break;
        case Kind::Glitch:
            timing_[s.addr] = s.value;
            publish_inputs();
            scaler_pass();
            record_[s.addr] = -1;
            publish_inputs();
            scaler_pass();
            timing_[s.addr] = published_[s.addr];
            publish_inputs();
            scaler_pass();
            break;
        }
    }
    // The device left alone after the last step: what was written is applied, the file
    // written, the hand-over done and the inputs followed.
    void settle()
    {
        remote_apply();
        for (int round = 0; round < 3; ++round) {
            scaler_pass();
            file_write();
            fpga_until_idle();
        }
    }
    Programmed programmed() const
    {
        Programmed p;
        auto c331 = std::dynamic_pointer_cast<sim::C331Model>(board_->spi_model(sim::C331Model::kPath));
        auto fpga0 = std::dynamic_pointer_cast<sim::Fpga0Model>(board_->spi_model(sim::Fpga0Model::kPath));
        p.scaler.resize(256 * 128);
        for (int bank = 0; bank < 256; ++bank)
            for (int reg = 0; reg < 128; ++reg)
                p.scaler[size_t(bank * 128 + reg)] = c331->reg(uint8_t(bank), uint8_t(reg));
        p.page = fpga0->ram(fpga::BLOCK_PARA, 0, fpga::kPageSize);
        for (int port = 0; port < c331_manage::kPorts; ++port)
            p.ports_shown |= mgr_->port_used(port) ? 1u << port : 0;
        for (int c = 0; c < kChannels; ++c) {
            p.ichs_owned |= mgr_->ich_owner[c] >= 0 ? 1u << c : 0;
            p.hshrink[c] = c331->hshrink_set(c);
            p.ochs_relaid |= mgr_->PM_WIN_NUM[c] != mgr_->och_win_prev[c] ? 1u << c : 0;
            p.ochs_windowed |= mgr_->PM_WIN_NUM[c] < uint32_t(c331_manage::kWindows) ? 1u << c : 0;
        }
        return p;
    }

    // ---- one sequence --------------------------------------------------------------------------
    // The differences between the device after the steps and a fresh start on where they end.
    std::vector<std::string> check(const std::vector<Step>& steps)
    {
        for (int s = 0; s < kSourceCount; ++s)
            timing_[s] = record_[s] = published_[s] = 0;
        undo_ = Step{Kind::Undo};
        write_start_file();
        start_device();
        if (HasFatalFailure())
            return {"device did not start"};
        for (const Step& s : steps)
            run(s);
        // The receivers publish what their inputs send in the end.
        for (int s = 0; s < kSourceCount; ++s)
            record_[s] = timing_[s];
        publish_inputs();
        end_on_showable_panel();
        settle();
        const Programmed after = programmed();
        uint8_t final_image[RAM_IMAGE_SIZE];
        {
            QMutexLocker lk(&c331_shared::c331_lock);
            std::memcpy(final_image, store_->ram_image, RAM_IMAGE_SIZE);
        }
        const bool pattern = final_image[ram_test_pattern] != 0;
        const Programmed after_pattern_off = pattern ? pattern_off() : after;

        // A fresh start: the final image as the parameter file, the same inputs.
        store_files::write_param_file(final_image + RAM_VOLATILE_END);
        start_device();
        if (HasFatalFailure())
            return {"fresh device did not start"};
        // Each group written as a tool would, then applied.
        auto write_back = [&](const BootWord* first, const BootWord* last) {
            for (const BootWord* w = first; w != last; ++w) {
                const uint16_t v = w->bytes == 1 ? final_image[w->addr] : ram_rd16(final_image, w->addr);
                const uint16_t now = w->bytes == 1 ? store_->ram_image[w->addr] : ram_rd16(store_->ram_image, w->addr);
                if (v != now)
                    remote_write(w->addr, v, w->bytes);
            }
            settle();
        };
        write_back(std::begin(kClearedAtStart), std::end(kClearedAtStart));
        write_back(std::begin(kPanelComputed), std::end(kPanelComputed));
        if (!pattern)
            return differences(after, programmed());
        std::vector<std::string> d = differences(after, programmed(), Compare::PatternOwned);
        if (!d.empty()) {
            d.insert(d.begin(), "with the test pattern on (its generators and the backgrounds):");
            return d;
        }
        d = differences(after_pattern_off, pattern_off());
        if (!d.empty())
            d.insert(d.begin(), "once the test pattern is turned off in both:");
        return d;
    }

    // A panel the output channels cannot show (a splice mode for other sizes) keeps the one
    // shown before, on purpose: the last valid layout stays on the wall, so where that image
    // ends a sequence, what is shown depends on the path. Such a sequence ends with a splice
    // mode that can be shown, written as a tool would; unshowable panels on the way stay, as
    // a later valid one must be shown as from a start.
    void end_on_showable_panel()
    {
        auto planned = [this] {
            QMutexLocker lk(&c331_shared::c331_lock);
            const uint8_t* img = store_->ram_image;
            return panel::plan(ram_rd16(img, ram_led_width), ram_rd16(img, ram_led_height),
                               ram_rd16(img, ram_output_rect + 4), ram_rd16(img, ram_output_rect + 6),
                               ram_rd16(img, ram_splice_mode));
        };
        if (panel::showable(planned()))
            return;
        remote_write(ram_splice_mode, SPLICE_NONE, 2);
        EXPECT_TRUE(panel::showable(planned())) << "the generator's LED sizes must be showable without splicing";
    }

    // The test pattern turned off as a tool does, and the device left to settle.
    Programmed pattern_off()
    {
        remote_write(ram_test_pattern, 0, 1);
        settle();
        return programmed();
    }

    // Drops steps while the sequence still fails: first halves, then single steps.
    std::vector<Step> shrink(std::vector<Step> steps)
    {
        for (size_t chunk = steps.size() / 2; chunk >= 1; chunk /= 2) {
            for (size_t i = 0; i + chunk <= steps.size();) {
                std::vector<Step> shorter(steps);
                shorter.erase(shorter.begin() + long(i), shorter.begin() + long(i + chunk));
                if (!check(shorter).empty())
                    steps = std::move(shorter);
                else
                    i += chunk;
            }
        }
        return steps;
    }

    static testutil::TempDir* root_;
    static sim::SimBoard* board_;
    static InstantClock clock_;
    TlxRamPara* store_ = nullptr;
    c331_manage* mgr_ = nullptr;
    fpga_manage* fpga_ = nullptr;
    message_deal deal_{remote::TR_TCP};
    int timing_[kSourceCount] = {};   // board input by source: index in kTimings
    int record_[kSourceCount] = {};   // the receiver's record by source: index in kTimings, -1 withdrawn
    int published_[kSourceCount] = {};   // the last record published by source (kept while withdrawn)
    Step undo_{Kind::Undo};           // the write that undoes the last remote write
    int signals_ = 0;
    QMetaObject::Connection signal_;
};

testutil::TempDir* HistoryIndependence::root_ = nullptr;
sim::SimBoard* HistoryIndependence::board_ = nullptr;
InstantClock HistoryIndependence::clock_;

int env_int(const char* name, int fallback)
{
    const char* v = std::getenv(name);
    return v && *v ? std::atoi(v) : fallback;
}

// A start and nothing else programs what a second start does: the comparison itself holds.
TEST_F(HistoryIndependence, StartIsRepeatable)
{
    const std::vector<std::string> d = check({});
    EXPECT_TRUE(d.empty()) << d.front();
}

TEST_F(HistoryIndependence, AnyPathProgramsWhatAFreshStartDoes)
{
    const int runs = env_int("K57_HISTORY_RUNS", kDefaultRuns);
    const uint32_t first = uint32_t(env_int("K57_HISTORY_SEED", 1));
    for (uint32_t seed = first; seed < first + uint32_t(runs); ++seed) {
        const std::vector<Step> steps = generate(seed);
        if (check(steps).empty())
            continue;
        const std::vector<Step> shortest = shrink(steps);
        std::ostringstream o;
        o << "seed " << seed << " (K57_HISTORY_SEED=" << seed << " K57_HISTORY_RUNS=1): " << steps.size()
          << " steps, shrunk to " << shortest.size() << ":\n";
        for (const Step& s : shortest)
            o << "  " << describe(s) << "\n";
        o << "then the device settles (apply, passes, file write); differences from a fresh start:\n";
        for (const std::string& line : check(shortest))
            o << "  " << line << "\n";
        ADD_FAILURE() << o.str();
        return;
    }
}

}  // namespace
