#include "core/page_registry.h"

#include <map>
#include <mutex>

namespace page_registry {
namespace {

std::mutex& registry_mutex()
{
    static std::mutex m;
    return m;
}

std::map<int, SyncFn>& pages()
{
    static std::map<int, SyncFn> m;
    return m;
}

}  // namespace

void set(int page_id, SyncFn fn)
{
    std::lock_guard<std::mutex> lk(registry_mutex());
    pages()[page_id] = std::move(fn);
}

void clear(int page_id)
{
    std::lock_guard<std::mutex> lk(registry_mutex());
    pages().erase(page_id);
}

bool has(int page_id)
{
    std::lock_guard<std::mutex> lk(registry_mutex());
    auto it = pages().find(page_id);
    return it != pages().end() && it->second;
}

bool call(int page_id)
{
    SyncFn fn;
    {
        std::lock_guard<std::mutex> lk(registry_mutex());
        auto it = pages().find(page_id);
        if (it == pages().end() || !it->second)
            return false;
        fn = it->second;  // a copy: the refresh may close its page and clear the entry
    }
    fn();
    return true;
}

}  // namespace page_registry
