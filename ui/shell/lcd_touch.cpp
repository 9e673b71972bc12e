#include "ui/shell/lcd_touch.h"

#include <csignal>

#include "core/log.h"
#include "platform/board.h"

lcd_touch* lcd_touch::p_lcd_touch = nullptr;

namespace {
volatile std::sig_atomic_t g_knob_events = 0;
void on_sigio(int) { g_knob_events = g_knob_events + 1; }
}  // namespace

lcd_touch::lcd_touch()
{
    // The handler is in place before notification is armed: SIGIO's default action ends the process.
    struct sigaction sa {};
    sa.sa_handler = on_sigio;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGIO, &sa, nullptr);
    fd_ = platform::board().open_knob();
    if (fd_ < 0)
        writeLogMsg(LOG_INFO, "lcd_touch: no knob device");
}

lcd_touch* lcd_touch::pInstance()
{
    if (!p_lcd_touch)
        p_lcd_touch = new lcd_touch();
    return p_lcd_touch;
}
