#pragma once
// Opening a page: create it with no parent, store it in its page pointer, give it the keys
// (g_page_focus), run its modal loop. Back clears the pointer and returns the keys.
//
// Pages of libraries linked after the shell are reached through registered openers, so the
// shell's menus need not link against them: such a library calls register_opener(id, fn)
// once at start, and the menu row of that page calls open_registered(id, menu).
#include <functional>

#include "ui/shell/PageFrame.h"

// Puts a full-panel page where the main window stands.
void place_page(QWidget* page);

// Creates the page in its place, stores it in `pointer` (cleared again on back) and gives it
// the keys.
template <class T>
T* new_page(T*& pointer, PageFrame* parent)
{
    T* page = new T(nullptr);
    place_page(page);
    pointer = page;
    page->set_return(parent, [&pointer] { pointer = nullptr; });
    g_page_focus = page->page_id();
    return page;
}

template <class T>
void open_page(T*& pointer, PageFrame* parent)
{
    new_page(pointer, parent)->exec();
}

// The same without a modal loop: the page is shown on top and the opener returns at once.
// The key pipe and the refresh reach it as the topmost open page.
template <class T>
void open_page_modeless(T*& pointer, PageFrame* parent)
{
    T* page = new_page(pointer, parent);
    page->show();
    page->raise();
    page->activateWindow();
}

using PageOpener = std::function<void(PageFrame* parent)>;
void register_opener(PageFocusId id, PageOpener fn);
bool has_opener(PageFocusId id);
// Runs the registered opener; false (and a log line) when none is registered.
bool open_registered(PageFocusId id, PageFrame* parent);
