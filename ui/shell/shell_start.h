#pragma once
// Start-up of the front panel, after the Qt application exists: the keypad and the tip, the
// main window and the home screen on top (g_page_focus 0), the keypad on the right half of
// the screen, and the 10 ms tick g_timer. On the simulated board also the PC keyboard
// mapping, the key pipe and the screen grab of a dump request.
void shell_start_gui();
