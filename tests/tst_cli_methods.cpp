// The service's methods in-process, on a simulated device opened the way the
// service opens it, held to what korvanta --json prints for the same command
// on the same simulated state.
#include "TestPlatform.h"
#include "cli/Cli.h"
#include "edid/EdidPresets.h"
#include "link/UsbLink.h"
#include "service/CommandMethods.h"
#include "sim/SimFaults.h"
#include "sim/SimState.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

struct Run {
    int code = -1;
    QByteArray out;
    QByteArray err;
};

using Setup = QList<QStringList>;

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray compact(const QJsonObject& o) {
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QString presetHex(const char* name, bool lines) {
    const edid::PresetBuild built = edid::buildPreset(QString::fromLatin1(name));
    QByteArray bytes(reinterpret_cast<const char*>(built.bytes.data()),
                     qsizetype(built.bytes.size()));
    return QString::fromLatin1(lines ? bytes.toHex(' ') : bytes.toHex());
}

// The device as `korvanta serve` holds it: the simulator on the state file,
// found and opened once, korvanta's console dialogs; the methods only use it.
struct HeldDevice {
    TestPlatform platform;
    cli::ConsoleDialogs dialogs;

    HeldDevice(const QString& state, const QString& faults) {
        std::string complaint;
        keepSimState(state.toStdString(), &platform.usb.device, &complaint);
        SimFaults f;
        if (parseSimFaults(faults.toStdString(), &f, &complaint))
            applySimFaults(f, &platform.usb);
        ::platform().dialogs = &dialogs;
        opened = findDevice(appState.productString, &appState.deviceIndex) &&
                 openDevice(appState.deviceIndex);
        platform.requests().clear();
    }
    // Closing gives up the unit's lock, which korvanta needs next.
    ~HeldDevice() { closeDevice(); }
    bool opened = false;
};

} // namespace

class MethodsTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void sameDocumentAsKorvanta_data();
    void sameDocumentAsKorvanta();
    void backupGivesTheDocumentAndRestoreTakesIt();
    void badParamsSendNothing_data();
    void badParamsSendNothing();
    void deviceFaultsSayWhatKorvantaSays_data();
    void deviceFaultsSayWhatKorvantaSays();
    void theHeldDeviceStaysAsItWas();
    void withoutAnOpenDevice();

private:
    Run korvanta(QStringList args, const QString& state, const QString& faults = {});
    service::MethodResult call(const QString& method, const QJsonObject& params,
                               const QString& faults = {});
    QString path(const char* name) const { return dir->filePath(QLatin1String(name)); }
    QJsonObject withFiles(QJsonObject params) const;

    std::unique_ptr<QTemporaryDir> dir;
    service::MethodHandler handler = service::makeMethodHandler();
};

Run MethodsTest::korvanta(QStringList args, const QString& state, const QString& faults) {
    QString program = qEnvironmentVariable("KORVANTA_CLI");
    if (program.isEmpty())
        program = QCoreApplication::applicationDirPath() + "/../cli/korvanta";
    for (QString& a : args)
        a.replace("@/", dir->path() + "/");
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert("KORVANTA_LINK", "simulator");
    e.insert("KORVANTA_SIM_STATE", state);
    e.remove("KORVANTA_TRACE");
    e.insert("KORVANTA_SIM_FAULTS", faults);
    p.setProcessEnvironment(e);
    p.start(program, args);
    if (!p.waitForFinished(60000))
        return {};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

service::MethodResult MethodsTest::call(const QString& method, const QJsonObject& params,
                                        const QString& faults) {
    HeldDevice held(path("state.json"), faults);
    if (!held.opened)
        return {};
    return handler(method.toStdString(), params);
}

// "@hex:PRESET" and "@lines:PRESET" stand for a preset's bytes as hex; "@json:NAME"
// and "@bin:NAME" for the document and the bytes in that file of the test's folder.
QJsonObject MethodsTest::withFiles(QJsonObject params) const {
    for (auto it = params.begin(); it != params.end(); ++it) {
        const QString v = it.value().toString();
        if (v.startsWith("@hex:") || v.startsWith("@lines:"))
            *it = presetHex(v.section(':', 1).toLatin1().constData(), v.startsWith("@lines:"));
        else if (v.startsWith("@json:"))
            *it = QJsonDocument::fromJson(readAll(dir->filePath(v.mid(6)))).object();
        else if (v.startsWith("@bin:"))
            *it = QString::fromLatin1(readAll(dir->filePath(v.mid(5))).toHex());
    }
    return params;
}

void MethodsTest::init() {
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    QVERIFY(writeAll(path("safe.hex"), presetHex("1080p60-safe", true).toLatin1()));
    QByteArray badSum(256, '\0');
    badSum[1] = char(0xFF);
    QVERIFY(writeAll(path("badsum.bin"), badSum));
}

void MethodsTest::sameDocumentAsKorvanta_data() {
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QString>("method");
    QTest::addColumn<QJsonObject>("params");
    QTest::addColumn<QStringList>("args");
    const Setup custom{{"set", "edid-mode=custom", "edid-preset=0", "input=b"}};

    QTest::newRow("get all") << Setup{} << "get" << QJsonObject{} << QStringList{"get"};
    QTest::newRow("get named") << custom << "get"
                               << QJsonObject{{"names", QJsonArray{"HDCP", "input"}}}
                               << QStringList{"get", "HDCP", "input"};
    QTest::newRow("set list, in order")
        << Setup{} << "set" << QJsonObject{{"values", QJsonArray{"hdr=on", "Input=matrix-swap"}}}
        << QStringList{"set", "hdr=on", "Input=matrix-swap"};
    QTest::newRow("set object, table order")
        << Setup{} << "set"
        << QJsonObject{{"values",
                        QJsonObject{{"edid-preset", 0}, {"edid-mode", "custom"}, {"input", "b"}}}}
        << QStringList{"set", "input=b", "edid-mode=custom", "edid-preset=0"};
    QTest::newRow("status") << custom << "status" << QJsonObject{} << QStringList{"status"};
    QTest::newRow("status with the chain")
        << custom << "status" << QJsonObject{{"chain", true}} << QStringList{"status", "--chain"};
    QTest::newRow("chain") << custom << "chain" << QJsonObject{} << QStringList{"chain"};
    QTest::newRow("edid read top") << Setup{} << "edid.read" << QJsonObject{{"source", "TOP"}}
                                   << QStringList{"edid", "read", "TOP"};
    QTest::newRow("edid read device") << custom << "edid.read" << QJsonObject{{"source", "device"}}
                                      << QStringList{"edid", "read", "device"};
    QTest::newRow("edid write hex")
        << Setup{} << "edid.write" << QJsonObject{{"hex", "@hex:1080p60-safe"}, {"custom", true}}
        << QStringList{"edid", "write", "--custom", "@/safe.hex"};
    QTest::newRow("edid write preset")
        << custom << "edid.write" << QJsonObject{{"preset", "1080p60-safe"}}
        << QStringList{"edid", "write", "@/safe.hex"};
    QTest::newRow("edid write, not custom")
        << Setup{} << "edid.write" << QJsonObject{{"hex", "@lines:1080p60-safe"}}
        << QStringList{"edid", "write", "@/safe.hex"};
    QTest::newRow("edid check hex")
        << Setup{} << "edid.check"
        << QJsonObject{{"hex", "@lines:4k60-hdr-atmos"}, {"forDevice", true}}
        << QStringList{"edid", "check", "--for-device", "preset:4k60-hdr-atmos"};
    QTest::newRow("edid check display") << Setup{} << "edid.check" << QJsonObject{{"source", "bot"}}
                                        << QStringList{"edid", "check", "bot"};
    QTest::newRow("cec send") << Setup{} << "cec.send" << QJsonObject{{"hex", "0f:36"}}
                              << QStringList{"cec", "send", "0f:36"};
    QTest::newRow("cec store") << Setup{} << "cec.store"
                               << QJsonObject{{"button", "LP"}, {"hex", "40:04"}}
                               << QStringList{"cec", "store", "LP", "40:04"};
    QTest::newRow("hdr forced") << Setup{} << "infoframe.hdr"
                                << QJsonObject{{"hex", "87:01:1a:00:02"}, {"force", true}}
                                << QStringList{"infoframe", "hdr", "--force", "87:01:1a:00:02"};
    QTest::newRow("avi persist") << Setup{} << "infoframe.avi"
                                 << QJsonObject{{"hex", "10:28:00:00:00"}, {"persist", "On"}}
                                 << QStringList{"infoframe", "avi", "10:28:00:00:00", "--persist",
                                                "On"};
    QTest::newRow("reset") << custom << "reset" << QJsonObject{{"what", "settings"}, {"yes", true}}
                           << QStringList{"reset", "settings", "--yes"};
    const Setup changedSinceBackup{custom.front(),
                                   {"backup", "@/backup.json"},
                                   {"set", "input=a", "hdr=on", "edid-mode=automix"},
                                   {"infoframe", "avi", "10:28:00:00:00", "--force"}};
    QTest::newRow("restore dry run")
        << changedSinceBackup << "restore"
        << QJsonObject{{"backup", "@json:backup.json"}, {"dryRun", true}}
        << QStringList{"restore", "--dry-run", "@/backup.json"};
    const Setup failingEdidSinceReplaced{
        {"edid", "edit", "top", "--max-tmds", "165", "-o", "@/slow.bin"},
        {"edid", "write", "--custom", "--force", "@/slow.bin"},
        {"backup", "@/backup.json"},
        {"edid", "write", "@/safe.hex"},
        {"set", "input=b"}};
    QTest::newRow("restore, the EDID refused")
        << failingEdidSinceReplaced << "restore" << QJsonObject{{"backup", "@json:backup.json"}}
        << QStringList{"restore", "@/backup.json"};
    QTest::newRow("restore") << changedSinceBackup << "restore"
                             << QJsonObject{{"backup", "@json:backup.json"}}
                             << QStringList{"restore", "@/backup.json"};
}

void MethodsTest::sameDocumentAsKorvanta() {
    QFETCH(Setup, setup);
    QFETCH(QString, method);
    QFETCH(QJsonObject, params);
    QFETCH(QStringList, args);
    for (const QStringList& step : setup)
        QCOMPARE(korvanta(step, path("state.json")).code, 0);
    // The same state for both; each changes its own copy.
    if (QFile::exists(path("state.json")))
        QVERIFY(QFile::copy(path("state.json"), path("theirs.json")));

    const Run theirs = korvanta(QStringList{"--json"} + args, path("theirs.json"));
    const service::MethodResult ours = call(method, withFiles(params));
    QVERIFY2(ours.known, qPrintable(method));
    QCOMPARE(ours.exitCode, theirs.code);
    QCOMPARE(QByteArray::fromStdString(ours.message), theirs.err);
    // A usage error has no document, here as there.
    const QJsonObject document = QJsonDocument::fromJson(theirs.out).object();
    QVERIFY2(document.isEmpty() == (theirs.code == 2), theirs.out.constData());
    QCOMPARE(compact(ours.output), compact(document));
    // And the device was left the same way.
    QCOMPARE(QJsonDocument::fromJson(readAll(path("state.json"))),
             QJsonDocument::fromJson(readAll(path("theirs.json"))));
}

void MethodsTest::backupGivesTheDocumentAndRestoreTakesIt() {
    QCOMPARE(
        korvanta({"set", "edid-mode=custom", "edid-preset=0", "hdr=on"}, path("state.json")).code,
        0);
    QVERIFY(QFile::copy(path("state.json"), path("theirs.json")));
    const Run saved = korvanta({"--json", "backup", "@/backup.json"}, path("theirs.json"));
    QCOMPARE(saved.code, 0);
    const service::MethodResult backup = call("backup", {});
    QCOMPARE(backup.exitCode, 0);
    QVERIFY(backup.message.empty());

    // The document korvanta saves, and where it names the file, the document.
    QJsonObject file = QJsonDocument::fromJson(readAll(path("backup.json"))).object();
    QJsonObject document = backup.output["backup"].toObject();
    QVERIFY(document.contains("edid"));
    QVERIFY(!document.value("date").toString().isEmpty());
    file.remove("date");
    document.remove("date");
    QCOMPARE(compact(document), compact(file));
    QJsonObject said = QJsonDocument::fromJson(saved.out).object();
    said.remove("file");
    QJsonObject answered = backup.output;
    answered.remove("backup");
    QCOMPARE(compact(answered), compact(said));

    const service::MethodResult before = call("get", {});
    QCOMPARE(call("set", {{"values", QJsonArray{"hdr=off", "edid-mode=automix"}}}).exitCode, 0);
    QVERIFY(call("get", {}).output != before.output);
    const service::MethodResult restored =
        call("restore", {{"backup", backup.output["backup"].toObject()}});
    QCOMPARE(restored.exitCode, 0);
    QCOMPARE(restored.output["changed"].toArray().size(), 2);
    QCOMPARE(call("get", {}).output, before.output);
}

void MethodsTest::badParamsSendNothing_data() {
    QTest::addColumn<QString>("method");
    QTest::addColumn<QJsonObject>("params");
    QTest::addColumn<QByteArray>("said");
    QTest::addColumn<QStringList>("args"); // korvanta's own words for it, where it has them

    QTest::newRow("unknown setting")
        << "set" << QJsonObject{{"values", QJsonObject{{"input", "b"}, {"colour", "on"}}}}
        << QByteArray("korvanta: no setting is called \"colour\"; see korvanta set --help\n")
        << QStringList{"set", "colour=on", "input=b"};
    QTest::newRow("hdcp by code") << "set" << QJsonObject{{"values", QJsonObject{{"hdcp", 2}}}}
                                  << QByteArray("\"2\" is not a value of hdcp")
                                  << QStringList{"set", "hdcp=2"};
    QTest::newRow("value of a wrong type")
        << "set" << QJsonObject{{"values", QJsonObject{{"input", "a"}, {"hdr", true}}}}
        << QByteArray("korvanta: set: the value of \"hdr\" must be a string") << QStringList{};
    QTest::newRow("no values") << "set" << QJsonObject{{"values", QJsonArray{}}}
                               << QByteArray("names no setting") << QStringList{};
    QTest::newRow("values a string") << "set" << QJsonObject{{"values", "input=b"}}
                                     << QByteArray("\"values\" must be an object") << QStringList{};
    QTest::newRow("get unknown") << "get" << QJsonObject{{"names", QJsonArray{"nothing"}}}
                                 << QByteArray("\"nothing\"") << QStringList{"get", "nothing"};
    QTest::newRow("names not a list")
        << "get" << QJsonObject{{"names", "input"}}
        << QByteArray("\"names\" must be a list of strings") << QStringList{};
    QTest::newRow("reset without yes") << "reset" << QJsonObject{{"what", "all"}}
                                       << QByteArray("--yes") << QStringList{"reset", "all"};
    QTest::newRow("unknown param")
        << "chain" << QJsonObject{{"watch", 5}}
        << QByteArray("korvanta: chain: takes no param \"watch\"; it takes none\n")
        << QStringList{};
    QTest::newRow("dry run misspelt")
        << "restore" << QJsonObject{{"backup", QJsonObject{}}, {"dryrun", true}}
        << QByteArray("takes no param \"dryrun\"; it takes backup, dryRun, force") << QStringList{};
    QTest::newRow("flag not a bool")
        << "restore" << QJsonObject{{"backup", QJsonObject{}}, {"dryRun", "yes"}}
        << QByteArray("\"dryRun\" must be true or false") << QStringList{};
    QTest::newRow("edid read where") << "edid.read" << QJsonObject{{"source", "left"}}
                                     << QByteArray("\"source\" is \"left\"; it is one of device, "
                                                   "top, bot")
                                     << QStringList{};
    QTest::newRow("edid read nowhere")
        << "edid.read" << QJsonObject{} << QByteArray("needs \"source\"") << QStringList{};
    QTest::newRow("hex and preset")
        << "edid.write" << QJsonObject{{"hex", "00"}, {"preset", "1080p60-safe"}}
        << QByteArray("takes \"hex\" or \"preset\", not both") << QStringList{};
    QTest::newRow("edid half a block") << "edid.write" << QJsonObject{{"hex", QString(128, 'a')}}
                                       << QByteArray("holds 64 bytes, not a whole number of "
                                                     "128-byte blocks")
                                       << QStringList{};
    QTest::newRow("edid not hex") << "edid.write" << QJsonObject{{"hex", "00 ff zz"}}
                                  << QByteArray("character 7 is not a hex digit") << QStringList{};
    QTest::newRow("edid one digit") << "edid.write" << QJsonObject{{"hex", "00 f ff"}}
                                    << QByteArray("one digit before character 5") << QStringList{};
    QTest::newRow("edid checksum") << "edid.write" << QJsonObject{{"hex", "@bin:badsum.bin"}}
                                   << QByteArray("The EDID Checksum is not correct")
                                   << QStringList{"edid", "write", "@/badsum.bin"};
    QTest::newRow("edid longer than the table")
        << "edid.write" << QJsonObject{{"hex", QString(768, '0')}}
        << QByteArray("the EDID is 384 bytes and the device's table holds 256") << QStringList{};
    QTest::newRow("unknown preset") << "edid.write" << QJsonObject{{"preset", "none-such"}}
                                    << QByteArray("preset \"none-such\"") << QStringList{};
    QTest::newRow("check a file") << "edid.check" << QJsonObject{{"source", "/etc/passwd"}}
                                  << QByteArray("the service reads no files") << QStringList{};
    QTest::newRow("preset outside the presets")
        << "edid.check" << QJsonObject{{"source", "preset:../../../etc/passwd"}}
        << QByteArray("not a preset name") << QStringList{};
    QTest::newRow("cec text") << "cec.send" << QJsonObject{{"hex", "05"}}
                              << QByteArray("Error: min 2, max 31 data bytes")
                              << QStringList{"cec", "send", "05"};
    QTest::newRow("cec a number") << "cec.send" << QJsonObject{{"hex", 15}}
                                  << QByteArray("\"hex\" must be a string") << QStringList{};
    QTest::newRow("cec button") << "cec.store" << QJsonObject{{"button", "xp"}, {"hex", "40:04"}}
                                << QByteArray("\"button\" is \"xp\"") << QStringList{};
    QTest::newRow("hdr payload")
        << "infoframe.hdr"
        << QJsonObject{{"hex", "02:00:c2:33:c4:86:4c:1d:b8:0b:d0:84:80:3e:13:3d:42:40:e8:03:32:00:"
                               "e8:03:90:01"}}
        << QByteArray("the whole frame is:")
        << QStringList{"infoframe", "hdr",
                       "02:00:c2:33:c4:86:4c:1d:b8:0b:d0:84:80:3e:13:3d:42:40:e8:03:32:00:e8:03:"
                       "90:01"};
    QTest::newRow("persist") << "infoframe.avi" << QJsonObject{{"hex", "10:28"}, {"persist", "yes"}}
                             << QByteArray("\"persist\" is \"yes\"; it is one of on, off")
                             << QStringList{};
    QTest::newRow("restore a path") << "restore" << QJsonObject{{"backup", "/tmp/backup.json"}}
                                    << QByteArray("\"backup\" must be an object") << QStringList{};
    QTest::newRow("restore name")
        << "restore"
        << QJsonObject{{"backup", QJsonObject{{"format", "korvanta-backup"},
                                              {"formatVersion", 1},
                                              {"settings", QJsonObject{{"volume", "11"}}}}}}
        << QByteArray("korvanta: the backup document: no setting is called \"volume\"\n")
        << QStringList{};
}

void MethodsTest::badParamsSendNothing() {
    QFETCH(QString, method);
    QFETCH(QJsonObject, params);
    QFETCH(QByteArray, said);
    QFETCH(QStringList, args);
    HeldDevice held(path("state.json"), {});
    QVERIFY(held.opened);
    const service::MethodResult r = handler(method.toStdString(), withFiles(params));
    QCOMPARE(r.exitCode, 2);
    QVERIFY(r.output.isEmpty());
    QVERIFY2(QByteArray::fromStdString(r.message).contains(said), r.message.c_str());
    QCOMPARE(held.platform.requests().size(), std::size_t(0));
    if (!args.isEmpty()) {
        const Run theirs = korvanta(args, path("state.json"));
        QCOMPARE(theirs.code, 2);
        QCOMPARE(QByteArray::fromStdString(r.message), theirs.err);
    }
}

void MethodsTest::deviceFaultsSayWhatKorvantaSays_data() {
    QTest::addColumn<QString>("faults");
    QTest::addColumn<QString>("method");
    QTest::addColumn<QJsonObject>("params");
    QTest::addColumn<QStringList>("args");
    QTest::newRow("refusal") << "refuse=E0"
                             << "set" << QJsonObject{{"values", QJsonArray{"input=b"}}}
                             << QStringList{"set", "input=b"};
    QTest::newRow("wrong acknowledge")
        << "wrong-ack"
        << "cec.send" << QJsonObject{{"hex", "0f:36"}} << QStringList{"cec", "send", "0f:36"};
    QTest::newRow("refused EDID read")
        << "refuse=B0"
        << "edid.read" << QJsonObject{{"source", "top"}} << QStringList{"edid", "read", "top"};
    QTest::newRow("library") << "fail-write"
                             << "status" << QJsonObject{} << QStringList{"status"};
    QTest::newRow("no answer") << "silent"
                               << "get" << QJsonObject{} << QStringList{"get"};
}

void MethodsTest::deviceFaultsSayWhatKorvantaSays() {
    QFETCH(QString, faults);
    QFETCH(QString, method);
    QFETCH(QJsonObject, params);
    QFETCH(QStringList, args);
    const Run theirs = korvanta(QStringList{"--json"} + args, path("state.json"), faults);
    const service::MethodResult ours = call(method, params, faults);
    QCOMPARE(theirs.code, 1);
    QCOMPARE(ours.exitCode, 1);
    QVERIFY(!ours.message.empty());
    QCOMPARE(QByteArray::fromStdString(ours.message), theirs.err);
    QCOMPARE(compact(ours.output), compact(QJsonDocument::fromJson(theirs.out).object()));
    QCOMPARE(ours.output["ok"], QJsonValue(false));
}

void MethodsTest::theHeldDeviceStaysAsItWas() {
    // A dry run wraps the library for its run only; nothing is opened or closed.
    HeldDevice held(path("state.json"), {});
    QVERIFY(held.opened);
    const DeviceHandle handle = appState.deviceHandle;
    const service::MethodResult backup = handler("backup", {});
    QCOMPARE(backup.exitCode, 0);
    const service::MethodResult dry =
        handler("restore", {{"backup", backup.output["backup"]}, {"dryRun", true}});
    QCOMPARE(dry.exitCode, 0);
    QCOMPARE(handler("status", {}).exitCode, 0);
    QCOMPARE(held.platform.usb.openCount, 1);
    QCOMPARE(held.platform.usb.closeCount, 0);
    QCOMPARE(appState.deviceHandle, handle);
    QCOMPARE(platform().usb, static_cast<UsbLibrary*>(&held.platform.usb));
    QCOMPARE(platform().dialogs, static_cast<Dialogs*>(&held.dialogs));
    // The methods own no stderr of the service's: a failure is answered, not printed.
    QVERIFY(cli::complaints().empty());
}

void MethodsTest::withoutAnOpenDevice() {
    HeldDevice held(path("state.json"), {});
    closeDevice();
    const service::MethodResult r = handler("get", {{"names", QJsonArray{"input"}}});
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.message, std::string("korvanta: KORVANTA USB not connected!\n"));
    QCOMPARE(r.output["errors"], QJsonValue(QJsonArray{"KORVANTA USB not connected!"}));
    QCOMPARE(held.platform.usb.openCount, 1);
    const service::MethodResult unknown = handler("frobnicate", {});
    QVERIFY(!unknown.known);
    const auto names = service::makeMethodList()();
    QVERIFY(std::find(names.begin(), names.end(), "edid.read") != names.end());
    QVERIFY(std::find(names.begin(), names.end(), "frobnicate") == names.end());
}

QTEST_GUILESS_MAIN(MethodsTest)
#include "tst_cli_methods.moc"
