#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

class QString;

// Byte strings as text: two hex digits per byte, joined by ":" ("50:04").

constexpr int kColonHexMaxBytes = 100;
using ColonHexBytes = std::array<std::uint8_t, kColonHexMaxBytes>;

// Positions outside the text (before it, or past its end) read as this
// character when a malformed text makes the scan look there.
constexpr char kColonHexOutside = '0';

// Two characters to one byte; nothing is validated ("5G" gives 0x60).
std::uint8_t hexPairToByte(char first, char second);

// Parses `text` into `out` (zero-filled first), looking for colons in its
// first `count` characters only. With `withLength` set, byte 1 is left for
// the number of bytes after the first one. Returns how many bytes make up the
// result. Trusts the shape of the text; never reads or writes outside `text`
// and `out`.
int parseColonHex(std::string_view text, ColonHexBytes& out, std::uint8_t count, bool withLength);

// "87:01:1a" for 0x87 0x01 0x1A; empty for no bytes.
std::string formatColonHex(const std::uint8_t* bytes, int count);

// Upper-cases `text`, copies it as Latin-1 into `buffer` and replaces its
// terminator with a carriage return. Fails, with `*count` untouched, when the
// text does not fit the buffer or when its length plus one is below 6 or
// above `maxCount`; otherwise `*count` is that length plus one.
bool readHexField(const QString& text, std::span<char> buffer, int maxCount, std::uint8_t* count);
