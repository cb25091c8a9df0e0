// The EDID check's TMDS arithmetic and findings, and the presets against it
// and against edid-decode.
#include "DecodeFields.h"
#include "EdidSamples.h"
#include "decode/EdidDecode.h"
#include "edid/EdidCheck.h"
#include "edid/EdidEdits.h"
#include "edid/EdidOptions.h"
#include "edid/EdidPresets.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace edid;

namespace {

using Bytes = std::vector<std::uint8_t>;

// A blank EDID with the options applied; empty when one is refused.
Bytes built(const QStringList& options) {
    Model m = blankEdid();
    for (const QString& o : options)
        if (!applyOption(m, o.section('=', 0, 0).toStdString(), o.section('=', 1).toStdString()).ok)
            return {};
    return write(m);
}

QStringList texts(const std::vector<Finding>& findings, FindingKind kind) {
    QStringList out;
    for (const Finding& f : findings)
        if (f.kind == kind)
            out << QString::fromStdString(f.text);
    return out;
}

} // namespace

class TestEdidCheck : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void tmdsRate_data();
    void tmdsRate();
    void findings_data();
    void findings();
    void structureFaults_data();
    void structureFaults();
    void mapPastTheFormats();
    void presetsPass_data();
    void presetsPass();
    void userPresets();
};

void TestEdidCheck::tmdsRate_data() {
    QTest::addColumn<double>("pixelMhz");
    QTest::addColumn<int>("encoding");
    QTest::addColumn<int>("bits");
    QTest::addColumn<double>("tmds");
    const int rgb = int(Encoding::Rgb444), y422 = int(Encoding::Ycc422),
              y420 = int(Encoding::Ycc420);
    QTest::newRow("4K60 RGB 8") << 594.0 << rgb << 8 << 594.0;
    QTest::newRow("4K60 RGB 10") << 594.0 << rgb << 10 << 742.5;
    QTest::newRow("4K60 4:2:0 8") << 594.0 << y420 << 8 << 297.0;
    QTest::newRow("4K60 4:2:0 10") << 594.0 << y420 << 10 << 371.25;
    QTest::newRow("4K60 4:2:2 12") << 594.0 << y422 << 12 << 594.0;
    QTest::newRow("1080p60 RGB 10") << 148.5 << rgb << 10 << 185.625;
    QTest::newRow("4K30 RGB 12") << 297.0 << rgb << 12 << 445.5;
}

void TestEdidCheck::tmdsRate() {
    QFETCH(double, pixelMhz);
    QFETCH(int, encoding);
    QFETCH(int, bits);
    QFETCH(double, tmds);
    QCOMPARE(tmdsMhz(pixelMhz, static_cast<Encoding>(encoding), bits), tmds);
}

void TestEdidCheck::findings_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("failures");
    QTest::addColumn<QString>("note"); // one that must be there, or empty
    const QStringList hdmi{"physical-address=1.0.0.0"};
    QTest::newRow("4K60 over 300 MHz")
        << (hdmi + QStringList{"add-vic=97", "max-tmds=300"})
        << QStringList{"3840x2160p60 needs 594 MHz in RGB and the EDID allows 300 MHz, with no "
                       "4:2:0 for it"}
        << QString();
    QTest::newRow("4K60 4:2:0 at 297")
        << (hdmi + QStringList{"add-vic=97", "max-tmds=300", "y420=97"}) << QStringList{}
        << QString();
    QTest::newRow("4K60 4:2:0 only at 297")
        << (hdmi + QStringList{"add-vic=97", "max-tmds=300", "y420-only=97"}) << QStringList{}
        << QString();
    QTest::newRow("no HDMI block: 165 MHz")
        << QStringList{"add-vic=16,97"}
        << QStringList{"3840x2160p60 needs 594 MHz in RGB and the EDID allows 165 MHz, with no "
                       "4:2:0 for it"}
        << QString();
    QTest::newRow("4K60 RGB 10-bit")
        << (hdmi + QStringList{"add-vic=97", "max-tmds=600", "deep-color=30"}) << QStringList{}
        << "3840x2160p60 RGB 10-bit needs 742.5 MHz; sources will use 8 bit";
    QTest::newRow("4K60 10-bit with 4:2:0")
        << (hdmi + QStringList{"add-vic=97", "max-tmds=600", "deep-color=30", "y420=97"})
        << QStringList{}
        << "3840x2160p60 RGB 10-bit needs 742.5 MHz; sources will use 8 bit or 4:2:0";
    QTest::newRow("1080p60 10-bit at 165")
        << (hdmi + QStringList{"add-vic=16", "max-tmds=165", "deep-color=30"}) << QStringList{}
        << "1920x1080p60 RGB 10-bit needs 185.625 MHz; sources will use 8 bit";
    QTest::newRow("4:2:0 12-bit over 300")
        << (hdmi + QStringList{"add-vic=97", "max-tmds=340", "y420=97", "deep-color-420=36"})
        << QStringList{}
        << "3840x2160p60 4:2:0 12-bit needs 445.5 MHz; sources will use a lower depth";
    QTest::newRow("preferred timing too fast")
        << (hdmi + QStringList{"add-vic=16", "max-tmds=165", "preferred=97"})
        << QStringList{"detailed timing 3840x2160p (594 MHz) needs 594 MHz in RGB and the EDID "
                       "allows 165 MHz, with no 4:2:0 for it"}
        << QString();
}

void TestEdidCheck::findings() {
    QFETCH(QStringList, options);
    QFETCH(QStringList, failures);
    QFETCH(QString, note);
    const Bytes edid = built(options);
    QVERIFY(!edid.empty());
    const std::vector<Finding> f = checkEdid(edid);
    QCOMPARE(texts(f, FindingKind::Failure), failures);
    QCOMPARE(hasFailure(f), !failures.isEmpty());
    if (!note.isEmpty())
        QVERIFY2(texts(f, FindingKind::Note).contains(note),
                 qPrintable(texts(f, FindingKind::Note).join(" | ")));
}

void TestEdidCheck::structureFaults_data() {
    QTest::addColumn<int>("byte"); // -1: none
    QTest::addColumn<bool>("forDevice");
    QTest::addColumn<int>("extraBlocks");
    QTest::addColumn<QString>("failure");
    QTest::newRow("checksum") << 200 << false << 0 << "block 1: the checksum is wrong";
    QTest::newRow("block length") << 168 << false << 0
                                  << "block 1: data block at byte 40 runs past the timing offset";
    QTest::newRow("extension count")
        << 126 << false << 0 << "the extension count says 0 but 1 extension blocks follow";
    QTest::newRow("too long for the device")
        << -1 << true << 1 << "the device stores 256 bytes; this EDID has 384";
    QTest::newRow("long is fine elsewhere") << -1 << false << 1 << QString();
}

void TestEdidCheck::structureFaults() {
    QFETCH(int, byte);
    QFETCH(bool, forDevice);
    QFETCH(int, extraBlocks);
    QFETCH(QString, failure);
    EdidImage e = edidsamples::monitor4k();
    Bytes b(e.begin(), e.end());
    if (byte == 168) { // the HDR block claims 31 bytes: past the timings at byte 53
        b[168] = 0xFF;
        b[255] = static_cast<std::uint8_t>(b[255] - (0xFF - 0xE6));
    } else if (byte == 126) {
        b[126] = 0;
        b[127] = static_cast<std::uint8_t>(b[127] + 1);
    } else if (byte >= 0) {
        b[static_cast<std::size_t>(byte)] ^= 0x01;
    }
    for (int i = 0; i < extraBlocks; ++i) {
        Bytes block(128, 0);
        block[0] = 0x70; // a DisplayID block, kept as it is
        block[127] = 0x90;
        b.insert(b.end(), block.begin(), block.end());
        b[126] = static_cast<std::uint8_t>(b[126] + 1);
        b[127] = static_cast<std::uint8_t>(b[127] - 1);
    }
    const QStringList got = texts(checkEdid(b, {forDevice}), FindingKind::Failure);
    QCOMPARE(got, failure.isEmpty() ? QStringList() : QStringList{failure});
}

void TestEdidCheck::mapPastTheFormats() {
    EdidImage e = edidsamples::monitor4k();
    e[edidsamples::kMonitorMap + 2] = 0x11; // positions 0 and 4; the video block has 4 formats
    setEdidChecksums(e);
    const std::vector<Finding> f = checkEdid(Bytes(e.begin(), e.end()));
    QVERIFY(!hasFailure(f));
    QVERIFY(texts(f, FindingKind::Note)
                .contains("4:2:0 map entry 4 has no video format at that position"));
}

void TestEdidCheck::presetsPass_data() {
    QTest::addColumn<QString>("id");
    const std::vector<PresetInfo> presets = listPresets();
    QVERIFY(presets.size() >= 4);
    for (const PresetInfo& p : presets)
        QTest::newRow(qPrintable(p.id)) << p.id;
}

void TestEdidCheck::presetsPass() {
    QFETCH(QString, id);
    const PresetBuild b = buildPreset(id);
    QVERIFY2(b.ok, b.message.c_str());
    QCOMPARE(b.bytes.size(), std::size_t(256));
    QCOMPARE(problemsOf(decode::decodeEdid(b.bytes)), QStringList());
    const std::vector<Finding> ours = checkEdid(b.bytes, {true});
    QVERIFY2(!hasFailure(ours), qPrintable(texts(ours, FindingKind::Failure).join(" | ")));
    const ReferenceCheck ref = referenceCheck(b.bytes);
    if (!ref.available)
        QSKIP("edid-decode is not installed");
    QVERIFY(ref.ran);
    QStringList theirs;
    for (const std::string& f : ref.findings)
        theirs << QString::fromStdString(f);
    QVERIFY2(ref.output.find("EDID conformity: PASS") != std::string::npos,
             qPrintable(theirs.join(" | ")));
    QCOMPARE(theirs, QStringList());
}

void TestEdidCheck::userPresets() {
    const QString dir = userPresetDir();
    QVERIFY(QDir().mkpath(dir));
    QFile f(dir + "/mine.ini");
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("preset-name = Mine\ndescription = 720p only\nname = MINE\nadd-vic = 4\n"
            "preferred = 4\naudio-add = lpcm:2\n");
    f.close();
    bool listed = false;
    for (const PresetInfo& p : listPresets())
        listed = listed ||
                 (p.id == "mine" && p.user && p.name == "Mine" && p.description == "720p only");
    QVERIFY(listed);
    const PresetBuild b = buildPreset("mine");
    QVERIFY2(b.ok, b.message.c_str());
    const decode::Decoded d = decode::decodeEdid(b.bytes);
    QCOMPARE(fieldAt(d, "displayName").toString(), QString("MINE"));
    QCOMPARE(fieldAt(d, "preferredTiming.width").toInt(), 1280);

    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("add-vic = 4\nmax-tmds = 900\n");
    f.close();
    const PresetBuild bad = buildPreset("mine");
    QVERIFY(!bad.ok);
    QVERIFY(bad.message.starts_with("max-tmds = 900"));
    QVERIFY(QFile::remove(f.fileName()));
    QVERIFY(!buildPreset("../mine").ok);
}

QTEST_GUILESS_MAIN(TestEdidCheck)
#include "tst_core_edid_check.moc"
