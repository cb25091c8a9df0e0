#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace decode {

// A colon-hex text as a user typed it ("0f:36"), read strictly: two hex
// digits a byte, ":" between bytes, white space only around the whole text.
struct ColonHexInput {
    std::vector<std::uint8_t> bytes; // the bytes read before the first error
    std::string problem;             // where and what is wrong; empty when all was read
};

ColonHexInput readColonHexInput(std::string_view text);

} // namespace decode

#include "decode/Decoded.h"

#include <span>

namespace decode {

// Reads `text` and decodes the bytes it holds, as far as they go; a problem
// in the text comes first in the decode.
Decoded decodeTypedBytes(std::string_view text,
                         Decoded (*decodeBytes)(std::span<const std::uint8_t>));

} // namespace decode
