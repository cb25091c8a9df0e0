// The EDID mode, and the busy poll that reads the table the device rebuilt.
#include "WindowHarness.h"
#include "edid/EdidText.h"
#include "link/AppState.h"

#include <QSignalSpy>
#include <QStatusBar>
#include <QtTest>

namespace {

using Requests = std::vector<std::string>;

struct Harness : WindowHarness {
    SimulatedDevice& device() { return usb.device; }
    Requests traffic() const { return hexRequests(usb.device.requests); }
    void forget() {
        clearTraffic();
        window->statusBar()->clearMessage();
    }
    QString editorText() const { return ui()->EDIDtext->toPlainText(); }
};

bool contains(const Requests& list, const std::string& request) {
    return std::find(list.begin(), list.end(), request) != list.end();
}

QStringList messages(const QSignalSpy& spy) {
    QStringList out;
    for (const auto& args : spy)
        out << args.at(0).toString();
    return out;
}

} // namespace

class EdidModeTest : public QObject {
    Q_OBJECT

private slots:
    void edidMode_data();
    void edidMode();
    void busyPollReadsOncePerTickThenReadsTheEdid();
    void firstTickAfterStartUpReadsTheEdidAgain();
};

void EdidModeTest::edidMode_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("request");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("editable");
    QTest::newRow("automix") << "automixEDID"
                             << "10 04 E0 05 01" << 1 << false;
    QTest::newRow("fixed") << "fixedEDID"
                           << "10 04 E0 05 02" << 2 << false;
    QTest::newRow("custom") << "customEDID"
                            << "10 04 E0 05 03" << 3 << true;
}

void EdidModeTest::edidMode() {
    QFETCH(QString, button);
    QFETCH(QString, request);
    QFETCH(int, mode);
    QFETCH(bool, editable);

    Harness h;
    h.start();
    // Start from another mode, so that the click is a change.
    h.window->findChild<QAbstractButton*>(mode == 3 ? "fixedEDID" : "customEDID")->click();
    appState.edidBusy = 0;
    h.forget();

    h.window->findChild<QAbstractButton*>(button)->click();

    QCOMPARE(h.traffic(), Requests{request.toStdString()});
    QCOMPARE(int(appState.settingsMirror[2]), mode);
    QCOMPARE(h.ui()->EDIDtext->isEnabled(), editable);
    QCOMPARE(h.status(), QStringLiteral("EDID Writing Busy"));
    QCOMPARE(int(appState.edidBusy), 1);
    QCOMPARE(int(h.device().settings[2]), mode);
}

void EdidModeTest::busyPollReadsOncePerTickThenReadsTheEdid() {
    Harness h;
    h.start();
    // A custom table the device holds from an earlier upload.
    EdidImage custom = makeDisplayEdid(1);
    custom[127] ^= 0x55;
    h.device().customEdid = custom;
    h.device().hasCustomEdid = true;
    h.ui()->customEDID->click();
    h.device().stickyBusy = 1000;

    for (int tick = 0; tick < 3; ++tick) {
        h.forget();
        h.tick();
        const Requests seen = h.traffic();
        QVERIFY(!seen.empty());
        QCOMPARE(seen.front(), std::string("11 2A E1"));
        QVERIFY(!contains(seen, "10 01 B4"));
        QCOMPARE(int(appState.edidBusy), 1);
    }

    h.device().stickyBusy = 0;
    h.device().busyReads = 0;
    h.ui()->EDIDtext->clear();
    h.forget();
    QSignalSpy status(h.window->statusBar(), &QStatusBar::messageChanged);
    h.tick();
    const Requests seen = h.traffic();
    QCOMPARE(seen.at(0), std::string("11 2A E1"));
    QCOMPARE(seen.at(1), std::string("10 01 B4"));
    QCOMPARE(int(appState.edidBusy), 0);
    // In custom mode the device now presents its custom table.
    QCOMPARE(h.editorText(), edidHexText(custom));
    QVERIFY(messages(status).contains("EDID values read."));
}

void EdidModeTest::firstTickAfterStartUpReadsTheEdidAgain() {
    Harness h;
    h.start();
    QCOMPARE(int(appState.edidBusy), 1);
    h.device().busyReads = 0;
    h.forget();
    h.tick();
    Requests seen = h.traffic();
    QVERIFY(contains(seen, "10 01 B4"));
    QCOMPARE(int(appState.edidBusy), 0);

    h.forget();
    h.tick();
    seen = h.traffic();
    QVERIFY(!contains(seen, "10 01 B4"));
}

QTEST_MAIN(EdidModeTest)
#include "tst_win_edid_mode.moc"
