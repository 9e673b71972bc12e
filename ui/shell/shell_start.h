#pragma once
// Start-up of the front panel, after the Qt application exists: the keypad and the tip, the
// main window and the home screen on top (g_page_focus 0), the keypad on the right half of
// the screen, and the 10 ms tick g_timer. On the simulated board also the PC keyboard
// mapping, the key pipe, and on a dump request the screen grab and panel.json (the page focus
// and the open pages' class names, outermost first).
void shell_start_gui();
