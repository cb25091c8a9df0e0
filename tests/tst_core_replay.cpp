// Reading a trace back, the replay link that answers from it, and the choice
// of link by name.
#include "TestPlatform.h"
#include "link/ReplayUsbLibrary.h"
#include "link/Trace.h"
#include "link/UsbLink.h"
#include "session/Backend.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString described(const std::vector<TraceEntry>& entries) {
    QStringList out;
    for (const TraceEntry& e : entries)
        out << QString("%1 [%2] [%3] %4")
                   .arg(e.ms)
                   .arg(QString::fromStdString(hexBytes(e.request)),
                        QString::fromStdString(hexBytes(e.reply)), e.result ? "true" : "false");
    return out.join(" / ");
}

// "<result>/<received> <reply bytes>" of one transaction.
QString exchange(const char* request, int expected) {
    const QByteArray bytes = QByteArray::fromHex(request);
    std::uint8_t reply[kReplyBufferSize] = {};
    int received = 0;
    const bool ok = transact(reply, reinterpret_cast<const std::uint8_t*>(bytes.data()), expected,
                             int(bytes.size()), &received);
    return QString("%1/%2 %3")
        .arg(ok ? "true" : "false")
        .arg(received)
        .arg(QString::fromStdString(hexBytes({reply, reply + received})));
}

std::vector<TraceEntry> parsed(const char* text) {
    std::vector<TraceEntry> entries;
    std::string error;
    if (!parseTrace(text, &entries, &error))
        qWarning("%s", error.c_str());
    return entries;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

class ReplayTest : public QObject {
    Q_OBJECT

private slots:
    void parseTrace_data();
    void parseTrace();
    void writtenLinesReadBack();
    void headerLineComesFirstOnEachOpen();
    void traceHeaderNamesTheRecorder();
    void answersInRecordedOrder();
    void traceWithoutRepliesHasNoDevice_data();
    void traceWithoutRepliesHasNoDevice();
    void unusableTraceFile();
    void parseLinkName_data();
    void parseLinkName();
};

void ReplayTest::parseTrace_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("entries"); // or "error: " and the reason
    QTest::newRow("lines and comments")
        << "# KORVANTA_GUI 1.9 (standard) link=simulator 2026-01-01T00:00:00Z\n"
           "0\t11 2A E1\tE1 00\ttrue\n# a note\n\n15\t10 04 E0 00 02\t\tfalse\n"
        << "0 [11 2A E1] [E1 00] true / 15 [10 04 E0 00 02] [] false";
    QTest::newRow("Windows line ends, no last newline")
        << "# h\r\n7\t11 0E E0 06\te0 01\ttrue\r\n8\tB0\t\ttrue"
        << "7 [11 0E E0 06] [E0 01] true / 8 [B0] [] true";
    QTest::newRow("comments only") << "# nothing happened\n"
                                   << "";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("three fields") << "# h\n1\t11 2A E1\ttrue\n"
                                  << "error: line 2: expected four fields";
    QTest::newRow("time not a number") << "x\t11\t\ttrue"
                                       << "error: line 1: the time";
    QTest::newRow("negative time") << "-1\t11\t\ttrue"
                                   << "error: line 1: the time";
    QTest::newRow("no request") << "1\t\tE1\ttrue"
                                << "error: line 1: the request";
    QTest::newRow("odd digit") << "1\t11 2\t\ttrue"
                               << "error: line 1: the request";
    QTest::newRow("two spaces") << "1\t11  2A\t\ttrue"
                                << "error: line 1: the request";
    QTest::newRow("bytes run together") << "1\t112A\t\ttrue"
                                        << "error: line 1: the request";
    QTest::newRow("trailing space in reply") << "1\t11\tE1 \ttrue"
                                             << "error: line 1: the reply";
    QTest::newRow("not hex") << "1\t11\tG1\ttrue"
                             << "error: line 1: the reply";
    QTest::newRow("result word") << "1\t11\t\tyes"
                                 << "error: line 1: the result";
    QTest::newRow("fifth field") << "1\t11\t\ttrue\tmore"
                                 << "error: line 1: the result";
    QTest::newRow("comment not at the start") << " # h"
                                              << "error: line 1: expected four fields";
}

void ReplayTest::parseTrace() {
    QFETCH(QString, text);
    QFETCH(QString, entries);
    std::vector<TraceEntry> got;
    std::string error;
    const bool ok = ::parseTrace(text.toStdString(), &got, &error);
    const QString result = ok ? described(got) : "error: " + QString::fromStdString(error);
    // An error is checked up to the reason; the words after it may change.
    QVERIFY2(entries.startsWith("error: ") ? result.startsWith(entries) : result == entries,
             qPrintable(result));
}

void ReplayTest::writtenLinesReadBack() {
    const std::uint8_t request[] = {0x10, 0x0A, 0xB0, 0x00, 0xFF, 0x0A};
    const std::uint8_t reply[] = {0xB0, 0x00};
    const std::string lines = Trace::formatLine(4000000000u, request, 6, reply, 2, true) +
                              Trace::formatLine(3, request, 3, reply, 0, false);
    QCOMPARE(described(parsed(lines.c_str())),
             QString("4000000000 [10 0A B0 00 FF 0A] [B0 00] true / 3 [10 0A B0] [] false"));
}

void ReplayTest::headerLineComesFirstOnEachOpen() {
    QTemporaryDir dir;
    const std::string path = dir.filePath("t.log").toStdString();
    const std::uint8_t request[] = {0x11, 0x2A, 0xE1};
    for (int run = 0; run < 2; ++run) {
        Trace trace(path, 100, "# run " + std::to_string(run));
        trace.record(105, request, 3, request, 0, true);
    }
    QFile file(QString::fromStdString(path));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(),
             QByteArray("# run 0\n5\t11 2A E1\t\ttrue\n# run 1\n5\t11 2A E1\t\ttrue\n"));
    std::vector<TraceEntry> entries;
    std::string error;
    QVERIFY(readTraceFile(path, &entries, &error));
    QCOMPARE(entries.size(), std::size_t(2));
}

void ReplayTest::traceHeaderNamesTheRecorder() {
    const QString header =
        QString::fromStdString(traceHeader("korvanta", "standard", "replay:/tmp/a b.log"));
    static const QRegularExpression form(
        R"(^# korvanta \d+\.\d+(\.\d+)* \(standard\) link=replay:/tmp/a b\.log )"
        R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$)");
    QVERIFY2(form.match(header).hasMatch(), qPrintable(header));
}

void ReplayTest::answersInRecordedOrder() {
    ReplayUsbLibrary replay(parsed("# recorded\n"
                                   "0\t11 2A E1\tE1 01 05\ttrue\n"
                                   "1\t11 0E E0 06\tE0 00 61\ttrue\n"
                                   "2\t11 2A E1\tE1 00 06\ttrue\n"
                                   "3\t10 04 E0 00 02\tE0\tfalse\n"
                                   "4\t10 04 E0 00 03\t\tfalse\n"
                                   "5\t11 1F E0 1F\t\ttrue\n"));
    TestPlatform t;
    platform().usb = &replay;
    QVERIFY(findDevice(appState.productString, &appState.deviceIndex));
    QVERIFY(openDevice(appState.deviceIndex));
    QCOMPARE(exchange("11 2A E1", 3), QString("true/3 E1 01 05"));
    QCOMPARE(exchange("11 2A E1", 3), QString("true/3 E1 00 06"));
    // The last recorded reply, once they have all been used.
    QCOMPARE(exchange("11 2A E1", 3), QString("true/3 E1 00 06"));
    QCOMPARE(exchange("11 0E E0 06", 3), QString("true/3 E0 00 61"));
    QCOMPARE(exchange("10 04 E0 00 02", 2), QString("false/1 E0"));
    // Recorded as failing with nothing back: it fails again.
    QCOMPARE(exchange("10 04 E0 00 03", 2), QString("false/0 "));
    // Recorded silence, and a request the recording never made: no reply.
    QCOMPARE(exchange("11 1F E0 1F", 31), QString("true/0 "));
    QCOMPARE(exchange("11 1F E0 15", 31), QString("true/0 "));
    closeDevice();
    QVERIFY(t.dialogs.shown.empty());
}

void ReplayTest::traceWithoutRepliesHasNoDevice_data() {
    QTest::addColumn<QString>("trace");
    QTest::addColumn<bool>("found");
    QTest::newRow("header only") << "# KORVANTA_GUI 1.9 (standard) link=usb x\n" << false;
    QTest::newRow("requests without a device") << "0\t10 04 E0 00 02\t\ttrue\n" << false;
    QTest::newRow("one reply") << "0\t10 04 E0 00 02\t\ttrue\n1\t11 2A E1\tE1\tfalse\n" << true;
}

void ReplayTest::traceWithoutRepliesHasNoDevice() {
    QFETCH(QString, trace);
    QFETCH(bool, found);
    ReplayUsbLibrary replay(parsed(trace.toLatin1().constData()));
    TestPlatform t;
    platform().usb = &replay;
    QCOMPARE(findDevice(appState.productString, &appState.deviceIndex), found);
    QCOMPARE(t.dialogs.texts(), found ? QStringList{} : QStringList{"KORVANTA USB not connected!"});
}

void ReplayTest::unusableTraceFile() {
    QTemporaryDir dir;
    const QString good = dir.filePath("good.log");
    const QString bad = dir.filePath("bad.log");
    writeFile(good, "# h\n0\t11 2A E1\tE1 00\ttrue\n");
    writeFile(bad, "# h\n0\t11 2A E1\tE1 00\ttrue\nnot a trace line\n");
    struct Case {
        QString path;
        QString error; // empty: loads
    };
    for (const Case& c : {Case{good, ""}, Case{bad, bad + " is not one the program wrote: line 3"},
                          Case{dir.filePath("missing.log"), "cannot read the trace"}}) {
        std::string warnings, error;
        const std::unique_ptr<UsbLibrary> usb =
            makeUsbLibrary(LinkChoice{LinkKind::Replay, c.path.toStdString()}, &warnings, &error);
        QCOMPARE(usb == nullptr, !c.error.isEmpty());
        QVERIFY2(QString::fromStdString(error).contains(c.error), error.c_str());
        QVERIFY(warnings.empty());
    }
}

void ReplayTest::parseLinkName_data() {
    QTest::addColumn<QString>("link");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("path");
    QTest::newRow("usb") << "usb" << true << int(LinkKind::Usb) << "";
    QTest::newRow("simulator") << "simulator" << true << int(LinkKind::Simulator) << "";
    QTest::newRow("replay") << "replay:/tmp/a b.log" << true << int(LinkKind::Replay)
                            << "/tmp/a b.log";
    QTest::newRow("replay of a relative name")
        << "replay:t.log" << true << int(LinkKind::Replay) << "t.log";
    QTest::newRow("replay without a file") << "replay:" << false << 0 << "";
    QTest::newRow("capitals") << "Replay:t.log" << false << 0 << "";
    QTest::newRow("short name") << "sim" << false << 0 << "";
    QTest::newRow("empty") << "" << false << 0 << "";
}

void ReplayTest::parseLinkName() {
    QFETCH(QString, link);
    QFETCH(bool, ok);
    QFETCH(int, kind);
    QFETCH(QString, path);
    LinkChoice choice{LinkKind::Simulator, "before"};
    std::string complaint;
    QCOMPARE(::parseLinkName(link.toStdString(), &choice, &complaint), ok);
    if (!ok) {
        for (const char* accepted : {"\"usb\"", "\"simulator\"", "\"replay:FILE\""})
            QVERIFY2(complaint.find(accepted) != std::string::npos, complaint.c_str());
        QCOMPARE(choice.replayPath, std::string("before"));
        return;
    }
    QCOMPARE(int(choice.kind), kind);
    QCOMPARE(QString::fromStdString(choice.replayPath), path);
    QCOMPARE(QString::fromStdString(linkName(choice)), link);
}

QTEST_GUILESS_MAIN(ReplayTest)
#include "tst_core_replay.moc"
