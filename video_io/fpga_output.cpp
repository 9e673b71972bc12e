// The LED output: the output ports' rectangles in the parameter page and their copy without
// the applied offsets, the output on/off state, the link state for the pages, and the FPGA
// side of the LED-size hand-over with the scaler.
#include <QMutexLocker>
#include <array>
#include <cstring>

#include "core/TlxRamPara.h"
#include "core/fpga_wake.h"
#include "core/log.h"
#include "core/ram_map.h"
#include "core/requests.h"
#include "core/utils.h"
#include "video_io/fpga_drv.h"
#include "video_io/fpga_manage.h"
#include "video_io/fpga_page_record.h"

using namespace fpga;

namespace {

// Page address of each output port's rectangle {x, y, width, height}.
constexpr uint16_t kPortRect[kPorts] = {8, 19, 32, 43, 520, 528, 536, 544, 576, 584, 592, 600, 608, 616, 624, 632};
// The same rectangle in the network page copy, and the whole output's start.
constexpr uint32_t copy_rect(int port) { return 4 + 8u * uint32_t(port); }
constexpr uint32_t COPY_START_X = 0, COPY_START_Y = 2;
constexpr int kAxisX = 0, kAxisY = 1;

// Every position field of the page (the whole output's start and each port's corner): where
// the copy keeps it and which of the applied offsets it takes.
struct PositionField {
    uint32_t page, copy;
    int axis;
};
constexpr std::array<PositionField, 2 + 2 * kPorts> position_fields()
{
    std::array<PositionField, 2 + 2 * kPorts> f{};
    f[0] = {PARA_START_X, COPY_START_X, kAxisX};
    f[1] = {PARA_START_Y, COPY_START_Y, kAxisY};
    for (int p = 0; p < kPorts; ++p) {
        f[size_t(2 + 2 * p)] = {kPortRect[p], copy_rect(p), kAxisX};
        f[size_t(3 + 2 * p)] = {kPortRect[p] + 2u, copy_rect(p) + 2, kAxisY};
    }
    return f;
}
constexpr auto kPositions = position_fields();

constexpr u16 kDefaultWidth = 1280, kDefaultHeight = 512;
constexpr u32 kRegPolls = 500;

u32 now() { return G_timeTicks.load(); }

// Clears a page's link and search state: bytes 96 to 127 (ports 1 to 4 and the FPGA's
// measured input), and the link bits and search results of ports 5 to 16. A stored page holds
// none of it, so a card plugged in or a link that comes and goes on any port changes nothing
// stored, and a loaded page shows no card the search has not found since.
void clear_link_state(u8* page)
{
    std::memset(page + PARA_STATE_FIRST, 0, PARA_STATE_LAST - PARA_STATE_FIRST + 1);
    page[PARA_LINK4] &= u8(~PARA_LINK4_PORTS);
    page[PARA_LINK8] = 0;
    for (int p = 0; p < kPorts; ++p) {
        ram_wr16(page, PARA_RESULT_WORD[p], 0);
        page[PARA_RESULT_BYTE[p]] = 0;
    }
}

// The LED output is to be shown: the applied black-screen word is 0 and no hand-over blanks
// or restarts the output (a black-off meanwhile waits for the restart's last step, and a
// chip brought up meanwhile stays blanked).
bool output_shown_wanted()
{
    const bool handover = g_set_led_para.load() != 0 || g_freeze_out.load() != 0 || g_led_handback_owed.load();
    return scaler_req::applied_black_screen.load() == 0 && !handover;
}

// Moves the hand-over on from phase `from` (the g_set_led_para it was read with) to `para` at
// step `setup`, unless another thread changed the phase meanwhile: a request that came in
// while a step of the restart was being carried out starts its blank at the first step, and
// is not overwritten with the restart's next step (which the blank phase has no step for).
// `owed`: the output is left blanked for the scaler's hand-back (set with the phase, so a pass
// that sees the blank ended sees it owed).
bool move_handover(u8 from, u8 para, u8 setup, bool owed = false)
{
    QMutexLocker lk(&Utils::_led_para_init_mutex);
    if (g_set_led_para != from)
        return false;
    g_set_led_para = para;
    g_set_led_setup = setup;
    g_led_handback_owed = owed;
    return true;
}

}  // namespace

// ---- network pages ---------------------------------------------------------------------------------

int fpga_manage::get_eth_param_addr(unsigned char port, unsigned short* x, unsigned short* y, unsigned short* width,
                                    unsigned short* height)
{
    const uint16_t a = kPortRect[port < kPorts ? port : 0];
    if (x) *x = a;
    if (y) *y = u16(a + 2);
    if (width) *width = u16(a + 4);
    if (height) *height = u16(a + 6);
    return 0;
}

void fpga_manage::eth_param_init(unsigned char defaults, unsigned char chip)
{
    if (defaults != 1 || chip >= kChips)
        return;
    abyte* page = MCU_RAM_PARA_func[chip];
    for (uint16_t a : kPortRect) {
        page_wr16(page, a, 0);
        page_wr16(page, a + 2, 0);
        page_wr16(page, a + 4, kDefaultWidth);
        page_wr16(page, a + 6, kDefaultHeight);
    }
}

// The copy keeps the positions without the offsets the page was last built with, so the
// next build adds the applied offsets once.
void fpga_manage::back_copy_locked(u8 chip)
{
    const abyte* page = MCU_RAM_PARA_func[chip];
    abyte* copy = MCU_RAM_ETH_BACK_PARA_func[chip];
    for (uint32_t i = 0; i < 4; ++i)
        copy[COPY_START_X + i] = page[PARA_START_X + i].load();
    for (int p = 0; p < kPorts; ++p)
        for (uint32_t i = 0; i < 8; ++i)
            copy[copy_rect(p) + i] = page[kPortRect[p] + i].load();
    for (const PositionField& f : kPositions)
        page_wr16(copy, f.copy, u16(page_rd16(copy, f.copy) - page_offset[chip][f.axis]));
}

void fpga_manage::K57_mcu_set_net_para(unsigned char chip)
{
    if (chip >= kChips)
        return;
    std::lock_guard<std::mutex> lk(net_para_mutex);
    build_page_locked(chip);
}

void fpga_manage::build_page_locked(u8 chip)
{
    const uint32_t applied = scaler_req::applied_och_offsets.load();
    const u16 offset[2] = {u16(applied), u16(applied >> 16)};
    abyte* page = MCU_RAM_PARA_func[chip];
    const abyte* copy = MCU_RAM_ETH_BACK_PARA_func[chip];
    for (const PositionField& f : kPositions)
        page_wr16(page, f.page, u16(page_rd16(copy, f.copy) + offset[f.axis]));
    page_offset[chip][kAxisX] = offset[kAxisX];
    page_offset[chip][kAxisY] = offset[kAxisY];
}

void fpga_manage::load_para_page(u8 chip, u8* saved)
{
    abyte* page = MCU_RAM_PARA_func[chip];
    std::lock_guard<std::mutex> lk(net_para_mutex);
    page_offset[chip][kAxisX] = page_offset[chip][kAxisY] = 0;  // a loaded page holds no offsets
    if (saved) {
        clear_link_state(saved);
        page_copy_in(page, 0, saved, kPageSize);
        eth_param_init(0, chip);
        back_copy_locked(chip);
        build_page_locked(chip);
        return;
    }
    page_copy_in(page, 0, RAM1, sizeof RAM1);
    static constexpr u8 kRecord[4] = {0x76, 0x05, 0xD2, 0x01};
    for (uint32_t a = 296; a < 360; a += 4)
        page_copy_in(page, a, kRecord, 4);
    page[496] = 0;
    page[498] = 0;
    eth_param_init(1, chip);
    back_copy_locked(chip);
    build_page_locked(chip);   // the defaults take the applied offsets as a saved page does
}

bool fpga_manage::save_led_page()
{
    // Before bring-up the page is not loaded yet: saving it would store an empty page that
    // every later bring-up loads.
    if (!page_ready()) {
        writeLogMsg(LOG_WARNING, "fpga: LED output page not saved, the FPGA is not running or its saved page not loaded yet");
        return false;
    }
    u8 page[kPageSize];
    {
        std::lock_guard<std::mutex> lk(net_para_mutex);
        back_copy_locked(0);
        page_copy_out(MCU_RAM_PARA_func[0], 0, page, kPageSize);
        // Stored without the offsets: the bring-up that loads it adds the applied ones.
        for (const PositionField& f : kPositions)
            ram_wr16(page, f.page, page_rd16(MCU_RAM_ETH_BACK_PARA_func[0], f.copy));
    }
    // Nor with any port's link and search state, which the bring-up clears as it loads the
    // page: a card plugged in or a link that comes and goes alone changes nothing stored, and
    // the flash is not written again for it.
    clear_link_state(page);
    if (save_page_record(*drv, page) == PageSave::Failed) {
        writeLogMsg(LOG_ERROR, "fpga: LED output page not saved, flash write failed");
        return false;
    }
    return true;
}

int fpga_manage::set_fpga_lcd()
{
    if (!running_state(0))
        return 0;
    K57_mcu_set_net_para(0);
    push_para(0, kPageSize, 0);
    set_bits(REG_COMMAND, BIT(0));
    return 1;
}

int fpga_manage::set_output_status()
{
    if (!running_state(0))
        return 0;
    if (output_shown_wanted())
        clear_bits(REG_OUTPUT_CTRL, BIT(2));
    else
        set_bits(REG_OUTPUT_CTRL, BIT(2));
    return 1;
}

unsigned int fpga_manage::get_wlan_state()
{
    if (!running_state(0))
        return 0;
    const u8 a = read_reg(REG_LINK_A), b = read_reg(REG_LINK_B);
    return unsigned(b) << 8 | a;
}

// ---- LED-size hand-over -------------------------------------------------------------------------------

// A request while a blank is under way joins it: the scaler applies the newest size once the
// blank is done, so requests that follow each other do not start the blank again and again.
void fpga_manage::request_led_size_handover()
{
    fpga_manage* f = p_fpga_manage;
    if (!f || !f->running_state(0))
        return;
    {
        QMutexLocker lk(&Utils::_led_para_init_mutex);
        if (g_set_led_para != 1) {
            g_set_led_para = 1;
            g_set_led_setup = 0;
        }
    }
    fpga_wake();
}

void request_handover_on_new_size_locked(const TlxRamPara* s)
{
    for (u32 a : {ram_led_width, ram_led_height})
        if (ram_rd16(s->ram_image, a) != ram_rd16(s->ram_applied, a)) {
            fpga_manage::request_led_size_handover();
            return;
        }
}

void fpga_manage::led_handover_step()
{
    const u8 para = g_set_led_para;
    if (!running_state(0)) {
        // The scaler waits for this flag: release it at once when the FPGA cannot take part.
        // A chip brought up anew shows its output unblanked: no hand-back is owed for it.
        if (para == 1)
            move_handover(1, 0, 0);
        else if (g_led_handback_owed)
            move_handover(0, 0, 0);
        return;
    }
    if (para == 1)
        blank_step();
    else if (para == 2)
        take_handback();
    else if (g_freeze_out == 1)
        restart_step();
}

// Blank phase: blank the output, stop the output path, then let the scaler re-initialise.
// A restart still under way is abandoned: the scaler's hand-back starts it again.
void fpga_manage::blank_step()
{
    const u32 since = Utils::getTimeSpace(handover_time);
    const u8 step = g_set_led_setup;
    if (step == 0) {
        g_freeze_out = 0;
        set_bits(REG_OUTPUT_CTRL, BIT(2));
        handover_time = now();
        move_handover(1, 1, 1);
    } else if (step == 1 && since >= 11) {
        clear_bits(REG_CONTROL3, BIT(5));
        handover_time = now();
        move_handover(1, 1, 2);
    } else if (step == 2 && since >= 31) {
        handover_time = now();
        move_handover(1, 0, 0, true);
    }
}

void fpga_manage::take_handback()
{
    if (!move_handover(2, 0, 0))
        return;
    g_freeze_out = 1;
    set_bits(REG_OUTPUT_CTRL, BIT(2));   // a chip brought up during the blank showed its output
    read_from_register(REG_STATUS, 0);
    handover_poll_count = 0;
    handover_time = now();
}

// Restart phase, after the scaler's hand-back. Each step moves on only while no new request
// came in (g_set_led_para still 0).
void fpga_manage::restart_step()
{
    const u32 since = Utils::getTimeSpace(handover_time);
    auto next = [&](u8 s) {
        handover_time = now();
        move_handover(0, 0, s);
    };
    switch (g_set_led_setup.load()) {
    case 0:
        if (since < 21) break;
        while ((reg(REG_STATUS) & BIT(2)) && handover_poll_count < kRegPolls) {
            ++handover_poll_count;
            read_from_register(REG_STATUS, 0);
        }
        next(1);
        break;
    case 1:
        if (since < 21) break;
        clear_bits(REG_CONTROL23, BIT(0));
        next(2);
        break;
    case 2:
        if (since < 21) break;
        set_bits(REG_CONTROL23, BIT(0));
        next(100);
        break;
    case 100:
        if (since < 21) break;
        set_bits(REG_CONTROL23, BIT(5));
        next(99);
        break;
    case 99:
        if (since < 21) break;
        clear_bits(REG_CONTROL23, BIT(5));
        next(3);
        break;
    case 3:
        if (since < 21) break;
        set_bits(REG_CONTROL3, BIT(5));
        handover_poll_count = 0;
        move_handover(0, 0, 4);  // no stamp: step 4 may act on the next pass
        break;
    case 4:
        if (since < 11) break;
        while (!(reg(REG_STATUS) & BIT(7)) && handover_poll_count < kRegPolls) {
            ++handover_poll_count;
            read_from_register(REG_STATUS, 0);
        }
        // Done, unless a request came in meanwhile: its blank phase runs next.
        if (move_handover(0, 0, 0)) {
            g_freeze_out = 0;
            // Shown again only when the user has not blacked the screen meanwhile.
            if (output_shown_wanted())
                clear_bits(REG_OUTPUT_CTRL, BIT(2));
        }
        handover_time = now();
        break;
    default:
        next(0);
        break;
    }
}
