#include "settings_pages.h"

#include "ui/settings_pages/factory.h"
#include "ui/settings_pages/factoryage.h"
#include "ui/settings_pages/lcdshow.h"
#include "ui/settings_pages/ledset.h"
#include "ui/settings_pages/linkcom.h"
#include "ui/settings_pages/linkwlan.h"
#include "ui/settings_pages/netset.h"
#include "ui/settings_pages/othersetup.h"
#include "ui/settings_pages/quality.h"
#include "ui/settings_pages/temperature.h"
#include "ui/settings_pages/testimage.h"
#include "ui/shell/page_open.h"

void register_settings_pages()
{
    register_opener(PAGE_LEDSET, [](PageFrame* parent) { open_page(g_ledset, parent); });
    register_opener(PAGE_NETSET, [](PageFrame* parent) { open_page(g_netset, parent); });
    register_opener(PAGE_LCDSHOW, [](PageFrame* parent) { open_page(g_lcdshow, parent); });
    register_opener(PAGE_TESTIMAGE, [](PageFrame* parent) { open_page(g_testimage, parent); });
    register_opener(PAGE_OTHERSETUP, [](PageFrame* parent) { open_page(g_othersetup, parent); });
    register_opener(PAGE_FACTORY, [](PageFrame* parent) { open_page(g_factory, parent); });
    register_opener(PAGE_QUALITY, [](PageFrame* parent) { open_page(g_quality, parent); });
    register_opener(PAGE_TEMPERATURE, [](PageFrame* parent) { open_page(g_temperature, parent); });
    register_opener(PAGE_LINKCOM, [](PageFrame* parent) { open_page(g_linkcom, parent); });
    register_opener(PAGE_LINKWLAN, [](PageFrame* parent) { open_page(g_linkwlan, parent); });
    register_opener(PAGE_FACTORYAGE, [](PageFrame* parent) { open_page(g_factoryage, parent); });
}
