#include "settings_pages.h"

#include "ui/settings_pages/quality.h"
#include "ui/settings_pages/temperature.h"
#include "ui/settings_pages/testimage.h"
#include "ui/shell/page_open.h"

void register_settings_pages()
{
    register_opener(PAGE_TESTIMAGE, [](PageFrame* parent) { open_page(g_testimage, parent); });
    register_opener(PAGE_QUALITY, [](PageFrame* parent) { open_page(g_quality, parent); });
    register_opener(PAGE_TEMPERATURE, [](PageFrame* parent) { open_page(g_temperature, parent); });
}
