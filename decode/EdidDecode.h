#pragma once

#include "decode/Decoded.h"

#include <cstdint>
#include <span>
#include <string>

namespace decode {

// An EDID: the base block and its extensions (256 bytes normally; a shorter
// one decodes as far as it goes). Byte numbers count from 0, as EDIDs do.
Decoded decodeEdid(std::span<const std::uint8_t> bytes);

// Field by field: what differs between the two decodes, and the video and
// audio formats that only one of them lists. The names say which is which
// ("device", "TOP", a file name).
Decoded compareEdids(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b,
                     const std::string& nameA, const std::string& nameB);

} // namespace decode
