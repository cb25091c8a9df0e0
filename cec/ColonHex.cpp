#include "cec/ColonHex.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cstdio>

namespace {

constexpr char kCarriageReturn = '\r';
constexpr int kShortestCount = 6; // "50:04" and its carriage return

// Upper case by the C locale's rule, whatever locale the application set.
unsigned char upperAscii(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 'a' && u <= 'z' ? static_cast<unsigned char>(u - ('a' - 'A')) : u;
}

std::uint8_t digitValue(char c) {
    const unsigned char u = upperAscii(c);
    return static_cast<std::uint8_t>(u <= '9' ? u - '0' : u - ('A' - 10));
}

// The scan of a malformed text may look a few places before the text or past
// its end; those places read as a fixed character instead of foreign memory.
char charAt(std::string_view text, int position) {
    if (position < 0 || position >= static_cast<int>(text.size()))
        return kColonHexOutside;
    return text[static_cast<std::size_t>(position)];
}

} // namespace

std::uint8_t hexPairToByte(char first, char second) {
    return static_cast<std::uint8_t>(16 * digitValue(first) + digitValue(second));
}

int parseColonHex(std::string_view text, ColonHexBytes& out, std::uint8_t count, bool withLength) {
    out.fill(0);
    int outPos = 0;
    int lastColon = 0;
    // The last slot stays for the byte after the last colon, so that a run of
    // colons cannot write past the buffer.
    constexpr int kLastSlot = kColonHexMaxBytes - 1;
    for (int i = 0; i < count && outPos < kLastSlot; ++i) {
        // Only the colons are bounded by the count; the pairs around them
        // are read from the text as it stands.
        if (charAt(text, i) != ':')
            continue;
        out[static_cast<std::size_t>(outPos)] =
            hexPairToByte(charAt(text, i - 2), charAt(text, i - 1));
        ++outPos;
        if (withLength && outPos == 1)
            outPos = 2;
        lastColon = i;
        if (charAt(text, i + 3) != ':')
            break;
    }
    outPos = std::min(outPos, kLastSlot);
    out[static_cast<std::size_t>(outPos)] =
        hexPairToByte(charAt(text, lastColon + 1), charAt(text, lastColon + 2));
    if (withLength)
        out[1] = static_cast<std::uint8_t>(outPos - 1);
    return outPos + 1;
}

std::string formatColonHex(const std::uint8_t* bytes, int count) {
    std::string text;
    char group[4];
    for (int i = 0; i < count; ++i) {
        std::snprintf(group, sizeof group, i ? ":%02x" : "%02x", bytes[i]);
        text += group;
    }
    return text;
}

bool readHexField(const QString& text, std::span<char> buffer, int maxCount, std::uint8_t* count) {
    const QByteArray latin1 = text.toUpper().toLatin1();
    // A NUL inside the text ends it, as it would for any C string.
    const auto nul = std::find(latin1.begin(), latin1.end(), '\0');
    const auto length = static_cast<std::size_t>(nul - latin1.begin());
    if (length + 1 > buffer.size())
        return false; // too long for the caller's buffer
    std::fill(buffer.begin(), buffer.end(), '\0');
    std::copy_n(latin1.constData(), length, buffer.begin());
    buffer[length] = kCarriageReturn;
    const int fieldCount = static_cast<int>(length) + 1;
    // The count travels as one byte.
    if (fieldCount > std::min(maxCount, 255) || fieldCount < kShortestCount)
        return false;
    *count = static_cast<std::uint8_t>(fieldCount);
    return true;
}
