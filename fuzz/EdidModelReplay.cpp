#include "fuzz/EdidModelFuzzEntry.h"

int replayEntry(const std::uint8_t* data, std::size_t size) {
    return edidModelFuzzOne(data, size);
}
