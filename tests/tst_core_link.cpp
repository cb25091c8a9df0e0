// The USB link above the library: discovery, open/close, and the transaction.
#include "TestPlatform.h"
#include "link/LogText.h"
#include "link/Protocol.h"
#include "link/ReplayUsbLibrary.h"
#include "link/Trace.h"
#include "link/UsbLink.h"
#include "session/Backend.h"

#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cstring>

namespace {
const std::uint8_t kValuesRequest[3] = {0x11, 0x2A, 0xE1};

int countCalls(const SimUsbLibrary& usb, const char* name) {
    return static_cast<int>(std::count(usb.calls.begin(), usb.calls.end(), name));
}
} // namespace

class LinkTest : public QObject {
    Q_OBJECT

private slots:
    void findDevice_data();
    void findDevice();
    void findDeviceFailingCountShowsMessageOnce();
    void openFailureLeavesNoHandle();
    void closeClosesOnceAndReportsFailure();
    void noDeviceTransactTouchesNothing();
    void replyIsCopiedAndCounted();
    void shortReplyFailsAndKeepsItsBytes();
    void longerReplyIsAcceptedWhole();
    void silentDeviceReturnsTrueAfterTheWindow();
    void windowCountsFromBeforeTheWrite();
    void silentWaitSleepsOnEveryBackend();
    void failedWriteSkipsTheRead();
    void failedQueueChecksWarnEachTimeAndFail();
    void failedReadFails();
    void silenceWatchSeesOnlySentRequestsWithoutReply_data();
    void silenceWatchSeesOnlySentRequestsWithoutReply();
    void timeoutsAreRestoredAndUsedDuringTheCall();
    void inTransactionIsSetOnlyDuringTheCall();
    void traceRecordsEachTransaction();
    void traceOnUnwritablePathStaysOff();
    void linkKindFromEnvironment();
    void logTextEscapesAndCuts_data();
    void logTextEscapesAndCuts();
};

// Outside text in a log line can neither start a line of its own nor steer
// the terminal, and a huge one is cut with its length said.
void LinkTest::logTextEscapesAndCuts_data() {
    QTest::addColumn<QByteArray>("outside");
    QTest::addColumn<QByteArray>("logged");
    QTest::newRow("plain") << QByteArray("matrix-swap") << QByteArray("matrix-swap");
    QTest::newRow("forged line") << QByteArray("b\nkorvanta serve: device sim-1 lost\r")
                                 << QByteArray("b\\x0Akorvanta serve: device sim-1 lost\\x0D");
    QTest::newRow("terminal escape") << QByteArray("\x1b[2J\x9b"
                                                   "1m")
                                     << QByteArray("\\x1B[2J\\x9B1m");
    QTest::newRow("backslash kept apart") << QByteArray("a\\x0A") << QByteArray("a\\\\x0A");
    QTest::newRow("utf-8 passes, C1 does not")
        << QByteArray("caf\xc3\xa9 \xc2\x9b") << QByteArray("caf\xc3\xa9 \\xC2\\x9B");
    QTest::newRow("cut") << QByteArray(1 << 20, 'x')
                         << QByteArray(int(kLogTextLimit), 'x') + "... (1048576 bytes)";
}

void LinkTest::logTextEscapesAndCuts() {
    QFETCH(QByteArray, outside);
    QFETCH(QByteArray, logged);
    QCOMPARE(QByteArray::fromStdString(logText(outside.toStdString())), logged);
}

void LinkTest::findDevice_data() {
    QTest::addColumn<QStringList>("serials");
    QTest::addColumn<QList<int>>("failingStrings");
    QTest::addColumn<bool>("found");
    QTest::addColumn<int>("index");

    QTest::newRow("only device") << QStringList{"2023"} << QList<int>{} << true << 0;
    QTest::newRow("second of two") << QStringList{"ABCD", "2023"} << QList<int>{} << true << 1;
    QTest::newRow("first match wins") << QStringList{"2023", "2023"} << QList<int>{} << true << 0;
    QTest::newRow("failing string skipped")
        << QStringList{"2023", "2023"} << QList<int>{0} << true << 1;
    QTest::newRow("one character more") << QStringList{"20234"} << QList<int>{} << false << 0;
    QTest::newRow("one character fewer") << QStringList{"202"} << QList<int>{} << false << 0;
    QTest::newRow("no devices") << QStringList{} << QList<int>{} << false << 0;
}

void LinkTest::findDevice() {
    QFETCH(QStringList, serials);
    QFETCH(QList<int>, failingStrings);
    QFETCH(bool, found);
    QFETCH(int, index);

    TestPlatform t;
    t.usb.serials.clear();
    for (const QString& s : serials)
        t.usb.serials.push_back(s.toStdString());
    for (int i : failingStrings)
        t.usb.failingStringIndexes.insert(static_cast<std::uint32_t>(i));
    appState.deviceIndex = 7;
    appState.deviceHandle = 1234;

    QCOMPARE(::findDevice(appState.productString, &appState.deviceIndex), found);
    QCOMPARE(appState.deviceHandle, kNoDevice);
    if (found) {
        QCOMPARE(appState.deviceIndex, std::uint32_t(index));
        QVERIFY(t.dialogs.shown.empty());
    } else {
        QCOMPARE(appState.deviceIndex, std::uint32_t(7));
        QCOMPARE(t.dialogs.texts(), QStringList{"KORVANTA USB not connected!"});
        QCOMPARE(t.dialogs.shown[0].kind, QString("usb"));
        QCOMPARE(t.dialogs.shown[0].title, QString(" "));
    }
}

void LinkTest::findDeviceFailingCountShowsMessageOnce() {
    TestPlatform t;
    t.usb.failDeviceCount = true;
    QVERIFY(!::findDevice("2023", &appState.deviceIndex));
    QCOMPARE(t.dialogs.texts(), QStringList{"KORVANTA USB not connected!"});
    QCOMPARE(countCalls(t.usb, "getProductString"), 0);
}

void LinkTest::openFailureLeavesNoHandle() {
    TestPlatform t;
    t.usb.failOpen = true;
    QVERIFY(!openDevice(0));
    QCOMPARE(appState.deviceHandle, kNoDevice);
    QCOMPARE(t.dialogs.texts(), QStringList{"Usb device open error!"});

    t.usb.failOpen = false;
    QVERIFY(openDevice(0));
    QVERIFY(appState.deviceHandle != kNoDevice);
}

void LinkTest::closeClosesOnceAndReportsFailure() {
    TestPlatform t;
    closeDevice(); // nothing open: no call, no message
    QCOMPARE(countCalls(t.usb, "close"), 0);

    QVERIFY(openDevice(0));
    closeDevice();
    closeDevice();
    QCOMPARE(countCalls(t.usb, "close"), 1);
    QCOMPARE(t.usb.closeCount, 1);
    QVERIFY(t.dialogs.shown.empty());

    QVERIFY(openDevice(0));
    t.usb.failClose = true;
    closeDevice();
    QCOMPARE(appState.deviceHandle, kNoDevice);
    QCOMPARE(t.dialogs.texts(), QStringList{"Unable to close device handle!"});
}

void LinkTest::noDeviceTransactTouchesNothing() {
    TestPlatform t;
    std::uint8_t reply[kReplyBufferSize];
    std::memset(reply, 0x5A, sizeof reply);
    int received = -1;
    QVERIFY(transact(reply, kValuesRequest, 42, 3, &received));
    QVERIFY(t.usb.calls.empty());
    QCOMPARE(received, 0);
    QVERIFY(std::all_of(reply, reply + kReplyBufferSize, [](std::uint8_t b) { return b == 0x5A; }));
    QCOMPARE(appState.inTransaction, std::uint8_t(0));
}

void LinkTest::replyIsCopiedAndCounted() {
    TestPlatform t;
    t.openDirectly();
    std::uint8_t reply[kReplyBufferSize] = {};
    int received = 0;
    QVERIFY(transact(reply, kValuesRequest, 42, 3, &received));
    QCOMPARE(received, 42);
    QCOMPARE(reply[0], std::uint8_t(0xE1));
    QCOMPARE(reply[2], t.device().settings[0]);
    QCOMPARE(hexRequests(t.requests()), std::vector<std::string>{"11 2A E1"});
    // Flush first, then the write, then the wait.
    const auto flush = std::find(t.usb.calls.begin(), t.usb.calls.end(), "flushBuffers");
    const auto write = std::find(t.usb.calls.begin(), t.usb.calls.end(), "write");
    QVERIFY(flush < write);
}

void LinkTest::shortReplyFailsAndKeepsItsBytes() {
    TestPlatform t;
    t.openDirectly();
    t.device().shortReply = 1;
    std::uint8_t reply[kReplyBufferSize] = {};
    const std::uint8_t request[5] = {0x10, 0x04, 0xE0, 0x09, 0x01};
    QVERIFY(!transact(reply, request, 2, 5));
    QCOMPARE(reply[0], std::uint8_t(0xE0));
    QCOMPARE(reply[1], std::uint8_t(0));
}

void LinkTest::longerReplyIsAcceptedWhole() {
    TestPlatform t;
    t.openDirectly();
    std::uint8_t reply[kReplyBufferSize] = {};
    int received = 0;
    QVERIFY(transact(reply, kValuesRequest, 2, 3, &received));
    QCOMPARE(received, 42);
    QCOMPARE(reply[41], t.device().settings[39]);
}

void LinkTest::silentDeviceReturnsTrueAfterTheWindow() {
    TestPlatform t;
    t.openDirectly();
    t.device().silent = true;
    std::uint8_t reply[kReplyBufferSize];
    std::memset(reply, 0x77, sizeof reply);
    const std::uint32_t start = t.clock.now();
    int received = -1;
    QVERIFY(transact(reply, kValuesRequest, 42, 3, &received));
    const std::uint32_t elapsed = t.clock.now() - start;
    QVERIFY2(elapsed >= kReplyWindowMs && elapsed <= kReplyWindowMs + 5,
             qPrintable(QString::number(elapsed)));
    QCOMPARE(received, 0);
    QCOMPARE(countCalls(t.usb, "read"), 0);
    QVERIFY(std::all_of(reply, reply + kReplyBufferSize, [](std::uint8_t b) { return b == 0x77; }));
}

void LinkTest::silentWaitSleepsOnEveryBackend() {
    // Waiting out a silent device must be spent asleep, not polling: on a
    // real clock a polling wait holds a whole core for the reply window.
    for (const bool replayed : {false, true}) {
        TestPlatform t;
        std::vector<TraceEntry> recording(1);
        recording[0].request = {0x11, 0x0E, 0xE0, 0x06};
        recording[0].reply = {0xE0, 0x00};
        ReplayUsbLibrary replay(recording);
        if (replayed)
            platform().usb = &replay;
        else
            t.device().silent = true;
        QVERIFY(::findDevice(appState.productString, &appState.deviceIndex));
        QVERIFY(openDevice(appState.deviceIndex));
        const std::uint32_t start = t.clock.now();
        const std::uint64_t sleptBefore = t.clock.totalSlept();
        std::uint8_t reply[kReplyBufferSize] = {};
        QVERIFY(transact(reply, kValuesRequest, 42, 3));
        const std::uint32_t elapsed = t.clock.now() - start;
        QVERIFY2(elapsed >= kReplyWindowMs && elapsed <= kReplyWindowMs + 5,
                 qPrintable(QString::number(elapsed)));
        QVERIFY2(t.clock.totalSlept() - sleptBefore >= kReplyWindowMs / 2,
                 qPrintable(QString::number(t.clock.totalSlept() - sleptBefore)));
        closeDevice();
    }
}

void LinkTest::windowCountsFromBeforeTheWrite() {
    // The window is measured from before the flush, and the tick counter wraps.
    TestPlatform t;
    t.clock = VirtualClock(0xFFFFFF00u, 1);
    t.openDirectly();
    t.device().silent = true;
    std::uint8_t reply[kReplyBufferSize] = {};
    QVERIFY(transact(reply, kValuesRequest, 42, 3));
    const std::uint32_t elapsed = t.clock.now() - 0xFFFFFF00u;
    QVERIFY(elapsed >= kReplyWindowMs && elapsed <= kReplyWindowMs + 5);
}

void LinkTest::failedWriteSkipsTheRead() {
    TestPlatform t;
    t.openDirectly();
    t.usb.failWrite = true;
    std::uint8_t reply[kReplyBufferSize] = {};
    QVERIFY(!transact(reply, kValuesRequest, 42, 3));
    QCOMPARE(countCalls(t.usb, "checkRxQueue"), 0);
    QCOMPARE(countCalls(t.usb, "read"), 0);
    QVERIFY(t.dialogs.shown.empty());
}

void LinkTest::failedQueueChecksWarnEachTimeAndFail() {
    TestPlatform t;
    t.openDirectly();
    t.usb.failQueueChecks = 3;
    std::uint8_t reply[kReplyBufferSize] = {};
    QVERIFY(!transact(reply, kValuesRequest, 42, 3));
    QCOMPARE(t.dialogs.count("Error Checking RX Queue"), 3);
    // The wait ended on the queued reply, but no read follows a failed check.
    QCOMPARE(countCalls(t.usb, "read"), 0);
    QCOMPARE(reply[0], std::uint8_t(0));
}

void LinkTest::failedReadFails() {
    TestPlatform t;
    t.openDirectly();
    t.usb.failRead = true;
    std::uint8_t reply[kReplyBufferSize] = {};
    QVERIFY(!transact(reply, kValuesRequest, 42, 3));
}

void LinkTest::silenceWatchSeesOnlySentRequestsWithoutReply_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("silent");
    QTest::newRow("answers") << "" << false;
    QTest::newRow("no reply in the window") << "silent" << true;
    QTest::newRow("queue check fails") << "fail-queue-check" << true;
    QTest::newRow("read fails") << "fail-read" << true;
    // One byte is an answer, however short; a flow may go on asking.
    QTest::newRow("short reply") << "short-reply" << false;
    // The library refused to send: nothing was waited for.
    QTest::newRow("write fails") << "fail-write" << false;
    QTest::newRow("no device open") << "closed" << false;
}

void LinkTest::silenceWatchSeesOnlySentRequestsWithoutReply() {
    QFETCH(QString, fault);
    QFETCH(bool, silent);

    TestPlatform t;
    if (fault != "closed")
        t.openDirectly();
    t.device().silent = fault == "silent";
    t.device().shortReply = fault == "short-reply" ? 1 : -1;
    t.usb.failQueueChecks = fault == "fail-queue-check" ? -1 : 0;
    t.usb.failRead = fault == "fail-read";
    t.usb.failWrite = fault == "fail-write";
    std::uint8_t reply[kReplyBufferSize] = {};
    const SilenceWatch before;
    transact(reply, kValuesRequest, 42, 3);
    QCOMPARE(before.deviceSilent(), silent);
    // A watch made afterwards starts clean.
    QVERIFY(!SilenceWatch().deviceSilent());
}

void LinkTest::timeoutsAreRestoredAndUsedDuringTheCall() {
    TestPlatform t;
    t.openDirectly();
    t.usb.readTimeoutMs = 123;
    t.usb.writeTimeoutMs = 456;
    std::uint8_t reply[kReplyBufferSize] = {};
    QVERIFY(transact(reply, kValuesRequest, 42, 3));
    QCOMPARE(t.usb.readTimeoutMs, 123u);
    QCOMPARE(t.usb.writeTimeoutMs, 456u);
    QCOMPARE(t.usb.lastWriteTimeout, kWriteTimeoutMs);
    QCOMPARE(t.usb.lastReadTimeout, kReadTimeoutMs);
}

namespace {
// Looks at inTransaction from inside the library, as a nested event loop would.
class WatchingLibrary : public SimUsbLibrary {
public:
    int write(DeviceHandle h, const std::uint8_t* b, std::uint32_t c, std::uint32_t* w) override {
        seen = appState.inTransaction;
        return SimUsbLibrary::write(h, b, c, w);
    }
    std::uint8_t seen = 0;
};
} // namespace

void LinkTest::inTransactionIsSetOnlyDuringTheCall() {
    TestPlatform t;
    WatchingLibrary watching;
    platform().usb = &watching;
    watching.open(0, &appState.deviceHandle);
    std::uint8_t reply[kReplyBufferSize] = {};
    QVERIFY(transact(reply, kValuesRequest, 42, 3));
    QCOMPARE(watching.seen, std::uint8_t(1));
    QCOMPARE(appState.inTransaction, std::uint8_t(0));
}

void LinkTest::traceRecordsEachTransaction() {
    QTemporaryDir dir;
    const QString path = dir.filePath("t.log");
    TestPlatform t;
    Trace trace(path.toStdString(), t.clock.now());
    QVERIFY(trace.isOpen());
    platform().trace = &trace;
    std::uint8_t reply[kReplyBufferSize] = {};
    const std::uint8_t request[4] = {0x11, 0x08, 0xE0, 0x07};
    QVERIFY(transact(reply, request, 8, 4)); // no device open: nothing comes back
    t.openDirectly();
    QVERIFY(transact(reply, request, 8, 4));
    t.device().silent = true;
    QVERIFY(transact(reply, request, 8, 4));
    platform().trace = nullptr;

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QStringList lines = QString::fromLatin1(file.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines.takeFirst().section('\t', 1), QString("11 08 E0 07\t\ttrue"));
    const QStringList first = lines[0].split('\t');
    QCOMPARE(first.size(), 4);
    QCOMPARE(first[1], QString("11 08 E0 07"));
    QCOMPARE(first[2], QString("E0 00 01 09 00 03 00 00"));
    QCOMPARE(first[3], QString("true"));
    const QStringList second = lines[1].split('\t');
    QCOMPARE(second[2], QString());
    QVERIFY(second[0].toUInt() >= first[0].toUInt() + kReplyWindowMs);
}

void LinkTest::traceOnUnwritablePathStaysOff() {
    Trace trace("/nonexistent-dir/for/sure/t.log", 0);
    QVERIFY(!trace.isOpen());
    const std::uint8_t b[1] = {0x11};
    trace.record(5, b, 1, b, 1, true); // must not crash
}

void LinkTest::linkKindFromEnvironment() {
    std::string complaint;
    QCOMPARE(::linkKindFromEnvironment(nullptr, &complaint), LinkKind::Usb);
    QCOMPARE(::linkKindFromEnvironment("simulator", &complaint), LinkKind::Simulator);
    QCOMPARE(::linkKindFromEnvironment("usb", &complaint), LinkKind::Usb);
    QVERIFY(complaint.empty());
    QCOMPARE(::linkKindFromEnvironment("Simulator", &complaint), LinkKind::Usb);
    QVERIFY(complaint.find("\"simulator\"") != std::string::npos);
    QVERIFY(complaint.find("\"usb\"") != std::string::npos);
}

QTEST_GUILESS_MAIN(LinkTest)
#include "tst_core_link.moc"
