// Cost of reading, editing and writing back a 512-byte EDID through the
// model, and of checking it. Not part of the test run: build/bench/korvanta_edid_bench.
#include "edid/EdidCheck.h"
#include "edid/EdidOptions.h"
#include "edid/EdidPresets.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

// The HDR preset with two more blocks: a second CTA extension and a
// DisplayID block the model keeps as it is.
std::vector<std::uint8_t> edid512() {
    std::vector<std::uint8_t> b = edid::buildPreset("4k60-hdr-atmos").bytes;
    std::vector<std::uint8_t> cta(b.begin() + 128, b.end());
    std::vector<std::uint8_t> displayId(128, 0);
    displayId[0] = 0x70;
    displayId[127] = 0x90;
    b.insert(b.end(), cta.begin(), cta.end());
    b.insert(b.end(), displayId.begin(), displayId.end());
    b[126] = 3;
    b[127] = static_cast<std::uint8_t>(b[127] - 2);
    return b;
}

void BM_ParseWrite(benchmark::State& state) {
    const std::vector<std::uint8_t> in = edid512();
    for (auto _ : state) {
        edid::Model m;
        edid::parse(in, m);
        benchmark::DoNotOptimize(edid::write(m));
    }
}
BENCHMARK(BM_ParseWrite);

void BM_ParseEditWrite(benchmark::State& state) {
    const std::vector<std::uint8_t> in = edid512();
    for (auto _ : state) {
        edid::Model m;
        edid::parse(in, m);
        edid::applyOption(m, "remove-vic", "4");
        edid::applyOption(m, "add-vic", "63");
        edid::applyOption(m, "max-tmds", "340");
        edid::applyOption(m, "audio-add", "lpcm:6");
        edid::applyOption(m, "name", "BENCH");
        benchmark::DoNotOptimize(edid::write(m));
    }
}
BENCHMARK(BM_ParseEditWrite);

void BM_Check(benchmark::State& state) {
    const std::vector<std::uint8_t> in = edid512();
    for (auto _ : state)
        benchmark::DoNotOptimize(edid::checkEdid(in));
}
BENCHMARK(BM_Check);

} // namespace

BENCHMARK_MAIN();
