#pragma once

#include "decode/Decoded.h"

#include <cstdint>
#include <span>
#include <string_view>

namespace decode {

// A CEC message as typed in the CEC field ("0f:36"): header, opcode and
// operands. Byte numbers count from 1 as typed.
Decoded decodeCecText(std::string_view colonHex);
Decoded decodeCecBytes(std::span<const std::uint8_t> message);

} // namespace decode
