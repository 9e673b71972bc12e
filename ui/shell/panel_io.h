#pragma once
// How keys reach the panel from outside the keypad itself, and how the panel is grabbed.
#include <QImage>
#include <string>

// The widget that has the keys: the innermost modal dialog, else the topmost visible open
// page (one shown without a modal loop), else the home screen when it is shown, else the
// main window.
class QWidget;
QWidget* panel_key_target();
// Delivers one press and release of `qt_key` to panel_key_target(). GUI thread.
void send_panel_key(int qt_key);
// "F4", "F5", "F6", "BACK" -> the key code; 0 for anything else.
int panel_key_from_name(const std::string& name);

// The panel as shown (320 x 240): the main window, the home screen, the open pages, the
// keypad, the tip and the update splash, each where it stands. GUI thread.
QImage grab_panel();
// Writes grab_panel() to `path` (through a temporary file, so a reader never sees half a PNG).
bool save_panel_png(const std::string& path);

// Simulated board only: the named pipe $K57_ROOT/sim/keys (lines "F4", "F5", "F6", "BACK"),
// read by a thread that hands each key to the GUI thread.
void start_key_pipe();
// Hands the keys already written to the pipe to the GUI thread now, from any thread: a dump
// calls it before it asks for the grab, so a key written before the dump request shows in it.
void serve_pending_keys();
// Tests: while held, the pipe's thread leaves what it finds to serve_pending_keys().
void hold_key_pipe_reader(bool hold);
