// libFuzzer target: clang++ -fsanitize=fuzzer,address,undefined.
#include "fuzz/RpcFrameFuzzEntry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return rpcFrameFuzzOne(data, size);
}
