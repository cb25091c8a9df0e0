#pragma once

#include <cstddef>
#include <cstdint>

// One input taken as the contents of an EDID file, through the file rules
// (binary or hex dump, line-end conversion) and the hex-text parser. Aborts
// when a result breaks what the editor and the device writes rely on.
int edidFuzzOne(const std::uint8_t* data, std::size_t size);
