// A trace recorded from the window on the simulated device, played back
// through the replay link: the same window and the same traffic.
#include "WindowHarness.h"
#include "link/ReplayUsbLibrary.h"
#include "link/Trace.h"
#include "session/Backend.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

namespace {

// Every named control's text, choice, check and enabled state, and the status bar.
QStringList widgetStates(const WindowHarness& h) {
    QStringList out;
    for (const QWidget* w : h.window->findChildren<QWidget*>()) {
        if (w->objectName().isEmpty())
            continue;
        QString state = w->objectName() + (w->isEnabled() ? "" : " (off)");
        if (auto* label = qobject_cast<const QLabel*>(w))
            state += " = " + label->text();
        else if (auto* edit = qobject_cast<const QTextEdit*>(w))
            state += " = " + edit->toPlainText();
        else if (auto* line = qobject_cast<const QLineEdit*>(w))
            state += " = " + line->text();
        else if (auto* list = qobject_cast<const QComboBox*>(w))
            state += QString(" = %1 of %2").arg(list->currentIndex()).arg(list->count());
        else if (auto* button = qobject_cast<const QAbstractButton*>(w);
                 button && button->isCheckable())
            state += button->isChecked() ? " = checked" : " = clear";
        out << state;
    }
    out.sort();
    out << "status: " + h.status();
    return out;
}

// The start-up has run; then what a user does in a short session.
void useTheWindow(WindowHarness& h) {
    h.ui()->cmbInputSel->setCurrentIndex(2);
    h.ui()->hdcp14->click();
    h.ui()->CECtext->setPlainText("44:40");
    h.ui()->ButSaveCEC_1->click();
    h.tick();
    h.ui()->pbReadTvEdidA->click();
    h.tick();
}

// The trace without its comments and times: request, reply and result.
QStringList exchanges(const QString& path) {
    std::vector<TraceEntry> entries;
    std::string error;
    if (!readTraceFile(path.toStdString(), &entries, &error))
        return {QString::fromStdString(error)};
    QStringList out;
    for (const TraceEntry& e : entries)
        out << QString::fromStdString(hexBytes(e.request) + " -> " + hexBytes(e.reply) +
                                      (e.result ? "" : " failed"));
    return out;
}

} // namespace

class ReplayWindowTest : public QObject {
    Q_OBJECT

private slots:
    void replayShowsTheRecordedWindow();
    void missingTraceLeavesNoDevice();
};

void ReplayWindowTest::replayShowsTheRecordedWindow() {
    QTemporaryDir dir;
    const QString recorded = dir.filePath("recorded.log");
    const QString replayed = dir.filePath("replayed.log");

    QStringList recordedWindow;
    {
        WindowHarness h;
        Trace trace(recorded.toStdString(), h.clock.now(),
                    traceHeader("KORVANTA_GUI", "test", "simulator"));
        platform().trace = &trace;
        h.start();
        useTheWindow(h);
        recordedWindow = widgetStates(h);
        platform().trace = nullptr;
    }

    std::vector<TraceEntry> entries;
    std::string error;
    QVERIFY2(readTraceFile(recorded.toStdString(), &entries, &error), error.c_str());
    ReplayUsbLibrary replay(entries);
    WindowHarness h;
    platform().usb = &replay;
    Trace trace(replayed.toStdString(), h.clock.now());
    platform().trace = &trace;
    h.start();
    useTheWindow(h);
    platform().trace = nullptr;

    QCOMPARE(widgetStates(h), recordedWindow);
    const QStringList sent = exchanges(replayed);
    QCOMPARE(sent, exchanges(recorded));
    // The session did reach the device: the setting writes and the stored CEC command.
    QVERIFY(sent.contains("10 04 E0 00 03 -> E0 00"));
    QVERIFY(sent.contains("10 04 E0 03 02 -> E0 00"));
    QVERIFY(sent.filter(QRegularExpression("^10 .. E3 ")).size() == 1);
    QVERIFY(h.dialogs.shown.empty());
}

void ReplayWindowTest::missingTraceLeavesNoDevice() {
    QTemporaryDir dir;
    std::string warnings, error;
    const LinkChoice link{LinkKind::Replay, dir.filePath("none.log").toStdString()};
    QVERIFY(!makeUsbLibrary(link, &warnings, &error));
    QVERIFY(!error.empty());
    // What main() puts in its place.
    NoDeviceUsbLibrary none;
    WindowHarness h;
    platform().usb = &none;
    h.start();
    QCOMPARE(h.dialogs.texts(), QStringList{"KORVANTA USB not connected!"});
    QCOMPARE(h.ui()->labelFw1->text(), QString("ver: "));
}

QTEST_MAIN(ReplayWindowTest)
#include "tst_win_replay.moc"
