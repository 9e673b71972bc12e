#include "scaler/osd_text.h"

namespace osd_text {

namespace {

constexpr uint32_t kSpace = 0x20;

bool in_fonts(uint32_t cp) { return (cp >= 0x20 && cp <= 0x7F) || (cp >= 0x4E00 && cp <= 0x9FFF); }

// Decodes one UTF-8 sequence at s[i]; advances i. Invalid or overlong sequences, surrogates
// and values above U+10FFFF give 0xFFFFFFFF and consume one byte.
uint32_t decode(const std::string& s, size_t* i)
{
    const auto byte = [&](size_t k) { return static_cast<uint8_t>(s[k]); };
    const uint8_t b0 = byte(*i);
    int extra;
    uint32_t cp, min;
    if (b0 < 0x80) {
        ++*i;
        return b0;
    } else if ((b0 & 0xE0) == 0xC0) {
        extra = 1, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3, cp = b0 & 0x07, min = 0x10000;
    } else {
        ++*i;
        return 0xFFFFFFFF;
    }
    if (*i + size_t(extra) >= s.size()) {
        ++*i;
        return 0xFFFFFFFF;
    }
    for (int k = 1; k <= extra; ++k) {
        const uint8_t b = byte(*i + k);
        if ((b & 0xC0) != 0x80) {
            ++*i;
            return 0xFFFFFFFF;
        }
        cp = cp << 6 | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++*i;
        return 0xFFFFFFFF;
    }
    *i += size_t(extra) + 1;
    return cp;
}

}  // namespace

std::vector<std::vector<uint32_t>> lines(const std::string& utf8)
{
    std::vector<std::vector<uint32_t>> out(1);
    size_t i = 0;
    while (i < utf8.size()) {
        const char c = utf8[i];
        if (c == '\n') {
            if (out.size() == kMaxLines)
                break;
            out.emplace_back();
            ++i;
            continue;
        }
        if (c == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') {
            ++i;   // the CR of a "\r\n" line end
            continue;
        }
        const uint32_t cp = decode(utf8, &i);
        if (out.back().size() < kMaxChars)
            out.back().push_back(in_fonts(cp) ? cp : kSpace);
    }
    return out;
}

bool colour_bgr(const std::string& text, uint32_t* bgr)
{
    // "0x" (a number: 1 to 6 digits), "#" or nothing before the digits (6 of them).
    size_t first = 0, least = 6;
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        first = 2, least = 1;
    else if (!text.empty() && text[0] == '#')
        first = 1;
    const size_t digits = text.size() - first;
    if (digits < least || digits > 6)
        return false;
    uint32_t rgb = 0;
    for (size_t k = first; k < text.size(); ++k) {
        const char c = text[k];
        uint32_t d;
        if (c >= '0' && c <= '9')
            d = uint32_t(c - '0');
        else if (c >= 'a' && c <= 'f')
            d = uint32_t(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            d = uint32_t(c - 'A' + 10);
        else
            return false;
        rgb = rgb << 4 | d;
    }
    *bgr = (rgb & 0xFF) << 16 | (rgb & 0xFF00) | (rgb >> 16 & 0xFF);
    return true;
}

}  // namespace osd_text
