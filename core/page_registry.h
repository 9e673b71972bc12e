#pragma once
// Refresh functions of the open front-panel pages, by page id (g_page_focus code 0..23).
// A page registers its syncUpdate() when it opens and removes it when it closes, so the core
// reaches the visible page without linking against the page classes. GUI thread only.
#include <functional>

namespace page_registry {

using SyncFn = std::function<void()>;

// Registers (or replaces) the refresh function of page `page_id`.
void set(int page_id, SyncFn fn);
// Removes it (the page is closing). Safe to call from inside the page's own refresh.
void clear(int page_id);
// Runs the refresh of page `page_id`; false when no page with that id is open.
bool call(int page_id);
// True when a page with that id is registered.
bool has(int page_id);

}  // namespace page_registry
