#pragma once
// The one language chain of the panel: 0 Chinese, 2 Russian, 3 Vietnamese, any other value
// English. Every text of a page is picked through it; no translation catalogue is loaded.
#include <QString>

#include "core/globals.h"

struct Text4 {
    const char* zh;
    const char* en;
    const char* ru;
    const char* vi;
};

inline const char* pick_lang(const Text4& t)
{
    switch (g_language.load()) {
    case 0: return t.zh;
    case 2: return t.ru;
    case 3: return t.vi;
    default: return t.en;
    }
}

inline QString tr4(const Text4& t) { return QString::fromUtf8(pick_lang(t)); }
