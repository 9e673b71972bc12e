// Not yet built: the on-chip OSD. The bring-up and the apply pass already call these at their
// places; each stays an empty operation until its component lands.
#include "scaler/c331_manage.h"

void c331_manage::tlxApi_OsdSet(int, int) {}
void c331_manage::update_osd(int) {}
void c331_manage::set_osd(int, int) {}
void c331_manage::set_scroll(int) {}
void c331_manage::tlxApi_debug_printf_unicode(int, int) {}
void c331_manage::load_char() {}
void c331_manage::read_c331_font(int) {}
void c331_manage::update_font(int) {}
void c331_manage::reload_osd_menus() {}
