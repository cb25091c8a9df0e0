#include "decode/ColonHexInput.h"

#include <cstdio>

namespace decode {
namespace {

constexpr char kSeparator = ':';

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string describe(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (c == ' ')
        return "a space";
    char text[32];
    if (u > 0x20 && u < 0x7F)
        std::snprintf(text, sizeof text, "'%c'", c);
    else
        std::snprintf(text, sizeof text, "character code 0x%02X", u);
    return text;
}

std::string at(std::size_t index) {
    return "character " + std::to_string(index + 1) + ": ";
}

} // namespace

ColonHexInput readColonHexInput(std::string_view text) {
    ColonHexInput in;
    std::size_t end = text.size();
    while (end > 0 && isSpace(text[end - 1]))
        --end;
    std::size_t i = 0;
    while (i < end && isSpace(text[i]))
        ++i;
    if (i == end) {
        in.problem = "the text is empty: expected bytes as two hex digits each, such as 0f:36";
        return in;
    }
    for (;;) {
        const std::string byteName = "byte " + std::to_string(in.bytes.size() + 1);
        if (i == end) {
            in.problem = at(i) + "the text ends after ':', expected two hex digits for " + byteName;
            return in;
        }
        const int high = hexValue(text[i]);
        if (high < 0) {
            in.problem =
                at(i) + "expected a hex digit for " + byteName + ", found " + describe(text[i]);
            return in;
        }
        if (i + 1 == end || text[i + 1] == kSeparator) {
            in.problem = at(i) + byteName + " has one hex digit, expected two";
            return in;
        }
        const int low = hexValue(text[i + 1]);
        if (low < 0) {
            in.problem = at(i + 1) + "expected a second hex digit for " + byteName + ", found " +
                         describe(text[i + 1]);
            return in;
        }
        in.bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
        i += 2;
        if (i == end)
            return in;
        if (text[i] != kSeparator) {
            in.problem = at(i) + "expected ':' after " + byteName + ", found " + describe(text[i]);
            return in;
        }
        ++i;
    }
}

} // namespace decode

#include "decode/NodeBuild.h"

namespace decode {

Decoded decodeTypedBytes(std::string_view text,
                         Decoded (*decodeBytes)(std::span<const std::uint8_t>)) {
    const ColonHexInput in = readColonHexInput(text);
    Decoded d = decodeBytes(in.bytes);
    if (!in.problem.empty()) {
        Decoded textProblem;
        d.nodes.insert(d.nodes.begin(), problemNode(textProblem, "text", "Text", in.problem));
        d.problems.insert(d.problems.begin(), in.problem);
    }
    return d;
}

} // namespace decode
