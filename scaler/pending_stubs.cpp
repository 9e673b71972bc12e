// Not yet built: the window pipeline and the input port following. The
// bring-up and the apply pass already call these at their places; each stays an empty
// operation until its component lands.
#include "scaler/c331_manage.h"

void c331_manage::set_output(int) {}
void c331_manage::check_input_port(int) {}
void c331_manage::load_hdmi() {}
void c331_manage::check_port_valid(int) {}
void c331_manage::c331_SetInputsource(int, int) {}
void c331_manage::c331_SetWinPriority(int, int) {}
void c331_manage::c331_SetWinPriority1(int) {}
void c331_manage::c331_SetWinAttr(int, int) {}
void c331_manage::c331_SetWinOutput(int, int, int) {}
void c331_manage::c331_SetWinDbdMode(int, int, int) {}
void c331_manage::c331_SetInputsourceCrop(int, int) {}
void c331_manage::c331_SetCrop(int, int, ST_RECT) {}
void c331_manage::update_overlay_info() {}
void c331_manage::set_overlay(int) {}
void c331_manage::reset_layer_coef(int) {}
