#include "DecodeFields.h"
#include "EdidSamples.h"
#include "decode/EdidDecode.h"
#include "sim/SimulatedDevice.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTest>

#include <functional>

using edidsamples::monitor4k;

namespace {

using Change = std::function<void(EdidImage&)>;

decode::Decoded decodeImage(const EdidImage& e) {
    return decode::decodeEdid(e);
}

QString hex(int value) {
    return QString("0x%1").arg(value, 2, 16, QChar('0')).toUpper().replace("0X", "0x");
}

} // namespace

class TestDecodeEdid : public QObject {
    Q_OBJECT

private slots:
    void baseBlock_data();
    void baseBlock();
    void ctaBlock_data();
    void ctaBlock();
    void problems_data();
    void problems();
    void checksumsSayWhatTheyShouldBe_data();
    void checksumsSayWhatTheyShouldBe();
    void cutShort();
    void jsonListsHoldOneKind();
    void compareDeviceWithTop();
    void compareWithItself();
};

void TestDecodeEdid::baseBlock_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QVariant>("value");

    QTest::newRow("manufacturer") << "manufacturer" << QVariant("DEL");
    QTest::newRow("product code") << "productCode" << QVariant(0x1234);
    QTest::newRow("serial") << "serialNumber" << QVariant(67305985);
    QTest::newRow("week") << "manufactured.week" << QVariant(10);
    QTest::newRow("year") << "manufactured.year" << QVariant(2020);
    QTest::newRow("version") << "version" << QVariant("1.4");
    QTest::newRow("input") << "input" << QVariant("digital, 10 bits per colour, DisplayPort");
    QTest::newRow("screen") << "screenSize.widthCm" << QVariant(60);
    QTest::newRow("gamma") << "gamma" << QVariant(2.2);
    QTest::newRow("encodings") << "features.colourEncoding"
                               << QVariant("RGB 4:4:4, YCbCr 4:4:4, YCbCr 4:2:2");
    QTest::newRow("active off") << "features.powerManagement" << QVariant("active off");
    QTest::newRow("established") << "establishedTimings"
                                 << QVariant(QVariantList{"640x480 @ 60 Hz", "800x600 @ 60 Hz",
                                                          "1024x768 @ 60 Hz"});
    QTest::newRow("standard 16:9") << "standardTimings[1].height" << QVariant(720);
    QTest::newRow("preferred") << "preferredTiming.width" << QVariant(3840);
    QTest::newRow("preferred refresh") << "preferredTiming.refreshHz" << QVariant(60);
    QTest::newRow("preferred clock") << "preferredTiming.pixelClockMhz" << QVariant(594);
    QTest::newRow("preferred horizontal")
        << "preferredTiming.horizontal"
        << QVariant("3840 active, 560 blanking (front 176, sync 88, back 296)");
    QTest::newRow("preferred vertical")
        << "preferredTiming.vertical"
        << QVariant("2160 active, 90 blanking (front 8, sync 10, back 72)");
    QTest::newRow("image size") << "preferredTiming.imageSize" << QVariant("600 x 340 mm");
    QTest::newRow("second timing") << "detailedTimings[0].height" << QVariant(1080);
    QTest::newRow("range") << "rangeLimits.maxPixelClockMhz" << QVariant(600);
    QTest::newRow("range horizontal") << "rangeLimits.maxHorizontalKhz" << QVariant(160);
    QTest::newRow("name") << "displayName" << QVariant("SAMPLE 4K");
    QTest::newRow("extensions") << "extensionCount" << QVariant(1);
}

void TestDecodeEdid::baseBlock() {
    QFETCH(QString, path);
    QFETCH(QVariant, value);

    const decode::Decoded d = decodeImage(monitor4k());
    QCOMPARE(problemsOf(d), QStringList());
    QCOMPARE(fieldAt(d, path).toVariant(), value);
}

void TestDecodeEdid::ctaBlock_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QVariant>("value");

    const QString blocks = "block1.dataBlocks.";
    QTest::newRow("revision") << "block1.revision" << QVariant(3);
    QTest::newRow("underscan") << "block1.underscan" << QVariant(true);
    QTest::newRow("native count") << "block1.nativeDetailedTimings" << QVariant(1);
    QTest::newRow("VICs") << blocks + "video" << QVariant();
    QTest::newRow("native VIC 16") << blocks + "video[1].native" << QVariant(true);
    QTest::newRow("VIC 97 name") << blocks + "video[0].name" << QVariant("3840x2160p60");
    QTest::newRow("VIC past the table") << blocks + "video[3].name" << QVariant("VIC 193");
    QTest::newRow("LPCM channels") << blocks + "audio[0].channels" << QVariant(8);
    QTest::newRow("LPCM rates") << blocks + "audio[0].sampleRatesKhz"
                                << QVariant(QVariantList{32, 44.1, 48, 88.2, 96, 176.4, 192});
    QTest::newRow("LPCM depths") << blocks + "audio[0].bitDepths"
                                 << QVariant(QVariantList{16, 20, 24});
    QTest::newRow("AC-3 rate") << blocks + "audio[1].maxBitRateKbps" << QVariant(640);
    QTest::newRow("speakers") << blocks + "speakerAllocation" << QVariant("FL/FR, LFE1, FC, BL/BR");
    QTest::newRow("physical address") << blocks + "hdmi.physicalAddress" << QVariant("2.0.0.0");
    QTest::newRow("deep colour") << blocks + "hdmi.deepColour"
                                 << QVariant("YCbCr 4:4:4, 30 bit, 36 bit");
    QTest::newRow("TMDS clock") << blocks + "hdmi.maxTmdsClockMhz" << QVariant(300);
    QTest::newRow("forum rate") << blocks + "hdmiForum.maxTmdsCharacterRateMhz" << QVariant(600);
    QTest::newRow("SCDC") << blocks + "hdmiForum.scdc" << QVariant(true);
    QTest::newRow("4:2:0 deep colour")
        << blocks + "hdmiForum.deepColour420" << QVariant("30 bit, 36 bit");
    QTest::newRow("colorimetry") << blocks + "colorimetry" << QVariant("BT2020YCC, BT2020RGB");
    QTest::newRow("EOTFs") << blocks + "hdrStaticMetadata.eotfs"
                           << QVariant("SDR (traditional gamma), HDR (traditional gamma), SMPTE "
                                       "ST 2084 (PQ)");
    // 50 * 2^(96/32), 50 * 2^(64/32), 400 * (255/255)^2 / 100.
    QTest::newRow("max luminance") << blocks + "hdrStaticMetadata.maxLuminance" << QVariant(400);
    QTest::newRow("average luminance")
        << blocks + "hdrStaticMetadata.maxFrameAverageLuminance" << QVariant(200);
    QTest::newRow("min luminance") << blocks + "hdrStaticMetadata.minLuminance" << QVariant(4);
    QTest::newRow("RGB quantization")
        << blocks + "videoCapability.rgbQuantization" << QVariant("selectable");
    QTest::newRow("CE scan") << blocks + "videoCapability.ceScan"
                             << QVariant("always underscanned");
    QTest::newRow("4:2:0 map") << blocks + "ycbcr420CapabilityMap[0].vic" << QVariant(97);
    QTest::newRow("CTA timing") << "block1.detailedTimings[0].width" << QVariant(1280);
}

void TestDecodeEdid::ctaBlock() {
    QFETCH(QString, path);
    QFETCH(QVariant, value);

    const decode::Decoded d = decodeImage(monitor4k());
    QCOMPARE(problemsOf(d), QStringList());
    if (!value.isValid()) {
        QCOMPARE(eachOf(fieldAt(d, path), "vic"), (QVariantList{97, 16, 4, 193}));
        return;
    }
    QCOMPARE(fieldAt(d, path).toVariant(), value);
}

void TestDecodeEdid::problems_data() {
    QTest::addColumn<Change>("change");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("header") << Change([](EdidImage& e) { e[0] = 0x01; })
                            << QStringList{"bytes 0-7: header is 01 FF FF FF FF FF FF 00, should "
                                           "be 00 FF FF FF FF FF FF 00"};
    QTest::newRow("manufacturer") << Change([](EdidImage& e) {
        e[8] = e[9] = 0;
    }) << QStringList{"bytes 8-9: manufacturer ID 00 00 is not three letters A-Z"};
    QTest::newRow("reserved video descriptor")
        << Change([](EdidImage& e) { e[edidsamples::kMonitorVdb + 4] = 0x80; })
        << QStringList{"byte 136: video descriptor 0x80 is reserved"};
    QTest::newRow("offset inside the header")
        << Change([](EdidImage& e) { e[130] = 2; })
        << QStringList{"byte 130: offset 2 lies outside 4 to 127"};
    // The 4:2:0 map's last byte lies past the offset: named, and still read.
    QTest::newRow("block past the timings")
        << Change([](EdidImage& e) { e[130] = edidsamples::kMonitorMap + 2 - 128; })
        << QStringList{"byte 178: a data block of 2 bytes runs past the detailed timings at "
                       "byte 180"};
    QTest::newRow("no preferred timing")
        << Change([](EdidImage& e) { e[54] = e[55] = 0; })
        << QStringList{"byte 54: the first descriptor is not a detailed timing, so there is no "
                       "preferred timing"};
    QTest::newRow("4:2:0 map past the formats")
        << Change([](EdidImage& e) { e[edidsamples::kMonitorMap + 2] = 0x10; })
        << QStringList{"byte 180: the 4:2:0 map names format 5, the video data block has 4"};
}

void TestDecodeEdid::problems() {
    QFETCH(Change, change);
    QFETCH(QStringList, expected);

    EdidImage e = monitor4k();
    change(e);
    setEdidChecksums(e);
    const decode::Decoded d = decodeImage(e);
    QCOMPARE(problemsOf(d), expected);
    QVERIFY(QString::fromStdString(decode::renderText(d)).contains("\n! "));
}

void TestDecodeEdid::checksumsSayWhatTheyShouldBe_data() {
    QTest::addColumn<int>("at");
    QTest::newRow("base block") << 127;
    QTest::newRow("CTA block") << 255;
}

void TestDecodeEdid::checksumsSayWhatTheyShouldBe() {
    QFETCH(int, at);
    EdidImage e = monitor4k();
    const int right = e[std::size_t(at)];
    const int wrong = right ^ 0x5A;
    e[std::size_t(at)] = std::uint8_t(wrong);
    QCOMPARE(
        problemsOf(decodeImage(e)),
        QStringList{
            QString("byte %1: checksum is %2, should be %3").arg(at).arg(hex(wrong), hex(right))});
}

// Paths of the lists in `v` whose entries are not all of one JSON type.
static void mixedLists(const QJsonValue& v, const QString& path, QStringList* found) {
    if (v.isArray()) {
        const QJsonArray a = v.toArray();
        for (const QJsonValue& item : a) {
            if (item.type() != a.first().type() && !found->contains(path))
                *found << path;
            mixedLists(item, path + "[]", found);
        }
    } else if (v.isObject()) {
        const QJsonObject o = v.toObject();
        for (auto it = o.begin(); it != o.end(); ++it)
            mixedLists(it.value(), path + "." + it.key(), found);
    }
}

void TestDecodeEdid::jsonListsHoldOneKind() {
    // Reserved descriptors (0x00, 0x80) among real ones, and a 4:2:0 map that
    // names a format the video block lacks, then one that names none.
    EdidImage e = monitor4k();
    e[edidsamples::kMonitorVdb + 2] = 0x00;
    e[edidsamples::kMonitorVdb + 4] = 0x80;
    e[edidsamples::kMonitorMap + 2] = 0x11;
    setEdidChecksums(e);
    decode::Decoded d = decodeImage(e);
    QStringList found;
    mixedLists(decode::renderJson(d), "", &found);
    QCOMPARE(found, QStringList());
    const QJsonArray video = fieldAt(d, "block1.dataBlocks.video").toArray();
    QCOMPARE(video.size(), 4);
    QCOMPARE(video[1].toObject(), (QJsonObject{{"code", 0}, {"reserved", true}}));
    QCOMPARE(video[3].toObject(), (QJsonObject{{"code", 128}, {"reserved", true}}));
    QCOMPARE(fieldAt(d, "block1.dataBlocks.ycbcr420CapabilityMap[1]").toObject(),
             (QJsonObject{{"position", 5}, {"missing", true}}));

    e[edidsamples::kMonitorMap + 2] = 0x00;
    setEdidChecksums(e);
    d = decodeImage(e);
    QCOMPARE(fieldAt(d, "block1.dataBlocks.ycbcr420CapabilityMap"), QJsonValue(QJsonArray()));
}

void TestDecodeEdid::cutShort() {
    const EdidImage e = monitor4k();
    const decode::Decoded part = decode::decodeEdid(std::span(e).first(100));
    QCOMPARE(problemsOf(part),
             QStringList{"byte 100: the EDID ends after 100 bytes, its base block has 128"});
    QCOMPARE(fieldAt(part, "manufacturer").toString(), QString("DEL"));
    QCOMPARE(fieldAt(part, "preferredTiming.width").toInt(), 3840);

    const decode::Decoded base = decode::decodeEdid(std::span(e).first(128));
    QCOMPARE(problemsOf(base), QStringList{"byte 128: the EDID ends after 128 bytes; byte 126 "
                                           "announces 1 extension blocks, 256 bytes in all"});
    QVERIFY(fieldAt(base, "block1").isUndefined());
}

void TestDecodeEdid::compareDeviceWithTop() {
    const decode::Decoded d =
        decode::compareEdids(makeDeviceEdid(), makeDisplayEdid(0), "device", "TOP");
    QCOMPARE(problemsOf(d), QStringList());
    QCOMPARE(fieldAt(d, "identical").toBool(), false);
    // The device lists VICs 3, 101 and 102 beside the TV's; the TV has 19 of its own.
    QCOMPARE(eachOf(fieldAt(d, "videoOnlyA"), {}), (QVariantList{3, 101, 102}));
    QCOMPARE(eachOf(fieldAt(d, "videoOnlyB"), {}), (QVariantList{19}));
    // DTS, E-AC-3 and all-rates LPCM are the device's; the TV's LPCM stops at 48 kHz.
    QCOMPARE(eachOf(fieldAt(d, "audioOnlyA"), {}),
             (QVariantList{"LPCM: 2 channels, 32/44.1/48/88.2/96/176.4/192 kHz, 16/20/24 bit",
                           "DTS: 6 channels, 32/44.1/48 kHz, up to 1536 kb/s",
                           "Enhanced AC-3: 8 channels, 44.1/48 kHz, format value 0x03"}));
    QCOMPARE(eachOf(fieldAt(d, "audioOnlyB"), {}),
             (QVariantList{"LPCM: 2 channels, 32/44.1/48 kHz, 16/20/24 bit"}));
    QMap<QString, QStringList> differences;
    for (const QJsonValue& diff : fieldAt(d, "differences").toArray()) {
        const QJsonObject o = diff.toObject();
        differences[o.value("field").toString()] = {o.value("a").toString(),
                                                    o.value("b").toString()};
    }
    QCOMPARE(differences.value("manufacturer"), (QStringList{"KVT", "LMV"}));
    QCOMPARE(differences.value("displayName"), (QStringList{"KORVANTA", "LUMAVIEW 65"}));
    // List entries pair up by what they name: 96 and 97 are in both 4:2:0 maps.
    QCOMPARE(differences.value("block1.dataBlocks.ycbcr420CapabilityMap.[VIC 101]"),
             (QStringList{"4096x2160p50", ""}));
    QVERIFY(!differences.contains("block1.dataBlocks.ycbcr420CapabilityMap.[VIC 96]"));
    QVERIFY(!differences.contains("block1.dataBlocks.hdmi.physicalAddress"));
}

void TestDecodeEdid::compareWithItself() {
    const EdidImage top = makeDisplayEdid(0);
    const decode::Decoded d = decode::compareEdids(top, top, "TOP", "file");
    QCOMPARE(fieldAt(d, "identical").toBool(), true);
    QVERIFY(fieldAt(d, "differences").toArray().isEmpty());
    // Empty, and still a list.
    QCOMPARE(fieldAt(d, "videoOnlyA"), QJsonValue(QJsonArray()));

    EdidImage broken = top;
    broken[127] ^= 1;
    const decode::Decoded withProblem = decode::compareEdids(top, broken, "TOP", "file");
    QCOMPARE(problemsOf(withProblem).size(), 1);
    QVERIFY(problemsOf(withProblem).first().startsWith("file: byte 127: checksum is "));
}

QTEST_MAIN(TestDecodeEdid)
#include "tst_core_decode_edid.moc"
