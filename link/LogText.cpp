#include "link/LogText.h"

#include <cstdio>

namespace {

void escapeByte(std::string& out, unsigned char c) {
    char hex[5];
    std::snprintf(hex, sizeof hex, "\\x%02X", c);
    out += hex;
}

// Length of the well-formed UTF-8 sequence at `i` that is not a C1 control,
// or 0: a terminal may act on C1 controls and on stray bytes alike.
std::size_t printableSequence(std::string_view s, std::size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    const std::size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
    if (n == 0 || i + n > s.size())
        return 0;
    for (std::size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
            return 0;
    if (c == 0xC2 && static_cast<unsigned char>(s[i + 1]) < 0xA0)
        return 0;
    return n;
}

} // namespace

std::string logText(std::string_view outside, std::size_t limit) {
    std::string out;
    const std::size_t shown = outside.size() > limit ? limit : outside.size();
    out.reserve(shown + 16);
    for (std::size_t i = 0; i < shown;) {
        const auto c = static_cast<unsigned char>(outside[i]);
        if (c == '\\') {
            out += "\\\\";
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else if (const std::size_t n = c >= 0x80 ? printableSequence(outside, i) : 0;
                   n && i + n <= shown) {
            out.append(outside.substr(i, n));
            i += n;
            continue;
        } else {
            escapeByte(out, c);
        }
        ++i;
    }
    if (shown < outside.size())
        out += "... (" + std::to_string(outside.size()) + " bytes)";
    return out;
}
