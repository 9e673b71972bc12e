#include "core/json_file.h"

#include <boost/property_tree/json_parser.hpp>
#include <cstdio>
#include <sstream>
#include <vector>

namespace json_file {

namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Where a value may start, given the last significant character before it (0: none yet) and
// the innermost open container ('{', '[' or 0 at the top).
bool value_position(char prev, char container)
{
    if (prev == 0)
        return container == 0;
    return prev == ':' || prev == '[' || (prev == ',' && container == '[');
}

// One pass over the text ahead of the parser, without recursion: counts the nesting depth and
// the values, and copies the text to *out with each null value written as "". Empty when the
// text may be parsed, else why not.
std::string scan(const std::string& text, std::string* out)
{
    std::vector<char> open;
    size_t values = 1;
    char prev = 0;
    out->clear();
    out->reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            const size_t start = i;
            for (++i; i < text.size() && text[i] != '"'; ++i)
                i += text[i] == '\\';
            out->append(text, start, i - start + 1);
            prev = '"';
            continue;
        }
        if (c == 'n' && value_position(prev, open.empty() ? 0 : open.back()) && text.compare(i, 4, "null") == 0) {
            out->append("\"\"");
            i += 3;
            prev = '"';
            continue;
        }
        out->push_back(c);
        if (is_space(c))
            continue;
        prev = c;
        if (c == '{' || c == '[') {
            if (open.size() == size_t(kMaxDepth))
                return "nested deeper than " + std::to_string(kMaxDepth) + " levels";
            open.push_back(c);
            ++values;
        } else if (c == '}' || c == ']') {
            if (!open.empty())
                open.pop_back();
        } else if (c == ',') {
            ++values;
        }
        if (values > kMaxValues)
            return "more than " + std::to_string(kMaxValues) + " values";
    }
    return {};
}

}  // namespace

std::string parse(const std::string& text, boost::property_tree::ptree* out)
{
    if (text.size() > kMaxBytes)
        return "larger than " + std::to_string(kMaxBytes) + " bytes";
    std::string checked;
    std::string why = scan(text, &checked);
    if (!why.empty())
        return why;
    std::istringstream in(checked);
    try {
        boost::property_tree::read_json(in, *out);
    } catch (const boost::property_tree::json_parser_error& e) {
        return "not JSON: " + e.message() + " at line " + std::to_string(e.line());
    }
    return {};
}

Load load(const std::string& path, boost::property_tree::ptree* out, std::string* why)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return Load::Missing;
    // Read no further than one byte past the limit: that byte tells a file that is too large.
    std::string text;
    char buf[16384];
    size_t n;
    while (text.size() <= kMaxBytes && (n = std::fread(buf, 1, sizeof buf, f)) > 0)
        text.append(buf, n);
    const bool read_error = std::ferror(f) != 0;
    std::fclose(f);
    *why = read_error ? std::string("read error") : parse(text, out);
    return why->empty() ? Load::Ok : Load::Refused;
}

}  // namespace json_file
