#pragma once
// Operator-given names of sources, crops, windows and user modes, read from
// "/data/configs/alias.json" on every lookup.
#include <string>

struct ALIAS_PARA {
    int id;
    std::string valid;
    std::string name;
};

// Looks up entry `id` of `category` ("source", "crop", "win", "usermode") under "namelist".
// 1 when found, "valid" is not "off" and "name" is not empty; else 0. A file the JSON check
// refuses (not JSON, too large, nested too deep) is deleted.
int get_json_alias_para(ALIAS_PARA* out, std::string category, int id);

// Why the lookups above would find nothing in the file at the rooted `real_path` (not JSON,
// no "namelist" object); empty when they read it.
std::string alias_file_fault(const std::string& real_path);
