#pragma once
// The JSON files the device parses (the OSD menu "/data/configs/omenu.json" and a user mode's
// copy of it, the names "/data/configs/alias.json") come from the network. The property-tree
// parser recurses once per nesting level and builds a node per value, so every file is checked
// here before that parser sees it: its size, its nesting depth, its number of values, and that
// it parses. The remote upload runs the same check before it installs a file.
#include <boost/property_tree/ptree.hpp>
#include <string>

namespace json_file {

constexpr size_t kMaxBytes = 1u << 20;
constexpr int kMaxDepth = 64;          // arrays and objects inside one another
constexpr size_t kMaxValues = 4096;    // a full menu holds about 80, an alias file a few hundred

// Checks `text` and parses it into *out. A null reads as an empty text (the property tree
// would hold the word "null"). Empty when good, else why the text is refused.
std::string parse(const std::string& text, boost::property_tree::ptree* out);

enum class Load { Ok, Missing, Refused };
// Reads the file at `path` (already rooted) and parses it as above; *why tells a refusal.
Load load(const std::string& path, boost::property_tree::ptree* out, std::string* why);

}  // namespace json_file
