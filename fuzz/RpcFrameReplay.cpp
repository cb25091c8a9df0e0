#include "fuzz/RpcFrameFuzzEntry.h"

int replayEntry(const std::uint8_t* data, std::size_t size) {
    return rpcFrameFuzzOne(data, size);
}
