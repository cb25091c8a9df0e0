// Our EDID decoder against edid-decode, the reference checker, and the
// simulated EDIDs against its conformity check.
#include "DecodeFields.h"
#include "EdidSamples.h"
#include "decode/EdidConformity.h"
#include "decode/EdidDecode.h"
#include "sim/SimulatedDevice.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTest>

namespace {

// What edid-decode shows of the fields both decoders show.
struct Reference {
    QString manufacturer, version, name;
    int model = -1, week = 0, year = 0;
    qint64 serial = 0; // edid-decode leaves a zero serial out
    int width = 0, height = 0;
    double refresh = 0, clock = 0;
    QVariantList vics;
};

Reference parse(const QString& output) {
    static const QRegularExpression dtd(R"(^DTD 1:\s+(\d+)x(\d+)i?\s+([\d.]+) Hz.*\s([\d.]+) MHz)");
    static const QRegularExpression vic(R"(^VIC\s+(\d+):)");
    static const QRegularExpression made(R"(^Made in: (?:week (\d+) of )?(\d+))");
    Reference r;
    bool inVideoBlock = false;
    for (const QString& line : output.split('\n')) {
        const QString t = line.trimmed();
        // A heading two spaces in starts a data block of the CTA extension.
        if (line.startsWith("  ") && !line.startsWith("   "))
            inVideoBlock = t == "Video Data Block:";
        const auto value = [&](const char* prefix) { return t.mid(qsizetype(strlen(prefix))); };
        if (t.startsWith("Manufacturer: "))
            r.manufacturer = value("Manufacturer: ");
        else if (t.startsWith("Model: "))
            r.model = value("Model: ").toInt();
        else if (t.startsWith("Serial Number: "))
            r.serial = value("Serial Number: ").toLongLong();
        else if (t.startsWith("EDID Structure Version & Revision: "))
            r.version = value("EDID Structure Version & Revision: ");
        else if (t.startsWith("Display Product Name: "))
            r.name = value("Display Product Name: ").chopped(1).mid(1);
        if (const auto m = made.match(t); m.hasMatch()) {
            r.week = m.captured(1).toInt();
            r.year = m.captured(2).toInt();
        }
        if (const auto m = dtd.match(t); m.hasMatch()) {
            r.width = m.captured(1).toInt();
            r.height = m.captured(2).toInt();
            r.refresh = m.captured(3).toDouble();
            r.clock = m.captured(4).toDouble();
        }
        if (const auto m = vic.match(t); m.hasMatch() && inVideoBlock)
            r.vics << m.captured(1).toInt();
    }
    return r;
}

EdidImage edidFor(int which) {
    switch (which) {
    case 0:
        return makeDeviceEdid();
    case 1:
        return makeDisplayEdid(0);
    case 2:
        return makeDisplayEdid(1);
    case 3:
        return edidsamples::monitor4k();
    default:
        return edidsamples::interlacedTv();
    }
}

} // namespace

class TestDecodeEdidDecode : public QObject {
    Q_OBJECT

private slots:
    void agreesWithEdidDecode_data();
    void agreesWithEdidDecode();
    void simulatedEdidsConform_data();
    void simulatedEdidsConform();
    void missingCheckerSaysHowToInstall();
    void slowCheckerIsStopped();
    void findingsStartAtTheirHeading();
};

void TestDecodeEdidDecode::agreesWithEdidDecode_data() {
    QTest::addColumn<int>("which");
    QTest::newRow("device") << 0;
    QTest::newRow("TOP display") << 1;
    QTest::newRow("BOT display") << 2;
    QTest::newRow("4K monitor, EDID 1.4") << 3;
    QTest::newRow("interlaced TV") << 4;
}

void TestDecodeEdidDecode::agreesWithEdidDecode() {
    QFETCH(int, which);
    const EdidImage edid = edidFor(which);
    const decode::ConformityCheck check = decode::runEdidDecodeCheck(edid);
    if (!check.available)
        QSKIP("edid-decode is not installed (sudo apt-get install edid-decode)");
    QVERIFY2(check.ran, check.output.c_str());
    const Reference ref = parse(QString::fromStdString(check.output));
    QVERIFY2(ref.model >= 0 && ref.width > 0, "edid-decode's output did not parse");

    const decode::Decoded ours = decode::decodeEdid(edid);
    QCOMPARE(fieldAt(ours, "manufacturer").toString(), ref.manufacturer);
    QCOMPARE(fieldAt(ours, "productCode").toInt(), ref.model);
    QCOMPARE(qint64(fieldAt(ours, "serialNumber").toDouble()), ref.serial);
    QCOMPARE(fieldAt(ours, "manufactured.week").toInt(), ref.week);
    QCOMPARE(fieldAt(ours, "manufactured.year").toInt(), ref.year);
    QCOMPARE(fieldAt(ours, "version").toString(), ref.version);
    QCOMPARE(fieldAt(ours, "displayName").toString(), ref.name);
    QCOMPARE(fieldAt(ours, "preferredTiming.width").toInt(), ref.width);
    QCOMPARE(fieldAt(ours, "preferredTiming.height").toInt(), ref.height);
    QVERIFY(qAbs(fieldAt(ours, "preferredTiming.refreshHz").toDouble() - ref.refresh) < 0.001);
    QVERIFY(qAbs(fieldAt(ours, "preferredTiming.pixelClockMhz").toDouble() - ref.clock) < 0.001);
    QCOMPARE(eachOf(fieldAt(ours, "block1.dataBlocks.video"), "vic"), ref.vics);
}

void TestDecodeEdidDecode::simulatedEdidsConform_data() {
    QTest::addColumn<int>("which");
    QTest::newRow("device") << 0;
    QTest::newRow("TOP display") << 1;
    QTest::newRow("BOT display") << 2;
}

void TestDecodeEdidDecode::simulatedEdidsConform() {
    QFETCH(int, which);
    const decode::ConformityCheck check = decode::runEdidDecodeCheck(edidFor(which));
    if (!check.available)
        QSKIP("edid-decode is not installed (sudo apt-get install edid-decode)");
    QVERIFY2(check.ran, check.output.c_str());
    const QString findings = QString::fromStdString(decode::conformityFindings(check.output));
    QVERIFY2(!findings.contains("Failures:"), qPrintable(findings));
    QVERIFY2(findings.contains("EDID conformity: PASS"), qPrintable(findings));
    // And our own decoder finds nothing wrong either.
    QCOMPARE(problemsOf(decode::decodeEdid(edidFor(which))), QStringList());
}

void TestDecodeEdidDecode::missingCheckerSaysHowToInstall() {
    const decode::ConformityCheck check = decode::runConformityProgram(
        "korvanta-no-such-checker", {"--check", "-"}, makeDeviceEdid(), 1000);
    QVERIFY(!check.available);
    QVERIFY(!check.ran);
    QCOMPARE(QString::fromStdString(check.installHint),
             QString("sudo apt-get install edid-decode"));
}

void TestDecodeEdidDecode::slowCheckerIsStopped() {
    const int timeoutMs = 300;
    QElapsedTimer clock;
    clock.start();
    const decode::ConformityCheck check =
        decode::runConformityProgram("sleep", {"30"}, makeDeviceEdid(), timeoutMs);
    if (!check.available)
        QSKIP("no sleep program to stand in for a hanging checker");
    QVERIFY(!check.ran);
    QVERIFY2(QString::fromStdString(check.output).contains("did not finish within 0.3 s"),
             check.output.c_str());
    QVERIFY(clock.elapsed() < 10 * timeoutMs);
}

void TestDecodeEdidDecode::findingsStartAtTheirHeading() {
    const std::string passed =
        "Block 0, Base EDID:\n  Manufacturer: KVT\n\nEDID conformity: PASS\n";
    QCOMPARE(decode::conformityFindings(passed), std::string("EDID conformity: PASS\n"));
    const std::string failed = "Checksum: 0x01\n\nWarnings:\n\nBlock 1: x\n\nFailures:\n\nBlock 0: "
                               "y\n\nEDID conformity: FAIL\n";
    QCOMPARE(decode::conformityFindings(failed),
             std::string("Warnings:\n\nBlock 1: x\n\nFailures:\n\nBlock 0: y\n\nEDID conformity: "
                         "FAIL\n"));
    QCOMPARE(decode::conformityFindings("no findings here"), std::string());
}

QTEST_MAIN(TestDecodeEdidDecode)
#include "tst_core_decode_edid_decode.moc"
