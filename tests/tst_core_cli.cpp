// korvanta as a process, on the simulated device kept in a state file.
#include "settings/SettingsMap.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <map>

namespace {

struct Run {
    int code = -1;
    QByteArray out;
    QByteArray err;
};

} // namespace

class CliTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void setThenGetEveryName();
    void backupChangeRestore();
    void restoreDryRunSendsNothing();
    void restoreDryRunPlansWhatRestoreSends();
    void edidWriteVerifiesAndBacksUp();
    void edidWriteOutsideCustomMode();
    void decodersInWords();
    void edidWorkshop();
    void badEdidsNeverReachTheDevice();
    void unreadBlock_data();
    void unreadBlock();
    void restoreAroundAFailingEdid();
    void usageErrorsSendNothing_data();
    void usageErrorsSendNothing();
    void failuresNameTheirCause_data();
    void failuresNameTheirCause();
    void noDeviceFails_data();
    void noDeviceFails();
    void readmeExamplesRun();
    void chainOnTheSimulatedDevice_data();
    void chainOnTheSimulatedDevice();
    void statusChainReadsTheDisplaysOnlyWhenAsked();
    void chainOnTheStagedExamples_data();
    void chainOnTheStagedExamples();
    void silentDeviceFailsAfterOneRequest_data();
    void silentDeviceFailsAfterOneRequest();
    void jsonParses_data();
    void jsonParses();
    void severalUnits();
    void secondDirectUserIsRefused();

private:
    Run korvanta(const QStringList& args, const QStringList& env = {});
    QString path(const char* name) const { return dir->filePath(QLatin1String(name)); }
    std::map<std::string, std::string> getAll();
    QJsonObject fileFields(const QString& file);

    std::unique_ptr<QTemporaryDir> dir;
};

namespace {
QString korvantaProgram() {
    const QString program = qEnvironmentVariable("KORVANTA_CLI");
    return program.isEmpty() ? QCoreApplication::applicationDirPath() + "/../cli/korvanta"
                             : program;
}
} // namespace

Run CliTest::korvanta(const QStringList& args, const QStringList& env) {
    const QString program = korvantaProgram();
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert("KORVANTA_LINK", "simulator");
    e.insert("KORVANTA_SIM_STATE", path("state.json"));
    e.remove("KORVANTA_TRACE");
    e.remove("KORVANTA_SIM_FAULTS");
    for (const QString& kv : env)
        e.insert(kv.section('=', 0, 0), kv.section('=', 1));
    p.setProcessEnvironment(e);
    p.start(program, QStringList{"--trace", path("trace.log")} + args);
    if (!p.waitForFinished(30000))
        return {};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

std::map<std::string, std::string> CliTest::getAll() {
    std::map<std::string, std::string> values;
    const Run r = korvanta({"get"});
    for (const QByteArray& line : r.out.split('\n'))
        if (line.contains('='))
            values[line.left(line.indexOf('=')).toStdString()] =
                line.mid(line.indexOf('=') + 1).toStdString();
    return values;
}

void CliTest::init() {
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

void CliTest::setThenGetEveryName() {
    // Round k gives every setting its k-th word, so each word of each name
    // goes to the device and must come back from it.
    for (std::size_t round = 0; round < 9; ++round) {
        QStringList pairs;
        std::map<std::string, std::string> expected;
        for (const settings::Setting& s : settings::allSettings()) {
            if (!s.name)
                continue;
            const char* word = s.valueNames[round % s.valueNames.size()].name;
            pairs << QStringLiteral("%1=%2").arg(s.name, word);
            expected[s.name] = word;
        }
        const Run set = korvanta(QStringList{"set"} + pairs);
        QCOMPARE(set.code, 0);
        QCOMPARE(getAll(), expected);
    }
    // The number that is sent stands for its word, as raw:N always and bare
    // where no value name is a number; names and words in any letter case.
    QCOMPARE(korvanta({"set", "input=3", "hdcp=raw:2"}).code, 0);
    QCOMPARE(korvanta({"get", "input", "hdcp"}).out, QByteArray("input=matrix-thru\nhdcp=1.4\n"));
    QCOMPARE(korvanta({"set", "Input=B", "HDCP=2.2", "hdr=Raw:1"}).code, 0);
    QCOMPARE(korvanta({"get", "INPUT", "hdcp", "hdr"}).out,
             QByteArray("input=b\nhdcp=2.2\nhdr=on\n"));
}

void CliTest::backupChangeRestore() {
    QCOMPARE(korvanta({"set", "edid-mode=custom", "edid-preset=0", "input=b"}).code, 0);
    QCOMPARE(korvanta({"infoframe", "hdr", "87:01:1a:00:02", "-q", "--force"}).code, 0);
    const auto before = getAll();
    const Run backup = korvanta({"backup", path("backup.json")});
    QCOMPARE(backup.code, 0);
    const QJsonObject saved = QJsonDocument::fromJson([&] {
                                  QFile f(path("backup.json"));
                                  f.open(QIODevice::ReadOnly);
                                  return f.readAll();
                              }())
                                  .object();
    QVERIFY(saved.contains("edid"));
    QCOMPARE(saved["block"].toString().size(), 80);

    QCOMPARE(korvanta({"set", "input=a", "hdr=off", "edid-mode=automix", "green-led=off"}).code, 0);
    QCOMPARE(korvanta({"infoframe", "hdr", "87:01:1a:00:01", "-q", "--force"}).code, 0);
    QVERIFY(getAll() != before);

    QFile::remove(path("trace.log"));
    const Run restore = korvanta({"restore", path("backup.json")});
    QCOMPARE(restore.code, 0);
    QCOMPARE(getAll(), before);
    // Only what differed was written: four settings, one at a time, never the block.
    QFile trace(path("trace.log"));
    QVERIFY(trace.open(QIODevice::ReadOnly));
    const QByteArray recorded = trace.readAll();
    QCOMPARE(recorded.count("\t10 04 E0 "), 4);
    QVERIFY(!recorded.contains("10 28 E2"));
    // The stored frame comes back as the 31 bytes the device keeps.
    QVERIFY(recorded.contains("\t10 1F E5 87 01 1A 00 02 00"));
}

// The trace's lines: requests of the transactions, and the comments apart.
struct TraceLines {
    QStringList requests, comments;
};

static TraceLines readTrace(const QString& file) {
    TraceLines t;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return t;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith('#'))
            t.comments << QString::fromLatin1(line);
        else if (!line.isEmpty())
            t.requests << QString::fromLatin1(line.split('\t').value(1));
    }
    return t;
}

void CliTest::restoreDryRunSendsNothing() {
    QCOMPARE(korvanta({"backup", path("backup.json")}).code, 0);
    QCOMPARE(korvanta({"set", "input=b", "cec=off"}).code, 0);
    const auto changed = getAll();
    const Run dry = korvanta({"restore", "--dry-run", path("backup.json")});
    QCOMPARE(dry.code, 0);
    QCOMPARE(dry.out, QByteArray("input: b → a\ncec: off → on\n"));
    const Run verbose = korvanta({"restore", "--dry-run", "--verbose", path("backup.json")});
    QCOMPARE(verbose.out,
             QByteArray("input: b → a\ncec: off → on\n  10 04 E0 00 01\n  10 04 E0 1B 01\n"));
    QCOMPARE(getAll(), changed);

    // Stored button messages cannot be read back: taken from the file when there.
    QFile f(path("backup.json"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QJsonObject doc = QJsonDocument::fromJson(f.readAll()).object();
    f.close();
    QVERIFY(doc["cecButtons"].toObject()["note"].toString().contains("cannot report"));
    doc["cecButtons"] = QJsonObject{{"lp", "4f:82:10:00"}};
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(QJsonDocument(doc).toJson());
    f.close();
    QFile::remove(path("trace.log"));
    const Run restore = korvanta({"restore", path("backup.json")});
    QCOMPARE(restore.code, 0);
    QCOMPARE(restore.out,
             QByteArray("input: b → a\ncec: off → on\nLP button: store 4f:82:10:00\n"));
    QCOMPARE(readTrace(path("trace.log")).requests.filter(" E4 ").size(), 1);
    QCOMPARE(korvanta({"restore", path("backup.json")}).out,
             QByteArray("LP button: store 4f:82:10:00\n"));
    doc["cecButtons"] = QJsonObject{{"sp", "0x40"}};
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(QJsonDocument(doc).toJson());
    f.close();
    const Run bad = korvanta({"restore", path("backup.json")});
    QCOMPARE(bad.code, 2);
    QVERIFY2(bad.err.contains("cecButtons.sp is not a CEC message"), bad.err.constData());
}

void CliTest::restoreDryRunPlansWhatRestoreSends() {
    // In custom EDID mode with the backup's EDID still on the device, the only
    // difference is the input: both runs must write that one setting, and the
    // dry run's trace must not claim the device took it.
    QCOMPARE(korvanta({"set", "edid-mode=custom", "edid-preset=0"}).code, 0);
    QCOMPARE(korvanta({"backup", path("backup.json")}).code, 0);
    QCOMPARE(korvanta({"set", "input=b"}).code, 0);

    QFile::remove(path("trace.log"));
    const Run dry = korvanta({"restore", "--dry-run", "--json", path("backup.json")});
    QCOMPARE(dry.code, 0);
    QStringList planned;
    for (const QJsonValue& r : QJsonDocument::fromJson(dry.out).object()["requests"].toArray())
        planned << r.toString();
    QCOMPARE(planned, QStringList{"10 04 E0 00 01"});
    const TraceLines dryTrace = readTrace(path("trace.log"));
    for (const QString& request : dryTrace.requests)
        QVERIFY2(request.startsWith("11 ") || request.startsWith("10 01 B"), qPrintable(request));
    QVERIFY(dryTrace.requests.contains("10 01 B4")); // the EDID was really read
    QVERIFY(dryTrace.comments.contains("# dry run, not sent: 10 04 E0 00 01"));

    QFile::remove(path("trace.log"));
    QCOMPARE(korvanta({"restore", path("backup.json")}).code, 0);
    QStringList sent;
    for (const QString& request : readTrace(path("trace.log")).requests)
        if (request.startsWith("10 ") && !request.startsWith("10 01 B4"))
            sent << request;
    QCOMPARE(sent, planned);
}

void CliTest::edidWriteVerifiesAndBacksUp() {
    QCOMPARE(korvanta({"edid", "read", "device", "-o", path("own.bin")}).code, 0);
    QCOMPARE(korvanta({"edid", "read", "top", "-o", path("top.txt")}).code, 0);
    const Run write =
        korvanta({"edid", "write", "--custom", path("top.txt"), "--backup", path("saved.bin")});
    QCOMPARE(write.code, 0);
    QVERIFY(write.out.contains("verified"));
    QFile own(path("own.bin")), saved(path("saved.bin"));
    QVERIFY(own.open(QIODevice::ReadOnly) && saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), own.readAll());
    // The device now gives back the display's table as its own.
    const Run top = korvanta({"edid", "read", "top"});
    QCOMPARE(korvanta({"edid", "read", "device"}).out, top.out);
    QCOMPARE(top.out.count('\n'), 16);

    // A commit the device refuses fails the write.
    const Run refused =
        korvanta({"edid", "write", path("own.bin")}, {"KORVANTA_SIM_FAULTS=refuse=0xB1"});
    QCOMPARE(refused.code, 1);
    QVERIFY(refused.err.contains("Error Populating EDID values."));
}

void CliTest::edidWriteOutsideCustomMode() {
    QCOMPARE(korvanta({"edid", "read", "top", "-o", path("top.bin")}).code, 0);
    QCOMPARE(korvanta({"set", "edid-mode=fixed"}).code, 0);
    const Run refused = korvanta({"edid", "write", path("top.bin")});
    QCOMPARE(refused.code, 2);
    QVERIFY(refused.err.contains("--custom"));
    QFile trace(path("trace.log"));
    QVERIFY(trace.open(QIODevice::ReadOnly));
    QVERIFY(!trace.readAll().contains("10 08 B0"));
}

void CliTest::decodersInWords() {
    QCOMPARE(korvanta({"cec", "decode", "0f:36"}).out,
             QByteArray("CEC message\n  From: TV (0)\n  To: Broadcast (15)\n"
                        "  Opcode: Standby (0x36)\n"));
    // A file and the device's table side by side: the same table has nothing to differ.
    QCOMPARE(korvanta({"edid", "read", "bot", "-o", path("bot.bin")}).code, 0);
    const Run same = korvanta({"--json", "edid", "diff", path("bot.bin"), "bot"});
    QCOMPARE(same.code, 0);
    QVERIFY(same.out.contains("\"identical\": true"));
    QVERIFY(korvanta({"edid", "diff", path("bot.bin"), "bot"}).out.contains("Same: yes"));
    // Differing EDIDs are a finding (3), as a device failure is not (1).
    const Run differ = korvanta({"edid", "diff", path("bot.bin"), "TOP"});
    QCOMPARE(differ.code, 3);
    QVERIFY(differ.out.contains("Same: no"));
    // A block on one side only is one line, its fields not listed again.
    const Run oneSided = korvanta(
        {"edid", "diff", "top",
         QStringLiteral(QT_TESTCASE_SOURCEDIR "/data/edid-samples/AOC_AOC2401_78642F6A59F2.bin")});
    QVERIFY2(oneSided.out.contains("HDMI Forum Vendor-Specific Data Block: only in top\n"),
             oneSided.out.constData());
    QVERIFY(!oneSided.out.contains("HDMI Forum Vendor-Specific Data Block > SCDC"));

    // The format follows --format over the name, and the note says which was written.
    const Run hex = korvanta({"edid", "read", "Top", "-o", path("top.bin"), "--format", "hex"});
    QCOMPARE(hex.out,
             QByteArray("EDID of top saved to " + path("top.bin").toUtf8() + " as hex text\n"));
    QFile saved(path("top.bin"));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QVERIFY(saved.readAll().startsWith("00 FF FF FF FF FF FF 00"));
}

static QByteArray fileBytes(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void CliTest::edidWorkshop() {
    // No edits: the input comes back byte for byte.
    QCOMPARE(korvanta({"edid", "read", "top", "-o", path("top.bin")}).code, 0);
    QCOMPARE(korvanta({"edid", "edit", path("top.bin"), "-o", path("same.bin")}).code, 0);
    QCOMPARE(fileBytes(path("same.bin")), fileBytes(path("top.bin")));

    // Edits in the order given, read back by the decoder; global options may stand among them.
    const Run edit = korvanta({"edid", "edit", "top", "--name", "Cinema", "--remove-vic", "97",
                               "--json", "--max-tmds=600", "-o", path("edited.bin")});
    QCOMPARE(edit.code, 0);
    QCOMPARE(QJsonDocument::fromJson(edit.out).object()["size"].toInt(), 256);
    const QJsonObject decoded =
        QJsonDocument::fromJson(korvanta({"--json", "edid", "decode", path("edited.bin")}).out)
            .object()["decode"]
            .toObject()["fields"]
            .toObject();
    QCOMPARE(decoded["displayName"].toString(), QString("Cinema"));
    const QJsonObject blocks = decoded["block1"].toObject()["dataBlocks"].toObject();
    for (const QJsonValue& v : blocks["video"].toArray())
        QVERIFY(v.toObject()["vic"].toInt() != 97);
    QCOMPARE(blocks["hdmiForum"].toObject()["maxTmdsCharacterRateMhz"].toInt(), 600);
    QCOMPARE(korvanta({"edid", "edit", "top", "--volume", "11"}).code, 2);

    // The TV's video with the receiver's audio: BOT's audio formats, TOP's name.
    QCOMPARE(
        korvanta({"edid", "merge", "--video", "top", "--audio", "bot", "-o", path("m.bin")}).code,
        0);
    const QJsonObject botFields =
        QJsonDocument::fromJson(korvanta({"--json", "edid", "decode", "bot"}).out)
            .object()["decode"]
            .toObject()["fields"]
            .toObject();
    const QJsonObject merged =
        QJsonDocument::fromJson(korvanta({"--json", "edid", "decode", path("m.bin")}).out)
            .object()["decode"]
            .toObject()["fields"]
            .toObject();
    QCOMPARE(merged["displayName"], fileFields(path("top.bin"))["displayName"]);
    QCOMPARE(merged["block1"].toObject()["dataBlocks"].toObject()["audio"],
             botFields["block1"].toObject()["dataBlocks"].toObject()["audio"]);

    // The check: a preset passes; 4K formats over a 165 MHz limit fail (exit 3).
    QCOMPARE(korvanta({"edid", "check", "preset:4k60-hdr-atmos"}).code, 0);
    QCOMPARE(korvanta({"edid", "edit", "top", "--max-tmds", "165", "-o", path("slow.bin")}).code,
             0);
    const Run check = korvanta({"edid", "check", path("slow.bin")});
    QCOMPARE(check.code, 3);
    QVERIFY2(check.out.contains("failure: 3840x2160p60 needs 594 MHz in RGB and 297 MHz in "
                                "4:2:0 and the EDID allows 165 MHz"),
             check.out.constData());

    const QJsonArray presets =
        QJsonDocument::fromJson(korvanta({"--json", "edid", "preset", "list"}).out)
            .object()["presets"]
            .toArray();
    QVERIFY(presets.size() >= 4);
    QVERIFY(!presets[0].toObject()["description"].toString().isEmpty());
    QCOMPARE(korvanta({"edid", "preset", "show", "nothing"}).code, 2);

    // A refused edit writes nothing; what an edit did beyond the asked is said.
    const Run wide = korvanta({"edid", "edit", "top", "--preferred", "98", "-o", path("w.bin")});
    QCOMPARE(wide.code, 2);
    QVERIFY(wide.err.contains("--preferred 98: 4096x2160p24 cannot be a detailed timing"));
    QVERIFY(!QFile::exists(path("w.bin")));
    const Run fast = korvanta({"--json", "edid", "edit", "top", "--max-tmds", "340", "--scdc",
                               "off", "--max-tmds", "600", "-o", path("f.bin")});
    QCOMPARE(QJsonDocument::fromJson(fast.out).object()["edits"].toArray(),
             QJsonArray{"--max-tmds 600: SCDC Present set too: HDMI 2.0 needs it above 340 MHz"});
    QVERIFY(korvanta({"edid", "edit", "top", "--max-fall", "x"}).err.contains("--max-fall:"));

    // A preset of the user's own is listed with its first comment when it has no description.
#ifdef Q_OS_WIN
    // No XDG_DATA_HOME here: the folder is the user's local application data,
    // the same for this test as for the korvanta it starts; a name of its own
    // keeps the user's presets apart, and it goes again at the end.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QString name = QStringLiteral("tst-core-cli-%1").arg(QCoreApplication::applicationPid());
    const QStringList env;
#else
    const QString data = path("data");
    const QString name = QStringLiteral("mine");
    const QStringList env{"XDG_DATA_HOME=" + data};
#endif
    QVERIFY(QDir().mkpath(data + "/korvanta/edid-presets"));
    QFile mine(data + "/korvanta/edid-presets/" + name + ".ini");
    QVERIFY(mine.open(QIODevice::WriteOnly));
    mine.write("# The loft projector.\nadd-vic = 16\n");
    mine.close();
    const Run listed = korvanta({"edid", "preset", "list"}, env);
    mine.remove();
    QVERIFY2(listed.out.contains(name.toUtf8() + "\tThe loft projector. (yours)\n"),
             listed.out.constData());
}

QJsonObject CliTest::fileFields(const QString& file) {
    return QJsonDocument::fromJson(korvanta({"--json", "edid", "decode", file}).out)
        .object()["decode"]
        .toObject()["fields"]
        .toObject();
}

void CliTest::badEdidsNeverReachTheDevice() {
    QCOMPARE(korvanta({"edid", "edit", "top", "--max-tmds", "165", "-o", path("slow.bin")}).code,
             0);
    QByteArray twice = fileBytes(path("slow.bin"));
    twice += twice;
    QFile longFile(path("long.bin"));
    QVERIFY(longFile.open(QIODevice::WriteOnly));
    longFile.write(twice);
    longFile.close();

    const QList<QStringList> refused{{"edid", "write", "--custom", path("slow.bin")},
                                     {"edid", "write", "--custom", "--force", path("long.bin")}};
    for (const QStringList& args : refused) {
        QFile::remove(path("trace.log"));
        const Run r = korvanta(args);
        QCOMPARE(r.code, 2);
        QVERIFY(r.err.contains("nothing was written"));
        QVERIFY(readTrace(path("trace.log")).requests.isEmpty());
    }
    // Forced, a failing EDID goes out, and the changes are said first.
    const Run forced = korvanta({"edid", "write", "--custom", "--force", path("slow.bin")});
    QCOMPARE(forced.code, 0);
    QVERIFY(forced.out.contains("what changes on the device:"));
    // A backup of it restores: the device already holds that EDID.
    QCOMPARE(korvanta({"backup", path("backup.json")}).code, 0);
    QCOMPARE(korvanta({"restore", path("backup.json")}).code, 0);
    QCOMPARE(korvanta({"restore", "--force", path("backup.json")}).code, 0);
}

static const char* const kPlainEdid =
    QT_TESTCASE_SOURCEDIR "/data/edid-samples/AOC_AOC2402_9452650F8E18.bin";

void CliTest::unreadBlock_data() {
    QTest::addColumn<QList<QStringList>>("steps"); // each must pass; the last is judged
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("said");
    // @plain: a 128-byte EDID; @/stale.bin: its block over the display's CTA block.
    const QByteArray zeros = "block 1 is not read by displays or sources (the extension count is "
                             "0); it holds zeros";
    const QByteArray cta = "block 1 is not read by displays or sources (the extension count is "
                           "0); it holds a CTA-861 extension";
    const QStringList plain{"edid", "write", "--custom", "@plain"};
    const QStringList stale{"edid", "write", "--custom", "@/stale.bin"};
    using Steps = QList<QStringList>;
    QTest::newRow("check device after plain")
        << Steps{plain, {"edid", "check", "device"}} << 0 << "note: " + zeros;
    QTest::newRow("check saved plain") << Steps{plain,
                                                {"edid", "read", "device", "-o", "@/saved.bin"},
                                                {"edid", "check", "@/saved.bin"}}
                                       << 0 << "note: " + zeros;
    QTest::newRow("check stale file") << Steps{{"edid", "check", "@/stale.bin"}} << 3
                                      << QByteArray("the extension count says 0 but 1");
    QTest::newRow("write stale") << Steps{stale} << 0 << cta;
    QTest::newRow("check device after stale")
        << Steps{stale, {"edid", "check", "device"}} << 0 << "note: " + cta;
}

void CliTest::unreadBlock() {
    QFETCH(QList<QStringList>, steps);
    QFETCH(int, code);
    QFETCH(QByteArray, said);
    QCOMPARE(korvanta({"edid", "read", "top", "-o", path("top.bin")}).code, 0);
    const QByteArray stale = fileBytes(kPlainEdid) + fileBytes(path("top.bin")).mid(128);
    QCOMPARE(stale.size(), 256);
    QFile f(path("stale.bin"));
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(stale) == 256);
    f.close();
    Run r;
    for (QStringList args : steps) {
        if (r.code > 0)
            QFAIL(r.err.constData());
        for (QString& a : args)
            a.replace("@/", dir->path() + "/").replace("@plain", kPlainEdid);
        r = korvanta(args);
    }
    QVERIFY2(r.code == code, r.out + r.err);
    QVERIFY2(r.out.contains(said), r.out.constData());
}

void CliTest::restoreAroundAFailingEdid() {
    // The window wrote an EDID that fails the check; a backup holds it.
    QCOMPARE(korvanta({"edid", "edit", "top", "--max-tmds", "165", "-o", path("slow.bin")}).code,
             0);
    QCOMPARE(korvanta({"edid", "write", "--custom", "--force", path("slow.bin")}).code, 0);
    QCOMPARE(korvanta({"backup", path("backup.json")}).code, 0);
    const auto before = getAll();

    // The EDID mode changed too: the table is compared once custom mode is back.
    QCOMPARE(korvanta({"set", "input=b", "green-led=off", "edid-mode=automix"}).code, 0);
    const Run unchanged = korvanta({"--json", "restore", path("backup.json")});
    QCOMPARE(unchanged.code, 0);
    QVERIFY2(unchanged.err.isEmpty(), unchanged.err.constData());
    QCOMPARE(QJsonDocument::fromJson(unchanged.out).object()["edidWritten"].toBool(true), false);
    QCOMPARE(getAll(), before);

    // Another EDID since: the settings come back, the failing EDID only when forced.
    QCOMPARE(korvanta({"edid", "read", "bot", "-o", path("bot.bin")}).code, 0);
    QCOMPARE(korvanta({"edid", "write", path("bot.bin")}).code, 0);
    QCOMPARE(korvanta({"set", "input=b"}).code, 0);
    const Run refused = korvanta({"--json", "restore", path("backup.json")});
    QCOMPARE(refused.code, 3);
    QVERIFY2(refused.err.contains("the backup's EDID fails the check, so it was not restored "
                                  "(everything else was); give --force to write it anyway:\n  "
                                  "3840x2160p30 needs 297 MHz in RGB"),
             refused.err.constData());
    const QJsonObject said = QJsonDocument::fromJson(refused.out).object();
    QCOMPARE(said["edidRefused"].toBool(), true);
    QCOMPARE(said["edidWritten"].toBool(true), false);
    QCOMPARE(getAll(), before);
    QCOMPARE(korvanta({"edid", "read", "device"}).out, korvanta({"edid", "read", "bot"}).out);

    QCOMPARE(korvanta({"restore", "--force", path("backup.json")}).code, 0);
    QCOMPARE(korvanta({"edid", "read", "device", "-o", path("now.bin")}).code, 0);
    QCOMPARE(fileBytes(path("now.bin")), fileBytes(path("slow.bin")));
    const Run again = korvanta({"restore", path("backup.json")});
    QCOMPARE(again.code, 0);
    QVERIFY2(again.out.contains("nothing changed"), again.out.constData());
    // What --force overrides, in the help (which wraps its lines).
    QVERIFY(korvanta({"restore", "--help"}).out.simplified().contains("restored either way"));
    QVERIFY(korvanta({"edid", "write", "--help"})
                .out.simplified()
                .contains("the check finds failures; an EDID longer than the device's 256-byte "
                          "table is refused all the same"));
}

void CliTest::usageErrorsSendNothing_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("said");
    // Files are made by the test function below.
    QTest::newRow("unknown command") << QStringList{"frobnicate"} << QByteArray("frobnicate");
    QTest::newRow("no command") << QStringList{} << QByteArray("");
    QTest::newRow("unknown setting")
        << QStringList{"set", "colour=on"} << QByteArray("no setting is called \"colour\"");
    QTest::newRow("bad value, late")
        << QStringList{"set", "input=a", "hdr=maybe"} << QByteArray("accepted: off, on");
    QTest::newRow("no value") << QStringList{"set", "hdr"} << QByteArray("gives no value");
    QTest::newRow("get unknown") << QStringList{"get", "nothing"} << QByteArray("\"nothing\"");
    QTest::newRow("reset without yes") << QStringList{"reset", "all"} << QByteArray("--yes");
    QTest::newRow("reset what") << QStringList{"reset", "everything", "--yes"}
                                << QByteArray("everything");
    QTest::newRow("edid read where") << QStringList{"edid", "read", "left"} << QByteArray("left");
    QTest::newRow("missing file") << QStringList{"edid", "write", "@/none.bin"}
                                  << QByteArray("Cannot read file");
    QTest::newRow("hex format") << QStringList{"edid", "write", "@/garbage.txt"}
                                << QByteArray("Hex Format Error");
    QTest::newRow("checksum") << QStringList{"edid", "write", "@/badsum.bin"}
                              << QByteArray("--force");
    QTest::newRow("cec text") << QStringList{"cec", "send", "05"}
                              << QByteArray("Error: min 2, max 31 data bytes");
    QTest::newRow("cec not colon-hex") << QStringList{"cec", "send", "0x0f,0x36"}
                                       << QByteArray("\"0x0f,0x36\" is not colon-hex: character 2");
    QTest::newRow("store one digit")
        << QStringList{"cec", "store", "sp", "4:04"} << QByteArray("byte 1 has one hex digit");
    QTest::newRow("hdr payload")
        << QStringList{"infoframe", "hdr",
                       "02:00:c2:33:c4:86:4c:1d:b8:0b:d0:84:80:3e:13:3d:42:40:e8:03:32:00:e8:03:"
                       "90:01"}
        << QByteArray("the HDR InfoFrame has 7 problems; nothing was sent (--force sends it "
                      "anyway):\n  byte 1: type is 0x02, an HDR InfoFrame has 0x87\n");
    // The hint's frame: 0x87 + 0x01 + 0x1A + the payload's sum (0xC5 mod 256)
    // + checksum = 0 mod 256 gives 0x74.
    QTest::newRow("hdr payload hint")
        << QStringList{"infoframe", "hdr",
                       "02:00:c2:33:c4:86:4c:1d:b8:0b:d0:84:80:3e:13:3d:42:40:e8:03:32:00:e8:03:"
                       "90:01"}
        << QByteArray("the whole frame is:\n  87:01:1a:74:02:00:c2:33:");
    QTest::newRow("avi reserved") << QStringList{"infoframe", "avi", "ff:ff:ff"}
                                  << QByteArray("nothing was sent");
    QTest::newRow("hdcp by code") << QStringList{"set", "hdcp=2"}
                                  << QByteArray("\"2\" is not a value of hdcp; accepted: 1.4, 2.2");
    QTest::newRow("raw code unknown")
        << QStringList{"set", "input=raw:9"} << QByteArray("\"raw:9\" is not a value of input");
    QTest::newRow("cec button") << QStringList{"cec", "store", "xp", "40:04"} << QByteArray("xp");
    QTest::newRow("avi too long") << QStringList{"infoframe", "avi", "@avi14"}
                                  << QByteArray("Error: min 2, max 13 data bytes");
    QTest::newRow("persist") << QStringList{"infoframe", "avi", "10:28", "--persist", "yes"}
                             << QByteArray("yes");
    QTest::newRow("restore not json")
        << QStringList{"restore", "@/garbage.txt"} << QByteArray("not JSON");
    QTest::newRow("restore version")
        << QStringList{"restore", "@/version9.json"} << QByteArray("formatVersion");
    QTest::newRow("restore name") << QStringList{"restore", "@/unknown.json"}
                                  << QByteArray("\"volume\"");
    QTest::newRow("link") << QStringList{"--link", "serial", "get"} << QByteArray("\"serial\"");
    QTest::newRow("replay file") << QStringList{"--link", "replay:@/none.log", "get"}
                                 << QByteArray("none.log");
}

void CliTest::usageErrorsSendNothing() {
    QFETCH(QStringList, args);
    QFETCH(QByteArray, said);
    const auto write = [&](const char* name, const QByteArray& bytes) {
        QFile f(path(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    };
    write("garbage.txt", "this is not an EDID\n");
    QByteArray badSum(256, '\0');
    badSum[1] = char(0xFF);
    write("badsum.bin", badSum);
    write("version9.json", R"({"format":"korvanta-backup","formatVersion":9,"settings":{}})");
    write("unknown.json", R"({"format":"korvanta-backup","formatVersion":1,)"
                          R"("settings":{"volume":"11"}})");
    for (QString& a : args) {
        a.replace("@/", dir->path() + "/");
        a.replace("@avi14", "10:28:00:00:00:00:00:00:00:00:00:00:00:00");
    }
    const Run r = korvanta(args);
    QCOMPARE(r.code, 2);
    QVERIFY2(r.err.contains(said), r.err.constData());
    QVERIFY(r.out.isEmpty());
    QFile trace(path("trace.log"));
    QVERIFY(!trace.exists() || trace.size() == 0);
}

void CliTest::failuresNameTheirCause_data() {
    QTest::addColumn<QString>("faults");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("said");
    const QStringList set{"set", "input=b"};
    QTest::newRow("no answer") << "silent" << set
                               << QByteArray("the device did not answer the request 10 04 E0 00 "
                                             "02 within 4 s\nkorvanta: input=b was not set\n");
    QTest::newRow("refusal") << "refuse=E0" << set
                             << QByteArray("the device refused the request 10 04 E0 00 02 (it "
                                           "answered EE 01)\n");
    QTest::newRow("wrong acknowledge")
        << "wrong-ack" << set
        << QByteArray("the device answered the request 10 04 E0 00 02 with E1 where it "
                      "acknowledges with E0\n");
    QTest::newRow("library") << "fail-write" << set
                             << QByteArray("the USB library could not send the request 10 04 E0 "
                                           "00 02\n");
    QTest::newRow("chain: BOT's display refused")
        << "refuse=B6" << QStringList{"chain"}
        << QByteArray("korvanta: Error Writing values: the device refused the request 10 01 B6 (it "
                      "answered EE 01)\n");
    QTest::newRow("status --chain: chunks refused")
        << "refuse=B0" << QStringList{"status", "--chain"}
        << QByteArray("The EDID of the display on TOP could not be read: the device refused the "
                      "request 11 10 B0 00 (it answered EE 01)\n");
    QTest::newRow("refused EDID read")
        << "refuse=B0" << QStringList{"edid", "read", "top"}
        << QByteArray("the EDID was not read completely: the device refused the request 11 10 B0 "
                      "00 (it answered EE 01)\n");
}

void CliTest::failuresNameTheirCause() {
    QFETCH(QString, faults);
    QFETCH(QStringList, args);
    QFETCH(QByteArray, said);
    const Run r = korvanta(args, {"KORVANTA_SIM_FAULTS=" + faults});
    QCOMPARE(r.code, 1);
    QVERIFY2(r.err.contains(said), r.err.constData());
    // A check with a display unread says nothing rather than something wrong.
    if (args.contains("--chain") || args.contains("chain"))
        QVERIFY2(r.out.isEmpty(), r.out.constData());
}

void CliTest::noDeviceFails_data() {
    QTest::addColumn<QString>("faults");
    QTest::addColumn<QByteArray>("said");
    QTest::newRow("no device") << "fail-count" << QByteArray("KORVANTA USB not connected!");
    QTest::newRow("cannot open") << "fail-open" << QByteArray("Usb device open error!");
    QTest::newRow("silent") << "silent" << QByteArray("Error Reading values");
}

void CliTest::noDeviceFails() {
    QFETCH(QString, faults);
    QFETCH(QByteArray, said);
    const Run r = korvanta({"get", "input"}, {"KORVANTA_SIM_FAULTS=" + faults});
    QCOMPARE(r.code, 1);
    QVERIFY2(r.err.contains(said), r.err.constData());
    QVERIFY(r.out.isEmpty());
}

// The shell lines of the README's command-line section that run korvanta.
static QStringList readmeExamples() {
    QFile readme(QStringLiteral(QT_TESTCASE_SOURCEDIR "/../README.md"));
    if (!readme.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromUtf8(readme.readAll());
    const qsizetype from = text.indexOf("\n## Command line");
    const QString section = text.mid(from, text.indexOf("\n## ", from + 1) - from);
    QStringList lines;
    bool inBlock = false;
    for (const QString& line : section.split('\n')) {
        if (line.startsWith("```"))
            inBlock = line == "```sh";
        else if (inBlock && line.contains("korvanta"))
            lines << line;
    }
    return lines;
}

void CliTest::readmeExamplesRun() {
    // In order, in one folder, on one simulated device: later lines use the
    // files earlier ones wrote. "(exit N)" in a comment is the status expected.
#ifdef Q_OS_WIN
    QSKIP("The README's examples are POSIX shell lines (bash, pipes, a ':'-joined PATH); "
          "Windows has no shell to run them as written.");
#endif
    const QStringList lines = readmeExamples();
    QVERIFY(lines.size() >= 15);
    const QString bin = QCoreApplication::applicationDirPath() + "/../cli";
    int ran = 0;
    for (QString line : lines) {
        if (line.contains("--watch")) // repeats until Ctrl-C
            continue;
        line.replace("build/cli/korvanta", "korvanta");
        const QRegularExpressionMatch exit = QRegularExpression("\\(exit (\\d)\\)").match(line);
        QProcess p;
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert("PATH", bin + ":" + e.value("PATH"));
        e.insert("KORVANTA_LINK", "simulator");
        e.insert("KORVANTA_SIM_STATE", path("state.json"));
        e.remove("KORVANTA_TRACE");
        e.remove("KORVANTA_SIM_FAULTS");
        p.setProcessEnvironment(e);
        p.setWorkingDirectory(dir->path());
        p.start("bash", {"-c", "set -o pipefail; " + line});
        QVERIFY(p.waitForFinished(30000));
        const QByteArray err = p.readAllStandardError();
        QVERIFY2(p.exitCode() == (exit.hasMatch() ? exit.captured(1).toInt() : 0),
                 qPrintable(line + " exited " + QString::number(p.exitCode()) + ": " + err));
        QVERIFY2(err.isEmpty(), qPrintable(line + ": " + err));
        ++ran;
    }
    QVERIFY(ran >= 15);
}

void CliTest::chainOnTheSimulatedDevice_data() {
    QTest::addColumn<QStringList>("set");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("top");
    QTest::addColumn<QString>("bot");
    QTest::addColumn<QStringList>("lines"); // among the text's lines
    // The default device: the 4K HDR player on A; an HDR TV of 673 cd/m² on
    // TOP, a 1080p projector of 300 MHz without HDR on BOT.
    QTest::newRow("4K HDR to both")
        << QStringList() << 3 << "degraded"
        << "wont-show"
        << QStringList{"TOP (TX A, input A): LUMAVIEW 65: degraded",
                       "  degraded   The content reaches 1000 cd/m² (MaxCLL) and LUMAVIEW 65 shows "
                       "at most 673 cd/m², so it tone-maps or clips the highlights.",
                       "BOT (TX B, input A): BRIQ PJ-1080: won't show",
                       "  won't show BRIQ PJ-1080 does not list 3840x2160p60.",
                       "             try: korvanta set hdr=off, which also takes HDR from "
                       "TOP's LUMAVIEW 65"};
    QTest::newRow("1080p SDR on B reaches both")
        << QStringList{"input=b"} << 0 << "fine"
        << "fine"
        << QStringList{"  fine       The source on input B sends 1920x1080p60 over HDMI in RGB "
                       "with BT.709 colorimetry, SDR.",
                       "  fine       BRIQ PJ-1080 lists 1920x1080p60."};
    QTest::newRow("matrix swap: BOT's input is not reported")
        << QStringList{"input=matrix-swap"} << 0 << "fine"
        << "unknown"
        << QStringList{"TOP (TX A, input B): LUMAVIEW 65: fine",
                       "  unknown    BOT is fed by input A, whose signal the device does not "
                       "report: it reports only input B, the one on TOP."};
    QTest::newRow("4:2:0 output on TOP")
        << QStringList{"out-420=on"} << 3 << "degraded"
        << "wont-show"
        << QStringList{"  fine       3840x2160p60 in YCbCr 4:2:0 at 8 bits needs 297 MHz and "
                       "LUMAVIEW 65 takes up to 600 MHz."};
}

void CliTest::chainOnTheSimulatedDevice() {
    QFETCH(QStringList, set);
    QFETCH(int, code);
    QFETCH(QStringList, lines);
    if (!set.isEmpty())
        QCOMPARE(korvanta(QStringList{"set"} + set).code, 0);
    const Run text = korvanta({"chain"});
    QCOMPARE(text.code, code);
    QVERIFY2(text.err.isEmpty(), text.err.constData());
    const QStringList said = QString::fromUtf8(text.out).split('\n');
    for (const QString& line : lines)
        QVERIFY2(said.contains(line), qPrintable(line + "\n--\n" + said.join('\n')));

    const Run json = korvanta({"--json", "chain"});
    QCOMPARE(json.code, code);
    const QJsonObject doc = QJsonDocument::fromJson(json.out).object();
    QVERIFY(doc["ok"].toBool());
    const QJsonObject chain = doc["chain"].toObject();
    QCOMPARE(chain["fine"].toBool(), code == 0);
    const QJsonArray outputs = chain["outputs"].toArray();
    QCOMPARE(outputs.size(), 2);
    QCOMPARE(outputs[0]["name"].toString(), QString("TOP"));
    QTEST(outputs[0]["verdict"].toString(), "top");
    QTEST(outputs[1]["verdict"].toString(), "bot");
    for (const QJsonValue& o : outputs)
        for (const QJsonValue& f : o["findings"].toArray())
            QVERIFY(f["setting"].isString() && f["value"].isString() &&
                    !f["sentence"].toString().isEmpty());
}

void CliTest::statusChainReadsTheDisplaysOnlyWhenAsked() {
    // Plain status stays as it was: no EDID is staged for it.
    const Run plain = korvanta({"status"});
    QCOMPARE(plain.code, 0);
    QVERIFY(!plain.out.contains("Chain"));
    auto staged = [&] {
        const QStringList requests = readTrace(path("trace.log")).requests;
        return requests.filter(QRegularExpression(" B[56]$")).size();
    };
    QCOMPARE(staged(), 0);
    // With --chain: a line per output, the exit status of status, both displays read.
    const Run chained = korvanta({"status", "--chain"});
    QCOMPARE(chained.code, 0);
    QVERIFY2(chained.out.startsWith(plain.out), chained.out.constData());
    QCOMPARE(chained.out.mid(plain.out.size()),
             QByteArray("Chain TOP: degraded, LUMAVIEW 65\nChain BOT: won't show, BRIQ PJ-1080\n"));
    QCOMPARE(staged(), 2);
    const Run json = korvanta({"--json", "status", "--chain"});
    const QJsonObject doc = QJsonDocument::fromJson(json.out).object();
    QVERIFY(doc.contains("status"));
    QCOMPARE(doc["chain"]["outputs"][1]["display"].toString(), QString("BRIQ PJ-1080"));
}

void CliTest::chainOnTheStagedExamples_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("top");
    QTest::addColumn<QString>("bot");
    QTest::addColumn<int>("output"); // the finding that says why
    QTest::addColumn<QString>("check");
    QTest::addColumn<QString>("verdict");
    QTest::addColumn<QString>("setting");
    QTest::newRow("4:2:0 source, TV without 4:2:0") << "420-source-tv-without-420.json"
                                                    << "wont-show"
                                                    << "fine" << 0 << "colour"
                                                    << "wont-show"
                                                    << "";
    QTest::newRow("4K HDR to TV and projector") << "4k-hdr-tv-and-projector.json"
                                                << "fine"
                                                << "wont-show" << 1 << "hdr"
                                                << "degraded"
                                                << "hdr=off";
    QTest::newRow("no display on BOT") << "no-display-on-bot.json"
                                       << "fine"
                                       << "no-display" << 1 << "display"
                                       << "no-display"
                                       << "";
}

void CliTest::chainOnTheStagedExamples() {
    QFETCH(QString, file);
    QFETCH(int, output);
    QFETCH(QString, check);
    // The simulated device saves into its state file: a copy, not the example.
    const QString example = QStringLiteral(QT_TESTCASE_SOURCEDIR "/../examples/") + file;
    QVERIFY2(QFile::copy(example, path("staged.json")), qPrintable(example));
    QFile::setPermissions(path("staged.json"), QFile::ReadOwner | QFile::WriteOwner);
    const Run r = korvanta({"--json", "chain"}, {"KORVANTA_SIM_STATE=" + path("staged.json")});
    QCOMPARE(r.code, 3);
    QVERIFY2(r.err.isEmpty(), r.err.constData());
    const QJsonArray outputs =
        QJsonDocument::fromJson(r.out).object()["chain"].toObject()["outputs"].toArray();
    QCOMPARE(outputs.size(), 2);
    QTEST(outputs[0]["verdict"].toString(), "top");
    QTEST(outputs[1]["verdict"].toString(), "bot");
    QJsonObject why;
    for (const QJsonValue& f : outputs[output]["findings"].toArray())
        if (f["check"].toString() == check)
            why = f.toObject();
    QTEST(why["verdict"].toString(), "verdict");
    const QString advice = why["setting"].toString().isEmpty()
                               ? QString()
                               : why["setting"].toString() + "=" + why["value"].toString();
    QTEST(advice, "setting");
}

void CliTest::silentDeviceFailsAfterOneRequest_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("said");
    QTest::newRow("edid read") << QStringList{"edid", "read", "top"}
                               << QByteArray("Error Writing values");
    QTest::newRow("status") << QStringList{"status"}
                            << QByteArray("a register read failed: the device did not answer");
    QTest::newRow("get") << QStringList{"get"} << QByteArray("Error Reading values");
    QTest::newRow("chain") << QStringList{"chain"}
                           << QByteArray("a register read failed: the device did not answer");
}

void CliTest::silentDeviceFailsAfterOneRequest() {
    QFETCH(QStringList, args);
    QFETCH(QByteArray, said);
    QElapsedTimer timer;
    timer.start();
    const Run r = korvanta(args, {"KORVANTA_SIM_FAULTS=silent"});
    const qint64 elapsed = timer.elapsed();
    QCOMPARE(r.code, 1);
    QVERIFY2(r.err.contains(said), r.err.constData());
    QCOMPARE(r.err.count(said), 1);
    QVERIFY(r.out.isEmpty());
    // One reply window of 4 s is waited out; a second request would double it.
    QVERIFY2(elapsed < 2 * 4000, qPrintable(QString::number(elapsed)));
}

void CliTest::jsonParses_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("key");
    QTest::newRow("devices") << QStringList{"devices"} << "devices";
    QTest::newRow("status") << QStringList{"status"} << "status";
    QTest::newRow("status --chain") << QStringList{"status", "--chain"} << "chain";
    QTest::newRow("get") << QStringList{"get"} << "settings";
    QTest::newRow("set") << QStringList{"set", "input=b"} << "set";
    QTest::newRow("edid read") << QStringList{"edid", "read", "bot"} << "edid";
    QTest::newRow("cec") << QStringList{"cec", "send", "0f:36"} << "sent";
    QTest::newRow("backup") << QStringList{"backup", "@/b.json"} << "file";
    QTest::newRow("reset") << QStringList{"reset", "settings", "--yes"} << "reset";
    QTest::newRow("cec decode") << QStringList{"cec", "decode", "0f:36"} << "decode";
    QTest::newRow("hdr decode") << QStringList{"infoframe", "decode", "hdr", "87:01:1a"}
                                << "decode";
    QTest::newRow("edid decode") << QStringList{"edid", "decode", "top", "--check"} << "conformity";
    QTest::newRow("edid diff") << QStringList{"edid", "diff", "bot", "bot"} << "decode";
    QTest::newRow("failed") << QStringList{"cec",   "store",  "sp",
                                           "40:04", "--link", "replay:@/empty.log"}
                            << "errors";
}

void CliTest::jsonParses() {
    QFETCH(QStringList, args);
    QFETCH(QString, key);
    QFile empty(path("empty.log"));
    QVERIFY(empty.open(QIODevice::WriteOnly));
    empty.close();
    for (QString& a : args)
        a.replace("@/", dir->path() + "/");
    const Run r = korvanta(QStringList{"--json"} + args);
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(r.out, &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    QVERIFY(doc.object().contains(key));
    // Only the failing row fails, and with the device's status, not a crash's.
    const int expected = QByteArray(QTest::currentDataTag()) == "failed" ? 1 : 0;
    QVERIFY2(r.code == expected, r.err.constData());
    QCOMPARE(doc.object()["ok"].toBool(), r.code == 0);
}

void CliTest::severalUnits() {
    const QStringList two{"KORVANTA_SIM_UNITS=2"};
    const Run listed = korvanta({"devices"}, two);
    QCOMPARE(listed.code, 0);
    QCOMPARE(listed.out, QByteArray("sim-1: serial \"2023\", may be opened, ID sim-1\n"
                                    "sim-2: serial \"2023\", may be opened, ID sim-2\n"));
    const QJsonArray devices =
        QJsonDocument::fromJson(korvanta({"devices", "--json"}, two).out)["devices"].toArray();
    QCOMPARE(devices.size(), 2);
    QCOMPARE(devices[1]["id"].toString(), QString("sim-2"));
    QCOMPARE(devices[1]["location"].toString(), QString("sim-2"));
    QVERIFY(devices[1]["isKorvanta"].toBool());

    // None named: the units are named and nothing is sent.
    const Run unnamed = korvanta({"set", "input=b"}, two);
    QCOMPARE(unnamed.code, 2);
    QVERIFY2(unnamed.err.contains("2 KORVANTA units are connected: sim-1, sim-2; choose one "
                                  "with --device ID"),
             unnamed.err.constData());
    QVERIFY(!QFile::exists(path("state.json")));

    QCOMPARE(korvanta({"--device", "sim-1", "set", "input=a"}, two).code, 0);
    QCOMPARE(korvanta({"set", "input=b", "--device", "sim-2"}, two).code, 0);
    QCOMPARE(korvanta({"--device", "sim-1", "get", "input"}, two).out, QByteArray("input=a\n"));
    QCOMPARE(korvanta({"get", "input"}, two + QStringList{"KORVANTA_DEVICE=sim-2"}).out,
             QByteArray("input=b\n"));
    // The option wins over the variable.
    QCOMPARE(
        korvanta({"--device", "sim-1", "get", "input"}, two + QStringList{"KORVANTA_DEVICE=sim-2"})
            .out,
        QByteArray("input=a\n"));
    QVERIFY(QFile::exists(path("state-sim-2.json")));
    // With one unit again, the first unit's file is the device as before.
    QCOMPARE(korvanta({"get", "input"}).out, QByteArray("input=a\n"));

    const Run unknown = korvanta({"--device", "sim-9", "get"}, two);
    QCOMPARE(unknown.code, 1);
    QVERIFY2(unknown.err.contains("no KORVANTA with the ID \"sim-9\" is connected; connected: "
                                  "sim-1, sim-2"),
             unknown.err.constData());
}

void CliTest::secondDirectUserIsRefused() {
    const QString program = korvantaProgram();
    QProcess watcher;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert("KORVANTA_LINK", "simulator");
    e.insert("KORVANTA_SIM_STATE", path("state.json"));
    e.remove("KORVANTA_SIM_FAULTS");
    e.remove("KORVANTA_DEVICE");
    watcher.setProcessEnvironment(e);
    watcher.start(program, {"status", "--watch", "0.2"});
    QVERIFY(watcher.waitForReadyRead(30000)); // the device is open from here on

    const Run second = korvanta({"get", "input"});
    QCOMPARE(second.code, 1);
    const QByteArray expected = "The KORVANTA at sim-1 is in use by korvanta (pid " +
                                QByteArray::number(watcher.processId()) + ")";
    QVERIFY2(second.err.contains(expected), second.err.constData());
    QVERIFY(second.out.isEmpty());

    watcher.kill();
    QVERIFY(watcher.waitForFinished(10000));
    QCOMPARE(korvanta({"get", "input"}).code, 0);
}

QTEST_GUILESS_MAIN(CliTest)
#include "tst_core_cli.moc"
