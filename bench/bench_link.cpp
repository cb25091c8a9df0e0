// Cost of one transaction through the whole stack on the simulated device, and
// of the window's start-up. Not part of the test run: build/bench/korvanta_bench.
#include "link/AppState.h"
#include "link/Clock.h"
#include "link/Dialogs.h"
#include "link/Platform.h"
#include "link/Protocol.h"
#include "link/UsbLink.h"
#include "sim/SimUsbLibrary.h"
#include "window/MainWindow.h"

#include <QApplication>
#include <benchmark/benchmark.h>

namespace {

class SilentDialogs : public Dialogs {
public:
    void usbWarning(const QString&) override {}
    int message(QWidget*, Icon, const QString&, const QString&, int, int def) override {
        return def;
    }
    void about(QWidget*, const QString&, const QString&) override {}
    QString openFileName(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }
    QString saveFileName(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }
};

// Sleeps cost nothing here, so start-up shows its own work only.
class NoSleepClock : public SystemClock {
public:
    void sleepMs(std::uint32_t ms) override { slept += ms; }
    std::uint64_t slept = 0;
};

void BM_Transact(benchmark::State& state) {
    SimUsbLibrary usb;
    usb.recordCalls = false;
    usb.device.logRequests = false;
    SystemClock clock;
    SilentDialogs dialogs;
    resetAppState();
    platform() = Platform{&usb, &clock, &dialogs, nullptr};
    usb.open(0, &appState.deviceHandle);
    const std::uint8_t request[3] = {proto::kDirRead, proto::kValuesLength, proto::kCmdValues};
    for (auto _ : state) {
        std::uint8_t reply[kReplyBufferSize] = {};
        benchmark::DoNotOptimize(transact(reply, request, proto::kValuesLength, 3));
        benchmark::DoNotOptimize(reply[0]);
    }
    platform() = Platform{};
}
BENCHMARK(BM_Transact);

void BM_StartUp(benchmark::State& state) {
    for (auto _ : state) {
        SimUsbLibrary usb;
        usb.recordCalls = false;
        usb.device.logRequests = false;
        NoSleepClock clock;
        SilentDialogs dialogs;
        resetAppState();
        platform() = Platform{&usb, &clock, &dialogs, nullptr};
        {
            MainWindow window;
            benchmark::DoNotOptimize(appState.ready);
        }
        state.counters["mandated_pause_ms"] = static_cast<double>(clock.slept);
        platform() = Platform{};
    }
}
BENCHMARK(BM_StartUp)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
