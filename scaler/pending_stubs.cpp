// Not yet built: the window pipeline, the input port following and the on-chip OSD. The
// bring-up and the apply pass already call these at their places; each stays an empty
// operation until its component lands.
#include "scaler/c331_manage.h"
#include "scaler/omenu_file.h"

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
void c331_manage::tlxApi_OsdSet(int, int) {}
void c331_manage::update_osd(int) {}
void c331_manage::set_osd(int, int) {}
void c331_manage::set_scroll(int) {}
void c331_manage::tlxApi_debug_printf_unicode(int, int) {}
void c331_manage::load_char() {}
void c331_manage::read_c331_font(int) {}
void c331_manage::update_font(int) {}
void c331_manage::reload_osd_menus() {}

// The OSD menu reader: until it lands every file reads as "no entries".
void get_json_omenu_para(const char*, OSD_LIST* list)
{
    if (list)
        list->osd[0].osdcount = 0;
}
