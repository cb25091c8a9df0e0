// The simulated device's state file: what a change saves, what a start loads,
// and that a file the program cannot use is reported and never overwritten.
#include "TestPlatform.h"
#include "session/Backend.h"
#include "sim/SimState.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// "10 04 E0 00 03; 11 2A E1": requests handed to the device in order.
void send(SimulatedDevice& device, const QString& requests) {
    for (const QString& request : requests.split(';')) {
        const QByteArray bytes = QByteArray::fromHex(request.toLatin1());
        device.handle(reinterpret_cast<const std::uint8_t*>(bytes.data()), int(bytes.size()));
    }
}

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// A valid state file with one field's value replaced.
QByteArray stateWith(const QByteArray& field, const QByteArray& json) {
    const QByteArray state = simStateToJson(SimulatedDevice{});
    const qsizetype value = state.indexOf(": ", state.indexOf("\"" + field + "\"")) + 2;
    qsizetype end = state.indexOf('\n', value);
    if (state[end - 1] == ',')
        --end;
    return state.left(value) + json + state.mid(end);
}

} // namespace

class SimStateTest : public QObject {
    Q_OBJECT

private slots:
    void everyStoredFieldSurvivesSaveAndLoad();
    void changesAreSavedAsTheyHappen_data();
    void changesAreSavedAsTheyHappen();
    void unusableFileIsReportedAndLeftAlone_data();
    void unusableFileIsReportedAndLeftAlone();
    void saveReplacesTheFileInOneStep();
    void unwritableFileIsReported();
    void openingTakesUpWhatAnotherProgramChanged();
};

void SimStateTest::everyStoredFieldSurvivesSaveAndLoad() {
    QTemporaryDir dir;
    const std::string path = dir.filePath("state.json").toStdString();
    SimulatedDevice device;
    device.settings[0] = 4;
    device.settings[39] = 0x7F;
    device.ownEdid[0x7F] = 0x12;
    device.customEdid.fill(0xA5);
    device.hasCustomEdid = true;
    device.storedCec[0] = "CEC 44:40\r";
    device.storedCec[1] = std::string("\x00\xFF", 2);
    device.customHdr.fill(0x31);
    device.customAvi.fill(0x13);
    std::string complaint;
    QVERIFY(saveSimState(path, device, &complaint));

    SimulatedDevice loaded;
    QCOMPARE(loadSimState(path, &loaded, &complaint), SimStateLoad::Loaded);
    QVERIFY(loaded.settings == device.settings);
    QVERIFY(loaded.ownEdid == device.ownEdid);
    QVERIFY(loaded.customEdid == device.customEdid);
    QCOMPARE(loaded.hasCustomEdid, true);
    QCOMPARE(loaded.storedCec[0], device.storedCec[0]);
    QCOMPARE(loaded.storedCec[1], device.storedCec[1]);
    QVERIFY(loaded.customHdr == device.customHdr);
    QVERIFY(loaded.customAvi == device.customAvi);
    // What a display reports is not the device's to keep.
    QVERIFY(loaded.displayEdid[0] == SimulatedDevice{}.displayEdid[0]);
}

void SimStateTest::changesAreSavedAsTheyHappen_data() {
    QTest::addColumn<QString>("requests");
    QTest::addColumn<bool>("saved");
    QTest::newRow("one setting") << "10 04 E0 00 03" << true;
    QTest::newRow("settings block") << "10 28 E2 " + QString("02 ").repeated(40) << true;
    QTest::newRow("custom EDID") << "10 0A B0 00 00 FF FF FF FF FF FF 00; 10 01 B1" << true;
    QTest::newRow("EDID reset")
        << "10 04 E0 00 02; 10 0A B0 00 00 FF FF FF FF FF FF 00; 10 01 B1; 10 04 E0 19 01" << true;
    QTest::newRow("stored CEC command") << "10 08 E3 43 45 43 20 34 34 0D" << true;
    QTest::newRow("stored LP CEC command") << "10 05 E4 34 34 0D" << true;
    QTest::newRow("HDR InfoFrame") << "10 05 E5 87 01 1A 00" << true;
    QTest::newRow("AVI InfoFrame") << "10 05 E6 40 00 00 00" << true;
    QTest::newRow("reads and staging change nothing")
        << "11 2A E1; 11 0E E0 06; 10 01 B4; 11 10 B0 00; 10 04 B2 40 04" << false;
    QTest::newRow("refused request changes nothing") << "10 04 E0" << false;
}

void SimStateTest::changesAreSavedAsTheyHappen() {
    QFETCH(QString, requests);
    QFETCH(bool, saved);
    QTemporaryDir dir;
    const std::string path = dir.filePath("state.json").toStdString();
    SimulatedDevice device;
    std::string complaint;
    QVERIFY(keepSimState(path, &device, &complaint));
    send(device, requests);
    QCOMPARE(QFile::exists(QString::fromStdString(path)), saved);
    if (!saved)
        return;
    QVERIFY(simStateToJson(device) != simStateToJson(SimulatedDevice{}));
    // The next run starts where this one stopped.
    SimulatedDevice next;
    QVERIFY(keepSimState(path, &next, &complaint));
    QCOMPARE(simStateToJson(next), simStateToJson(device));
}

void SimStateTest::unusableFileIsReportedAndLeftAlone_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("reason");
    QTest::newRow("empty") << QByteArray() << "not JSON";
    QTest::newRow("cut short") << simStateToJson(SimulatedDevice{}).left(80) << "not JSON";
    QTest::newRow("a JSON list") << QByteArray("[1, 2]") << "not a JSON object";
    QTest::newRow("someone else's JSON")
        << QByteArray(R"({"name": "x", "version": 1})") << "not a simulated device's state";
    QTest::newRow("later version") << stateWith("version", "2") << "version 2 is not known";
    QTest::newRow("settings too short")
        << stateWith("settings", "\"" + QByteArray(78, '0') + "\"") << "\"settings\"";
    QTest::newRow("EDID not hex") << stateWith("customEdid", "\"" + QByteArray(512, 'z') + "\"")
                                  << "\"customEdid\"";
    QTest::newRow("CEC command as a number") << stateWith("cecSp", "12") << "\"cecSp\"";
    QTest::newRow("flag as text") << stateWith("hasCustomEdid", "\"yes\"") << "\"hasCustomEdid\"";
}

// Through the backend the program builds, as a user's run would meet it.
void SimStateTest::unusableFileIsReportedAndLeftAlone() {
    QFETCH(QByteArray, file);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString path = dir.filePath("state.json");
    write(path, file);
    qputenv("KORVANTA_SIM_STATE", path.toLocal8Bit());
    std::string warnings, error;
    std::unique_ptr<UsbLibrary> usb =
        makeUsbLibrary(LinkChoice{LinkKind::Simulator, {}}, &warnings, &error);
    qunsetenv("KORVANTA_SIM_STATE");
    QVERIFY(usb);
    const QString said = QString::fromStdString(warnings);
    QVERIFY2(said.contains(path) && said.contains(reason) && said.contains("factory"),
             qPrintable(said));
    QCOMPARE(said.count('\n'), 1);

    auto& sim = static_cast<SimUsbLibrary&>(*usb);
    QCOMPARE(simStateToJson(sim.device), simStateToJson(SimulatedDevice{}));
    // A change later in the run must not save over the user's file either.
    send(sim.device, "10 04 E0 00 03");
    QCOMPARE(sim.device.settings[0], std::uint8_t(3));
    QCOMPARE(contents(path), file);
}

void SimStateTest::saveReplacesTheFileInOneStep() {
    QTemporaryDir dir;
    const QString path = dir.filePath("state.json");
    SimulatedDevice device;
    std::string complaint;
    QVERIFY(saveSimState(path.toStdString(), device, &complaint));
    const QByteArray before = contents(path);

    // A reader that opened the file before the save still reads the whole old
    // state: the save wrote a new file and put it in place, it did not
    // rewrite the old one where it stood.
    QFile reader(path);
    QVERIFY(reader.open(QIODevice::ReadOnly));
    device.settings[0] = 2;
#ifdef _WIN32
    // Windows does not replace a file that another handle holds open: the
    // save is refused, saying so, and the old state stays whole.
    QVERIFY(!saveSimState(path.toStdString(), device, &complaint));
    QVERIFY2(complaint.find("state.json") != std::string::npos, complaint.c_str());
    QCOMPARE(reader.readAll(), before);
    QCOMPARE(contents(path), before);
    reader.close();
    QVERIFY(saveSimState(path.toStdString(), device, &complaint));
#else
    QVERIFY(saveSimState(path.toStdString(), device, &complaint));
    QCOMPARE(reader.readAll(), before);
#endif
    QCOMPARE(contents(path), simStateToJson(device));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"state.json"});
}

void SimStateTest::unwritableFileIsReported() {
    QTemporaryDir dir;
    const std::string path = dir.filePath("no/such/folder/state.json").toStdString();
    std::string complaint;
    QVERIFY(!saveSimState(path, SimulatedDevice{}, &complaint));
    QVERIFY2(complaint.find(path) != std::string::npos, complaint.c_str());
}

QTEST_GUILESS_MAIN(SimStateTest)
#include "tst_core_simstate.moc"

void SimStateTest::openingTakesUpWhatAnotherProgramChanged() {
    // The window's simulator opening the unit after the service's simulator
    // changed it sees the unit as the service left it.
    QTemporaryDir dir;
    const std::string path = dir.filePath("state.json").toStdString();
    SimUsbLibrary window, service;
    std::string complaint;
    QVERIFY(keepSimState(path, &window.device, &complaint));
    QVERIFY(keepSimState(path, &service.device, &complaint));
    send(service.device, "10 04 E0 00 03");
    QVERIFY(simStateToJson(window.device) != simStateToJson(service.device));
    DeviceHandle handle = kNoDevice;
    QCOMPARE(window.open(0, &handle), int(UsbLibrary::kSuccess));
    QCOMPARE(simStateToJson(window.device), simStateToJson(service.device));
}
