// The EDID check's TMDS arithmetic and findings, and the presets against it
// and against edid-decode.
#include "DecodeFields.h"
#include "EdidSamples.h"
#include "chain/SignalChain.h"
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
// "!no-scdc" clears SCDC Present by hand: the edits no longer leave it off
// above 340 MHz, but other programs' EDIDs do.
Bytes built(const QStringList& options) {
    Model m = blankEdid();
    for (const QString& o : options) {
        if (o == "!no-scdc") {
            for (DataBlock* forum : blocksOf(m, BlockKind::HdmiForum))
                if (forum->payload.size() > 5) {
                    forum->payload[5] &= 0x7F;
                    markCta(m, forum);
                }
            continue;
        }
        if (!applyOption(m, o.section('=', 0, 0).toStdString(), o.section('=', 1).toStdString()).ok)
            return {};
    }
    return write(m);
}

QStringList texts(const std::vector<Finding>& findings, FindingKind kind, int vic = -1) {
    QStringList out;
    for (const Finding& f : findings)
        if (f.kind == kind && (vic < 0 || f.vic == vic))
            out << QString::fromStdString(f.text);
    return out;
}

Bytes sample(const QString& name) {
    QFile f(QStringLiteral(KORVANTA_EDID_SAMPLES "/") + name);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = f.readAll();
    return Bytes(data.begin(), data.end());
}

void fixChecksum(Bytes& b, std::size_t block) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < 127; ++i)
        sum += b[block * 128 + i];
    b[block * 128 + 127] = static_cast<std::uint8_t>(256 - sum % 256);
}

// A detailed timing as an edit writes it: each field cut to the bits it has.
struct Dtd {
    int clock10k, hActive, hBlank, vActive, vBlank, hFront, hSync, vFront, vSync;
};

void putDtd(Bytes& b, std::size_t at, const Dtd& d) {
    const std::uint8_t t[18] = {std::uint8_t(d.clock10k),
                                std::uint8_t(d.clock10k >> 8),
                                std::uint8_t(d.hActive),
                                std::uint8_t(d.hBlank),
                                std::uint8_t(((d.hActive >> 4) & 0xF0) | ((d.hBlank >> 8) & 0x0F)),
                                std::uint8_t(d.vActive),
                                std::uint8_t(d.vBlank),
                                std::uint8_t(((d.vActive >> 4) & 0xF0) | ((d.vBlank >> 8) & 0x0F)),
                                std::uint8_t(d.hFront),
                                std::uint8_t(d.hSync),
                                std::uint8_t(((d.vFront & 0x0F) << 4) | (d.vSync & 0x0F)),
                                std::uint8_t(((d.hFront >> 2) & 0xC0) | ((d.hSync >> 4) & 0x30) |
                                             ((d.vFront >> 2) & 0x0C) | ((d.vSync >> 4) & 0x03)),
                                0x40,
                                0x84,
                                0x63,
                                0,
                                0,
                                0x1E};
    std::copy(std::begin(t), std::end(t), b.begin() + static_cast<std::ptrdiff_t>(at));
}

constexpr char kSony[] = "Sony_SNY4B04_E43519F02A5A.bin"; // 300 MHz, 4K60 by 4:2:0 only

} // namespace

Q_DECLARE_METATYPE(Dtd)

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
    void malformedTimings_data();
    void malformedTimings();
    void rgbThatCannotFitAtAll();
    void checkAndChainAgree_data();
    void checkAndChainAgree();
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
    const QStringList hdmi{"physical-address=1.0.0.0", "preferred=16"};
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
        << QStringList{"add-vic=16,97", "preferred=16"}
        << QStringList{"3840x2160p60 needs 594 MHz in RGB and the EDID allows 165 MHz, with no "
                       "4:2:0 for it"}
        << QString();
    QTest::newRow("4K60 RGB 10-bit")
        << (hdmi + QStringList{"add-vic=97", "max-tmds=600", "scdc=on", "deep-color=30"})
        << QStringList{} << "3840x2160p60 RGB 10-bit needs 742.5 MHz; sources will use 8 bit";
    QTest::newRow("4K60 10-bit with 4:2:0")
        << (hdmi + QStringList{"add-vic=97", "max-tmds=600", "scdc=on", "deep-color=30", "y420=97"})
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
        << QStringList{"physical-address=1.0.0.0", "add-vic=16", "max-tmds=165", "preferred=97"}
        << QStringList{"detailed timing 3840x2160p (594 MHz) needs 594 MHz in RGB and the EDID "
                       "allows 165 MHz, with no 4:2:0 for it"}
        << QString();
    QTest::newRow("RGB over 300 MHz at any depth, 4:2:0 fits")
        << (hdmi + QStringList{"add-vic=97", "max-tmds=300", "y420=97", "deep-color=36"})
        << QStringList{}
        << "3840x2160p60 needs 594 MHz in RGB and the EDID allows 300 MHz, so RGB does not fit "
           "at any depth; sources will use 4:2:0";
    QTest::newRow("600 MHz without SCDC")
        << (hdmi + QStringList{"add-vic=16", "max-tmds=600", "!no-scdc"})
        << QStringList{"the HDMI Forum block allows 600 MHz but does not say SCDC Present, so "
                       "HDMI 2.0 sources send nothing above 340 MHz (no 4K60 in RGB): set scdc=on"}
        << QString();
    QTest::newRow("340 MHz needs no SCDC")
        << (hdmi + QStringList{"add-vic=16", "max-tmds=340"}) << QStringList{} << QString();
    QTest::newRow("no preferred timing")
        << QStringList{"physical-address=1.0.0.0", "add-vic=16"}
        << QStringList{"the base block's first descriptor is not a detailed timing, but EDID 1.3 "
                       "and 1.4 want the preferred timing there: give the EDID a preferred timing "
                       "(preferred=16 for 1920x1080p60)"}
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
    // The byte that should be there, as edid-decode says "(should be 0x1d)".
    QTest::newRow("checksum") << 254 << false << 0
                              << "block 1 (CTA-861 extension): the checksum is wrong; it should be "
                                 "0x1D";
    QTest::newRow("checksum of the base block")
        << 20 << false << 0 << "block 0 (base block): the checksum is wrong; it should be 0x4E";
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

void TestEdidCheck::malformedTimings_data() {
    QTest::addColumn<int>("at"); // where the timing goes
    QTest::addColumn<Dtd>("dtd");
    QTest::addColumn<QString>("failure");
    // 4096x2160p24 (VIC 98): 297 MHz, blanking 1404 (1020, 88) and 90 (8, 10).
    const Dtd vic98{29700, 4096, 1404, 2160, 90, 1020, 88, 8, 10};
    // 3840x2160p60 (VIC 97): 594 MHz, blanking 560 (176, 88) and 90 (8, 10).
    const Dtd vic97{59400, 3840, 560, 2160, 90, 176, 88, 8, 10};
    const char* fix = ": correct the timing or remove it";
    auto with = [](Dtd d, auto edit) {
        edit(d);
        return d;
    };
    QTest::newRow("4096 wide, 0 in 12 bits")
        << 54 << vic98
        << QString("detailed timing 1 (block 0): its active width is 0, as a width of 4096 comes "
                   "out in its 12 bits") +
               fix;
    QTest::newRow("3840 wide") << 54 << vic97 << QString();
    QTest::newRow("no lines")
        << 54 << with(vic97, [](Dtd& d) { d.vActive = 0; })
        << QString("detailed timing 1 (block 0): its active height is 0, as a height of 4096 "
                   "comes out in its 12 bits") +
               fix;
    QTest::newRow("no horizontal blanking")
        << 54 << with(vic97, [](Dtd& d) { d.hBlank = 0, d.hFront = d.hSync = 0; })
        << QString("detailed timing 1 (block 0): its horizontal blanking is 0") + fix;
    QTest::newRow("no vertical blanking")
        << 54 << with(vic97, [](Dtd& d) { d.vBlank = 0, d.vFront = d.vSync = 0; })
        << QString("detailed timing 1 (block 0): its vertical blanking is 0") + fix;
    QTest::newRow("horizontal sync past the blanking")
        << 54 << with(vic97, [](Dtd& d) { d.hFront = 500; })
        << QString("detailed timing 1 (block 0): its horizontal sync offset and width (500 + "
                   "88) run past its blanking of 560") +
               fix;
    QTest::newRow("sync ending with the blanking")
        << 54 << with(vic97, [](Dtd& d) { d.hFront = 472; }) << QString();
    QTest::newRow("vertical sync past the blanking")
        << 54 << with(vic97, [](Dtd& d) { d.vFront = 60, d.vSync = 40; })
        << QString("detailed timing 1 (block 0): its vertical sync offset and width (60 + 40) "
                   "run past its blanking of 90") +
               fix;
    // The CTA block's timings start at byte 128 + 81; two base timings come first.
    QTest::newRow("in the CTA block")
        << 128 + 81 << with(vic97, [](Dtd& d) { d.vBlank = 0, d.vFront = d.vSync = 0; })
        << QString("detailed timing 3 (block 1): its vertical blanking is 0") + fix;
    QTest::newRow("a CTA timing without a clock")
        << 128 + 81 << with(vic97, [](Dtd& d) { d.clock10k = 0; })
        << QString("block 1: the detailed timing at byte 81 has a pixel clock of 0") + fix;
    QTest::newRow("a base descriptor that is a timing without a clock")
        << 54 + 18 << with(vic97, [](Dtd& d) { d.clock10k = 0; })
        << QString("descriptor 2 of the base block is a detailed timing with a pixel clock of 0") +
               fix;
}

void TestEdidCheck::malformedTimings() {
    QFETCH(int, at);
    QFETCH(Dtd, dtd);
    QFETCH(QString, failure);
    Bytes b = sample(kSony);
    QCOMPARE(b.size(), std::size_t(256));
    QCOMPARE(texts(checkEdid(b), FindingKind::Failure), QStringList());
    putDtd(b, static_cast<std::size_t>(at), dtd);
    fixChecksum(b, static_cast<std::size_t>(at) / 128);
    const QStringList got = texts(checkEdid(b), FindingKind::Failure);
    QCOMPARE(got, failure.isEmpty() ? QStringList() : QStringList{failure});
}

void TestEdidCheck::rgbThatCannotFitAtAll() {
    // 12-bit RGB is claimed, but 8-bit RGB already needs 594 MHz of its 300.
    const std::vector<Finding> f = checkEdid(sample(kSony));
    QCOMPARE(texts(f, FindingKind::Note, 97),
             QStringList{"3840x2160p60 needs 594 MHz in RGB and the EDID allows 300 MHz, so RGB "
                         "does not fit at any depth; sources will use 4:2:0"});
    QCOMPARE(texts(f, FindingKind::Note, 95),
             QStringList{"3840x2160p30 RGB 12-bit needs 445.5 MHz; sources will use 8 bit"});
}

void TestEdidCheck::checkAndChainAgree_data() {
    QTest::addColumn<QString>("file");
    const QStringList files =
        QDir(KORVANTA_EDID_SAMPLES).entryList({"*.bin"}, QDir::Files, QDir::Name);
    QVERIFY(files.size() >= 150);
    for (const QString& f : files)
        QTest::newRow(qPrintable(f)) << f;
}

// For every format a sample lists, the check fails it exactly when the
// chain finds that neither RGB nor 4:2:0 at 8 bits reaches the display.
void TestEdidCheck::checkAndChainAgree() {
    QFETCH(QString, file);
    Bytes b = sample(file);
    QVERIFY(b.size() >= 128);
    // What the device hands over: the first 256 bytes, whole in themselves.
    b.resize(std::min<std::size_t>(b.size(), 256));
    b[126] = static_cast<std::uint8_t>(b.size() / 128 - 1);
    fixChecksum(b, 0);
    Model m;
    QVERIFY(parse(b, m).ok);
    std::vector<int> vics;
    for (BlockKind kind : {BlockKind::Video, BlockKind::Y420Video})
        for (const DataBlock* db : blocksOf(m, kind))
            for (std::size_t i = kind == BlockKind::Video ? 0 : 1; i < db->payload.size(); ++i)
                if (vicTiming(vicOf(db->payload[i])) && *vicName(vicOf(db->payload[i])))
                    vics.push_back(vicOf(db->payload[i]));
    if (vics.empty())
        QSKIP("no video format the check knows");

    const std::vector<Finding> findings = checkEdid(b);
    chain::ChainData d;
    d.displays[0] = {chain::DisplayState::Read, b};
    d.input.hdmi = d.input.txA = d.input.txB = true;
    for (int vic : vics) {
        const bool failed = std::any_of(findings.begin(), findings.end(), [&](const Finding& f) {
            return f.kind == FindingKind::Failure && f.vic == vic;
        });
        d.input.vic = d.input.statusCode = vic;
        d.input.formatName = vicName(vic);
        bool reaches = false;
        for (chain::Encoding e : {chain::Encoding::Rgb, chain::Encoding::Ycc420}) {
            d.input.encoding = e;
            const double rate =
                vicTiming(vic)->pixelKhz / 1000.0 / (e == chain::Encoding::Rgb ? 1 : 2);
            d.input.linkMode = rate > kHdmi14MaxMhz ? 2 : 0;
            const chain::OutputReport top = chain::checkChain(d).outputs[0];
            reaches =
                reaches ||
                std::none_of(top.findings.begin(), top.findings.end(), [](const chain::Finding& f) {
                    return (f.check == "format" || f.check == "bandwidth" || f.check == "colour") &&
                           f.verdict != chain::Verdict::Fine;
                });
        }
        QVERIFY2(failed != reaches, qPrintable(QString("VIC %1: the check %2 it, the chain %3")
                                                   .arg(vic)
                                                   .arg(failed ? "fails" : "passes")
                                                   .arg(reaches ? "reaches" : "does not")));
    }
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
