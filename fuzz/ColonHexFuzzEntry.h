#pragma once

#include <cstddef>
#include <cstdint>

// One input through the colon-hex field reader and parser. The first byte
// picks the count, the flags and the field limits; the rest is the text.
// Aborts when a result breaks what the senders rely on.
int colonHexFuzzOne(const std::uint8_t* data, std::size_t size);
