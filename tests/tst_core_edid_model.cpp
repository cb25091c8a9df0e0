// The EDID model: byte-for-byte round trips, edits checked through the
// decoder, repairs, merges and the option texts.
#include "DecodeFields.h"
#include "EdidSamples.h"
#include "decode/EdidDecode.h"
#include "edid/EdidAudio.h"
#include "edid/EdidCheck.h"
#include "edid/EdidMerge.h"
#include "edid/EdidOptions.h"
#include "edid/VicTimings.h"
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

// The fields of an 18-byte detailed timing as its bit layout stores them.
struct Dtd {
    int clock10k, hActive, hBlank, vActive, vBlank, hFront, hSync, vFront, vSync;
};

Dtd dtdAt(const std::uint8_t* d) {
    return {d[0] | d[1] << 8,
            d[2] | (d[4] & 0xF0) << 4,
            d[3] | (d[4] & 0x0F) << 8,
            d[5] | (d[7] & 0xF0) << 4,
            d[6] | (d[7] & 0x0F) << 8,
            d[8] | (d[11] & 0xC0) << 2,
            d[9] | (d[11] & 0x30) << 4,
            (d[10] >> 4) | (d[11] & 0x0C) << 2,
            (d[10] & 0x0F) | (d[11] & 0x03) << 4};
}

// What is wrong with the structure: checksums, the extension count, and every
// detailed timing of the base block and the CTA extensions.
QStringList structureFaults(const Bytes& b) {
    QStringList out;
    if (b.size() < 128 || b.size() % 128)
        return {"not whole blocks"};
    if (!checksumsGood(b))
        out << "checksum";
    if (b[126] + 1u != b.size() / 128)
        out << "extension count";
    std::vector<std::size_t> dtds;
    for (std::size_t at = 54; at < 126; at += 18)
        dtds.push_back(at);
    for (std::size_t block = 128; block < b.size(); block += 128)
        if (b[block] == 0x02 && b[block + 2] >= 4)
            for (std::size_t at = block + b[block + 2]; at + 18 <= block + 127; at += 18)
                dtds.push_back(at);
    for (std::size_t at : dtds) {
        if (b[at] == 0 && b[at + 1] == 0)
            continue; // a display descriptor
        const Dtd t = dtdAt(&b[at]);
        if (t.hActive == 0 || t.vActive == 0 || t.hBlank == 0 || t.vBlank == 0 ||
            t.hFront + t.hSync > t.hBlank || t.vFront + t.vSync > t.vBlank)
            out << QStringLiteral("detailed timing at byte %1").arg(at);
    }
    return out;
}

EditResult applyText(Model& m, const QString& option) {
    return applyOption(m, option.section('=', 0, 0).toStdString(),
                       option.section('=', 1).toStdString());
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
    void detailedTimingsStoreTheirFields_data();
    void detailedTimingsStoreTheirFields();
    void editsSayWhatTheyDid_data();
    void editsSayWhatTheyDid();
    void addedFormatReplacesItsEntry_data();
    void addedFormatReplacesItsEntry();
    void acceptedEditsKeepTheStructure_data();
    void acceptedEditsKeepTheStructure();
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
    QTest::newRow("SCDC off") << QStringList{"max-tmds=340", "scdc=off"} << db + "hdmiForum.scdc"
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

// Every known timing either is refused as a detailed timing or comes back
// from its 18 bytes as it went in.
void TestEdidModel::detailedTimingsStoreTheirFields_data() {
    QTest::addColumn<int>("vic");
    for (int vic = 1; vic <= kLastNamedVic; ++vic)
        if (vicTiming(vic))
            QTest::newRow(vicName(vic)) << vic;
}

void TestEdidModel::detailedTimingsStoreTheirFields() {
    QFETCH(int, vic);
    const VicTiming t = *vicTiming(vic);
    const Bytes in = bytesOf(edidsamples::monitor4k());
    Model m = modelOf(in);
    const EditResult r = setPreferredVic(m, vic);
    if (!r.ok) {
        QCOMPARE(r.message, dtdProblem(t));
        QVERIFY(
            r.message.starts_with(std::string(vicName(vic)) + " cannot be a detailed timing: "));
        QCOMPARE(write(m), in);
        return;
    }
    const Dtd d = dtdAt(&write(m)[54]);
    QCOMPARE(d.clock10k, t.pixelKhz / 10);
    QCOMPARE(d.hActive, t.hActive);
    QCOMPARE(d.vActive, t.vActive);
    QCOMPARE(d.hBlank, t.hFront + t.hSync + t.hBack);
    QCOMPARE(d.vBlank, t.vFront + t.vSync + t.vBack);
    QCOMPARE(d.hFront, t.hFront);
    QCOMPARE(d.hSync, t.hSync);
    QCOMPARE(d.vFront, t.vFront);
    QCOMPARE(d.vSync, t.vSync);
}

// Options in order on the 4K monitor (600 MHz with SCDC; HDR 400, 200, 4
// cd/m²; LPCM 8 and AC-3 6): all but the last are taken; the last is taken
// or refused with the message expected ("" when it says nothing).
void TestEdidModel::editsSayWhatTheyDid_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("message"); // contained in the last one's
    QTest::newRow("preferred 4096 wide")
        << QStringList{"preferred=98"} << false
        << "4096x2160p24 cannot be a detailed timing: a detailed timing holds at most 4095 "
           "active pixels";
    QTest::newRow("preferred long porch")
        << QStringList{"preferred=93"} << false
        << "3840x2160p24 cannot be a detailed timing: a detailed timing holds a horizontal front "
           "porch of at most 1023 pixels";
    QTest::newRow("preferred 3840") << QStringList{"preferred=97"} << true << "";
    QTest::newRow("SCDC off at 600")
        << QStringList{"scdc=off"} << false << "HDMI 2.0 needs it above 340 MHz";
    QTest::newRow("SCDC set by 600")
        << QStringList{"max-tmds=340", "scdc=off", "max-tmds=600"} << true
        << "SCDC Present set too: HDMI 2.0 needs it above 340 MHz";
    QTest::newRow("SCDC already there") << QStringList{"max-tmds=500"} << true << "";
    QTest::newRow("SCDC off at 340") << QStringList{"max-tmds=340", "scdc=off"} << true << "";
    QTest::newRow("max rounded") << QStringList{"max-luminance=600"} << true
                                 << "max luminance stored as 603.7 cd/m², the nearest the EDID "
                                    "can hold";
    QTest::newRow("max exact") << QStringList{"max-luminance=400"} << true << "";
    QTest::newRow("max largest") << QStringList{"max-luminance=12525.7"} << true << "";
    QTest::newRow("max too high") << QStringList{"max-luminance=20000"} << false
                                  << "the EDID holds at most 12525.7 cd/m²";
    QTest::newRow("max below average")
        << QStringList{"max-luminance=100"} << true
        << "max luminance 100 cd/m²; the max frame-average luminance came down to it";
    QTest::newRow("average above max")
        << QStringList{"max-fall=500"} << false << "cannot be above the max luminance of 400 cd/m²";
    QTest::newRow("average at max") << QStringList{"max-fall=400"} << true << "";
    // 255·sqrt(0.05·100/400) = 28.5: code 29, 400·(29/255)²/100 = 0.05173.
    QTest::newRow("min rounded") << QStringList{"min-luminance=0.05"} << true
                                 << "min luminance stored as 0.05173 cd/m²";
    QTest::newRow("min above a hundredth") << QStringList{"min-luminance=5"} << false
                                           << "at most a hundredth of the max luminance, 4 cd/m²";
    QTest::newRow("max-fall named")
        << QStringList{"max-fall=bright"} << false << "--max-fall: cannot read \"bright\"";
    QTest::newRow("VIC 250") << QStringList{"add-vic=250"} << false
                             << "VIC 250 is not a video format this program knows; use 1 to 107";
    QTest::newRow("VIC 220") << QStringList{"add-vic=220"} << false << "VIC 220 is not";
    QTest::newRow("4:2:0 of VIC 220") << QStringList{"y420=220"} << false << "VIC 220 is not";
    QTest::newRow("4:2:0 of listed 193") << QStringList{"y420=193"} << true << "";
    QTest::newRow("hdr words") << QStringList{"hdr=dolby"} << false
                               << "one or more of sdr, hdrgamma, pq, hlg, separated by commas";
    QTest::newRow("audio words") << QStringList{"audio-add=opus:2"} << false
                                 << "FORMAT one of lpcm, ac3,";
    QTest::newRow("speaker words")
        << QStringList{"speakers=FL/FR,XX"} << false << "fl/fr, lfe, lfe1, fc,";
    QTest::newRow("quantization words")
        << QStringList{"quantization=full"} << false << "one or more of rgb, ycc";
    QTest::newRow("ycc words") << QStringList{"ycc=420"} << false << "one or more of 444, 422";
    QTest::newRow("scdc words") << QStringList{"scdc=yes"} << false << "give on or off";
    QTest::newRow("colorimetry words")
        << QStringList{"colorimetry=rgb"} << false << "xvycc601, xvycc709, sycc601";
    QTest::newRow("audio replaced") << QStringList{"audio-add=eac3:6", "audio-add=eac3:8:atmos"}
                                    << true << "the eac3:6 entry replaced by eac3:8:atmos";
}

void TestEdidModel::editsSayWhatTheyDid() {
    QFETCH(QStringList, options);
    QFETCH(bool, ok);
    QFETCH(QString, message);
    Model m = modelOf(bytesOf(edidsamples::monitor4k()));
    for (qsizetype i = 0; i + 1 < options.size(); ++i) {
        const EditResult r = applyText(m, options[i]);
        QVERIFY2(r.ok, r.message.c_str());
    }
    const Bytes before = write(m);
    const EditResult r = applyText(m, options.last());
    QCOMPARE(r.ok, ok);
    if (message.isEmpty())
        QCOMPARE(QString::fromStdString(r.message), QString());
    else
        QVERIFY2(QString::fromStdString(r.message).contains(message), r.message.c_str());
    if (!ok)
        QCOMPARE(write(m), before);
    else if (options.last().startsWith("max-tmds=600"))
        QVERIFY(scdcPresent(m));
}

void TestEdidModel::addedFormatReplacesItsEntry_data() {
    QTest::addColumn<QStringList>("added");
    QTest::addColumn<QStringList>("formats");
    // The monitor has lpcm:8 and ac3:6.
    QTest::newRow("E-AC-3 by Atmos")
        << QStringList{"eac3:6", "eac3:8:atmos"} << QStringList{"lpcm:8", "ac3:6", "eac3:8:atmos"};
    QTest::newRow("Atmos by E-AC-3")
        << QStringList{"eac3:8:atmos", "eac3:6"} << QStringList{"lpcm:8", "ac3:6", "eac3:6"};
    QTest::newRow("TrueHD twice") << QStringList{"truehd:8", "truehd:8:atmos"}
                                  << QStringList{"lpcm:8", "ac3:6", "truehd:8:atmos"};
    QTest::newRow("AC-3 replaced") << QStringList{"ac3:2"} << QStringList{"lpcm:8", "ac3:2"};
    QTest::newRow("LPCM of another count kept")
        << QStringList{"lpcm:2"} << QStringList{"lpcm:8", "ac3:6", "lpcm:2"};
    QTest::newRow("LPCM of the same count replaced")
        << QStringList{"lpcm:8:48khz"} << QStringList{"lpcm:8", "ac3:6"};
}

void TestEdidModel::addedFormatReplacesItsEntry() {
    QFETCH(QStringList, added);
    QFETCH(QStringList, formats);
    Model m = modelOf(bytesOf(edidsamples::monitor4k()));
    for (const QString& a : added)
        QVERIFY(applyOption(m, "audio-add", a.toStdString()).ok);
    QStringList got;
    for (const AudioFormat& f : audioFormats(modelOf(write(m))))
        got << QString::fromStdString(audioFormatText(f));
    QCOMPARE(got, formats);
}

// Over the sample EDIDs: every edit the options accept writes an EDID whose
// checksums and extension count are right and whose detailed timings hold
// together, with no fault the sample did not have; a refused one changes nothing.
void TestEdidModel::acceptedEditsKeepTheStructure_data() {
    QTest::addColumn<QByteArray>("edid");
    const QDir dir(QStringLiteral(KORVANTA_EDID_SAMPLES));
    for (const QString& name : dir.entryList({"*.bin"}, QDir::Files, QDir::Name)) {
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            QTest::newRow(qPrintable(name)) << f.readAll();
    }
    if (dir.entryList({"*.bin"}, QDir::Files).isEmpty())
        QSKIP("no sample EDIDs beside the checkout");
}

void TestEdidModel::acceptedEditsKeepTheStructure() {
    QFETCH(QByteArray, edid);
    const Bytes in(edid.begin(), edid.end());
    const QStringList had = structureFaults(in);
    const QList<QStringList> runs{
        {"preferred=16"},
        {"preferred=98"},
        {"preferred=93"},
        {"preferred=60"},
        {"preferred=97", "preferred=5"},
        {"add-vic=97", "max-tmds=600", "scdc=on"},
        {"max-tmds=600", "scdc=off"},
        {"hdr=sdr,pq,hlg", "max-luminance=1000", "max-fall=400", "min-luminance=0.05"},
        {"max-luminance=20000"},
        {"audio-add=eac3:8:atmos", "audio-add=truehd:8:atmos", "speakers=FL/FR,LFE,FC"},
        {"y420=97,96", "name=KORVANTA TEST"},
    };
    int accepted = 0;
    for (const QStringList& run : runs) {
        Model m = modelOf(in);
        for (const QString& option : run) {
            const Bytes before = write(m);
            const EditResult r = applyText(m, option);
            if (!r.ok) {
                QCOMPARE(write(m), before);
                break;
            }
            ++accepted;
            const Bytes out = write(m);
            for (const QString& fault : structureFaults(out))
                QVERIFY2(had.contains(fault) && fault.startsWith("detailed"),
                         qPrintable(option + ": " + fault));
            if (option.startsWith("max-tmds=600"))
                QVERIFY2(scdcPresent(m), qPrintable(option));
        }
    }
    QVERIFY(accepted > 0);
}

QTEST_GUILESS_MAIN(TestEdidModel)
#include "tst_core_edid_model.moc"
