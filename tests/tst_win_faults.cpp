// Each KORVANTA_SIM_FAULTS knob as a user of the window meets it: the boxes
// that pop up, the status bar, and what the window fills in.
#include "WindowHarness.h"
#include "link/UsbLink.h"
#include "sim/SimFaults.h"

#include <QtTest>

namespace {

QString orDash(const QString& text) {
    return text.isEmpty() ? "-" : text;
}

// Boxes in the order they came, a run of the same one counted once.
QString boxes(const ScriptedDialogs& dialogs) {
    QStringList out;
    for (const QString& text : dialogs.texts())
        if (out.isEmpty() || out.last() != text)
            out << text;
    return orDash(out.join(" + "));
}

// Start-up, one setting changed, the window closed; what each step showed.
// The start line tells the firmware label, the EDID box, whether the
// readback set the controls, and how long (virtual) start-up took.
QString windowSession(const QString& knobs) {
    WindowHarness h;
    SimFaults faults;
    std::string complaint;
    if (!parseSimFaults(knobs.toStdString(), &faults, &complaint))
        return QString::fromStdString(complaint);
    applySimFaults(faults, &h.usb);

    const std::uint32_t before = h.clock.now();
    h.start();
    QStringList seen;
    const QString edid = h.ui()->EDIDtext->toPlainText();
    // The factory settings have HDCP 2.2: checked only when the readback got through.
    seen << "start: " + boxes(h.dialogs) << "status: " + orDash(h.status())
         << h.ui()->labelFw1->text() + (edid.isEmpty() ? ", no EDID" : ", EDID " + edid.left(11)) +
                (h.ui()->hdcp22->isChecked() ? ", settings" : ", no settings") +
                QString(", %1 s").arg((h.clock.now() - before) / 1000);
    h.dialogs.shown.clear();
    h.window->statusBar()->clearMessage();
    h.ui()->cmbInputSel->setCurrentIndex(2);
    seen << "input: " + orDash(h.status()) +
                (h.dialogs.shown.empty() ? "" : " + " + boxes(h.dialogs));
    h.dialogs.shown.clear();
    h.window.reset();
    seen << "closed: " + boxes(h.dialogs);
    return seen.join(" | ");
}

// What a silent device may cost one click or one tick: a reply window, and
// the pauses the device needs between requests.
constexpr std::uint32_t kOneReplyWindowMs = kReplyWindowMs + 200;

void applyKnobs(WindowHarness& h, const char* knobs) {
    SimFaults faults;
    QVERIFY(parseSimFaults(knobs, &faults, nullptr));
    applySimFaults(faults, &h.usb);
}

} // namespace

class FaultsWindowTest : public QObject {
    Q_OBJECT

private slots:
    void knobShowsItsMessage_data();
    void knobShowsItsMessage();
    void silentDeviceCostsOneReplyWindow_data();
    void silentDeviceCostsOneReplyWindow();
    void tickAsksAllOfADeviceThatAnswers_data();
    void tickAsksAllOfADeviceThatAnswers();
    void windowRecoversWhenTheDeviceAnswersAgain();
};

void FaultsWindowTest::knobShowsItsMessage_data() {
    QTest::addColumn<QString>("knobs");
    QTest::addColumn<QString>("seen");
    const QString fine = "ver: 1.9.0.3, EDID 00 FF FF FF, settings, 0 s";
    const QString nothing = "ver: , no EDID, no settings";
    const QString readFails = "start: - | status: Error Reading values | " + nothing;
    const QString edidFails = "start: - | status: Error reading Korvanta EDID | " + nothing;
    const QString writeFails = " | input: Error Writing values | closed: -";
    const QString idle = " | status: - | " + nothing + ", 0 s | input: - | closed: -";

    QTest::newRow("none") << ""
                          << "start: - | status: EDID values read. | " + fine +
                                 " | input: - | closed: -";
    // The first request waits out its 4 s reply window; start-up asks nothing more.
    QTest::newRow("silent") << "silent" << readFails + ", 4 s" + writeFails;
    // Short replies are answers: start-up asks everything and ends on the failed EDID read.
    QTest::newRow("short-reply") << "short-reply" << edidFails + ", 0 s" + writeFails;
    // The EDID chunks carry no acknowledge byte, so only they get through.
    QTest::newRow("wrong-ack")
        << "wrong-ack"
        << "start: - | status: EDID values read. | ver: , EDID 00 FF FF FF, no settings, 0 s" +
               writeFails;
    // The EDID read waits 501 busy reads, then reads anyway; the readback
    // leaves the controls alone while the device is busy.
    QTest::newRow("busy=600")
        << "busy=600"
        << "start: - | status: EDID values read. | ver: 1.9.0.3, EDID 00 FF FF FF, no settings, 6 s"
           " | input: - | closed: -";
    QTest::newRow("refuse=E0")
        << "refuse=E0"
        << "start: - | status: EDID values read. | ver: , EDID 00 FF FF FF, no settings, 0 s" +
               writeFails;
    QTest::newRow("refuse=E1")
        << "refuse=E1"
        << "start: - | status: EDID values read. | ver: 1.9.0.3, EDID 00 FF FF FF, no settings, 0 s"
           " | input: - | closed: -";
    QTest::newRow("refuse=B0")
        << "refuse=B0"
        << "start: - | status: Error reading Korvanta EDID | ver: 1.9.0.3, no EDID, settings, 0 s"
           " | input: - | closed: -";
    QTest::newRow("refuse-register=7")
        << "refuse-register=7"
        << "start: - | status: EDID values read. | ver: 0.0.0.0, EDID 00 FF FF FF, settings, 0 s"
           " | input: - | closed: -";
    // A request the library will not send costs no wait: start-up asks everything.
    QTest::newRow("fail-write") << "fail-write" << edidFails + ", 0 s" + writeFails;
    QTest::newRow("fail-read") << "fail-read" << readFails + ", 0 s" + writeFails;
    QTest::newRow("fail-queue-check")
        << "fail-queue-check"
        << "start: Error Checking RX Queue | status: Error Reading values | " + nothing +
               ", 4 s | input: Error Writing values + Error Checking RX Queue | closed: -";
    QTest::newRow("fail-open") << "fail-open"
                               << "start: Usb device open error! + Hardware not found" + idle;
    QTest::newRow("fail-close") << "fail-close"
                                << "start: - | status: EDID values read. | " + fine +
                                       " | input: - | closed: Unable to close device handle!";
    QTest::newRow("fail-count") << "fail-count"
                                << "start: KORVANTA USB not connected!" + idle;
    // A same-named gadget ahead of the device is the one opened; it never answers.
    QTest::newRow("extra-device=2023") << "extra-device=2023" << readFails + ", 4 s" + writeFails;
    QTest::newRow("extra-device=X")
        << "extra-device=X"
        << "start: - | status: EDID values read. | " + fine + " | input: - | closed: -";
    // The firmware and InfoFrames come first; the device falls silent in the EDID read.
    QTest::newRow("after=12,silent")
        << "after=12,silent"
        << "start: - | status: Error reading Korvanta EDID | ver: 1.9.0.3, no EDID, settings, 4 s" +
               writeFails;
    // Start-up sends 28 requests: the first thing after it meets the fault.
    QTest::newRow("after=28,silent")
        << "after=28,silent"
        << "start: - | status: EDID values read. | " + fine + writeFails;
    QTest::newRow("refuse-register=36")
        << "refuse-register=36"
        << "start: - | status: EDID values read. | ver: , EDID 00 FF FF FF, settings, 0 s"
           " | input: - | closed: -";
    QTest::newRow("after=1000,silent,fail-close")
        << "after=1000,silent,fail-close"
        << "start: - | status: EDID values read. | " + fine + " | input: - | closed: -";
}

void FaultsWindowTest::knobShowsItsMessage() {
    QFETCH(QString, knobs);
    QFETCH(QString, seen);
    QCOMPARE(windowSession(knobs), seen);
}

void FaultsWindowTest::silentDeviceCostsOneReplyWindow_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("failed");
    QTest::newRow("TOP") << "pbReadTvEdidA"
                         << "Error reading TV [TOP] EDID";
    QTest::newRow("BOT") << "pbReadTvEdidB"
                         << "Error reading TV [BOT] EDID";
    QTest::newRow("device") << "ButReadEDID"
                            << "Error reading Korvanta EDID";
}

void FaultsWindowTest::silentDeviceCostsOneReplyWindow() {
    QFETCH(QString, button);
    QFETCH(QString, failed);

    WindowHarness h;
    applyKnobs(h, "after=28,silent");
    h.start();
    const QString editor = h.ui()->EDIDtext->toPlainText();
    QVERIFY(!editor.isEmpty()); // start-up still got its answers
    h.clearTraffic();

    std::uint32_t start = h.clock.now();
    h.window->findChild<QAbstractButton*>(button)->click();
    QVERIFY2(h.clock.now() - start <= kOneReplyWindowMs,
             qPrintable(QString::number(h.clock.now() - start)));
    QCOMPARE(h.requests().size(), std::size_t(1));
    QCOMPARE(h.status(), failed);
    QCOMPARE(h.ui()->EDIDtext->toPlainText(), editor);

    for (int tick = 0; tick < 2; ++tick) {
        start = h.clock.now();
        h.tick();
        QVERIFY2(h.clock.now() - start <= kOneReplyWindowMs,
                 qPrintable(QString::number(h.clock.now() - start)));
        QCOMPARE(h.requests().size(), std::size_t(2 + tick));
        QCOMPARE(h.status(), QStringLiteral("Error Reading values"));
    }
    QVERIFY(h.dialogs.shown.empty());
}

void FaultsWindowTest::tickAsksAllOfADeviceThatAnswers_data() {
    QTest::addColumn<QString>("knobs");
    QTest::newRow("none") << "";
    // Wrong answers are answers: the tick goes on to its other reads.
    QTest::newRow("short-reply") << "after=28,short-reply";
    QTest::newRow("wrong-ack") << "after=28,wrong-ack";
}

void FaultsWindowTest::tickAsksAllOfADeviceThatAnswers() {
    QFETCH(QString, knobs);

    WindowHarness h;
    applyKnobs(h, knobs.toLatin1().constData());
    h.start();
    appState.edidBusy = 0;
    h.clearTraffic();
    h.tick();
    // The readback's values and input status, then the four status registers.
    const std::vector<std::string> sent = hexRequests(h.requests());
    QCOMPARE(sent.size(), std::size_t(6));
    QCOMPARE(sent.front(), std::string("11 2A E1"));
    QCOMPARE(sent.back(), std::string("11 1F E0 1F"));
}

void FaultsWindowTest::windowRecoversWhenTheDeviceAnswersAgain() {
    WindowHarness h;
    h.device().silent = true;
    const std::uint32_t start = h.clock.now();
    h.start();
    QVERIFY2(h.clock.now() - start <= kOneReplyWindowMs,
             qPrintable(QString::number(h.clock.now() - start)));
    QCOMPARE(h.status(), QStringLiteral("Error Reading values"));
    QVERIFY(h.ui()->EDIDtext->toPlainText().isEmpty());
    QVERIFY(!h.ui()->hdcp22->isChecked());
    // Start-up filled the lists and started the poll even so.
    QVERIFY(h.ui()->cmbInputSel->count() > 0);
    QVERIFY(appState.pollTimerActive);

    h.device().silent = false;
    h.tick();
    QCOMPARE(h.ui()->EDIDtext->toPlainText().left(11), QStringLiteral("00 FF FF FF"));
    QVERIFY(h.ui()->hdcp22->isChecked());
    QCOMPARE(h.status(), QStringLiteral("EDID values read."));
}

QTEST_MAIN(FaultsWindowTest)
#include "tst_win_faults.moc"
