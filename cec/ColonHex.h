#pragma once

#include <cstdint>
#include <string>

// Byte strings as text: two lower-case hex digits per byte, joined by ":".
std::string formatColonHex(const std::uint8_t* bytes, int count);
