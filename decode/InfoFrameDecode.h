#pragma once

#include "decode/Decoded.h"

#include <cstdint>
#include <span>
#include <string_view>

namespace decode {

// The HDR (Dynamic Range and Mastering) InfoFrame as typed in the HDR field:
// type, version, length, checksum, then the data bytes. Byte numbers count
// from 1 as typed.
Decoded decodeHdrInfoFrameText(std::string_view colonHex);
Decoded decodeHdrInfoFrameTyped(std::span<const std::uint8_t> frame);

// The frame the input captured, as the status register of the source's HDR
// InfoFrame carries it from this reply position on: type, length, then the
// data bytes (no version, no checksum).
constexpr int kCapturedHdrFramePosition = 2;
Decoded decodeHdrInfoFrameBytes(std::span<const std::uint8_t> frame);

// The AVI InfoFrame's data bytes from data byte 1, as typed in the AVI field.
Decoded decodeAviText(std::string_view colonHex);
Decoded decodeAviBytes(std::span<const std::uint8_t> dataBytes);

} // namespace decode
