#pragma once
// Front-panel page ids (the values of g_page_focus), the page pointers and the shell's globals.
// A page pointer is valid while its page exists and null otherwise; every handler that calls
// through one checks it first.
#include <QString>
#include <atomic>
#include <cstdint>

#include "core/globals.h"

enum PageFocusId : u8 {
    PAGE_LOCKWINDOW = 0,
    PAGE_MAINWINDOW = 1,
    PAGE_MACHINESTATE = 2,
    PAGE_INPUTCHOOSE = 3,
    PAGE_CUSTOMMODE = 4,
    PAGE_OPTION = 5,
    PAGE_OUTPUTSET = 6,
    PAGE_INPUTCUT = 7,
    PAGE_EDIDSET = 8,
    PAGE_IMAGELAYOUT = 9,
    PAGE_LINKOPTION = 10,
    PAGE_IMAGEQUALITY = 11,
    PAGE_ADVANCEDOPTION = 12,
    PAGE_LEDSET = 13,
    PAGE_NETSET = 14,
    PAGE_LCDSHOW = 15,
    PAGE_TESTIMAGE = 16,
    PAGE_OTHERSETUP = 17,
    PAGE_FACTORY = 18,
    PAGE_QUALITY = 19,
    PAGE_TEMPERATURE = 20,
    PAGE_LINKCOM = 21,
    PAGE_LINKWLAN = 22,
    PAGE_FACTORYAGE = 23,
    PAGE_COUNT = 24
};

class MainWindow;
class LockWindow;
class MachineState;
class Option;
class OutputSet;
class LinkOption;
class ImageQuality;
class AdvancedOption;
class NumberKeyboard;
class TIP;
class QLineEdit;
class QTimer;
class InputChoose;
class CustomMode;
class InputCut;
class EDIDset;
class ImageLayout;
class ledset;
class netset;
class lcdshow;
class testimage;
class othersetup;
class factory;
class quality;
class temperature;
class linkcom;
class linkwlan;
class factoryage;

// Shell windows and menus.
extern MainWindow* g_mainwindow;
extern LockWindow* g_lockwindow;
extern MachineState* g_machinestate;
extern Option* g_option;
extern OutputSet* g_outputset;
extern LinkOption* g_linkoption;
extern ImageQuality* g_imagequality;
extern AdvancedOption* g_advancedoption;
// Pages of the source/layout and settings libraries (set by their openers).
extern InputChoose* g_inputchoose;
extern CustomMode* g_custommode;
extern InputCut* g_inputcut;
extern EDIDset* g_edidset;
extern ImageLayout* g_imagelayout;
extern ledset* g_ledset;
extern netset* g_netset;
extern lcdshow* g_lcdshow;
extern testimage* g_testimage;
extern othersetup* g_othersetup;
extern factory* g_factory;
extern quality* g_quality;
extern temperature* g_temperature;
extern linkcom* g_linkcom;
extern linkwlan* g_linkwlan;
extern factoryage* g_factoryage;

// The one keypad, the field that opened it, the one tip.
extern NumberKeyboard* g_numberkeyboard;
extern QLineEdit* g_lineedit;
extern TIP* g_tip;
extern QTimer* g_timer;

extern std::atomic<u8> g_tip_flag;  // 1 while the tip is up; the tick hides it after 200 ticks
extern u8 g_mode_select;            // user-mode slot 0..15 chosen on the main window's pop-up

// The two panel timing choices of the LCD settings page, in 10 ms ticks. They are that page's
// whole effect: nothing reads them, so the panel never returns home or locks by itself.
extern int g_back_to_mainwindow_time;  // 3000 (30 s)
extern int g_auto_lock_time;           // 30000 (5 min)

// 1 on the simulated board: Left, Right, Return and Escape also act as F4, F5, F6, PowerOff.
extern std::atomic<u8> g_sim_keyboard;
