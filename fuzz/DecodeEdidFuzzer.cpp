// libFuzzer target: clang++ -fsanitize=fuzzer,address,undefined.
#include "fuzz/DecodeFuzzEntry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return decodeEdidFuzzOne(data, size);
}
