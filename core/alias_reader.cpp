#include "core/alias_reader.h"

#include <boost/optional.hpp>
#include <boost/property_tree/ptree.hpp>
#include <cstdio>

#include "core/json_file.h"
#include "core/log.h"
#include "core/utils.h"
#include "platform/paths.h"

namespace pt = boost::property_tree;

namespace {

constexpr const char* kAliasFile = "/data/configs/alias.json";

// Scans one category array; an entry without a numeric "id" is skipped. 1/0 as the lookup,
// -1 when no entry has the id.
int find_entry(const pt::ptree& entries, int id, ALIAS_PARA* out)
{
    for (const auto& kv : entries) {
        const pt::ptree& entry = kv.second;
        boost::optional<int> entry_id = entry.get_optional<int>("id");
        if (!entry_id || *entry_id != id)
            continue;
        ALIAS_PARA found{*entry_id, entry.get<std::string>("valid", ""), entry.get<std::string>("name", "")};
        if (out)
            *out = found;
        return found.valid != "off" && !found.name.empty() ? 1 : 0;
    }
    return -1;
}

}  // namespace

int get_json_alias_para(ALIAS_PARA* out, std::string category, int id)
{
    pt::ptree root;
    std::string why;
    switch (json_file::load(platform::rooted(kAliasFile), &root, &why)) {
    case json_file::Load::Missing: return 0;
    case json_file::Load::Refused:
        // Removed, so the refusal is logged once and later lookups find no file.
        std::printf("json error: %s", why.c_str());
        writeLogMsg(LOG_WARNING, std::string(kAliasFile) + " refused (" + why + "), removed");
        Utils::system_mutex(QStringLiteral("rm -rf %1").arg(kAliasFile));
        return 0;
    case json_file::Load::Ok: break;
    }
    // The file parsed: whatever its shape, it is kept and a lookup that fails gives 0.
    try {
        auto namelist = static_cast<const pt::ptree&>(root).get_child_optional("namelist");
        if (!namelist)
            return 0;
        for (const auto& kv : *namelist) {
            if (kv.first != category)
                continue;
            int r = find_entry(kv.second, id, out);
            if (r >= 0)
                return r;
        }
    } catch (const pt::ptree_error& e) {
        writeLogMsg(LOG_WARNING, std::string("alias lookup failed: ") + e.what());
    }
    return 0;
}

std::string alias_file_fault(const std::string& real_path)
{
    pt::ptree root;
    std::string why;
    if (json_file::load(real_path, &root, &why) != json_file::Load::Ok)
        return why.empty() ? "cannot be read" : why;
    const auto namelist = static_cast<const pt::ptree&>(root).get_child_optional("namelist");
    if (!namelist || (namelist->empty() && !namelist->data().empty()))
        return "no \"namelist\" object";
    return std::string();
}
