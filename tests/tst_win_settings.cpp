// The setting slots on the simulated device: what each control sends, which
// byte of the mirror it sets, the list guard, the factory reset and the
// whole-block write.
#include "WindowHarness.h"
#include "link/Protocol.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QtTest>

namespace {

constexpr std::uint8_t kSentinel = 0xA5;

} // namespace

class TestWinSettings : public QObject {
    Q_OBJECT

private slots:
    void buttonSlots_data();
    void buttonSlots();
    void listSlots_data();
    void listSlots();
    void listsSendNothingBeforeReady();
    void slotKeepsMirrorWithoutDevice();
    void factoryReset_data();
    void factoryReset();
    void wholeBlockGoesBackUnchanged();
};

void TestWinSettings::buttonSlots_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("request");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("value");

    // The device's factory state has auto switch, HDR, YCbCr and CEC on.
    QTest::newRow("autoSwDis") << "autoSwDis"
                               << "10 04 E0 01 00" << 6 << 0;
    QTest::newRow("autoSwEn again") << "autoSwEn"
                                    << "10 04 E0 01 01" << 6 << 1;
    QTest::newRow("audioJack") << "audioJack"
                               << "10 04 E0 02 03" << 1 << 3;
    QTest::newRow("audioHdmi again") << "audioHdmi"
                                     << "10 04 E0 02 01" << 1 << 1;
    QTest::newRow("hdcp14") << "hdcp14"
                            << "10 04 E0 03 02" << 3 << 2;
    QTest::newRow("hdcp22 again") << "hdcp22"
                                  << "10 04 E0 03 03" << 3 << 3;
    QTest::newRow("enable420") << "enable420"
                               << "10 04 E0 04 01" << 4 << 1;
    QTest::newRow("disable420") << "disable420"
                                << "10 04 E0 04 00" << 4 << 0;
    QTest::newRow("cb2cForce") << "cb2cForce"
                               << "10 04 E0 08 01" << 13 << 1;
    QTest::newRow("cb51") << "cb51"
                          << "10 04 E0 09 01" << 14 << 1;
    QTest::newRow("cb3D") << "cb3D"
                          << "10 04 E0 0A 01" << 15 << 1;
    QTest::newRow("cbHdr off") << "cbHdr"
                               << "10 04 E0 0B 00" << 16 << 0;
    QTest::newRow("cbFull") << "cbFull"
                            << "10 04 E0 0C 01" << 17 << 1;
    QTest::newRow("pPrioForce") << "pPrioForce"
                                << "10 04 E0 0D 01" << 18 << 1;
    QTest::newRow("bPrioNorm") << "bPrioNorm"
                               << "10 04 E0 0D 00" << 18 << 0;
    QTest::newRow("bHdrRepurpEn") << "bHdrRepurpEn"
                                  << "10 04 E0 10 01" << 21 << 1;
    QTest::newRow("bHdrRepurpDis") << "bHdrRepurpDis"
                                   << "10 04 E0 10 00" << 21 << 0;
    QTest::newRow("cbHdrForceMode") << "cbHdrForceMode"
                                    << "10 04 E0 11 01" << 22 << 1;
    QTest::newRow("bSamHdr") << "bSamHdr"
                             << "10 04 E0 13 01" << 24 << 1;
    QTest::newRow("bFullHdr") << "bFullHdr"
                              << "10 04 E0 13 00" << 24 << 0;
    QTest::newRow("disableLed") << "disableLed"
                                << "10 04 E0 16 00" << 26 << 0;
    QTest::newRow("enableLed") << "enableLed"
                               << "10 04 E0 16 01" << 26 << 1;
    QTest::newRow("disableBLed") << "disableBLed"
                                 << "10 04 E0 17 00" << 27 << 0;
    QTest::newRow("cbBt2020") << "cbBt2020"
                              << "10 04 E0 18 01" << 28 << 1;
    QTest::newRow("cbYUV off") << "cbYUV"
                               << "10 04 E0 1A 00" << 29 << 0;
    QTest::newRow("cbCec off") << "cbCec"
                               << "10 04 E0 1B 00" << 5 << 0;
    QTest::newRow("enableAVR") << "enableAVR"
                               << "10 04 E0 1D 01" << 31 << 1;
    QTest::newRow("disableAVR") << "disableAVR"
                                << "10 04 E0 1D 00" << 31 << 0;
    QTest::newRow("cbAviPersistent") << "cbAviPersistent"
                                     << "10 04 E0 21 01" << 33 << 1;
}

void TestWinSettings::buttonSlots() {
    QFETCH(QString, control);
    QFETCH(QString, request);
    QFETCH(int, position);
    QFETCH(int, value);

    WindowHarness h;
    h.start();
    auto* button = h.window->findChild<QAbstractButton*>(control);
    QVERIFY(button);
    appState.settingsMirror[position] = kSentinel;
    h.device().settings[std::size_t(position)] = kSentinel;
    h.clearTraffic();

    button->click();

    // "REPLACE AVI" is also written from inside the AVI sender that runs
    // first, so for that box only the value of each write counts.
    const QStringList writes = settingWrites(h.requests());
    QVERIFY(!writes.isEmpty());
    for (const QString& write : writes)
        QCOMPARE(write, request);
    if (control != QLatin1String("cbAviPersistent"))
        QCOMPARE(writes.size(), 1);
    QCOMPARE(int(appState.settingsMirror[position]), value);
    QCOMPARE(int(h.device().settings[std::size_t(position)]), value);
}

void TestWinSettings::listSlots_data() {
    QTest::addColumn<QString>("list");
    QTest::addColumn<int>("entry");
    QTest::addColumn<QString>("request");
    QTest::newRow("MATRIX SWAP") << "cmbInputSel" << 3 << "10 04 E0 00 04";
    QTest::newRow("PORT B") << "cmbInputSel" << 1 << "10 04 E0 00 02";
    QTest::newRow("EDID preset 8") << "cmBEdid" << 8 << "10 04 E0 0E 08";
    QTest::newRow("audio system") << "cmbLa" << 1 << "10 04 E0 1C 01";
    QTest::newRow("max audio, max video") << "cmbEdidAlgo" << 3 << "10 04 E0 20 03";
}

void TestWinSettings::listSlots() {
    QFETCH(QString, list);
    QFETCH(int, entry);
    QFETCH(QString, request);

    WindowHarness h;
    h.start();
    auto* combo = h.window->findChild<QComboBox*>(list);
    QVERIFY(combo);
    std::memset(appState.settingsMirror, kSentinel, sizeof appState.settingsMirror);
    h.clearTraffic();

    combo->setCurrentIndex(entry);

    QCOMPARE(settingWrites(h.requests()), QStringList{request});
    // Lists leave the mirror to the next readback.
    for (std::uint8_t byte : appState.settingsMirror)
        QCOMPARE(byte, kSentinel);
}

void TestWinSettings::listsSendNothingBeforeReady() {
    WindowHarness h;
    h.device().settings[0] = 3; // the lists are filled with other entries current
    h.device().settings[30] = 1;
    h.start();
    QCOMPARE(settingWrites(h.requests()), QStringList{});
    QCOMPARE(h.ui()->cmbInputSel->currentIndex(), 0);

    // Without the flag, even a change after start-up goes nowhere.
    appState.ready = 0;
    h.clearTraffic();
    h.ui()->cmbInputSel->setCurrentIndex(3);
    h.ui()->cmbLa->setCurrentIndex(1);
    QCOMPARE(settingWrites(h.requests()), QStringList{});
}

void TestWinSettings::slotKeepsMirrorWithoutDevice() {
    WindowHarness h;
    h.usb.serials = {"1999"};
    h.start();
    QCOMPARE(appState.deviceHandle, kNoDevice);
    h.clearTraffic();

    h.ui()->cb3D->click();
    QCOMPARE(int(appState.settingsMirror[15]), 1);
    h.ui()->disableLed->click();
    QCOMPARE(int(appState.settingsMirror[26]), 0);
    QCOMPARE(h.status(), QStringLiteral("Error Writing values"));
    QVERIFY(h.requests().empty());
    QVERIFY(h.usb.calls.empty());
}

void TestWinSettings::factoryReset_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("clearSettings");
    QTest::addColumn<bool>("clearEdid");
    QTest::addColumn<QStringList>("writes");
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("cleared");

    const QString typeReset = "Type RESET into the text box and click OK";
    QTest::newRow("lower case") << "reset" << false << true << QStringList{} << typeReset << false;
    QTest::newRow("surrounded by spaces")
        << " RESET " << true << true << QStringList{} << typeReset << false;
    QTest::newRow("EDID only") << "RESET" << false << true << QStringList{"10 04 E0 19 01"}
                               << QString() << true;
    QTest::newRow("settings only")
        << "RESET" << true << false << QStringList{"10 04 E0 19 02"} << QString() << true;
    QTest::newRow("both") << "RESET" << true << true << QStringList{"10 04 E0 19 03"} << QString()
                          << true;
    QTest::newRow("neither") << "RESET" << false << false << QStringList{}
                             << "Choose the reset from the checkboxes" << true;
}

void TestWinSettings::factoryReset() {
    QFETCH(QString, typed);
    QFETCH(bool, clearSettings);
    QFETCH(bool, clearEdid);
    QFETCH(QStringList, writes);
    QFETCH(QString, status);
    QFETCH(bool, cleared);

    WindowHarness h;
    h.start();
    h.device().settings[0] = 4;
    const auto mirrorBefore =
        QByteArray(reinterpret_cast<const char*>(appState.settingsMirror), kSettingsBlockSize);
    h.ui()->leReset->setText(typed);
    h.ui()->cbClearSettings->setChecked(clearSettings);
    h.ui()->cbClearEdid->setChecked(clearEdid);
    h.window->statusBar()->clearMessage();
    h.clearTraffic();

    h.ui()->pbReset->click();

    QCOMPARE(settingWrites(h.requests()), writes);
    QCOMPARE(h.status(), status);
    QCOMPARE(h.ui()->leReset->text(), cleared ? QString() : typed);
    QCOMPARE(h.ui()->cbClearSettings->isChecked(), cleared ? false : clearSettings);
    QCOMPARE(h.ui()->cbClearEdid->isChecked(), cleared ? false : clearEdid);
    // Nothing is read back after a reset, and the mirror keeps its bytes.
    QCOMPARE(h.requests().size(), std::size_t(writes.size()));
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(appState.settingsMirror), kSettingsBlockSize),
             mirrorBefore);
    // The device did reset its settings when asked to.
    QCOMPARE(int(h.device().settings[0]), clearSettings && writes.size() ? 1 : 4);
}

void TestWinSettings::wholeBlockGoesBackUnchanged() {
    WindowHarness h;
    h.start();
    QByteArray expected("10 28 E2");
    for (int i = 0; i < kSettingsBlockSize; ++i) {
        // Every byte distinct, including those no slot ever writes.
        appState.settingsMirror[i] = static_cast<std::uint8_t>(0xC0 + i);
        expected += ' ' + QByteArray::number(0xC0 + i, 16).toUpper();
    }
    h.clearTraffic();

    QVERIFY(QMetaObject::invokeMethod(h.window.get(), "SetEPState"));

    QCOMPARE(h.requests().size(), std::size_t(1));
    QCOMPARE(QByteArray::fromStdString(hexBytes(h.requests().front())), expected);
    for (int i = 0; i < kSettingsBlockSize; ++i)
        QCOMPARE(int(h.device().settings[std::size_t(i)]), 0xC0 + i);
}

QTEST_MAIN(TestWinSettings)
#include "tst_win_settings.moc"
