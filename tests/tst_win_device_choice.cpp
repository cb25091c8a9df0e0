// The window with several units: which one it opens, and a unit that
// another program holds.
#include "WindowHarness.h"
#include "link/AppState.h"
#include "link/DeviceLock.h"
#include "link/RuntimePaths.h"

#include <QTemporaryDir>
#include <QtTest>

class DeviceChoiceTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void severalUnitsAsk_data();
    void severalUnitsAsk();
    void namedUnitIsOpenedWithoutAsking_data();
    void namedUnitIsOpenedWithoutAsking();
    void heldUnitFailsLikeAFailedOpen();
};

void DeviceChoiceTest::init() {
    qunsetenv("KORVANTA_DEVICE");
}

void DeviceChoiceTest::cleanup() {
    qunsetenv("KORVANTA_DEVICE");
}

void DeviceChoiceTest::severalUnitsAsk_data() {
    QTest::addColumn<QString>("answer"); // empty: cancelled
    QTest::addColumn<int>("unit");       // the one that gets the requests; 0: none
    QTest::newRow("second") << "sim-2" << 2;
    QTest::newRow("first") << "sim-1" << 1;
    QTest::newRow("cancelled") << "" << 0;
}

void DeviceChoiceTest::severalUnitsAsk() {
    QFETCH(QString, answer);
    QFETCH(int, unit);
    WindowHarness h;
    h.usb.addUnits(2);
    if (!answer.isEmpty())
        h.dialogs.choiceAnswers.push_back(answer);
    h.start();

    QCOMPARE(h.dialogs.shown.size(), std::size_t(1));
    QCOMPARE(h.dialogs.shown[0].kind, QString("choice"));
    QCOMPARE(h.dialogs.shown[0].title, QString("KORVANTA Utility"));
    QCOMPARE(h.dialogs.lastChoiceItems, (QStringList{"sim-1", "sim-2"}));
    QCOMPARE(h.device().requests.empty(), unit != 1);
    QCOMPARE(h.usb.moreUnits[0]->requests.empty(), unit != 2);
    QCOMPARE(appState.ready, std::uint8_t(unit != 0));
    QCOMPARE(appState.pollTimerActive, int(unit != 0));
    // One of several: the title says which.
    QCOMPARE(h.window->windowTitle().endsWith(" - " + answer), unit != 0);
}

void DeviceChoiceTest::namedUnitIsOpenedWithoutAsking_data() {
    QTest::addColumn<int>("units");
    QTest::addColumn<QString>("named");
    QTest::addColumn<QStringList>("texts"); // dialogs shown
    QTest::addColumn<int>("unit");
    QTest::newRow("second of two") << 2 << "sim-2" << QStringList{} << 2;
    QTest::newRow("the only one, named") << 1 << "sim-1" << QStringList{} << 1;
    QTest::newRow("unknown") << 2 << "sim-7"
                             << QStringList{"no KORVANTA with the ID \"sim-7\" is connected; "
                                            "connected: sim-1, sim-2"}
                             << 0;
}

void DeviceChoiceTest::namedUnitIsOpenedWithoutAsking() {
    QFETCH(int, units);
    QFETCH(QString, named);
    QFETCH(QStringList, texts);
    QFETCH(int, unit);
    qputenv("KORVANTA_DEVICE", named.toUtf8());
    WindowHarness h;
    h.usb.addUnits(units);
    h.start();
    QCOMPARE(h.dialogs.texts(), texts);
    QCOMPARE(h.device().requests.empty(), unit != 1);
    if (units > 1)
        QCOMPARE(h.usb.moreUnits[0]->requests.empty(), unit != 2);
    QCOMPARE(appState.ready, std::uint8_t(unit != 0));
}

void DeviceChoiceTest::heldUnitFailsLikeAFailedOpen() {
    QTemporaryDir runtime;
    const QByteArray before = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    const auto restore = qScopeGuard([&] { qputenv("XDG_RUNTIME_DIR", before); });
    std::string path, complaint;
    QVERIFY(lockPathFor("sim-1", &path, &complaint));
    DeviceLock other;
    LockHolder who;
    QCOMPARE(other.acquire(path, LockHolder{"korvanta", 77}, &who, &complaint),
             DeviceLock::Result::Taken);

    WindowHarness h;
    h.start();
    QCOMPARE(h.dialogs.texts(),
             (QStringList{"The KORVANTA at sim-1 is in use by korvanta (pid 77). Close it first, "
                          "or run `korvanta serve` so both can use it.",
                          "Hardware not found"}));
    QCOMPARE(h.dialogs.shown[0].kind, QString("usb"));
    QCOMPARE(appState.pollTimerActive, 0);
    QCOMPARE(h.usb.openCount, 0);
    QVERIFY(h.requests().empty());
}

QTEST_MAIN(DeviceChoiceTest)
#include "tst_win_device_choice.moc"
