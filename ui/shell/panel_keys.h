#pragma once
// The four front-panel keys. On the simulated board a PC keyboard's Left, Right, Return and
// Escape act as F4, F5, F6 and PowerOff.
#include <QKeyEvent>
#include <Qt>

#include "ui/shell/page_ids.h"

constexpr int KEY_LEFT = Qt::Key_F4;
constexpr int KEY_RIGHT = Qt::Key_F5;
constexpr int KEY_OK = Qt::Key_F6;
constexpr int KEY_BACK = Qt::Key_PowerOff;

// The panel key for a Qt key code, or the code itself when it is no panel key.
inline int panel_key(int qt_key)
{
    if (g_sim_keyboard.load()) {
        switch (qt_key) {
        case Qt::Key_Left: return KEY_LEFT;
        case Qt::Key_Right: return KEY_RIGHT;
        case Qt::Key_Return:
        case Qt::Key_Enter: return KEY_OK;
        case Qt::Key_Escape: return KEY_BACK;
        default: break;
        }
    }
    return qt_key;
}

inline bool is_panel_key(int k) { return k == KEY_LEFT || k == KEY_RIGHT || k == KEY_OK || k == KEY_BACK; }

// The panel key of a key release, or 0 when it is none (auto-repeat, other keys). Accepts the
// event.
inline int released_panel_key(QKeyEvent* e)
{
    e->accept();
    if (e->isAutoRepeat())
        return 0;
    const int key = panel_key(e->key());
    if (!is_panel_key(key))
        return 0;
    return key;
}
