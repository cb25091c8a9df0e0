// The EDID model: byte-for-byte round trips, edits checked through the
// decoder, repairs, merges and the option texts.
#include "DecodeFields.h"
#include "EdidSamples.h"
#include "decode/EdidDecode.h"
#include "edid/EdidAudio.h"
#include "edid/EdidCheck.h"
#include "edid/EdidMerge.h"
#include "edid/EdidOptions.h"
#include "sim/SimulatedDevice.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTest>

using namespace edid;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(const EdidImage& e) {
    return Bytes(e.begin(), e.end());
}

Model modelOf(const Bytes& b) {
    Model m;
    const ParseResult r = parse(b, m);
    if (!r.ok)
        qWarning("%s", r.error.c_str());
    return m;
}

bool checksumsGood(const Bytes& b) {
    for (std::size_t at = 0; at + 128 <= b.size(); at += 128) {
        unsigned sum = 0;
        for (std::size_t i = 0; i < 128; ++i)
            sum += b[at + i];
        if (sum % 256)
            return false;
    }
    return true;
}

// The lines of edid-decode's failure section; none when it is not installed.
QStringList edidDecodeFailures(const Bytes& b) {
    const ReferenceCheck ref = referenceCheck(b);
    QStringList out;
    bool inFailures = false;
    for (const QString& line : QString::fromStdString(ref.output).split('\n')) {
        if (line.startsWith("Failures:") || line.startsWith("EDID conformity"))
            inFailures = line.startsWith("Failures:");
        else if (inFailures && line.startsWith("  "))
            out << line.trimmed();
    }
    return out;
}

} // namespace

class TestEdidModel : public QObject {
    Q_OBJECT
private slots:
    void samplesFolder();
    void roundTrip_data();
    void roundTrip();
    void rejectsGarbage_data();
    void rejectsGarbage();
    void edits_data();
    void edits();
    void refusedEdits_data();
    void refusedEdits();
    void repairs_data();
    void repairs();
    void hdrLuminanceCodes_data();
    void hdrLuminanceCodes();
    void edidDecodeAgrees();
    void audioTexts_data();
    void audioTexts();
    void mergeTopAndBottom();
    void commonSubsetOfTopAndBottom();
};

void TestEdidModel::samplesFolder() {
    const QDir dir(QStringLiteral(KORVANTA_EDID_SAMPLES));
    if (!dir.exists())
        QSKIP("no sample EDIDs beside the checkout; the round trip ran on built-in ones only");
    QVERIFY(!dir.entryList({"*.bin"}, QDir::Files).isEmpty());
}

void TestEdidModel::roundTrip_data() {
    QTest::addColumn<QByteArray>("edid");
    QTest::newRow("sim device") << QByteArray(
        reinterpret_cast<const char*>(makeDeviceEdid().data()), 256);
    for (int out : {0, 1})
        QTest::newRow(out ? "sim BOT" : "sim TOP")
            << QByteArray(reinterpret_cast<const char*>(makeDisplayEdid(out).data()), 256);
    const EdidImage monitor = edidsamples::monitor4k(), tv = edidsamples::interlacedTv();
    QTest::newRow("4K monitor") << QByteArray(reinterpret_cast<const char*>(monitor.data()), 256);
    QTest::newRow("interlaced TV") << QByteArray(reinterpret_cast<const char*>(tv.data()), 256);
    const QDir dir(QStringLiteral(KORVANTA_EDID_SAMPLES));
    for (const QString& name : dir.entryList({"*.bin"}, QDir::Files, QDir::Name)) {
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            QTest::newRow(qPrintable(name)) << f.readAll();
    }
}

void TestEdidModel::roundTrip() {
    QFETCH(QByteArray, edid);
    const Bytes in(edid.begin(), edid.end());
    Model m;
    const ParseResult r = parse(in, m);
    QVERIFY2(r.ok, r.error.c_str());
    QCOMPARE(m.extensions.size() + m.trailing.size() / 128, in.size() / 128 - 1);
    QCOMPARE(write(m), in);
    QVERIFY(m.repairs.empty());

    // Written anew from its parts, a readable CTA block whose padding is zero
    // and whose checksum is right comes back the same too.
    for (std::size_t i = 0; i < m.extensions.size(); ++i) {
        const Extension& e = m.extensions[i];
        if (!e.isCta || !checksumsGood(Bytes(e.original.begin(), e.original.end())))
            continue;
        Model again = m;
        markEdited(again, static_cast<int>(i + 1));
        const Bytes out = write(again);
        const Bytes declared(in.begin(), in.end() - static_cast<std::ptrdiff_t>(m.trailing.size()));
        const int end = 4 + (127 - 4 - ctaFreeBytes(e.cta));
        const bool zeroPadding =
            e.original[2] == 0 || std::all_of(e.original.begin() + end, e.original.begin() + 127,
                                              [](std::uint8_t b) { return b == 0; });
        if (zeroPadding && checksumsGood(declared) && declared[126] == m.extensions.size())
            QCOMPARE(out, declared);
        QVERIFY(checksumsGood(out));
        Model reread;
        QVERIFY(parse(out, reread).ok);
        QCOMPARE(reread.extensions[i].cta.dataBlocks.size(), e.cta.dataBlocks.size());
    }
}

void TestEdidModel::rejectsGarbage_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("half a block") << QByteArray(64, '\0');
    QTest::newRow("no header") << QByteArray(128, '\xFF');
    QByteArray big(257 * 128, '\0');
    big.replace(0, 8, QByteArray::fromHex("00FFFFFFFFFFFF00"));
    QTest::newRow("257 blocks") << big;
}

void TestEdidModel::rejectsGarbage() {
    QFETCH(QByteArray, bytes);
    Model m;
    QVERIFY(!parse(Bytes(bytes.begin(), bytes.end()), m).ok);
    QVERIFY(m.extensions.empty());
}

// Options applied in order to the 4K monitor sample, then one field of the
// decoder's JSON. Expected values follow the EDID and CTA-861 layouts.
void TestEdidModel::edits_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QVariant>("value");
    const QString db = "block1.dataBlocks.";
    QTest::newRow("name") << QStringList{"name=KORVANTA TEST"} << "displayName"
                          << QVariant("KORVANTA TEST");
    QTest::newRow("manufacturer") << QStringList{"manufacturer=KVT"} << "manufacturer"
                                  << QVariant("KVT");
    QTest::newRow("product") << QStringList{"product=0x4321"} << "productCode" << QVariant(0x4321);
    QTest::newRow("serial") << QStringList{"serial=7"} << "serialNumber" << QVariant(7);
    QTest::newRow("week") << QStringList{"date=12/2026"} << "manufactured.week" << QVariant(12);
    QTest::newRow("year") << QStringList{"date=12/2026"} << "manufactured.year" << QVariant(2026);
    QTest::newRow("add VIC") << QStringList{"add-vic=95,16"} << db + "video"
                             << QVariant(QVariantList{97, 16, 4, 193, 95});
    QTest::newRow("remove VIC") << QStringList{"remove-vic=4"} << db + "video"
                                << QVariant(QVariantList{97, 16, 193});
    // 4:2:0 on positions 0 and 3, then position 1 goes: the map follows.
    QTest::newRow("map follows removal")
        << QStringList{"y420=193", "remove-vic=16"} << db + "ycbcr420CapabilityMap"
        << QVariant(QVariantList{97, 193});
    QTest::newRow("4:2:0 only") << QStringList{"y420-only=97"} << db + "ycbcr420Video"
                                << QVariant(QVariantList{97});
    QTest::newRow("4:2:0 only leaves VDB")
        << QStringList{"y420-only=97"} << db + "video" << QVariant(QVariantList{16, 4, 193});
    QTest::newRow("native moves") << QStringList{"native=4"} << db + "video[2].native"
                                  << QVariant(true);
    QTest::newRow("native leaves")
        << QStringList{"native=4"} << db + "video[1].native" << QVariant(false);
    QTest::newRow("preferred width")
        << QStringList{"preferred=16"} << "preferredTiming.width" << QVariant(1920);
    QTest::newRow("preferred clock")
        << QStringList{"preferred=16"} << "preferredTiming.pixelClockMhz" << QVariant(148.5);
    QTest::newRow("preferred interlaced")
        << QStringList{"preferred=5"} << "preferredTiming.height" << QVariant(1080);
    QTest::newRow("physical address") << QStringList{"physical-address=1.2.3.4"}
                                      << db + "hdmi.physicalAddress" << QVariant("1.2.3.4");
    QTest::newRow("deep colour") << QStringList{"deep-color=30"} << db + "hdmi.deepColour"
                                 << QVariant("30 bit");
    QTest::newRow("TMDS 340 vendor")
        << QStringList{"max-tmds=340"} << db + "hdmi.maxTmdsClockMhz" << QVariant(340);
    QTest::newRow("TMDS 500 vendor capped")
        << QStringList{"max-tmds=500"} << db + "hdmi.maxTmdsClockMhz" << QVariant(340);
    QTest::newRow("TMDS 500 forum")
        << QStringList{"max-tmds=500"} << db + "hdmiForum.maxTmdsCharacterRateMhz" << QVariant(500);
    QTest::newRow("SCDC off") << QStringList{"scdc=off"} << db + "hdmiForum.scdc"
                              << QVariant(false);
    QTest::newRow("colorimetry") << QStringList{"colorimetry=bt2020rgb"} << db + "colorimetry"
                                 << QVariant("BT2020RGB");
    QTest::newRow("quantization") << QStringList{"quantization=rgb,ycc"}
                                  << db + "videoCapability.ycbcrQuantization"
                                  << QVariant("selectable");
    QTest::newRow("EOTFs") << QStringList{"hdr=sdr,hlg"} << db + "hdrStaticMetadata.eotfs"
                           << QVariant("SDR (traditional gamma), HLG");
    QTest::newRow("speakers") << QStringList{"speakers=FL/FR,LFE,FC"} << db + "speakerAllocation"
                              << QVariant("FL/FR, LFE1, FC");
    QTest::newRow("audio add Atmos")
        << QStringList{"audio-add=truehd:8:atmos"} << db + "audio[2].formatValue" << QVariant(1);
    QTest::newRow("audio add format") << QStringList{"audio-add=truehd:8:atmos"}
                                      << db + "audio[2].format" << QVariant("MAT (MLP)");
    QTest::newRow("audio replace") << QStringList{"audio-add=ac3:2:192kbps"}
                                   << db + "audio[1].maxBitRateKbps" << QVariant(192);
    QTest::newRow("audio remove") << QStringList{"audio-remove=ac3"} << db + "audio"
                                  << QVariant(QVariantList{"LPCM"});
}

void TestEdidModel::edits() {
    QFETCH(QStringList, options);
    QFETCH(QString, path);
    QFETCH(QVariant, value);
    Model m = modelOf(bytesOf(edidsamples::monitor4k()));
    for (const QString& o : options) {
        const EditResult r =
            applyOption(m, o.section('=', 0, 0).toStdString(), o.section('=', 1).toStdString());
        QVERIFY2(r.ok, r.message.c_str());
    }
    const Bytes out = write(m);
    QVERIFY(checksumsGood(out));
    const decode::Decoded d = decode::decodeEdid(out);
    QCOMPARE(problemsOf(d), QStringList());
    // edid-decode finds no fault the sample did not already have.
    const QStringList before = edidDecodeFailures(bytesOf(edidsamples::monitor4k()));
    for (const QString& f : edidDecodeFailures(out))
        QVERIFY2(before.contains(f), qPrintable(f));
    QJsonValue got = fieldAt(d, path);
    if (value.typeId() == QMetaType::QVariantList) {
        const QString key = path.endsWith("audio") ? "format" : "vic";
        QCOMPARE(eachOf(got, key), value.toList());
    } else {
        QCOMPARE(got.toVariant(), value);
    }
}

void TestEdidModel::refusedEdits_data() {
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("value");
    QTest::newRow("long name") << "name"
                               << "FOURTEEN CHARS";
    QTest::newRow("no free descriptor") << "serial-text"
                                        << "AB12";
    QTest::newRow("lower-case maker") << "manufacturer"
                                      << "kvt";
    QTest::newRow("native above 64") << "native"
                                     << "97";
    QTest::newRow("native not listed") << "native"
                                       << "5";
    QTest::newRow("preferred unknown") << "preferred"
                                       << "250";
    QTest::newRow("TMDS above HDMI 2.0") << "max-tmds"
                                         << "601";
    QTest::newRow("bad address") << "physical-address"
                                 << "1.0.0";
    QTest::newRow("bad EOTF") << "hdr"
                              << "dolby";
    QTest::newRow("bad audio") << "audio-add"
                               << "lpcm:9";
    QTest::newRow("bad speaker") << "speakers"
                                 << "FL/FR,XX";
    QTest::newRow("unknown option") << "colour"
                                    << "red";
    // 29 more codes fill the video block past its 31 entries.
    QTest::newRow("full video block") << "add-vic"
                                      << "1,2,3,5,6,7,8,9,10,11,12,13,14,15,17,18,19,20,21,22,"
                                         "23,24,25,26,27,28,29,30,31";
}

void TestEdidModel::refusedEdits() {
    QFETCH(QString, option);
    QFETCH(QString, value);
    const Bytes in = bytesOf(edidsamples::monitor4k());
    Model m = modelOf(in);
    const EditResult r = applyOption(m, option.toStdString(), value.toStdString());
    QVERIFY(!r.ok);
    QVERIFY(!r.message.empty());
    QCOMPARE(write(m), in); // a refused edit leaves nothing behind
}

void TestEdidModel::repairs_data() {
    QTest::addColumn<int>("byte");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("note");
    QTest::newRow("CTA checksum") << 255 << 0x00 << "repaired: checksum of block 1";
    QTest::newRow("extension count") << 126 << 3 << "repaired: extension count 3 is now 1";
}

void TestEdidModel::repairs() {
    QFETCH(int, byte);
    QFETCH(int, value);
    QFETCH(QString, note);
    EdidImage e = edidsamples::monitor4k();
    e[static_cast<std::size_t>(byte)] = static_cast<std::uint8_t>(value);
    const Bytes broken = bytesOf(e);
    Model m = modelOf(broken);
    QCOMPARE(write(m), broken); // read and written back as it is
    QVERIFY(setDisplayName(m, "FIXED").ok);
    const Bytes out = write(m);
    QVERIFY(checksumsGood(out));
    QCOMPARE(out[126], 1);
    QStringList notes;
    for (const std::string& r : m.repairs)
        notes << QString::fromStdString(r);
    QVERIFY2(notes.contains(note), qPrintable(notes.join("; ")));
    QVERIFY(!hasFailure(checkEdid(out)));
}

void TestEdidModel::hdrLuminanceCodes_data() {
    QTest::addColumn<int>("which");
    QTest::addColumn<double>("cd");
    QTest::addColumn<int>("code");
    // 32·log2(1000/50) = 138.3; 32·log2(400/50) = 96; below 50 the code is 0.
    QTest::newRow("max 1000") << 0 << 1000.0 << 138;
    QTest::newRow("max 400") << 0 << 400.0 << 96;
    QTest::newRow("max 10") << 0 << 10.0 << 0;
    QTest::newRow("average 200") << 1 << 200.0 << 64;
    // Over the sample's 400 cd/m²: 255·sqrt(0.05·100/400) = 28.5; 4 is code 255.
    QTest::newRow("min 0.05") << 2 << 0.05 << 29;
    QTest::newRow("min 4") << 2 << 4.0 << 255;
}

void TestEdidModel::hdrLuminanceCodes() {
    QFETCH(int, which);
    QFETCH(double, cd);
    QFETCH(int, code);
    Model m = modelOf(bytesOf(edidsamples::monitor4k()));
    QVERIFY(setLuminance(m, static_cast<Luminance>(which), cd).ok);
    const DataBlock* hdr = blocksOf(std::as_const(m), BlockKind::HdrStatic).front();
    QCOMPARE(int(hdr->payload[3 + static_cast<std::size_t>(which)]), code);
}

void TestEdidModel::edidDecodeAgrees() {
    Model m = modelOf(bytesOf(edidsamples::interlacedTv()));
    for (const char* o : {"max-luminance=1000", "max-tmds=600", "physical-address=3.1.0.0",
                          "audio-add=eac3:8:atmos"}) {
        const std::string s(o);
        QVERIFY(applyOption(m, s.substr(0, s.find('=')), s.substr(s.find('=') + 1)).ok);
    }
    const Bytes out = write(m);
    const ReferenceCheck ref = referenceCheck(out);
    if (!ref.available)
        QSKIP("edid-decode is not installed");
    const QString text = QString::fromStdString(ref.output);
    // Code 138: 50·2^(138/32) = 50·19.87 = 993.49 cd/m².
    QVERIFY(text.contains("Desired content max luminance: 138 (993.486 cd/m^2)"));
    // The TV had no HDR block: the luminance brought one with SDR and PQ.
    QVERIFY(text.contains("Traditional gamma - SDR luminance range\n      SMPTE ST2084\n"));
    QVERIFY(!text.contains("Hybrid Log-Gamma"));
    QVERIFY(text.contains("Maximum TMDS clock: 340 MHz"));
    QVERIFY(text.contains("Maximum TMDS Character Rate: 600 MHz"));
    QVERIFY(text.contains("Source physical address: 3.1.0.0"));
    QVERIFY(text.contains("Supports Joint Object Coding"));
    QVERIFY(!text.contains("Failures:"));
}

void TestEdidModel::audioTexts_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("sad"); // the three bytes, hex
    // Code << 3 | channels - 1; rates from 32 kHz at bit 0; then the format's byte.
    QTest::newRow("LPCM 8 192k 24") << "lpcm:8:192khz:24bit"
                                    << "0f7f07";
    QTest::newRow("LPCM 2 48k 16") << "LPCM:2:48khz:16bit"
                                   << "090701";
    QTest::newRow("AC-3 640") << "ac3:6:640kbps"
                              << "150750";
    QTest::newRow("E-AC-3 Atmos") << "eac3:8:atmos"
                                  << "570701";
    QTest::newRow("TrueHD Atmos") << "truehd:8:atmos"
                                  << "677f01";
    QTest::newRow("DTS-HD") << "dtshd:8"
                            << "5f7f00";
    QTest::newRow("DTS 1536") << "dts"
                              << "3d07c0";
}

void TestEdidModel::audioTexts() {
    QFETCH(QString, text);
    QFETCH(QString, sad);
    const auto f = parseAudioFormat(text.toStdString());
    QVERIFY(f);
    const auto bytes = encodeSad(*f);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(bytes.data()), 3).toHex(), sad.toLatin1());
    QCOMPARE(decodeSad(bytes.data()), *f);
    QCOMPARE(parseAudioFormat(audioFormatText(*f))->atmos(), f->atmos());
}

void TestEdidModel::mergeTopAndBottom() {
    const Model top = modelOf(bytesOf(makeDisplayEdid(0)));
    const Model bot = modelOf(bytesOf(makeDisplayEdid(1)));
    // BOT's audio under TOP's picture.
    MergeResult r = mergeVideoAudio(bot, "BOT", top, "TOP");
    QVERIFY2(r.ok, r.message.c_str());
    QCOMPARE(videoCodes(r.model), videoCodes(bot));
    QCOMPARE(audioFormats(r.model), audioFormats(top));
    QCOMPARE(speakersOf(r.model), speakersOf(top));
    QCOMPARE(identityOf(r.model).name, std::string("BRIQ PJ-1080"));
    for (const DataBlock* a : blocksOf(std::as_const(r.model), BlockKind::Audio))
        QCOMPARE(a->source, std::string("TOP"));
    for (const DataBlock* v : blocksOf(std::as_const(r.model), BlockKind::Video))
        QCOMPARE(v->source, std::string("BOT"));
    const Bytes out = write(r.model);
    QVERIFY(checksumsGood(out));
    const decode::Decoded d = decode::decodeEdid(out);
    QCOMPARE(problemsOf(d), QStringList());
    QCOMPARE(eachOf(fieldAt(d, "block1.dataBlocks.audio"), "format"),
             (QVariantList{"LPCM", "AC-3"}));
}

void TestEdidModel::commonSubsetOfTopAndBottom() {
    const Model top = modelOf(bytesOf(makeDisplayEdid(0)));
    const Model bot = modelOf(bytesOf(makeDisplayEdid(1)));
    MergeResult r = commonSubset(top, "TOP", bot, "BOT");
    QVERIFY2(r.ok, r.message.c_str());
    // TOP 16 4 31 19 95 96 97 93 94, BOT 16 4 31 5 34: the first three.
    QCOMPARE(videoCodes(r.model), (std::vector<int>{16, 4, 31}));
    QCOMPARE(audioFormats(r.model).size(), std::size_t(1));
    QCOMPARE(audioFormats(r.model)[0].code, kAudioLpcm);
    QCOMPARE(maxTmdsMhz(r.model), std::min(maxTmdsMhz(top), maxTmdsMhz(bot)));
    QVERIFY(blocksOf(std::as_const(r.model), BlockKind::HdrStatic).empty()); // BOT has no HDR
    QVERIFY(blocksOf(std::as_const(r.model), BlockKind::Y420CapabilityMap).empty());
    for (const DataBlock* v : blocksOf(std::as_const(r.model), BlockKind::Video))
        QCOMPARE(v->source, std::string("TOP and BOT"));
    const Bytes out = write(r.model);
    QCOMPARE(problemsOf(decode::decodeEdid(out)), QStringList());
    QVERIFY(!hasFailure(checkEdid(out)));
}

QTEST_GUILESS_MAIN(TestEdidModel)
#include "tst_core_edid_model.moc"
