// KORVANTA_SIM_FAULTS: each knob as the link meets it, the held-back start,
// and lists that are refused whole.
#include "TestPlatform.h"
#include "link/Backend.h"
#include "link/UsbLink.h"
#include "sim/SimFaults.h"

#include <QtTest>

namespace {

// One transaction as "<result>/<bytes received> <first byte>[ busy]".
QString exchange(const QString& request, int expected) {
    const QByteArray bytes = QByteArray::fromHex(request.toLatin1());
    std::uint8_t reply[kReplyBufferSize] = {};
    int received = 0;
    const bool ok = transact(reply, reinterpret_cast<const std::uint8_t*>(bytes.data()), expected,
                             int(bytes.size()), &received);
    QString out = QString("%1/%2").arg(ok ? "true" : "false").arg(received);
    if (received > 0)
        out += QString::asprintf(" %02X", reply[0]);
    if (received > 1 && reply[0] == 0xE1 && (reply[1] & 0x01))
        out += " busy";
    return out;
}

// What a short session shows: discovery, a values read, a register read, a
// setting write, the close, and the boxes the user had to click away (a run
// of the same box counted once).
QString session() {
    QStringList steps;
    if (!findDevice(appState.productString, &appState.deviceIndex))
        steps << "not found";
    else if (!openDevice(appState.deviceIndex))
        steps << "not opened";
    else
        steps << exchange("11 2A E1", 42) << exchange("11 0E E0 06", 14)
              << exchange("10 04 E0 00 02", 2);
    closeDevice();
    auto& dialogs = static_cast<ScriptedDialogs&>(*platform().dialogs);
    QStringList boxes;
    for (const QString& text : dialogs.texts())
        if (boxes.isEmpty() || boxes.last() != text)
            boxes << text;
    return steps.join(" | ") + (boxes.isEmpty() ? "" : " ! " + boxes.join(" ! "));
}

} // namespace

class SimFaultsTest : public QObject {
    Q_OBJECT

private slots:
    void knobReachesTheLink_data();
    void knobReachesTheLink();
    void badListIsRefusedWhole_data();
    void badListIsRefusedWhole();
    void environmentReachesTheSimulator();
};

void SimFaultsTest::knobReachesTheLink_data() {
    QTest::addColumn<QString>("knobs");
    QTest::addColumn<QString>("seen");
    const QString normal = "true/42 E1 | true/14 E0 | true/2 E0";
    QTest::newRow("none") << "" << normal;
    QTest::newRow("silent") << "silent"
                            << "true/0 | true/0 | true/0";
    QTest::newRow("short-reply") << "short-reply"
                                 << "false/1 E1 | false/1 E0 | false/1 E0";
    QTest::newRow("wrong-ack") << "wrong-ack"
                               << "true/42 E2 | true/14 E1 | true/2 E1";
    QTest::newRow("busy=3") << "busy=3"
                            << "true/42 E1 busy | true/14 E0 | true/2 E0";
    QTest::newRow("refuse=E0") << "refuse=E0"
                               << "true/42 E1 | false/2 EE | true/2 EE";
    QTest::newRow("refuse twice") << "refuse=0xe0, refuse=E1"
                                  << "false/2 EE | false/2 EE | true/2 EE";
    QTest::newRow("refuse-register=6") << "refuse-register=6"
                                       << "true/42 E1 | false/2 EE | "
                                          "true/2 E0";
    QTest::newRow("refuse-register=0x07") << "refuse-register=0x07" << normal;
    QTest::newRow("fail-write") << "fail-write"
                                << "false/0 | false/0 | false/0";
    QTest::newRow("fail-read") << "fail-read"
                               << "false/0 | false/0 | false/0";
    QTest::newRow("fail-queue-check") << "fail-queue-check"
                                      << "false/0 | false/0 | false/0 ! Error Checking RX Queue";
    QTest::newRow("fail-open") << "fail-open"
                               << "not opened ! Usb device open error!";
    QTest::newRow("fail-close") << "fail-close" << normal + " ! Unable to close device handle!";
    QTest::newRow("fail-count") << "fail-count"
                                << "not found ! KORVANTA USB not connected!";
    QTest::newRow("extra-device=ABCD") << "extra-device=ABCD" << normal;
    // Found first, it takes the requests and never answers.
    QTest::newRow("extra-device=2023") << "extra-device=2023"
                                       << "true/0 | true/0 | true/0";
    QTest::newRow("after=2,silent") << "after=2,silent"
                                    << "true/42 E1 | true/14 E0 | true/0";
    QTest::newRow("silent,after=3") << "silent,after=3" << normal;
    QTest::newRow("after=3,fail-close")
        << "after=3,fail-close" << normal + " ! Unable to close device handle!";
    QTest::newRow("fail-open held back") << "fail-open,after=1" << normal;
    QTest::newRow("fail-count held back") << "after=1,fail-count" << normal;
}

void SimFaultsTest::knobReachesTheLink() {
    QFETCH(QString, knobs);
    QFETCH(QString, seen);
    TestPlatform t;
    SimFaults faults;
    std::string complaint;
    QVERIFY2(parseSimFaults(knobs.toStdString(), &faults, &complaint), complaint.c_str());
    applySimFaults(faults, &t.usb);
    QCOMPARE(session(), seen);
}

void SimFaultsTest::badListIsRefusedWhole_data() {
    QTest::addColumn<QString>("knobs");
    QTest::addColumn<QString>("problem");
    QTest::newRow("unknown") << "silent,loud"
                             << "\"loud\" is not a knob";
    QTest::newRow("wrong case") << "Silent"
                                << "\"Silent\" is not a knob";
    QTest::newRow("empty item") << "silent,,wrong-ack"
                                << "\"\" is not a knob";
    QTest::newRow("trailing comma") << "silent,"
                                    << "\"\" is not a knob";
    QTest::newRow("value on a flag") << "silent=1"
                                     << "silent takes no value";
    QTest::newRow("count missing") << "busy"
                                   << "busy needs a whole number";
    QTest::newRow("count empty") << "silent,busy="
                                 << "busy needs a whole number";
    QTest::newRow("count not a number") << "after=ten"
                                        << "after needs a whole number";
    QTest::newRow("count negative") << "busy=-1"
                                    << "busy needs a whole number";
    QTest::newRow("count too large") << "after=99999999"
                                     << "after needs a whole number";
    QTest::newRow("code too long") << "refuse=E00"
                                   << "refuse needs a command code";
    QTest::newRow("code not hex") << "refuse=G1"
                                  << "refuse needs a command code";
    QTest::newRow("register too large") << "refuse-register=256"
                                        << "refuse-register needs";
    QTest::newRow("register in bad hex") << "refuse-register=0xZZ"
                                         << "refuse-register needs";
    QTest::newRow("serial missing") << "extra-device="
                                    << "extra-device needs a serial string";
}

void SimFaultsTest::badListIsRefusedWhole() {
    QFETCH(QString, knobs);
    QFETCH(QString, problem);
    SimFaults faults;
    std::string complaint;
    QVERIFY(!parseSimFaults(knobs.toStdString(), &faults, &complaint));
    const QString said = QString::fromStdString(complaint);
    QVERIFY2(said.contains(problem), qPrintable(said));
    QVERIFY2(said.contains(kSimFaultKnobs), qPrintable(said));
    QVERIFY(said.contains("without faults"));
    // Nothing of the list was taken, not even the good knobs before the bad one.
    QVERIFY(!faults.silent);
    QCOMPARE(faults.busyReads, 0);
}

void SimFaultsTest::environmentReachesTheSimulator() {
    struct Case {
        const char* knobs;
        bool silent;
        bool warned;
    };
    for (const Case& c :
         {Case{"silent", true, false}, Case{"silent,bogus", false, true}, Case{"", false, false}}) {
        qputenv("KORVANTA_SIM_FAULTS", c.knobs);
        std::string warnings, error;
        std::unique_ptr<UsbLibrary> usb =
            makeUsbLibrary(LinkChoice{LinkKind::Simulator, {}}, &warnings, &error);
        qunsetenv("KORVANTA_SIM_FAULTS");
        QVERIFY(usb);
        QCOMPARE(static_cast<SimUsbLibrary&>(*usb).device.silent, c.silent);
        QCOMPARE(warnings.empty(), !c.warned);
        if (c.warned)
            QVERIFY(warnings.find("\"bogus\" is not a knob") != std::string::npos);
    }
}

QTEST_GUILESS_MAIN(SimFaultsTest)
#include "tst_core_simfaults.moc"
