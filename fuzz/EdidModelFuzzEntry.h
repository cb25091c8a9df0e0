#pragma once

#include <cstddef>
#include <cstdint>

// One input taken as EDID bytes through the model: read, written back, edited
// by meaning, merged with itself and checked. Aborts when an untouched EDID
// does not come back byte for byte, or an edited one is not consistent.
int edidModelFuzzOne(const std::uint8_t* data, std::size_t size);
