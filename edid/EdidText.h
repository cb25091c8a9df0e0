#pragma once

#include <array>
#include <cstdint>

class QString;

// An EDID table: two 128-byte blocks, each closed by its checksum byte.
constexpr int kEdidSize = 256;
constexpr int kEdidBlockSize = 128;
using EdidImage = std::array<std::uint8_t, kEdidSize>;

// The editor's text is taken into a 1024-byte buffer with its terminator, so
// no more than this many characters are ever parsed.
constexpr int kEdidParseLimit = 1023;
// One line of the hex text: 16 bytes as "XX " with the last space a line feed.
constexpr int kEdidBytesPerLine = 16;
constexpr int kEdidLineLength = 3 * kEdidBytesPerLine;
constexpr int kEdidTextLength = kEdidLineLength * (kEdidSize / kEdidBytesPerLine);

// Parses hex text in fixed groups of three characters: two digits and a
// space, a line feed or the end of the text. Returns the number of groups
// parsed (it may exceed 256; only the first 256 land in `image`), or -1 on a
// format error. Bytes the text does not give are 0. The digits are not
// validated: any character above '9' counts as its code minus 55.
int parseEdidText(const QString& text, EdidImage& image);

// The byte that makes the 128 bytes of a block add up to 0 modulo 256.
std::uint8_t edidBlockChecksum(const std::uint8_t* block);
bool edidChecksumsCorrect(const EdidImage& image);
void setEdidChecksums(EdidImage& image);

// Appends `count` bytes as "XX XX ... XX\n" at position `used` of `buffer`
// and keeps it zero-terminated. Returns the new length; when the line and its
// terminator do not fit in `capacity`, nothing is written and `used` comes back.
int appendEdidTextLine(char* buffer, int capacity, int used, const std::uint8_t* bytes, int count);

// The program's own layout: 16 lines of 16 upper-case bytes, 768 characters.
QString edidHexText(const EdidImage& image);
