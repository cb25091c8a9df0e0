// Real displays' EDIDs (tests/data/edid-samples, from linuxhw/EDID) through
// the decoder, held against edid-decode where it is installed; and EDIDs
// longer than two blocks, written out by hand.
#include "DecodeFields.h"

#include "decode/EdidDecode.h"
#include "edid/EdidFile.h"
#include "edid/EdidModel.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <map>
#include <numeric>

namespace {

using Bytes = std::vector<std::uint8_t>;
// Field name -> its values, in order, for one EDID.
using Fields = std::map<QString, QStringList>;

QStringList sampleFiles() {
    return QDir(KORVANTA_EDID_SAMPLES).entryList({"*.bin"}, QDir::Files, QDir::Name);
}

Bytes readSample(const QString& name) {
    QFile f(QStringLiteral(KORVANTA_EDID_SAMPLES "/") + name);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = f.readAll();
    return Bytes(data.begin(), data.end());
}

decode::Decoded decodeBytes(const Bytes& b) {
    return decode::decodeEdid(std::span<const std::uint8_t>(b.data(), b.size()));
}

// Every value of keys matching `key` anywhere under `v`, depth first.
void collect(const QJsonValue& v, const QRegularExpression& key, QList<QJsonValue>* out) {
    if (v.isArray())
        for (const QJsonValue& item : v.toArray())
            collect(item, key, out);
    const QJsonObject o = v.toObject();
    for (auto it = o.begin(); it != o.end(); ++it) {
        if (key.match(it.key()).hasMatch())
            out->append(it.value());
        collect(it.value(), key, out);
    }
}

QList<QJsonValue> under(const QJsonValue& v, const QString& key) {
    QList<QJsonValue> out;
    collect(v, QRegularExpression("^" + key + "$"), &out);
    return out;
}

QString mhz(double value, int decimals) {
    return QString::number(value, 'f', decimals);
}

// The fields compared, from our JSON.
Fields ourFields(const decode::Decoded& d) {
    const QJsonObject f = decode::renderJson(d).value("fields").toObject();
    Fields out;
    out["manufacturer"] << f.value("manufacturer").toString();
    out["product"] << QString::number(f.value("productCode").toInt());
    if (const qint64 serial = qint64(f.value("serialNumber").toDouble()))
        out["serial"] << QString::number(serial);
    const QJsonObject made = f.value("manufactured").toObject();
    out["made"] << (made.value("modelYear").toBool() ? "model " : "") +
                       (made.value("week").toInt()
                            ? QString::number(made.value("week").toInt()) + "/"
                            : QString()) +
                       QString::number(made.value("year").toInt());
    if (f.contains("displayName"))
        out["displayName"] << f.value("displayName").toString();
    // Base block first, then the extensions by number, as edid-decode lists them.
    QJsonArray blocks{f};
    for (int i = 1; f.contains(QString("block%1").arg(i)); ++i)
        blocks.append(f.value(QString("block%1").arg(i)));
    for (const QJsonValue& block : blocks) {
        const QJsonObject o = block.toObject();
        QList<QJsonValue> timings = {o.value("preferredTiming"), o.value("detailedTimings")};
        timings += under(o.value("dataBlocks"), "detailedTimings[0-9]*");
        for (const QJsonValue& t : timings) {
            const QJsonArray list = t.isArray() ? t.toArray() : QJsonArray{t};
            for (const QJsonValue& dtd : list) {
                const QJsonObject timing = dtd.toObject();
                if (!timing.contains("width"))
                    continue;
                const QString size = QString("%1x%2")
                                         .arg(timing.value("width").toInt())
                                         .arg(timing.value("height").toInt());
                // DisplayID timings carry "preferred"; the others are DTDs.
                if (timing.contains("preferred"))
                    out["displayIdTimings"]
                        << size + " " + mhz(timing.value("pixelClockMhz").toDouble(), 2);
                else
                    out["dtdSizes"] << size;
            }
        }
    }
    for (auto it = f.begin(); it != f.end(); ++it) {
        if (!it.key().startsWith("block"))
            continue;
        for (const QJsonValue& video : under(it.value(), "video[0-9]*"))
            for (const QJsonValue& v : video.toArray())
                if (v.toObject().contains("vic"))
                    out["vics." + it.key()] << QString::number(v.toObject().value("vic").toInt());
    }
    for (const QJsonValue& audio : under(f, "audio[0-9]*"))
        for (const QJsonValue& a : audio.toArray())
            out["audio"] << a.toObject().value("format").toString() + "/" +
                                QString::number(a.toObject().value("channels").toInt());
    for (const QJsonValue& hdr : under(f, "hdrStaticMetadata[0-9]*")) {
        const QJsonObject o = hdr.toObject();
        out["hdrEotfs"] << o.value("eotfs").toString();
        if (o.contains("maxLuminance"))
            out["hdrLuminance"] << mhz(o.value("maxLuminance").toDouble(), 2);
        if (o.contains("maxFrameAverageLuminance"))
            out["hdrLuminance"] << mhz(o.value("maxFrameAverageLuminance").toDouble(), 2);
        if (o.contains("minLuminance"))
            out["hdrLuminance"] << mhz(o.value("minLuminance").toDouble(), 3);
    }
    for (const QJsonValue& hdmi : under(f, "hdmi[0-9]*")) {
        const QJsonObject o = hdmi.toObject();
        out["physicalAddress"] << o.value("physicalAddress").toString();
        if (const QJsonValue tmds = o.value("maxTmdsClockMhz"); tmds.isDouble())
            out["maxTmds"] << QString::number(tmds.toInt());
        for (const QJsonValue& type : o.value("contentTypes").toArray())
            out["contentTypes"] << type.toString();
        for (const char* key :
             {"videoLatency", "audioLatency", "interlacedVideoLatency", "interlacedAudioLatency"})
            if (const int code = o.value(key).toObject().value("code").toInt(); code % 255)
                out["latencyCodes"] << QString::number(code);
        for (const QJsonValue& v : o.value("hdmiVics").toArray())
            out["hdmiVics"] << QString::number(v.toObject().value("vic").toInt());
        if (o.value("threeD").toBool())
            out["threeD"] << "present";
    }
    for (const QJsonValue& c : under(f, "colorimetry[0-9]*"))
        out["colorimetry"] << c.toString().section(';', 0, 0);
    // Descriptors of the extensions: edid-decode shows them wherever they are.
    for (int i = 1; f.contains(QString("block%1").arg(i)); ++i) {
        const QJsonObject o = f.value(QString("block%1").arg(i)).toObject();
        for (const char* key : {"displayName", "displaySerialNumber"})
            if (o.contains(key))
                out["extensionTexts"] << o.value(key).toString();
    }
    return out;
}

// The same fields from edid-decode's text.
Fields referenceFields(const QString& text) {
    static const std::map<QString, QString> kAudio = {{"Linear PCM", "LPCM"},
                                                      {"Enhanced AC-3 (DD+)", "Enhanced AC-3"}};
    static const std::map<QString, QString> kEotfs = {
        {"Traditional gamma - SDR luminance range", "SDR (traditional gamma)"},
        {"Traditional gamma - HDR luminance range", "HDR (traditional gamma)"},
        {"SMPTE ST2084", "SMPTE ST 2084 (PQ)"},
        {"Hybrid Log-Gamma", "HLG"}};
    const QRegularExpression blockLine("^Block (\\d+), (.*):$");
    const QRegularExpression value("^\\s+([^:]+): (.*)$");
    const QRegularExpression vic("^\\s+(?:VIC\\s+(\\d+):|Unknown \\(VIC (\\d+)\\))");
    const QRegularExpression dtd("^\\s+DTD(\\s+\\d+)?:\\s+(\\d+x\\d+)i?\\s.*\\s([0-9.]+) MHz");
    const QRegularExpression cdm("\\(([0-9.]+) cd/m\\^2\\)");
    static const QStringList kColorimetry = {"xvYCC601",  "xvYCC709",  "sYCC601",
                                             "opYCC601",  "opRGB",     "BT2020cYCC",
                                             "BT2020YCC", "BT2020RGB", "DCI-P3"};
    static const QStringList kContentTypes = {"Graphics", "Photo", "Cinema", "Game"};
    const QRegularExpression hdmiVic("^HDMI VIC (\\d+):");
    const QRegularExpression latency("^(Interlaced )?([Vv]ideo|[Aa]udio) latency: (\\d+) ms$");
    Fields out;
    QString block, heading, audio;
    QStringList eotfs, colorimetry;
    bool inEotfs = false;
    const auto flushColorimetry = [&] {
        if (heading.startsWith("Colorimetry Data Block"))
            out["colorimetry"] << (colorimetry.isEmpty() ? "none" : colorimetry.join(", "));
        colorimetry.clear();
    };
    const auto flushEotfs = [&] {
        if (inEotfs)
            out["hdrEotfs"] << eotfs.join(", ");
        inEotfs = false;
        eotfs.clear();
    };
    for (const QString& line : text.split('\n')) {
        if (const auto m = blockLine.match(line); m.hasMatch()) {
            flushEotfs();
            flushColorimetry();
            block = m.captured(1);
            heading.clear();
            continue;
        }
        if (line.startsWith("  ") && !line.startsWith("   ")) {
            flushEotfs();
            flushColorimetry();
            heading = line.trimmed();
        }
        if (inEotfs && line.startsWith("      ") && kEotfs.count(line.trimmed())) {
            eotfs << kEotfs.at(line.trimmed());
            continue;
        }
        flushEotfs();
        const QString t = line.trimmed();
        if (t == "Electro optical transfer functions:")
            inEotfs = true;
        if (const auto m = dtd.match(line); m.hasMatch()) {
            if (m.captured(1).isEmpty())
                out["displayIdTimings"] << m.captured(2) + " " + mhz(m.captured(3).toDouble(), 2);
            else
                out["dtdSizes"] << m.captured(2);
        }
        if (heading.startsWith("Video Data Block"))
            if (const auto m = vic.match(line); m.hasMatch())
                out["vics.block" + block]
                    << (m.captured(1).isEmpty() ? m.captured(2) : m.captured(1));
        if (heading.startsWith("Colorimetry Data Block") && line.startsWith("    ") &&
            (kColorimetry.contains(t) || t == "ST2113RGB"))
            colorimetry << (t == "ST2113RGB" ? "DCI-P3" : t); // P3 RGB by its later name
        if (line.startsWith("      ") && kContentTypes.contains(t) &&
            heading.startsWith("Vendor-Specific Data Block (HDMI)"))
            out["contentTypes"] << t.toLower();
        if (const auto m = hdmiVic.match(t); m.hasMatch())
            out["hdmiVics"] << m.captured(1);
        if (t == "3D present")
            out["threeD"] << "present";
        if (heading.startsWith("Audio Data Block") && line.startsWith("    ") &&
            !line.startsWith("     ") && t.endsWith(':')) {
            audio = t.chopped(1);
            audio = kAudio.count(audio) ? kAudio.at(audio) : audio;
        }
        if (t.startsWith("Desired content"))
            if (const auto m = cdm.match(t); m.hasMatch())
                out["hdrLuminance"]
                    << mhz(m.captured(1).toDouble(), t.contains("min luminance") ? 3 : 2);
        const auto m = value.match(line);
        if (!m.hasMatch())
            continue;
        const QString key = m.captured(1), v = m.captured(2);
        if (block == "0" && key == "Manufacturer")
            out["manufacturer"] << v;
        else if (block == "0" && key == "Model")
            out["product"] << v;
        else if (block == "0" && key == "Serial Number")
            out["serial"] << v;
        else if (block == "0" && key == "Made in")
            out["made"] << QString(v).replace(QRegularExpression("^week (\\d+) of "), "\\1/");
        else if (block == "0" && key == "Model year")
            out["made"] << "model " + v;
        else if (block == "0" && key == "Display Product Name")
            out["displayName"] << v.mid(1).chopped(1).trimmed(); // we drop trailing blanks
        else if (block != "0" &&
                 (key == "Display Product Name" || key == "Display Product Serial Number"))
            out["extensionTexts"] << v.mid(1).chopped(1).trimmed();
        else if (const auto l = latency.match(t); l.hasMatch())
            // edid-decode shows 2v+1 ms; the code is what both read from the block
            out["latencyCodes"] << QString::number((l.captured(3).toInt() - 1) / 2);
        else if (key == "Max channels" && heading.startsWith("Audio Data Block"))
            out["audio"] << audio + "/" + v;
        else if (key == "Source physical address")
            out["physicalAddress"] << v;
        else if (key == "Maximum TMDS clock")
            out["maxTmds"] << v.section(' ', 0, 0);
    }
    flushEotfs();
    flushColorimetry();
    return out;
}

// The JSON type of every path, over many EDIDs: "block#" for each block,
// "[]" for list entries, repeated keys ("video2") as their first.
void jsonTypes(const QJsonValue& v, const QString& path, std::map<QString, QSet<int>>* out) {
    if (!v.isNull()) // null stands for a value not given
        (*out)[path].insert(int(v.type()));
    if (v.isArray())
        for (const QJsonValue& item : v.toArray())
            jsonTypes(item, path + "[]", out);
    const QJsonObject o = v.toObject();
    for (auto it = o.begin(); it != o.end(); ++it) {
        QString key = it.key();
        key.remove(QRegularExpression("[0-9]+$"));
        jsonTypes(it.value(), path + "." + key, out);
    }
}

QString runEdidDecode(const QString& program, const QString& path) {
    QProcess p;
    p.start(program, {path});
    if (!p.waitForFinished(10000))
        return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

// A block's checksum, so that hand-written blocks are correct but for their faults.
void seal(Bytes& b) {
    for (std::size_t block = 0; block + 128 <= b.size(); block += 128) {
        const int sum = std::accumulate(b.begin() + long(block), b.begin() + long(block) + 127, 0);
        b[block + 127] = std::uint8_t(-sum & 0xFF);
    }
}

void put(Bytes& b, int at, std::initializer_list<std::uint8_t> bytes) {
    for (std::uint8_t x : bytes)
        b[std::size_t(at++)] = x;
}

// A base block announcing `extensions` blocks: header, "ABC", 1920x1080 DTD.
Bytes base(int blocks) {
    Bytes b(std::size_t(128 * blocks), 0);
    put(b, 0, {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x04, 0x43, 0x01, 0x00});
    put(b, 18, {1, 4, 0x80});
    put(b, 54,
        {0x02, 0x3A, 0x80, 0x18, 0x71, 0x38, 0x2D, 0x40, 0x58, 0x2C, 0x45, 0x00, 0x00, 0x00, 0x00,
         0x00, 0x00, 0x1E});
    b[126] = std::uint8_t(blocks - 1);
    return b;
}

// A CTA block at `at` whose only data block is the video block `vics`.
void ctaWithVideo(Bytes& b, int at, std::initializer_list<std::uint8_t> vics) {
    put(b, at, {0x02, 0x03, std::uint8_t(5 + vics.size()), 0x00, std::uint8_t(0x40 | vics.size())});
    put(b, at + 5, vics);
}

// A CTA block whose data blocks are VICs 16, 4, 31 and an HDMI block of
// `hdmi` payload bytes, then a 1920x1080 timing and the name "CTA".
Bytes ctaWithHdmi(std::vector<std::uint8_t> hdmi) {
    Bytes b = base(2);
    const int offset = 4 + 4 + 1 + int(hdmi.size());
    put(b, 128, {0x02, 0x03, std::uint8_t(offset), 0x00, 0x43, 16, 4, 31});
    b[136] = std::uint8_t(0x60 | hdmi.size());
    std::copy(hdmi.begin(), hdmi.end(), b.begin() + 137);
    std::copy_n(b.begin() + 54, 18, b.begin() + 128 + offset);
    put(b, 128 + offset + 18, {0, 0, 0, 0xFC, 0, 'C', 'T', 'A', 0x0A});
    seal(b);
    return b;
}

} // namespace

class TestDecodeSamples : public QObject {
    Q_OBJECT
private slots:
    void everySampleDecodes();
    void agreesWithEdidDecode();
    void handWorked_data();
    void handWorked();
    void modelCarriesDisplayIdBlocks();
    void readsLongFiles_data();
    void readsLongFiles();
};

void TestDecodeSamples::everySampleDecodes() {
    const QStringList files = sampleFiles();
    QCOMPARE(files.size(), 150);
    std::map<QString, QSet<int>> types;
    for (const QString& name : files) {
        const Bytes b = readSample(name);
        QVERIFY2(!b.empty() && b.size() % 128 == 0, qPrintable(name));
        const decode::Decoded d = decodeBytes(b);
        const QJsonObject f = decode::renderJson(d).value("fields").toObject();
        jsonTypes(f, "", &types);
        for (std::size_t i = 1; i < b.size() / 128; ++i) {
            const QJsonValue block = f.value(QString("block%1").arg(i));
            QVERIFY2(block.isObject() && !block.toObject().value("kind").toString().isEmpty(),
                     qPrintable(name + " block " + QString::number(i)));
        }
    }
    QStringList mixed;
    for (const auto& [path, kinds] : types)
        if (kinds.size() > 1)
            mixed << path;
    QVERIFY2(mixed.isEmpty(), qPrintable("more than one JSON type: " + mixed.join(", ")));
}

void TestDecodeSamples::agreesWithEdidDecode() {
    const QString program = QStandardPaths::findExecutable("edid-decode");
    if (program.isEmpty())
        QSKIP("edid-decode is not installed");
    std::map<QString, std::pair<int, int>> tally; // field -> (agreed, compared)
    QStringList misses;
    for (const QString& name : sampleFiles()) {
        const Fields ours = ourFields(decodeBytes(readSample(name)));
        const Fields theirs = referenceFields(
            runEdidDecode(program, QStringLiteral(KORVANTA_EDID_SAMPLES "/") + name));
        Fields all = ours;
        all.insert(theirs.begin(), theirs.end());
        for (const auto& [field, unused] : all) {
            const QString group = field.section('.', 0, 0);
            const QStringList a = ours.count(field) ? ours.at(field) : QStringList();
            const QStringList b = theirs.count(field) ? theirs.at(field) : QStringList();
            ++tally[group].second;
            if (a == b)
                ++tally[group].first;
            else
                misses << name + " " + field + ": ours " + a.join(',') + " | edid-decode " +
                              b.join(',');
        }
    }
    for (const QString& miss : misses)
        qInfo().noquote() << "differs:" << miss;
    QStringList below; // every share first, then the verdict
    for (const auto& [field, count] : tally) {
        const double share = double(count.first) / count.second;
        qInfo().noquote() << QString("%1: %2 of %3 agree (%4 %)")
                                 .arg(field, -18)
                                 .arg(count.first)
                                 .arg(count.second)
                                 .arg(100 * share, 0, 'f', 1);
        if (share < 0.995)
            below << field;
    }
    QVERIFY2(below.isEmpty(), qPrintable("below 99.5 %: " + below.join(", ")));
    for (const char* field : {"vics", "displayIdTimings", "audio", "colorimetry", "contentTypes",
                              "latencyCodes", "hdmiVics", "threeD", "extensionTexts"})
        QVERIFY2(tally.count(field), field);
}

void TestDecodeSamples::handWorked_data() {
    QTest::addColumn<Bytes>("edid");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QVariant>("expected");
    QTest::addColumn<QStringList>("problems");

    // Base, block map naming blocks 2 and 3, two CTA blocks.
    Bytes map = base(4);
    put(map, 128, {0xF0, 0x02, 0x02});
    ctaWithVideo(map, 256, {16});
    ctaWithVideo(map, 384, {97, 0x80 | 4});
    seal(map);
    QTest::newRow("block map") << map << "block1.blocks[1].tag" << QVariant(2) << QStringList();
    QTest::newRow("block map kind")
        << map << "block1.kind" << QVariant("blockMap") << QStringList();
    QTest::newRow("video past two blocks")
        << map << "block3.dataBlocks.video[1].vic" << QVariant(4) << QStringList();
    Bytes wrongMap = map;
    wrongMap[130] = 0x70;
    seal(wrongMap);
    QTest::newRow("block map disagrees")
        << wrongMap << "block1.blocks[1].tag" << QVariant(0x70)
        << QStringList{"byte 130: the block map gives block 3 tag 0x70, it has 0x02"};

    // DisplayID 1.2: a type I timing (3840x2160, 594 MHz, preferred, 16:9)
    // and a 2x1 tiled topology of 1920x2160 tiles, this one on the right.
    Bytes did = base(2);
    put(did, 128, {0x70, 0x12, 48, 0x03, 0x00});
    put(did, 133, {0x03, 0x00, 20,   0x07, 0xE8, 0x00, 0x84, 0xFF, 0x0E, 0x2F, 0x02, 0xAF,
                   0x80, 0x57, 0x00, 0x6F, 0x08, 0x59, 0x00, 0x07, 0x80, 0x09, 0x00});
    put(did, 156, {0x12, 0x00, 22, 0x80, 0x10, 0x10, 0x00, 0x7F, 0x07, 0x6F, 0x08});
    put(did, 172, {'X', 'Y', 'Z', 0x34, 0x12, 0x01, 0x00, 0x00, 0x00});
    const int sum = std::accumulate(did.begin() + 129, did.begin() + 181, 0);
    did[181] = std::uint8_t(-sum & 0xFF);
    seal(did);
    QTest::newRow("DisplayID timing")
        << did << "block1.dataBlocks.detailedTimings[0].width" << QVariant(3840) << QStringList();
    QTest::newRow("DisplayID clock") << did << "block1.dataBlocks.detailedTimings[0].pixelClockMhz"
                                     << QVariant(594.0) << QStringList();
    QTest::newRow("DisplayID preferred") << did << "block1.dataBlocks.detailedTimings[0].preferred"
                                         << QVariant(true) << QStringList();
    QTest::newRow("tiles across") << did << "block1.dataBlocks.tiledTopology.horizontalTiles"
                                  << QVariant(2) << QStringList();
    QTest::newRow("tile column") << did << "block1.dataBlocks.tiledTopology.horizontalLocation"
                                 << QVariant(1) << QStringList();
    QTest::newRow("tile width") << did << "block1.dataBlocks.tiledTopology.tileWidth"
                                << QVariant(1920) << QStringList();
    QTest::newRow("tile maker") << did << "block1.dataBlocks.tiledTopology.manufacturer"
                                << QVariant("XYZ") << QStringList();
    Bytes badSection = did;
    badSection[181] ^= 0x01;
    seal(badSection);
    QTest::newRow("DisplayID section checksum")
        << badSection << "block1.version" << QVariant("1.2")
        << QStringList{"byte 181: the DisplayID section does not add up to 0"};

    // The video block says 6 bytes; the detailed timings start after 4.
    Bytes overrun = base(2);
    ctaWithVideo(overrun, 128, {16, 4, 3, 2, 1, 95});
    overrun[130] = 4 + 5;
    seal(overrun);
    QTest::newRow("overrun still read")
        << overrun << "block1.dataBlocks.video[5].vic" << QVariant(95)
        << QStringList{"byte 132: a data block of 6 bytes runs past the detailed timings at byte "
                       "137"};

    Bytes reserved = base(2);
    ctaWithVideo(reserved, 128, {0, 128, 220, 255});
    seal(reserved);
    const QStringList reservedProblems{"byte 133: video descriptor 0x00 is reserved",
                                       "byte 134: video descriptor 0x80 is reserved"};
    QTest::newRow("VIC 0 reserved")
        << reserved << "block1.dataBlocks.video[0].reserved" << QVariant(true) << reservedProblems;
    QTest::newRow("VIC 220 unknown") << reserved << "block1.dataBlocks.video[2].name"
                                     << QVariant("Unknown (VIC 220)") << reservedProblems;
    QTest::newRow("VIC 255 listed")
        << reserved << "block1.dataBlocks.video[3].vic" << QVariant(255) << reservedProblems;

    Bytes oddText = base(1);
    put(oddText, 72, {0, 0, 0, 0xFC, 0, 'A', 'B', 0x07, 'C', 0x0A});
    oddText[8] = 0x00; // letters 0, 2 and 3
    seal(oddText);
    const QStringList oddProblems{"bytes 8-9: manufacturer ID 00 43 is not three letters A-Z",
                                  "byte 79: non-printing byte 0x07 in a text descriptor"};
    QTest::newRow("name ends at a control byte")
        << oddText << "displayName" << QVariant("AB") << oddProblems;
    QTest::newRow("letter 0 is @") << oddText << "manufacturer" << QVariant("@BC") << oddProblems;

    // Latency (video 21: 40 ms, audio 255: none, interlaced audio 31: 60 ms),
    // graphics and game, HDMI VICs 1 and 4, 3D: frame packing and
    // top-and-bottom for the masked formats 1 and 3, frame packing for format 2
    // and side-by-side (half, horizontal) for format 3.
    const std::vector<std::uint8_t> fields = {0x03, 0x0C, 0x00, 0x10, 0x00, 0x00, 0x3C, 0xE9,
                                              0x15, 0xFF, 0x00, 0x1F, 0xC0, 0x47, 0x01, 0x04,
                                              0x00, 0x41, 0x00, 0x05, 0x10, 0x28, 0x10};
    const Bytes hdmi = ctaWithHdmi(fields);
    const QString h = "block1.dataBlocks.hdmi.";
    const QList<std::pair<QString, QVariant>> hdmiRows = {
        {"videoLatency.ms", 40},
        {"audioLatency.code", 255},
        {"interlacedVideoLatency.code", 0},
        {"interlacedAudioLatency.ms", 60},
        {"contentTypes", QVariantList{"graphics", "game"}},
        {"hdmiVics[1].name", "4096x2160p24"},
        {"threeD", true},
        {"threeDMulti.value", 2},
        {"threeDStructures", QVariantList{"frame packing", "top-and-bottom"}},
        {"threeDMask[1].vic", 31},
        {"threeDFormats[0].vic", 4},
        {"threeDFormats[1].structure", 8},
        {"threeDFormats[1].subSampling", 1},
        {"physicalAddress", "1.0.0.0"},
        {"maxTmdsClockMhz", 300}};
    for (const auto& [path, value] : hdmiRows)
        QTest::newRow(qPrintable("HDMI " + path)) << hdmi << h + path << value << QStringList();
    QTest::newRow("name after the CTA timings")
        << hdmi << "block1.displayName" << QVariant("CTA") << QStringList();
    QTest::newRow("CTA timing before the name")
        << hdmi << "block1.detailedTimings[0].width" << QVariant(1920) << QStringList();
    // Cut after the side-by-side entry's first byte: what is there is read.
    QTest::newRow("HDMI 3D fields cut short")
        << ctaWithHdmi({fields.begin(), fields.end() - 2}) << h + "threeDFormats[0].structure"
        << QVariant(0)
        << QStringList{"byte 158: the HDMI block ends before the latency, VIC or 3D fields it "
                       "announces"};
}

void TestDecodeSamples::handWorked() {
    QFETCH(Bytes, edid);
    QFETCH(QString, path);
    QFETCH(QVariant, expected);
    QFETCH(QStringList, problems);
    const decode::Decoded d = decodeBytes(edid);
    QCOMPARE(fieldAt(d, path).toVariant(), expected);
    QCOMPARE(problemsOf(d), problems);
}

// DisplayID 2.0 displays give HDR and colorimetry in CTA-861 blocks inside
// DisplayID; the model offers them beside those of CTA extensions.
void TestDecodeSamples::modelCarriesDisplayIdBlocks() {
    const Bytes b = readSample("VXN_VXN1421_A61E27D5D1D5.bin");
    edid::Model m;
    QVERIFY(edid::parse(b, m).ok);
    QCOMPARE(edid::blocksOf(m, edid::BlockKind::HdrStatic).size(), std::size_t(0));
    const auto hdr = edid::allBlocksOf(m, edid::BlockKind::HdrStatic);
    QCOMPARE(hdr.size(), std::size_t(1));
    QCOMPARE(hdr[0]->payload, (std::vector<std::uint8_t>{0x06, 0x05, 0x01, 0x8B, 0x80, 0x07}));
    QCOMPARE(edid::allBlocksOf(m, edid::BlockKind::Colorimetry).size(), std::size_t(1));
    // Every block the model reads sits where its offset says, header and all.
    for (const QString& name : sampleFiles()) {
        const Bytes s = readSample(name);
        QVERIFY(edid::parse(s, m).ok);
        for (std::size_t i = 0; i < m.extensions.size(); ++i) {
            const edid::Extension& e = m.extensions[i];
            std::vector<const edid::DataBlock*> blocks;
            for (const edid::DataBlock& db : e.cta.dataBlocks)
                blocks.push_back(&db);
            for (const edid::DisplayIdBlock& d : e.displayId.blocks)
                for (const edid::DataBlock& db : d.cta.blocks)
                    blocks.push_back(&db);
            for (const edid::DataBlock* db : blocks)
                QVERIFY2(e.original[std::size_t(db->offset)] ==
                             ((db->tag << 5) | db->payload.size()),
                         qPrintable(name + " block " + QString::number(i + 1)));
        }
    }
}

void TestDecodeSamples::readsLongFiles_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("size"); // -1: refused

    QByteArray five(5 * 128, '\x11');
    five[0] = 0;
    QByteArray hex;
    for (int i = 0; i < 3 * 128; ++i)
        hex += QByteArray(i ? (i % 16 ? " " : "\n") : "") + (i % 2 ? "0x1f" : "ab");
    QTest::newRow("five blocks binary") << five << 640;
    QTest::newRow("three blocks of hex") << hex << 384;
    QTest::newRow("largest") << QByteArray(kEdidMaxFileSize, '\0') << kEdidMaxFileSize;
    QTest::newRow("past 32 KiB") << QByteArray(kEdidMaxFileSize + 128, '\0') << -1;
    QTest::newRow("part of a block") << QByteArray(200, '\0') << -1;
    QTest::newRow("empty") << QByteArray() << -1;
    QTest::newRow("bad hex") << QByteArray("ab cd zz") << -1;
    QTest::newRow("three-digit hex") << QByteArray("abc") << -1;
}

void TestDecodeSamples::readsLongFiles() {
    QFETCH(QByteArray, content);
    QFETCH(int, size);
    QTemporaryDir dir;
    const QString path = dir.filePath("edid");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
    f.close();
    Bytes bytes;
    QString error;
    QCOMPARE(loadEdidBlocks(path, &bytes, &error), size >= 0);
    if (size < 0) {
        QVERIFY(!error.isEmpty());
        return;
    }
    QCOMPARE(int(bytes.size()), size);
    if (content.at(0) == 0)
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(bytes.data()), size), content);
    else
        QCOMPARE(bytes[1], std::uint8_t(0x1F));
}

QTEST_GUILESS_MAIN(TestDecodeSamples)
#include "tst_core_decode_samples.moc"
