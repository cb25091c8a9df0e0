// Each KORVANTA_SIM_FAULTS knob as a user of the window meets it: the boxes
// that pop up, the status bar, and what the window fills in.
#include "WindowHarness.h"
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

} // namespace

class FaultsWindowTest : public QObject {
    Q_OBJECT

private slots:
    void knobShowsItsMessage_data();
    void knobShowsItsMessage();
};

void FaultsWindowTest::knobShowsItsMessage_data() {
    QTest::addColumn<QString>("knobs");
    QTest::addColumn<QString>("seen");
    const QString fine = "ver: 1.9.0.3, EDID 00 FF FF FF, settings, 0 s";
    const QString nothing = "ver: , no EDID, no settings";
    const QString readFails = "start: - | status: Error Reading values | " + nothing;
    const QString writeFails = " | input: Error Writing values | closed: -";
    const QString idle = " | status: - | " + nothing + ", 0 s | input: - | closed: -";

    QTest::newRow("none") << ""
                          << "start: - | status: EDID values read. | " + fine +
                                 " | input: - | closed: -";
    // Every request waits out its 4 s reply window.
    QTest::newRow("silent") << "silent" << readFails + ", 56 s" + writeFails;
    QTest::newRow("short-reply") << "short-reply" << readFails + ", 0 s" + writeFails;
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
    QTest::newRow("refuse=B0") << "refuse=B0"
                               << "start: - | status: - | ver: 1.9.0.3, no EDID, settings, 0 s"
                                  " | input: - | closed: -";
    QTest::newRow("refuse-register=7")
        << "refuse-register=7"
        << "start: - | status: EDID values read. | ver: 0.0.0.0, EDID 00 FF FF FF, settings, 0 s"
           " | input: - | closed: -";
    QTest::newRow("fail-write") << "fail-write" << readFails + ", 0 s" + writeFails;
    QTest::newRow("fail-read") << "fail-read" << readFails + ", 0 s" + writeFails;
    QTest::newRow("fail-queue-check")
        << "fail-queue-check"
        << "start: Error Checking RX Queue | status: Error Reading values | " + nothing +
               ", 56 s | input: Error Writing values + Error Checking RX Queue | closed: -";
    QTest::newRow("fail-open") << "fail-open"
                               << "start: Usb device open error! + Hardware not found" + idle;
    QTest::newRow("fail-close") << "fail-close"
                                << "start: - | status: EDID values read. | " + fine +
                                       " | input: - | closed: Unable to close device handle!";
    QTest::newRow("fail-count") << "fail-count"
                                << "start: KORVANTA USB not connected!" + idle;
    // A same-named gadget ahead of the device is the one opened; it never answers.
    QTest::newRow("extra-device=2023") << "extra-device=2023" << readFails + ", 56 s" + writeFails;
    QTest::newRow("extra-device=X")
        << "extra-device=X"
        << "start: - | status: EDID values read. | " + fine + " | input: - | closed: -";
    // The firmware and InfoFrames come first; the device falls silent in the EDID read.
    QTest::newRow("after=12,silent")
        << "after=12,silent"
        << "start: - | status: - | ver: 1.9.0.3, no EDID, settings, 4 s" + writeFails;
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

QTEST_MAIN(FaultsWindowTest)
#include "tst_win_faults.moc"
