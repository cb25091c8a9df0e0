// Cost of decoding the 150 sample EDIDs (tests/data/edid-samples) in-process,
// text and JSON included. Not part of the test run: build/bench/korvanta_decode_bench.
#include "decode/EdidDecode.h"

#include <QDir>
#include <QFile>
#include <benchmark/benchmark.h>

#include <vector>

namespace {

std::vector<std::vector<std::uint8_t>> loadSamples() {
    std::vector<std::vector<std::uint8_t>> samples;
    const QDir dir(KORVANTA_EDID_SAMPLES);
    for (const QString& name : dir.entryList({"*.bin"}, QDir::Files, QDir::Name)) {
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QByteArray data = f.readAll();
        samples.emplace_back(data.begin(), data.end());
    }
    return samples;
}

void BM_DecodeSamples(benchmark::State& state) {
    const auto samples = loadSamples();
    if (samples.empty()) {
        state.SkipWithError("no sample EDIDs found");
        return;
    }
    for (auto _ : state) {
        for (const auto& edid : samples) {
            const decode::Decoded d = decode::decodeEdid(edid);
            benchmark::DoNotOptimize(decode::renderText(d));
            benchmark::DoNotOptimize(decode::renderJson(d));
        }
    }
    state.counters["edids"] = double(samples.size());
}
BENCHMARK(BM_DecodeSamples)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
