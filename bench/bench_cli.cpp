// korvanta as a user starts it, on the simulated device: `status` from
// process start to exit, and `edid write` against the pauses the device
// protocol mandates. Not part of the test run: build/bench/korvanta_cli_bench.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRuns = 15;
// 32 chunks x 30 ms; then the verify: 2 busy reads x 10 ms after the commit,
// 100 ms after staging the read-back, 2 busy reads x 10 ms.
constexpr double kWritePausesMs = 960.0;
constexpr double kVerifyPausesMs = 20.0 + 100.0 + 20.0;

QString program;
QProcessEnvironment environment;

double runMs(const QStringList& args) {
    QProcess p;
    p.setProcessEnvironment(environment);
    QElapsedTimer timer;
    timer.start();
    p.start(program, args);
    p.waitForFinished(60000);
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    if (p.exitCode() != 0)
        std::fprintf(stderr, "korvanta %s failed: %s\n", qPrintable(args.join(' ')),
                     p.readAllStandardError().constData());
    return ms;
}

void report(const char* what, const QStringList& args, double reference) {
    std::vector<double> ms;
    for (int i = 0; i < kRuns; ++i)
        ms.push_back(runMs(args));
    std::sort(ms.begin(), ms.end());
    std::printf("%-44s median %8.1f ms  min %8.1f ms", what, ms[ms.size() / 2], ms.front());
    if (reference > 0)
        std::printf("  (%.1f %% over %.0f ms of pauses)", (ms[ms.size() / 2] / reference - 1) * 100,
                    reference);
    std::printf("\n");
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    program = app.applicationDirPath() + "/../cli/korvanta";
    QTemporaryDir dir;
    environment = QProcessEnvironment::systemEnvironment();
    environment.insert("KORVANTA_LINK", "simulator");
    environment.insert("KORVANTA_SIM_STATE", dir.filePath("state.json"));
    const QString edid = dir.filePath("top.bin");
    runMs({"edid", "read", "top", "-o", edid});
    runMs({"set", "edid-mode=custom", "edid-preset=0"});

    report("korvanta --version", {"--version"}, 0);
    report("korvanta status", {"status"}, 0);
    report("korvanta edid write (with verify)", {"-q", "edid", "write", edid},
           kWritePausesMs + kVerifyPausesMs);
    return 0;
}
