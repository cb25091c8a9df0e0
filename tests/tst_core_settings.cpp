// The settings table, the readback's rules and the factory reset choice, with
// no window: pure functions and the simulated device.
#include "TestPlatform.h"
#include "link/Protocol.h"
#include "settings/ConfigReadback.h"
#include "settings/FactoryReset.h"
#include "settings/SettingsMap.h"

#include <QtTest>

#include <algorithm>
#include <array>
#include <set>

namespace {

using Block = std::array<std::uint8_t, kSettingsBlockSize>;

// "0=3,9=1": positions and their bytes; the rest stay 0.
Block blockFrom(const QString& pairs) {
    Block block{};
    for (const QString& pair : pairs.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QStringList parts = pair.split(QLatin1Char('='));
        block[static_cast<std::size_t>(parts[0].toInt())] =
            static_cast<std::uint8_t>(parts[1].toInt());
    }
    return block;
}

QStringList actionsOn(const Block& block, const QStringList& controls) {
    QStringList out;
    for (const settings::ControlAction& a : settings::readbackActions(block.data()))
        if (controls.contains(QLatin1String(a.control)))
            out << QString::fromStdString(settings::describe(a));
    return out;
}

} // namespace

class TestCoreSettings : public QObject {
    Q_OBJECT

private slots:
    void indexToPosition_data();
    void indexToPosition();
    void tableCoversEveryShownPositionOnce();
    void buttonValue_data();
    void buttonValue();
    void readbackRules_data();
    void readbackRules();
    void readbackAppliesListsFirst();
    void factoryResetChoice_data();
    void factoryResetChoice();
    void resetWord_data();
    void resetWord();
    void deviceKeepsEveryWrittenSetting();
    void deviceFactoryReset_data();
    void deviceFactoryReset();
};

void TestCoreSettings::indexToPosition_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("position");
    const int map[][2] = {{0, 0},   {1, 6},   {2, 1},   {3, 3},   {4, 4},   {5, 2},   {8, 13},
                          {9, 14},  {10, 15}, {11, 16}, {12, 17}, {13, 18}, {14, 19}, {16, 21},
                          {17, 22}, {19, 24}, {22, 26}, {23, 27}, {24, 28}, {26, 29}, {27, 5},
                          {28, 30}, {29, 31}, {32, 32}, {33, 33}};
    for (const auto& row : map)
        QTest::addRow("setting %d", row[0]) << row[0] << row[1];
    // The reset is a command, and these indexes are never written.
    for (int index : {25, 6, 7, 15, 18, 20, 21, 30, 31, -1, 34, 255})
        QTest::addRow("setting %d not kept", index) << index << -1;
}

void TestCoreSettings::indexToPosition() {
    QFETCH(int, index);
    QFETCH(int, position);
    QCOMPARE(settings::blockPosition(index), position);
}

void TestCoreSettings::tableCoversEveryShownPositionOnce() {
    std::multiset<int> positions;
    for (const settings::Setting& s : settings::allSettings())
        if (s.position >= 0)
            positions.insert(s.position);
    const std::multiset<int> order(std::begin(settings::kReadbackOrder),
                                   std::end(settings::kReadbackOrder));
    QCOMPARE(order, positions);
    for (int position : order) {
        QVERIFY(position >= 0 && position < kSettingsBlockSize);
        QCOMPARE(positions.count(position), std::size_t{1});
    }
    // The bytes the program leaves alone.
    for (int unused : {7, 8, 12, 20, 23, 25, 34, 35, 36, 37, 38, 39})
        QVERIFY2(!settings::byPosition(unused), qPrintable(QString::number(unused)));
}

void TestCoreSettings::buttonValue_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<QStringList>("checked");
    QTest::addColumn<bool>("sends");
    QTest::addColumn<int>("value");

    QTest::newRow("box checked") << settings::kNo3D << QStringList{"cb3D"} << true << 1;
    QTest::newRow("box unchecked") << settings::kNo3D << QStringList{} << true << 0;
    QTest::newRow("pair: on button")
        << settings::kAutoSwitch << QStringList{"autoSwEn"} << true << 1;
    QTest::newRow("pair: other button")
        << settings::kAutoSwitch << QStringList{"autoSwDis"} << true << 0;
    // Priority reads the FORCED button, not the first of its group.
    QTest::newRow("priority forced")
        << settings::kSwitchPriority << QStringList{"pPrioForce"} << true << 1;
    QTest::newRow("priority normal")
        << settings::kSwitchPriority << QStringList{"bPrioNorm"} << true << 0;
    QTest::newRow("audio HDMI") << settings::kAudioSource << QStringList{"audioHdmi"} << true << 1;
    QTest::newRow("audio jack") << settings::kAudioSource << QStringList{"audioJack"} << true << 3;
    QTest::newRow("audio none") << settings::kAudioSource << QStringList{} << false << 0;
    QTest::newRow("HDCP 1.4") << settings::kHdcpVersion << QStringList{"hdcp14"} << true << 2;
    QTest::newRow("HDCP 2.2") << settings::kHdcpVersion << QStringList{"hdcp22"} << true << 3;
    QTest::newRow("HDCP none") << settings::kHdcpVersion << QStringList{} << false << 0;
    QTest::newRow("EDID fixed") << settings::kEdidMode << QStringList{"fixedEDID"} << true << 2;
    QTest::newRow("EDID custom") << settings::kEdidMode << QStringList{"customEDID"} << true << 3;
    QTest::newRow("list is not button-driven")
        << settings::kActiveInput << QStringList{"cmbInputSel"} << false << 0;
}

void TestCoreSettings::buttonValue() {
    QFETCH(int, index);
    QFETCH(QStringList, checked);
    QFETCH(bool, sends);
    QFETCH(int, value);
    const settings::Setting* s = settings::byIndex(index);
    QVERIFY(s);
    int got = -99;
    const bool ok = settings::buttonValue(
        *s, [&](const char* name) { return checked.contains(QLatin1String(name)); }, &got);
    QCOMPARE(ok, sends);
    if (sends)
        QCOMPARE(got, value);
}

void TestCoreSettings::readbackRules_data() {
    QTest::addColumn<QString>("block");
    QTest::addColumn<QStringList>("controls");
    QTest::addColumn<QStringList>("expected");

    const QStringList input{"cmbInputSel"};
    QTest::newRow("input 3") << "0=3" << input << QStringList{"select cmbInputSel 2"};
    QTest::newRow("input 0 clears the list")
        << "0=0" << input << QStringList{"select cmbInputSel -1"};
    QTest::newRow("preset 8") << "19=8" << QStringList{"cmBEdid"}
                              << QStringList{"select cmBEdid 8"};

    const QStringList audio{"audioHdmi", "audioJack"};
    QTest::newRow("audio HDMI") << "1=1,11=1" << audio
                                << QStringList{"check audioHdmi 1", "check audioJack 0",
                                               "enable audioHdmi 1", "enable audioJack 1"};
    QTest::newRow("audio none") << "1=2,11=1" << audio
                                << QStringList{"check audioHdmi 0", "check audioJack 0",
                                               "enable audioHdmi 1", "enable audioJack 1"};
    QTest::newRow("audio 7 is left alone, choice withheld")
        << "1=7,11=0" << audio << QStringList{"enable audioHdmi 0", "enable audioJack 0"};

    const QStringList hdcp{"hdcp14", "hdcp22"};
    QTest::newRow("HDCP none") << "3=1,10=1" << hdcp
                               << QStringList{"check hdcp14 0", "check hdcp22 0", "enable hdcp22 1",
                                              "enable hdcp14 1"};
    QTest::newRow("HDCP 2.2") << "3=3,10=1" << hdcp
                              << QStringList{"check hdcp14 0", "check hdcp22 1", "enable hdcp22 1",
                                             "enable hdcp14 1"};
    QTest::newRow("HDCP 0 is left alone")
        << "3=0,10=1" << hdcp << QStringList{"enable hdcp22 1", "enable hdcp14 1"};

    const QStringList editor{"EDIDtext"};
    QTest::newRow("automix, choice offered: editor enabled after all")
        << "2=1,9=1" << editor << QStringList{"enable EDIDtext 0", "enable EDIDtext 1"};
    QTest::newRow("custom, choice withheld: editor disabled after all")
        << "2=3,9=0" << editor << QStringList{"enable EDIDtext 1", "enable EDIDtext 0"};
    QTest::newRow("EDID mode 4 leaves the buttons")
        << "2=4,9=1" << QStringList{"automixEDID", "fixedEDID", "customEDID"}
        << QStringList{"enable automixEDID 1", "enable customEDID 1", "enable fixedEDID 1"};
    QTest::newRow("EDID fixed") << "2=2,9=0" << QStringList{"fixedEDID"}
                                << QStringList{"check fixedEDID 1", "enable fixedEDID 0"};

    const QStringList out420{"enable420", "disable420"};
    QTest::newRow("4:2:0 off") << "4=0" << out420
                               << QStringList{"check enable420 0", "check disable420 1"};
    QTest::newRow("4:2:0 2 is left alone") << "4=2" << out420 << QStringList{};

    const QStringList autoSw{"autoSwEn", "autoSwDis", "pPrioForce", "bPrioNorm"};
    QTest::newRow("auto switch off disables priority")
        << "6=0,18=0" << autoSw
        << QStringList{"check autoSwEn 0",   "check autoSwDis 1",  "enable pPrioForce 0",
                       "enable bPrioNorm 0", "check pPrioForce 0", "check bPrioNorm 1"};
    QTest::newRow("auto switch on enables priority")
        << "6=1,18=1" << autoSw
        << QStringList{"check autoSwEn 1",   "check autoSwDis 0",  "enable pPrioForce 1",
                       "enable bPrioNorm 1", "check pPrioForce 1", "check bPrioNorm 0"};
    QTest::newRow("auto switch 5 touches nothing; priority 7 is normal")
        << "6=5,18=7" << autoSw << QStringList{"check pPrioForce 0", "check bPrioNorm 1"};

    QTest::newRow("box on") << "13=1" << QStringList{"cb2cForce"}
                            << QStringList{"check cb2cForce 1"};
    QTest::newRow("box 2 is off") << "13=2" << QStringList{"cb2cForce"}
                                  << QStringList{"check cb2cForce 0"};
    QTest::newRow("CEC processing at position 5")
        << "5=1" << QStringList{"cbCec"} << QStringList{"check cbCec 1"};
    QTest::newRow("HDR mode 3 is full HDR") << "24=3" << QStringList{"bSamHdr", "bFullHdr"}
                                            << QStringList{"check bSamHdr 0", "check bFullHdr 1"};
    QTest::newRow("replace AVI") << "33=1" << QStringList{"cbAviPersistent"}
                                 << QStringList{"check cbAviPersistent 1"};
}

void TestCoreSettings::readbackRules() {
    QFETCH(QString, block);
    QFETCH(QStringList, controls);
    QFETCH(QStringList, expected);
    QCOMPARE(actionsOn(blockFrom(block), controls), expected);
}

void TestCoreSettings::readbackAppliesListsFirst() {
    const Block block = blockFrom("0=2,19=3,30=1,32=2");
    const auto actions = settings::readbackActions(block.data());
    QVERIFY(actions.size() > 4);
    QStringList firstFour;
    for (int i = 0; i < 4; ++i)
        firstFour << QString::fromStdString(settings::describe(actions[std::size_t(i)]));
    QCOMPARE(firstFour, (QStringList{"select cmbInputSel 1", "select cmBEdid 3", "select cmbLa 1",
                                     "select cmbEdidAlgo 2"}));
    // Position 33 is the last one applied.
    QCOMPARE(QString::fromStdString(settings::describe(actions.back())),
             QStringLiteral("check cbAviPersistent 0"));
}

void TestCoreSettings::factoryResetChoice_data() {
    QTest::addColumn<bool>("clearSettings");
    QTest::addColumn<bool>("clearEdid");
    QTest::addColumn<int>("value");
    QTest::newRow("both") << true << true << 3;
    QTest::newRow("settings only") << true << false << 2;
    QTest::newRow("EDID only") << false << true << 1;
    QTest::newRow("neither") << false << false << 0;
}

void TestCoreSettings::factoryResetChoice() {
    QFETCH(bool, clearSettings);
    QFETCH(bool, clearEdid);
    QFETCH(int, value);
    QCOMPARE(settings::factoryResetValue(clearSettings, clearEdid), value);
}

void TestCoreSettings::resetWord_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("confirmed");
    QTest::newRow("RESET") << "RESET" << true;
    QTest::newRow("lower case") << "reset" << false;
    QTest::newRow("mixed case") << "Reset" << false;
    QTest::newRow("leading space") << " RESET" << false;
    QTest::newRow("trailing space") << "RESET " << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("longer") << "RESETS" << false;
}

void TestCoreSettings::resetWord() {
    QFETCH(QString, typed);
    QFETCH(bool, confirmed);
    QCOMPARE(settings::resetConfirmed(typed), confirmed);
}

void TestCoreSettings::deviceKeepsEveryWrittenSetting() {
    SimulatedDevice device;
    device.busyAfterEdidModeChange = 0;
    for (const settings::Setting& s : settings::allSettings()) {
        if (s.index < 0 || s.position < 0)
            continue;
        const std::uint8_t value = static_cast<std::uint8_t>(0x40 + s.position);
        const std::uint8_t write[] = {proto::kDirWrite, 0x04, proto::kCmdConfig,
                                      static_cast<std::uint8_t>(s.index), value};
        const auto ack = device.handle(write, sizeof write);
        QVERIFY(!ack.empty());
        QCOMPARE(ack[0], proto::kCmdConfig);

        const std::uint8_t read[] = {proto::kDirRead, proto::kValuesLength, proto::kCmdValues};
        const auto values = device.handle(read, sizeof read);
        QCOMPARE(values.size(), std::size_t(proto::kValuesLength));
        QVERIFY2(values[std::size_t(proto::kValuesBlockOffset + s.position)] == value,
                 qPrintable(QStringLiteral("setting %1").arg(s.index)));
    }
    // Indexes the program never writes leave the block alone.
    const auto before = device.settings;
    for (std::uint8_t index : {6, 7, 15, 18, 20, 21, 30, 31, 40}) {
        const std::uint8_t write[] = {proto::kDirWrite, 0x04, proto::kCmdConfig, index, 0x77};
        device.handle(write, sizeof write);
    }
    QVERIFY(device.settings == before);
}

void TestCoreSettings::deviceFactoryReset_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("settingsRestored");
    QTest::addColumn<bool>("edidRestored");
    QTest::newRow("EDID only") << 1 << false << true;
    QTest::newRow("settings only") << 2 << true << false;
    QTest::newRow("both") << 3 << true << true;
}

void TestCoreSettings::deviceFactoryReset() {
    QFETCH(int, value);
    QFETCH(bool, settingsRestored);
    QFETCH(bool, edidRestored);
    SimulatedDevice device;
    const auto defaults = device.settings;
    device.settings[14] = 1;
    device.settings[0] = 4;
    device.hasCustomEdid = true;
    device.customEdid[8] ^= 0xFF;
    const auto changed = device.settings;

    const std::uint8_t reset[] = {proto::kDirWrite, 0x04, proto::kCmdConfig,
                                  std::uint8_t(settings::kFactoryReset), std::uint8_t(value)};
    const auto ack = device.handle(reset, sizeof reset);
    QCOMPARE(ack.at(0), proto::kCmdConfig);
    QVERIFY(device.settings == (settingsRestored ? defaults : changed));
    QCOMPARE(!device.hasCustomEdid, edidRestored);
}

QTEST_MAIN(TestCoreSettings)
#include "tst_core_settings.moc"
