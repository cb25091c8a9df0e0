#include "fuzz/DecodeFuzzEntry.h"

int replayEntry(const std::uint8_t* data, std::size_t size) {
    return decodeEdidFuzzOne(data, size);
}
