#include "DecodeFields.h"
#include "decode/InfoFrameDecode.h"

#include <QTest>

#include <vector>

namespace {

// An HDR10 frame: ST 2084, P3 primaries (green, blue, red), D65 white,
// 1000 / 0.005 cd/m2 mastering, MaxCLL 1000, MaxFALL 400.
const char* const kHdr10 = "87:01:1a:74:02:00:c2:33:c4:86:4c:1d:b8:0b:d0:84:80:3e:13:3d:42:40:"
                           "e8:03:32:00:e8:03:90:01";

std::string hdrWith(int index, const char* pair) {
    std::string text = kHdr10;
    text.replace(std::size_t(3 * index), 2, pair);
    return text;
}

} // namespace

class TestDecodeInfoFrames : public QObject {
    Q_OBJECT

private slots:
    void hdrFields_data();
    void hdrFields();
    void hdrProblems_data();
    void hdrProblems();
    void capturedFrame();
    void aviFields_data();
    void aviFields();
    void aviProblems_data();
    void aviProblems();
};

void TestDecodeInfoFrames::hdrFields_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QVariant>("value");

    QTest::newRow("length") << "length" << QVariant(26);
    QTest::newRow("EOTF") << "eotf.name" << QVariant("SMPTE ST 2084 (PQ)");
    QTest::newRow("descriptor") << "metadataDescriptor" << QVariant(0);
    QTest::newRow("green x") << "primary0.x" << QVariant(0.265);
    QTest::newRow("green y") << "primary0.y" << QVariant(0.69);
    QTest::newRow("blue x") << "primary1.x" << QVariant(0.15);
    QTest::newRow("blue y") << "primary1.y" << QVariant(0.06);
    QTest::newRow("red x") << "primary2.x" << QVariant(0.68);
    QTest::newRow("red y") << "primary2.y" << QVariant(0.32);
    QTest::newRow("white x") << "whitePoint.x" << QVariant(0.3127);
    QTest::newRow("white y") << "whitePoint.y" << QVariant(0.329);
    QTest::newRow("max mastering") << "maxMasteringLuminance" << QVariant(1000);
    QTest::newRow("min mastering") << "minMasteringLuminance" << QVariant(0.005);
    QTest::newRow("MaxCLL") << "maxCll" << QVariant(1000);
    QTest::newRow("MaxFALL") << "maxFall" << QVariant(400);
}

void TestDecodeInfoFrames::hdrFields() {
    QFETCH(QString, path);
    QFETCH(QVariant, value);

    const decode::Decoded d = decode::decodeHdrInfoFrameText(kHdr10);
    QCOMPARE(problemsOf(d), QStringList());
    QCOMPARE(fieldAt(d, path).toVariant(), value);
}

void TestDecodeInfoFrames::hdrProblems_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("checksum one off") << QString::fromStdString(hdrWith(3, "75"))
                                      << QStringList{"byte 4: checksum is 0x75, should be 0x74"};
    // Six less in the sum: the checksum must be six more.
    QTest::newRow("wrong type") << QString::fromStdString(hdrWith(0, "81"))
                                << QStringList{"byte 1: type is 0x81, an HDR InfoFrame has 0x87",
                                               "byte 4: checksum is 0x74, should be 0x7A"};
    QTest::newRow("reserved EOTF, checksum kept right")
        << QString::fromStdString(hdrWith(3, "71").replace(12, 2, "05"))
        << QStringList{"byte 5: EOTF 5 is reserved"};
    // 87 + 01 + 1a + 02 = a4.
    QTest::newRow("cut short") << "87:01:1a:74:02"
                               << QStringList{"byte 4: checksum is 0x74, should be 0x5C",
                                              "byte 6: missing, the frame ends after data byte "
                                              "1 of 26"};
    // The stored frame fills the device's 31-byte slot: zeros there are padding.
    QTest::newRow("zero padding") << QString(kHdr10) + ":00" << QStringList{};
    QTest::newRow("bytes past the length")
        << QString(kHdr10) + ":00:05"
        << QStringList{"byte 31: past the 26 data bytes the length announces"};
    QTest::newRow("header only") << "87:01"
                                 << QStringList{"byte 3: missing, expected the length (0x1a)"};
    QTest::newRow("typing mistake")
        << "87:01:1a:7"
        << QStringList{"character 10: byte 4 has one hex digit, expected two",
                       "byte 4: missing, expected the checksum"};
}

void TestDecodeInfoFrames::hdrProblems() {
    QFETCH(QString, text);
    QFETCH(QStringList, expected);
    QCOMPARE(problemsOf(decode::decodeHdrInfoFrameText(text.toStdString())), expected);
}

void TestDecodeInfoFrames::capturedFrame() {
    // As the register holds it: type, length, then the data bytes.
    std::vector<std::uint8_t> reg = {0x87, 26,   0x02, 0x00, 0xC2, 0x33, 0xC4, 0x86, 0x4C, 0x1D,
                                     0xB8, 0x0B, 0xD0, 0x84, 0x80, 0x3E, 0x13, 0x3D, 0x42, 0x40,
                                     0xE8, 0x03, 0x32, 0x00, 0xE8, 0x03, 0x90, 0x01};
    reg.resize(62); // the rest of a 64-byte reply
    const decode::Decoded d = decode::decodeHdrInfoFrameBytes(reg);
    QCOMPARE(problemsOf(d), QStringList());
    QCOMPARE(fieldAt(d, "captured").toBool(), true);
    QCOMPARE(fieldAt(d, "eotf.value").toInt(), 2);
    QCOMPARE(fieldAt(d, "maxFall").toInt(), 400);

    const std::vector<std::uint8_t> none(62, 0);
    const decode::Decoded empty = decode::decodeHdrInfoFrameBytes(none);
    QCOMPARE(problemsOf(empty), QStringList());
    QCOMPARE(fieldAt(empty, "captured").toBool(), false);
    QVERIFY(fieldAt(empty, "eotf").isUndefined());

    const std::vector<std::uint8_t> cut = {0x87, 26, 0x02, 0x00};
    QCOMPARE(problemsOf(decode::decodeHdrInfoFrameBytes(cut)),
             QStringList{"data byte 3: missing, the frame ends after data byte 2 of 26"});
}

void TestDecodeInfoFrames::aviFields_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QVariant>("value");

    // 60: Y=3; c8: C=3, M=0, R=8; 60: EC=6; 61: VIC 97; 00.
    const QString bt2020 = "60:c8:60:61:00";
    QTest::newRow("4:2:0") << bt2020 << "colourSpace.name" << QVariant("YCbCr 4:2:0");
    QTest::newRow("no active format") << bt2020 << "activeFormatPresent" << QVariant(false);
    QTest::newRow("colorimetry extended") << bt2020 << "colorimetry.value" << QVariant(3);
    QTest::newRow("BT.2020") << bt2020 << "extendedColorimetry.name"
                             << QVariant("BT.2020 RGB or YCbCr");
    QTest::newRow("VIC 97") << bt2020 << "vic.vic" << QVariant(97);
    QTest::newRow("VIC 97 name") << bt2020 << "vic.name" << QVariant("3840x2160p60");
    QTest::newRow("content type without IT") << bt2020 << "contentType" << QVariant(0);
    // 12: RGB, A0, underscanned; 9a: BT.709, 4:3, R=10; 84: IT, Q=1; 10: VIC 16; 31: CN 3, PR 1.
    const QString it = "12:9a:84:10:31";
    QTest::newRow("RGB") << it << "colourSpace.name" << QVariant("RGB");
    QTest::newRow("underscanned") << it << "scanInfo.name" << QVariant("underscanned");
    QTest::newRow("BT.709") << it << "colorimetry.name" << QVariant("ITU-R BT.709");
    QTest::newRow("4:3") << it << "pictureAspect.name" << QVariant("4:3");
    QTest::newRow("active format 16:9") << it << "activeFormat.name" << QVariant("16:9 (centre)");
    QTest::newRow("IT content") << it << "itContent" << QVariant(true);
    QTest::newRow("limited RGB") << it << "rgbQuantization.name" << QVariant("limited range");
    QTest::newRow("game") << it << "contentType" << QVariant(3);
    QTest::newRow("pixel doubled") << it << "pixelRepetition" << QVariant(1);
    // 08: horizontal bars; top bar to line 480, bottom bar from line 880.
    const QString bars = "08:00:00:00:00:e0:01:70:03";
    QTest::newRow("horizontal bars") << bars << "barInfo.value" << QVariant(2);
    QTest::newRow("top bar") << bars << "topBarEnd" << QVariant(480);
    QTest::newRow("bottom bar") << bars << "bottomBarStart" << QVariant(880);
}

void TestDecodeInfoFrames::aviFields() {
    QFETCH(QString, text);
    QFETCH(QString, path);
    QFETCH(QVariant, value);

    const decode::Decoded d = decode::decodeAviText(text.toStdString());
    QCOMPARE(problemsOf(d), QStringList());
    QCOMPARE(fieldAt(d, path).toVariant(), value);
}

void TestDecodeInfoFrames::aviProblems_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("reserved colour space")
        << "80:00" << QStringList{"data byte 1: Colour space 4 is reserved"};
    QTest::newRow("reserved YCbCr quantization")
        << "40:00:00:10:80" << QStringList{"data byte 5: YCbCr quantization 2 is reserved"};
    QTest::newRow("reserved RGB quantization")
        << "00:00:0c" << QStringList{"data byte 3: RGB quantization 3 is reserved"};
    QTest::newRow("reserved active format")
        << "10:0c" << QStringList{"data byte 2: Active format aspect 12 is reserved"};
    QTest::newRow("vertical bars missing")
        << "04:00"
        << QStringList{"data byte 10: missing, data byte 1 says the bar is given",
                       "data byte 12: missing, data byte 1 says the bar is given"};
    QTest::newRow("fifteen bytes")
        << "00:00:00:00:00:00:00:00:00:00:00:00:00:00:00"
        << QStringList{"data byte 15: past the end, an AVI InfoFrame has at most 14 data bytes"};
    QTest::newRow("typing mistake")
        << "60:c8:6" << QStringList{"character 7: byte 3 has one hex digit, expected two"};
}

void TestDecodeInfoFrames::aviProblems() {
    QFETCH(QString, text);
    QFETCH(QStringList, expected);
    QCOMPARE(problemsOf(decode::decodeAviText(text.toStdString())), expected);
}

QTEST_MAIN(TestDecodeInfoFrames)
#include "tst_core_decode_infoframes.moc"
