#include "fuzz/ColonHexFuzzEntry.h"

int replayEntry(const std::uint8_t* data, std::size_t size) { return colonHexFuzzOne(data, size); }
