#include "fuzz/EdidFuzzEntry.h"

int replayEntry(const std::uint8_t* data, std::size_t size) { return edidFuzzOne(data, size); }
