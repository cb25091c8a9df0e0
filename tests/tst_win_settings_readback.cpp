// The configuration readback on the simulated device: what a tick shows, what
// it echoes back, what it refuses, and the round trip of every settings
// control through the device.
#include "WindowHarness.h"
#include "link/Protocol.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QSignalSpy>
#include <QtTest>

namespace {

bool hasRequest(const std::vector<std::vector<std::uint8_t>>& requests, const char* hex) {
    for (const auto& r : requests)
        if (hexBytes(r) == hex)
            return true;
    return false;
}

QByteArray mirror() {
    return QByteArray(reinterpret_cast<const char*>(appState.settingsMirror), kSettingsBlockSize);
}

QByteArray deviceBlock(SimulatedDevice& device) {
    return QByteArray(reinterpret_cast<const char*>(device.settings.data()), kSettingsBlockSize);
}

// Checked buttons and current list entries, keyed by object name.
QStringList controlStates(QWidget* window, const QStringList& names) {
    QStringList out;
    for (const QString& name : names) {
        if (auto* list = window->findChild<QComboBox*>(name))
            out << name + '=' + QString::number(list->currentIndex());
        else if (auto* button = window->findChild<QAbstractButton*>(name))
            out << name + '=' + QString::number(button->isChecked());
        else
            out << name + " missing";
    }
    return out;
}

QStringList enabledStates(QWidget* window, const QStringList& names) {
    QStringList out;
    for (const QString& name : names) {
        auto* widget = window->findChild<QWidget*>(name);
        out << name + '=' + (widget ? QString::number(widget->isEnabled()) : "missing");
    }
    return out;
}

} // namespace

class TestWinSettingsReadback : public QObject {
    Q_OBJECT

private slots:
    void tickShowsDeviceChange_data();
    void tickShowsDeviceChange();
    void firstTickSelectsListEntries();
    void exclusiveGroupKeepsItsButton();
    void priorityOtherThanOneIsNormal();
    void enablingRules_data();
    void enablingRules();
    void unreadableValuesChangeNothing_data();
    void unreadableValuesChangeNothing();
    void mirrorTakesTheWholeBlock();
    void everyControlRoundTrips();
};

void TestWinSettingsReadback::tickShowsDeviceChange_data() {
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QStringList>("echo");

    // Boxes on stateChanged and lists send the value straight back.
    QTest::newRow("2.0 box") << 13 << 1 << "cb2cForce=1" << QStringList{"10 04 E0 08 01"};
    QTest::newRow("HDR box off") << 16 << 0 << "cbHdr=0" << QStringList{"10 04 E0 0B 00"};
    QTest::newRow("CEC box off") << 5 << 0 << "cbCec=0" << QStringList{"10 04 E0 1B 00"};
    QTest::newRow("input 3") << 0 << 3 << "cmbInputSel=2" << QStringList{"10 04 E0 00 03"};
    QTest::newRow("input 0: no entry")
        << 0 << 0 << "cmbInputSel=-1" << QStringList{"10 04 E0 00 00"};
    QTest::newRow("input 200: no entry")
        << 0 << 200 << "cmbInputSel=-1" << QStringList{"10 04 E0 00 00"};
    // An unknown preset leaves no entry, whose index -1 goes out as 0xFF.
    QTest::newRow("preset 12: no entry")
        << 19 << 12 << "cmBEdid=-1" << QStringList{"10 04 E0 0E FF"};
    QTest::newRow("device type") << 30 << 1 << "cmbLa=1" << QStringList{"10 04 E0 1C 01"};
    // Radio buttons and "REPLACE AVI" change silently.
    QTest::newRow("Samsung HDR") << 24 << 1 << "bSamHdr=1" << QStringList{};
    QTest::newRow("jack audio") << 1 << 3 << "audioJack=1" << QStringList{};
    QTest::newRow("AVR on") << 31 << 1 << "enableAVR=1" << QStringList{};
    QTest::newRow("replace AVI") << 33 << 1 << "cbAviPersistent=1" << QStringList{};
}

void TestWinSettingsReadback::tickShowsDeviceChange() {
    QFETCH(int, position);
    QFETCH(int, value);
    QFETCH(QString, shown);
    QFETCH(QStringList, echo);

    WindowHarness h;
    h.start();
    h.tick(); // the lists take the device's entries
    h.device().settings[std::size_t(position)] = std::uint8_t(value);
    h.clearTraffic();

    h.tick();

    const QString name = shown.section('=', 0, 0);
    QCOMPARE(controlStates(h.window.get(), {name}), QStringList{shown});
    QCOMPARE(settingWrites(h.requests()), echo);
    QCOMPARE(int(appState.settingsMirror[position]), value);
    // The device kept the echoed value, so the next tick has nothing to say.
    h.clearTraffic();
    h.tick();
    QCOMPARE(settingWrites(h.requests()), QStringList{});
}

void TestWinSettingsReadback::firstTickSelectsListEntries() {
    WindowHarness h;
    h.device().settings[0] = 4;
    h.device().settings[19] = 7;
    h.device().settings[30] = 1;
    h.device().settings[32] = 3;
    h.device().busyAfterEdidModeChange = 0;
    h.start();
    // The first readback comes before the lists have entries.
    const QStringList lists{"cmbInputSel", "cmBEdid", "cmbLa", "cmbEdidAlgo"};
    QCOMPARE(controlStates(h.window.get(), lists),
             (QStringList{"cmbInputSel=0", "cmBEdid=0", "cmbLa=0", "cmbEdidAlgo=0"}));
    QCOMPARE(settingWrites(h.requests()), QStringList{});
    h.clearTraffic();

    h.tick();

    QCOMPARE(controlStates(h.window.get(), lists),
             (QStringList{"cmbInputSel=3", "cmBEdid=7", "cmbLa=1", "cmbEdidAlgo=3"}));
    QCOMPARE(settingWrites(h.requests()),
             (QStringList{"10 04 E0 00 04", "10 04 E0 0E 07", "10 04 E0 1C 01", "10 04 E0 20 03"}));
}

void TestWinSettingsReadback::exclusiveGroupKeepsItsButton() {
    WindowHarness h;
    h.device().settings[1] = 3;
    h.device().settings[3] = 2;
    h.start();
    const QStringList buttons{"audioHdmi", "audioJack", "hdcp14", "hdcp22"};
    QCOMPARE(controlStates(h.window.get(), buttons),
             (QStringList{"audioHdmi=0", "audioJack=1", "hdcp14=1", "hdcp22=0"}));

    // "No source" and "no HDCP" ask for both buttons off; the groups refuse.
    h.device().settings[1] = 2;
    h.device().settings[3] = 1;
    h.clearTraffic();
    h.tick();
    QCOMPARE(controlStates(h.window.get(), buttons),
             (QStringList{"audioHdmi=0", "audioJack=1", "hdcp14=1", "hdcp22=0"}));
    QCOMPARE(settingWrites(h.requests()), QStringList{});
    QCOMPARE(int(appState.settingsMirror[1]), 2);
}

void TestWinSettingsReadback::priorityOtherThanOneIsNormal() {
    WindowHarness h;
    h.device().settings[18] = 1;
    h.start();
    QCOMPARE(controlStates(h.window.get(), {"pPrioForce", "bPrioNorm"}),
             (QStringList{"pPrioForce=1", "bPrioNorm=0"}));
    h.device().settings[18] = 7;
    h.tick();
    QCOMPARE(controlStates(h.window.get(), {"pPrioForce", "bPrioNorm"}),
             (QStringList{"pPrioForce=0", "bPrioNorm=1"}));
}

void TestWinSettingsReadback::enablingRules_data() {
    QTest::addColumn<QString>("block");
    QTest::addColumn<QStringList>("controls");
    QTest::addColumn<QStringList>("enabled");

    const QStringList edid{"EDIDtext", "automixEDID", "fixedEDID", "customEDID"};
    QTest::newRow("automix, choice offered")
        << "2=1,9=1" << edid
        << QStringList{"EDIDtext=1", "automixEDID=1", "fixedEDID=1", "customEDID=1"};
    QTest::newRow("custom, choice withheld")
        << "2=3,9=0" << edid
        << QStringList{"EDIDtext=0", "automixEDID=0", "fixedEDID=0", "customEDID=0"};
    QTest::newRow("fixed, choice offered")
        << "2=2,9=1" << edid
        << QStringList{"EDIDtext=1", "automixEDID=1", "fixedEDID=1", "customEDID=1"};
    QTest::newRow("HDCP and audio withheld")
        << "10=0,11=2" << QStringList{"hdcp14", "hdcp22", "audioHdmi", "audioJack"}
        << QStringList{"hdcp14=0", "hdcp22=0", "audioHdmi=0", "audioJack=0"};
    const QStringList priority{"pPrioForce", "bPrioNorm"};
    QTest::newRow("auto switch off")
        << "6=0" << priority << QStringList{"pPrioForce=0", "bPrioNorm=0"};
    QTest::newRow("auto switch on")
        << "6=1" << priority << QStringList{"pPrioForce=1", "bPrioNorm=1"};
    // An unknown byte leaves the buttons as the previous tick set them.
    QTest::newRow("auto switch off, then 2")
        << "6=0;6=2" << priority << QStringList{"pPrioForce=0", "bPrioNorm=0"};
    QTest::newRow("auto switch on, then 2")
        << "6=1;6=2" << priority << QStringList{"pPrioForce=1", "bPrioNorm=1"};
}

void TestWinSettingsReadback::enablingRules() {
    QFETCH(QString, block);
    QFETCH(QStringList, controls);
    QFETCH(QStringList, enabled);

    WindowHarness h;
    h.device().busyAfterEdidModeChange = 0;
    h.start();
    // Each ";"-separated group is one tick's worth of device changes.
    for (const QString& step : block.split(';')) {
        for (const QString& pair : step.split(','))
            h.device().settings[std::size_t(pair.section('=', 0, 0).toInt())] =
                std::uint8_t(pair.section('=', 1, 1).toInt());
        h.tick();
    }
    QCOMPARE(enabledStates(h.window.get(), controls), enabled);
}

void TestWinSettingsReadback::unreadableValuesChangeNothing_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("message");
    QTest::newRow("busy") << "busy" << false;
    QTest::newRow("41-byte reply") << "short" << true;
    QTest::newRow("wrong acknowledge") << "ack" << true;
}

void TestWinSettingsReadback::unreadableValuesChangeNothing() {
    QFETCH(QString, fault);
    QFETCH(bool, message);

    WindowHarness h;
    h.start();
    h.tick();
    const QStringList watched{"cmbInputSel", "cb2cForce", "cbHdr",
                              "bSamHdr",     "enableLed", "autoSwEn"};
    const QStringList before = controlStates(h.window.get(), watched);
    const QByteArray mirrorBefore = mirror();

    h.device().settings[0] = 4;
    h.device().settings[13] = 1;
    h.device().settings[16] = 0;
    h.device().settings[24] = 1;
    h.device().settings[26] = 0;
    h.device().settings[6] = 0;
    h.device().settings[9] = 0;
    if (fault == "busy")
        h.device().stickyBusy = 100; // every values read of the tick
    else if (fault == "short")
        h.device().shortReply = proto::kValuesLength - 1; // only the values read is that long
    else
        h.device().wrongAck = true;
    QSignalSpy messages(h.window->statusBar(), &QStatusBar::messageChanged);
    h.clearTraffic();

    h.tick();

    QVERIFY(hasRequest(h.requests(), "11 2A E1"));
    QCOMPARE(controlStates(h.window.get(), watched), before);
    QCOMPARE(mirror(), mirrorBefore);
    QVERIFY(h.ui()->automixEDID->isEnabled());
    QCOMPARE(settingWrites(h.requests()), QStringList{});
    bool readError = false;
    for (const auto& args : messages)
        readError |= args.at(0).toString() == QLatin1String("Error Reading values");
    QCOMPARE(readError, message);
}

void TestWinSettingsReadback::mirrorTakesTheWholeBlock() {
    WindowHarness h;
    h.start();
    // Bytes the program neither shows nor writes still land in the mirror.
    for (int position : {7, 8, 12, 20, 23, 25, 34, 39})
        h.device().settings[std::size_t(position)] = std::uint8_t(0x50 + position);
    h.device().settings[14] = 1;
    h.tick();
    QCOMPARE(mirror(), deviceBlock(h.device()));
}

void TestWinSettingsReadback::everyControlRoundTrips() {
    WindowHarness h;
    h.start();
    h.tick();
    // Away from the device's factory state, one action per settings control.
    struct Step {
        const char* control;
        int entry; // lists: the entry to select; buttons: -1, a click
    };
    const Step steps[] = {
        {"cmbInputSel", 3}, {"cmBEdid", 6},     {"cmbLa", 1},         {"cmbEdidAlgo", 2},
        {"pPrioForce", -1}, {"autoSwDis", -1},  {"audioJack", -1},    {"hdcp14", -1},
        {"enable420", -1},  {"cb2cForce", -1},  {"cb51", -1},         {"cb3D", -1},
        {"cbHdr", -1},      {"cbFull", -1},     {"bHdrRepurpEn", -1}, {"cbHdrForceMode", -1},
        {"bSamHdr", -1},    {"disableLed", -1}, {"disableBLed", -1},  {"cbBt2020", -1},
        {"cbYUV", -1},      {"cbCec", -1},      {"enableAVR", -1},    {"cbAviPersistent", -1},
        {"fixedEDID", -1},
    };
    QStringList names;
    for (const Step& step : steps) {
        names << QLatin1String(step.control);
        if (step.entry >= 0) {
            auto* list = h.window->findChild<QComboBox*>(step.control);
            QVERIFY2(list, step.control);
            list->setCurrentIndex(step.entry);
        } else {
            auto* button = h.window->findChild<QAbstractButton*>(step.control);
            QVERIFY2(button && button->isEnabled(), step.control);
            button->click();
        }
    }
    const QStringList operated = controlStates(h.window.get(), names);
    const QStringList expected{
        "cmbInputSel=3",    "cmBEdid=6",   "cmbLa=1",      "cmbEdidAlgo=2",     "pPrioForce=1",
        "autoSwDis=1",      "audioJack=1", "hdcp14=1",     "enable420=1",       "cb2cForce=1",
        "cb51=1",           "cb3D=1",      "cbHdr=0",      "cbFull=1",          "bHdrRepurpEn=1",
        "cbHdrForceMode=1", "bSamHdr=1",   "disableLed=1", "disableBLed=1",     "cbBt2020=1",
        "cbYUV=0",          "cbCec=0",     "enableAVR=1",  "cbAviPersistent=1", "fixedEDID=1"};
    QCOMPARE(operated, expected);

    // The device rebuilds its EDID for the new mode and preset; wait that out.
    h.clearTraffic();
    for (int i = 0; i < 5 && h.device().busyReads > 0; ++i)
        h.tick();
    h.tick();
    QVERIFY(hasRequest(h.requests(), "11 2A E1"));
    QCOMPARE(settingWrites(h.requests()), QStringList{});
    QCOMPARE(controlStates(h.window.get(), names), expected);
    QCOMPARE(mirror(), deviceBlock(h.device()));

    // A window that starts afresh on that device shows the same, and after
    // its first tick (which selects the list entries) has nothing to send.
    h.window.reset();
    resetAppState();
    h.start();
    h.tick();
    h.clearTraffic();
    h.tick();
    QCOMPARE(controlStates(h.window.get(), names), expected);
    QCOMPARE(settingWrites(h.requests()), QStringList{});
}

QTEST_MAIN(TestWinSettingsReadback)
#include "tst_win_settings_readback.moc"
