#include "ui/shell/page_ids.h"

MainWindow* g_mainwindow = nullptr;
LockWindow* g_lockwindow = nullptr;
MachineState* g_machinestate = nullptr;
Option* g_option = nullptr;
OutputSet* g_outputset = nullptr;
LinkOption* g_linkoption = nullptr;
ImageQuality* g_imagequality = nullptr;
AdvancedOption* g_advancedoption = nullptr;
InputChoose* g_inputchoose = nullptr;
CustomMode* g_custommode = nullptr;
InputCut* g_inputcut = nullptr;
EDIDset* g_edidset = nullptr;
ImageLayout* g_imagelayout = nullptr;
ledset* g_ledset = nullptr;
netset* g_netset = nullptr;
lcdshow* g_lcdshow = nullptr;
testimage* g_testimage = nullptr;
othersetup* g_othersetup = nullptr;
factory* g_factory = nullptr;
quality* g_quality = nullptr;
temperature* g_temperature = nullptr;
linkcom* g_linkcom = nullptr;
linkwlan* g_linkwlan = nullptr;
factoryage* g_factoryage = nullptr;

NumberKeyboard* g_numberkeyboard = nullptr;
QLineEdit* g_lineedit = nullptr;
TIP* g_tip = nullptr;
QTimer* g_timer = nullptr;

std::atomic<u8> g_tip_flag{0};
u8 g_mode_select = 0;
int g_back_to_mainwindow_time = 3000;
int g_auto_lock_time = 30000;
std::atomic<u8> g_sim_keyboard{0};
