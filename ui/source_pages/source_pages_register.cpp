#include "ui/source_pages/source_pages.h"

#include "ui/shell/page_open.h"
#include "ui/source_pages/CustomMode.h"
#include "ui/source_pages/EDIDset.h"
#include "ui/source_pages/ImageLayout.h"
#include "ui/source_pages/InputChoose.h"
#include "ui/source_pages/InputCut.h"

void source_pages_register()
{
    register_opener(PAGE_INPUTCHOOSE, [](PageFrame* parent) { open_page(g_inputchoose, parent); });
    register_opener(PAGE_CUSTOMMODE, [](PageFrame* parent) {
        // Not modal: a tap on the main window's row under an open list brings that list back.
        if (g_custommode) {
            g_custommode->raise();
            g_custommode->activateWindow();
            g_page_focus = PAGE_CUSTOMMODE;
            return;
        }
        open_page_modeless(g_custommode, parent);
    });
    register_opener(PAGE_INPUTCUT, [](PageFrame* parent) { open_page(g_inputcut, parent); });
    register_opener(PAGE_EDIDSET, [](PageFrame* parent) { open_page(g_edidset, parent); });
    register_opener(PAGE_IMAGELAYOUT, [](PageFrame* parent) { open_page(g_imagelayout, parent); });
}
