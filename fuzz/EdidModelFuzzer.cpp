// libFuzzer target: clang++ -fsanitize=fuzzer,address,undefined.
#include "fuzz/EdidModelFuzzEntry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return edidModelFuzzOne(data, size);
}
