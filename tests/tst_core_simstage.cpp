// A scene staged through the simulated device's state file: the source the
// status registers describe and the displays on TOP and BOT, kept when the
// device saves, refused whole when a value is wrong; and the examples/ files.
#include "TestPlatform.h"
#include "link/Protocol.h"
#include "session/EdidTransfer.h"
#include "session/Readback.h"
#include "session/Reporter.h"
#include "sim/SimState.h"
#include "status/StatusLines.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

class QuietReporter : public session::Reporter {
public:
    void status(session::Level, const char*, int) override {}
    void diagnostic(const char*) override {}
};

QJsonObject parse(const QByteArray& json) {
    return QJsonDocument::fromJson(json).object();
}

// The factory state's file with `stage` (a JSON object's members) added.
QByteArray stateWith(const QByteArray& stage) {
    QJsonObject state = parse(simStateToJson(SimulatedDevice{}));
    const QJsonObject extra = parse("{" + stage + "}");
    for (auto it = extra.begin(); it != extra.end(); ++it)
        state[it.key()] = it.value();
    return QJsonDocument(state).toJson();
}

bool load(const QByteArray& stage, SimulatedDevice* device, std::string* complaint) {
    return simStateFromJson(stateWith(stage), device, complaint);
}

QString hexOf(const EdidImage& edid, int size) {
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(edid.data()), size).toHex());
}

// The register contents in one line, in the order the status header has them.
QString describe(const StatusFields& f) {
    QString hdr = "no HDR frame";
    if (!f.hdrInfoFrame.empty()) {
        const auto& p = f.hdrInfoFrame;
        const auto le16 = [&p](std::size_t at) {
            return at + 1 < p.size() ? p[at] | (p[at + 1] << 8) : -1;
        };
        hdr = QString("EOTF %1, MaxCLL %2, MaxFALL %3").arg(p[0]).arg(le16(22)).arg(le16(24));
    }
    QStringList outputs;
    for (const std::string& o : f.outputs)
        outputs << QString::fromStdString(o);
    const QString name = f.formatName.empty() ? "(no name)" : QString::fromStdString(f.formatName);
    return QStringList{QString::number(f.formatCode) + " " + name,
                       f.hdmi ? "HDMI" : "DVI",
                       f.linkMode.empty() ? "normal" : QString::fromStdString(f.linkMode),
                       outputs.isEmpty() ? "no output" : outputs.join(','),
                       QString::fromStdString(f.colourSpace),
                       f.colorimetry.empty() ? "no colorimetry"
                                             : QString::fromStdString(f.colorimetry),
                       QString::fromStdString(f.vendor + "/" + f.product),
                       hdr}
        .join(" | ");
}

// What `korvanta status` reads, through the program's own status read.
QString registersOf(TestPlatform& p) {
    p.openDirectly();
    QuietReporter reporter;
    session::StatusReplies r;
    if (!session::readStatus(reporter, &r))
        return "<no status>";
    return describe(statusFields(StatusReply(r.input), StatusReply(r.product), StatusReply(r.hdr)));
}

struct Run {
    int code = -1;
    QByteArray out, err;
};

Run korvanta(const QStringList& args, const QString& state) {
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert("KORVANTA_LINK", "simulator");
    e.insert("KORVANTA_SIM_STATE", state);
    e.remove("KORVANTA_SIM_FAULTS");
    e.remove("KORVANTA_TRACE");
    p.setProcessEnvironment(e);
    p.start(QCoreApplication::applicationDirPath() + "/../cli/korvanta", args);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit)
        return {};
    return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}

const QString kExamples = QStringLiteral(KORVANTA_EXAMPLES);

} // namespace

class SimStageTest : public QObject {
    Q_OBJECT

private slots:
    void fileWithoutStageLoadsAsBefore();
    void stageSurvivesSaveAndLoad_data();
    void stageSurvivesSaveAndLoad();
    void stageIsKeptWhenTheDeviceSaves();
    void badValueIsRefusedWhole_data();
    void badValueIsRefusedWhole();
    void registersAnswerFromStagedInput_data();
    void registersAnswerFromStagedInput();
    void displayReadAnswersFromStagedEdid_data();
    void displayReadAnswersFromStagedEdid();
    void everyExampleIsTested();
    void examplesShowTheirInput_data();
    void examplesShowTheirInput();
};

void SimStageTest::fileWithoutStageLoadsAsBefore() {
    const SimulatedDevice factory;
    SimulatedDevice device;
    std::string complaint;
    QVERIFY(
        load(R"("topEdid": null, "input": {"vic": 4}, "description": "x")", &device, &complaint));
    // A later file without the keys takes the stage away again.
    QVERIFY2(simStateFromJson(simStateToJson(factory), &device, &complaint), complaint.c_str());
    QCOMPARE(simStateToJson(device), simStateToJson(factory));
    QVERIFY(!device.stagedInput);
    QVERIFY(device.displayConnected[0]);
    QVERIFY(device.displayEdid[0] == factory.displayEdid[0]);
    for (int reg : {6, 21, 30})
        QVERIFY(device.registerData(reg) == factory.registerData(reg));
}

void SimStageTest::stageSurvivesSaveAndLoad_data() {
    QTest::addColumn<QByteArray>("stage");
    QTest::addColumn<QByteArray>("saved"); // empty: as staged
    const QString edid128 = hexOf(makeDeviceEdid(), 128);
    const QString edid256 = hexOf(makeDisplayEdid(1), 256);
    QTest::newRow("every input key")
        << QByteArray(R"("input": {"vic": 97, "hdmi": true, "encoding": "444",
            "linkMode": "600MHz", "outputs": "both", "colorimetry": "bt2020ycc", "eotf": "hlg",
            "maxCll": 1000, "maxFall": 400, "vendor": "UHDPLAY", "product": "Disc Player 4K"})")
        << QByteArray();
    QTest::newRow("one input key") << QByteArray(R"("input": {"outputs": "none"})") << QByteArray();
    QTest::newRow("names in any case")
        << QByteArray(R"("input": {"linkMode": "600mhz", "eotf": "PQ"})")
        << QByteArray(R"("input": {"linkMode": "600MHz", "eotf": "pq"})");
    QTest::newRow("128-byte EDID on TOP")
        << ("\"topEdid\": \"" + edid128 + "\"").toLatin1() << QByteArray();
    QTest::newRow("256-byte EDID on BOT, in capitals")
        << ("\"botEdid\": \"" + edid256.toUpper() + "\"").toLatin1()
        << ("\"botEdid\": \"" + edid256 + "\"").toLatin1();
    QTest::newRow("no display on either")
        << QByteArray(R"("topEdid": null, "botEdid": null)") << QByteArray();
    QTest::newRow("description") << QByteArray(
                                        R"("description": "4K HDR player to a TV and a projector")")
                                 << QByteArray();
}

void SimStageTest::stageSurvivesSaveAndLoad() {
    QFETCH(QByteArray, stage);
    QFETCH(QByteArray, saved);
    SimulatedDevice device;
    std::string complaint;
    QVERIFY2(load(stage, &device, &complaint), complaint.c_str());
    const QJsonObject written = parse(simStateToJson(device));
    const QJsonObject expected = parse("{" + (saved.isEmpty() ? stage : saved) + "}");
    const QJsonObject factory = parse(simStateToJson(SimulatedDevice{}));
    // Only what was staged is written, as it was staged.
    QCOMPARE(written.size(), factory.size() + expected.size());
    for (auto it = expected.begin(); it != expected.end(); ++it)
        QCOMPARE(written.value(it.key()), it.value());

    SimulatedDevice again;
    QVERIFY2(simStateFromJson(simStateToJson(device), &again, &complaint), complaint.c_str());
    QCOMPARE(simStateToJson(again), simStateToJson(device));
    for (int output = 0; output < 2; ++output) {
        QCOMPARE(again.displayConnected[output], device.displayConnected[output]);
        QVERIFY(again.displayEdid[output] == device.displayEdid[output]);
    }
    for (int reg : {6, 21, 30})
        QVERIFY(again.registerData(reg) == device.registerData(reg));
}

// Through the file a run keeps: a change the device saves writes the stage back.
void SimStageTest::stageIsKeptWhenTheDeviceSaves() {
    QTemporaryDir dir;
    const QString path = dir.filePath("state.json");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    const QByteArray stage = R"("botEdid": null, "input": {"vic": 16, "eotf": "none"})";
    file.write(stateWith(stage));
    file.close();

    SimulatedDevice device;
    std::string complaint;
    QVERIFY2(keepSimState(path.toStdString(), &device, &complaint), complaint.c_str());
    const std::uint8_t setInput[] = {proto::kDirWrite, 4, proto::kCmdConfig, 0, 3};
    device.handle(setInput, int(sizeof setInput));

    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject saved = parse(file.readAll());
    QCOMPARE(saved.value("settings").toString().left(2), QString("03"));
    QCOMPARE(saved.value("botEdid"), QJsonValue(QJsonValue::Null));
    QCOMPARE(saved.value("input").toObject(), parse(R"({"vic": 16, "eotf": "none"})"));
    QVERIFY(!saved.contains("topEdid"));
}

void SimStageTest::badValueIsRefusedWhole_data() {
    QTest::addColumn<QByteArray>("stage");
    QTest::addColumn<QStringList>("said");
    const QString edid = hexOf(makeDeviceEdid(), 128);
    QTest::newRow("format code too big")
        << QByteArray(R"("input": {"vic": 300})") << QStringList{"\"input.vic\"", "0 to 255"};
    QTest::newRow("format code not whole")
        << QByteArray(R"("input": {"vic": 9.5})") << QStringList{"\"input.vic\"", "9.5"};
    QTest::newRow("format code as text")
        << QByteArray(R"("input": {"vic": "97"})") << QStringList{"\"input.vic\"", "\"97\""};
    QTest::newRow("hdmi as text") << QByteArray(R"("input": {"hdmi": "yes"})")
                                  << QStringList{"\"input.hdmi\"", "true or false"};
    QTest::newRow("encoding") << QByteArray(R"("input": {"encoding": "yuv"})")
                              << QStringList{"\"input.encoding\"",
                                             R"("rgb", "422", "444" or "420")", "\"yuv\""};
    QTest::newRow("link mode") << QByteArray(R"("input": {"linkMode": "300MHz"})")
                               << QStringList{"\"input.linkMode\"",
                                              R"("none", "420-10bit" or "600MHz")"};
    QTest::newRow("outputs") << QByteArray(R"("input": {"outputs": ["top"]})")
                             << QStringList{"\"input.outputs\"",
                                            R"("none", "top", "bot" or "both")", "[\"top\"]"};
    QTest::newRow("colorimetry") << QByteArray(R"("input": {"colorimetry": "bt2100"})")
                                 << QStringList{
                                        "\"input.colorimetry\"",
                                        R"("none", "bt601", "bt709", "bt2020rgb" or "bt2020ycc")"};
    QTest::newRow("eotf") << QByteArray(R"("input": {"eotf": "hdr10"})")
                          << QStringList{"\"input.eotf\"",
                                         R"("none", "sdr", "hdr", "pq" or "hlg")"};
    QTest::newRow("negative MaxCLL") << QByteArray(R"("input": {"maxCll": -1})")
                                     << QStringList{"\"input.maxCll\"", "0 to 65535"};
    QTest::newRow("MaxFALL past 16 bits") << QByteArray(R"("input": {"maxFall": 65536})")
                                          << QStringList{"\"input.maxFall\"", "0 to 65535"};
    QTest::newRow("MaxCLL without an HDR InfoFrame")
        << QByteArray(R"("input": {"eotf": "none", "maxCll": 1000})")
        << QStringList{"\"input.maxCll\"", "\"input.eotf\" is \"none\""};
    QTest::newRow("MaxFALL from a DVI source")
        << QByteArray(R"("input": {"hdmi": false, "maxFall": 400})")
        << QStringList{"\"input.maxFall\"", "\"input.hdmi\" is false"};
    QTest::newRow("vendor too long") << QByteArray(R"("input": {"vendor": "ABCDEFGHI"})")
                                     << QStringList{"\"input.vendor\"", "at most 8"};
    QTest::newRow("product not ASCII") << QByteArray(R"("input": {"product": "Lecteur é"})")
                                       << QStringList{"\"input.product\"", "ASCII"};
    QTest::newRow("unknown key") << QByteArray(R"("input": {"vic": 97, "format": 97})")
                                 << QStringList{"\"input.format\" is not known",
                                                "vic, hdmi, encoding"};
    QTest::newRow("input not an object")
        << QByteArray(R"("input": 97)") << QStringList{"\"input\" is 97", "object"};
    QTest::newRow("EDID of 100 bytes")
        << ("\"topEdid\": \"" + QString(200, 'a') + "\"").toLatin1()
        << QStringList{"\"topEdid\"", "100 bytes", "128 or 256", "null"};
    QTest::newRow("EDID not hex") << ("\"botEdid\": \"" + edid.left(254) + "zz\"").toLatin1()
                                  << QStringList{"\"botEdid\"", "not pairs of hex digits"};
    QTest::newRow("EDID as false")
        << QByteArray(R"("botEdid": false)") << QStringList{"\"botEdid\" is false"};
    QTest::newRow("good input, bad EDID after it")
        << (R"("input": {"vic": 4}, "botEdid": ")" + edid.left(250) + "\"").toLatin1()
        << QStringList{"\"botEdid\" is 125 bytes"};
    QTest::newRow("description as a number")
        << QByteArray(R"("description": 3)") << QStringList{"\"description\" is 3"};
}

void SimStageTest::badValueIsRefusedWhole() {
    QFETCH(QByteArray, stage);
    QFETCH(QStringList, said);
    SimulatedDevice device;
    device.settings[0] = 4; // not the file's
    const QByteArray before = simStateToJson(device);
    std::string complaint;
    QVERIFY(!load(stage, &device, &complaint));
    for (const QString& words : said)
        QVERIFY2(QString::fromStdString(complaint).contains(words), complaint.c_str());
    QCOMPARE(simStateToJson(device), before);
    QVERIFY(!device.stagedInput);
    QVERIFY(device.displayConnected[0] && device.displayConnected[1]);
}

void SimStageTest::registersAnswerFromStagedInput_data() {
    QTest::addColumn<QByteArray>("stage");
    QTest::addColumn<int>("port"); // the input setting: 1 PORT A, 2 PORT B
    QTest::addColumn<QString>("registers");
    QTest::newRow("not staged: the 4K HDR player on PORT A")
        << QByteArray() << 1 // default displays: both outputs
        << "97 3840x2160p60 | HDMI | 600MHz | TX A,TX B | YCbCr 4:4:4 | Extended: ITU-R "
           "BT.2020 RGB | STRMBOX/4K Media Player | EOTF 2, MaxCLL 1000, MaxFALL 400";
    QTest::newRow("every key")
        << QByteArray(R"("input": {"vic": 16, "hdmi": true, "encoding": "422",
            "linkMode": "none", "outputs": "bot", "colorimetry": "bt709", "eotf": "hlg",
            "maxCll": 600, "maxFall": 250, "vendor": "CAMCO", "product": "Studio Cam"})")
        << 1
        << "16 1920x1080p60 | HDMI | normal | TX B | YCbCr 4:2:2 | ITU-R BT.709 | "
           "CAMCO/Studio Cam | EOTF 3, MaxCLL 600, MaxFALL 250";
    QTest::newRow("one key: the rest is the default source's")
        << QByteArray(R"("input": {"maxCll": 4000})") << 1
        << "97 3840x2160p60 | HDMI | 600MHz | TX A,TX B | YCbCr 4:4:4 | Extended: ITU-R "
           "BT.2020 RGB | STRMBOX/4K Media Player | EOTF 2, MaxCLL 4000, MaxFALL 400";
    QTest::newRow("4:2:0 at 10 bits, no HDR InfoFrame")
        << QByteArray(R"("input": {"encoding": "420", "linkMode": "420-10bit",
            "colorimetry": "bt2020ycc", "eotf": "none"})")
        << 1
        << "97 3840x2160p60 | HDMI | 4:2:0 10-bit | TX A,TX B | YCbCr 4:2:0 | Extended: ITU-R "
           "BT.2020 YcCbcCrc | STRMBOX/4K Media Player | no HDR frame";
    QTest::newRow("DVI source: no InfoFrames unless staged")
        << QByteArray(R"("input": {"hdmi": false, "vic": 4})") << 1
        << "4 1280x720p60 | DVI | 600MHz | TX A,TX B | RGB | no colorimetry | "
           "STRMBOX/4K Media Player | no HDR frame";
    QTest::newRow("SDR InfoFrame from a DVI source as staged")
        << QByteArray(R"("input": {"hdmi": false, "eotf": "sdr", "colorimetry": "bt601"})") << 1
        << "97 3840x2160p60 | DVI | 600MHz | TX A,TX B | RGB | SMPTE 170M | "
           "STRMBOX/4K Media Player | EOTF 0, MaxCLL 0, MaxFALL 0";
    QTest::newRow("no signal, no outputs")
        << QByteArray(R"("input": {"vic": 0, "outputs": "none", "vendor": "", "product": ""})") << 1
        << "0 (no name) | HDMI | 600MHz | no output | YCbCr 4:4:4 | Extended: ITU-R BT.2020 RGB "
           "| / | EOTF 2, MaxCLL 1000, MaxFALL 400";
    QTest::newRow("outputs left out follow the displays")
        << QByteArray(R"("topEdid": null, "input": {"vic": 16, "colorimetry": "none"})") << 1
        << "16 1920x1080p60 | HDMI | 600MHz | TX B | YCbCr 4:4:4 | no colorimetry | "
           "STRMBOX/4K Media Player | EOTF 2, MaxCLL 1000, MaxFALL 400";
    QTest::newRow("staged outputs win over the displays")
        << QByteArray(R"("botEdid": null, "input": {"outputs": "both"})") << 1
        << "97 3840x2160p60 | HDMI | 600MHz | TX A,TX B | YCbCr 4:4:4 | Extended: ITU-R "
           "BT.2020 RGB | STRMBOX/4K Media Player | EOTF 2, MaxCLL 1000, MaxFALL 400";
    QTest::newRow("staged input stays when PORT B is chosen")
        << QByteArray(R"("input": {"vic": 95})") << 2
        << "95 3840x2160p30 | HDMI | 600MHz | TX A,TX B | YCbCr 4:4:4 | Extended: ITU-R "
           "BT.2020 RGB | STRMBOX/4K Media Player | EOTF 2, MaxCLL 1000, MaxFALL 400";
}

void SimStageTest::registersAnswerFromStagedInput() {
    QFETCH(QByteArray, stage);
    QFETCH(int, port);
    QFETCH(QString, registers);
    TestPlatform p;
    std::string complaint;
    QVERIFY2(load(stage, &p.device(), &complaint), complaint.c_str());
    p.device().settings[0] = static_cast<std::uint8_t>(port);
    QCOMPARE(registersOf(p), registers);
}

void SimStageTest::displayReadAnswersFromStagedEdid_data() {
    QTest::addColumn<QByteArray>("stage");
    QTest::addColumn<int>("stageCommand");
    QTest::addColumn<QString>("read"); // the 256 bytes in hex
    const QString deviceEdid128 = hexOf(makeDeviceEdid(), 128);
    const QString projector = hexOf(makeDisplayEdid(1), 256);
    const QString zeros128 = QString(256, '0');
    QTest::newRow("128 bytes on TOP, the rest zeros")
        << ("\"topEdid\": \"" + deviceEdid128 + "\"").toLatin1() << int(proto::kCmdStageTopEdid)
        << deviceEdid128 + zeros128;
    QTest::newRow("the projector's 256 bytes on TOP")
        << ("\"topEdid\": \"" + projector + "\"").toLatin1() << int(proto::kCmdStageTopEdid)
        << projector;
    QTest::newRow("no display on BOT: zeros")
        << QByteArray(R"("botEdid": null)") << int(proto::kCmdStageBotEdid) << zeros128 + zeros128;
    QTest::newRow("BOT left out: the default projector")
        << ("\"topEdid\": \"" + deviceEdid128 + "\"").toLatin1() << int(proto::kCmdStageBotEdid)
        << projector;
}

void SimStageTest::displayReadAnswersFromStagedEdid() {
    QFETCH(QByteArray, stage);
    QFETCH(int, stageCommand);
    QFETCH(QString, read);
    TestPlatform p;
    std::string complaint;
    QVERIFY2(load(stage, &p.device(), &complaint), complaint.c_str());
    p.openDirectly();
    QuietReporter reporter;
    const session::EdidReadResult r =
        session::readEdid(reporter, static_cast<std::uint8_t>(stageCommand));
    // With no display the device still answers: the reader gets every chunk.
    QVERIFY(r.staged && r.complete);
    QCOMPARE(hexOf(r.image, 256), read);
}

// In name order.
const QStringList kExampleFiles = {"420-source-tv-without-420.json", "4k-hdr-tv-and-projector.json",
                                   "no-display-on-bot.json"};

void SimStageTest::everyExampleIsTested() {
    QCOMPARE(QDir(kExamples).entryList({"*.json"}, QDir::Files, QDir::Name), kExampleFiles);
}

void SimStageTest::examplesShowTheirInput_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("lines"); // `korvanta status`, before any HDR payload
    QTest::newRow("4k-hdr-tv-and-projector")
        << "4k-hdr-tv-and-projector.json"
        << QStringList{"Input : 3840x2160p60 HDMI, [600MHz], Output: TX A, TX B",
                       "Color Space: RGB, Extended: ITU-R BT.2020 RGB",
                       "Source Info: KVT UHD Player 4K", "HDR input:  SMPTE ST 2084"};
    QTest::newRow("420-source-tv-without-420")
        << "420-source-tv-without-420.json"
        << QStringList{"Input : 3840x2160p60 HDMI, [4:2:0 10-bit], Output: TX A, TX B",
                       "Color Space: YCbCr 4:2:0, ITU-R BT.709", "Source Info: KVT Stream Stick",
                       "HDR input:  Not Active"};
    QTest::newRow("no-display-on-bot")
        << "no-display-on-bot.json"
        << QStringList{"Input : 1920x1080p60 HDMI, Output: TX A", "Color Space: RGB, ITU-R BT.709",
                       "Source Info: KVT Console", "HDR input:  Not Active"};
}

// Each file loads, a copy of it drives `korvanta status`, and the staged
// displays are EDIDs `korvanta edid check` passes.
void SimStageTest::examplesShowTheirInput() {
    QFETCH(QString, file);
    QFETCH(QStringList, lines);
    QTemporaryDir dir;
    const QString copy = dir.filePath("state.json");
    QVERIFY(QFile::copy(kExamples + "/" + file, copy));
    SimulatedDevice device;
    std::string complaint;
    QCOMPARE(loadSimState(copy.toStdString(), &device, &complaint), SimStateLoad::Loaded);
    QVERIFY(device.stateDescription && !device.stateDescription->empty());

    const Run status = korvanta({"status"}, copy);
    QCOMPARE(status.code, 0);
    QCOMPARE(QString::fromLatin1(status.out).split('\n').mid(0, 4), lines);
    QVERIFY2(status.err.isEmpty(), status.err.constData());

    for (int output = 0; output < 2; ++output) {
        if (!device.stagedDisplayBytes[output] || *device.stagedDisplayBytes[output] == 0)
            continue;
        const QString edid = dir.filePath(QString("display%1.hex").arg(output));
        QFile out(edid);
        QVERIFY(out.open(QIODevice::WriteOnly));
        // As `korvanta edid` writes hex text: 16 bytes a line.
        const auto* bytes = reinterpret_cast<const char*>(device.displayEdid[output].data());
        for (int at = 0; at < *device.stagedDisplayBytes[output]; at += 16)
            out.write(QByteArray(bytes + at, 16).toHex(' ') + '\n');
        out.close();
        const Run check = korvanta({"edid", "check", edid}, copy);
        QVERIFY2(check.code == 0, check.out + check.err);
    }
}

QTEST_GUILESS_MAIN(SimStageTest)
#include "tst_core_simstage.moc"
