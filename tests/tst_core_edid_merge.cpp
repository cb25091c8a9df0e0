// merge --common: what both displays take does not depend on which comes first.
#include "DecodeFields.h"
#include "decode/EdidDecode.h"
#include "edid/EdidAudio.h"
#include "edid/EdidMerge.h"
#include "sim/SimulatedDevice.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTest>

using namespace edid;

namespace {

using Bytes = std::vector<std::uint8_t>;

// Fields that name the display or follow the first one's layout, not what it takes.
const QSet<QString> kFollowFirst = {
    "header", "manufacturer", "productCode", "serialNumber", "manufactured", "version",
    "displayName", "text", "displaySerialNumber", "checksum", "screenSize", "gamma", "chromaticity",
    "physicalAddress", "moreBytes",
    // The HDMI latencies are the first display's, as its layout is.
    "videoLatency", "audioLatency", "interlacedVideoLatency", "interlacedAudioLatency",
    "rangeLimits", "revision", "imageSize", "dummyDescriptor", "otherDescriptor", "extensionCount",
    "srgb", "preferredTimingNative"};
// Fields whose words depend on the EDID version, which follows the first.
const QSet<QString> kByVersion = {"input", "gtf", "continuousFrequency", "displayType",
                                  "colourEncoding"};

// A detailed timing wherever it stands (base block or extension), without
// the display's image size.
QString timingLine(const decode::Node& t) {
    QString line = "timing: " + QString::fromStdString(t.text);
    for (const decode::Node& part : t.children)
        if (!part.label.empty() && part.key != "imageSize")
            line += " | " + QString::fromStdString(part.text);
    return line;
}

// The rest by path, as a sorted list: what is listed, not where.
void collect(const std::vector<decode::Node>& nodes, const QString& path, bool sameVersion,
             QStringList& out) {
    for (const decode::Node& n : nodes) {
        const QString key = QString::fromStdString(n.key.empty() ? n.label : n.key);
        if (kFollowFirst.contains(key) || (!sameVersion && kByVersion.contains(key)))
            continue;
        if (key == "preferredTiming" || key == "detailedTimings") {
            if (key == "preferredTiming" && !n.children.empty())
                out << timingLine(n);
            else if (key == "detailedTimings")
                for (const decode::Node& t : n.children)
                    out << timingLine(t);
            continue;
        }
        const QString here = path + "." + key;
        // An extension's own line names its revision, which follows the first.
        out << here + ": " + (key.startsWith("block") ? QString() : QString::fromStdString(n.text));
        collect(n.children, here, sameVersion, out);
    }
}

QStringList capabilities(const Bytes& edid, bool sameVersion) {
    QStringList out;
    collect(decode::decodeEdid(edid).nodes, {}, sameVersion, out);
    out.sort();
    return out;
}

// HDMI VICs, which the decoder shows only as bytes.
QList<int> hdmiVics(const Model& m) {
    QList<int> out;
    for (const DataBlock* v : blocksOf(m, BlockKind::HdmiVendor)) {
        const std::vector<std::uint8_t>& p = v->payload;
        if (p.size() < 8 || !(p[7] & 0x20))
            continue;
        std::size_t at = 8 + ((p[7] & 0x80) ? 2 : 0) + ((p[7] & 0x40) ? 2 : 0);
        for (std::size_t i = 0; at + 1 < p.size() && i < std::size_t(p[at + 1] >> 5); ++i)
            if (at + 2 + i < p.size())
                out << p[at + 2 + i];
    }
    std::sort(out.begin(), out.end());
    return out;
}

Model modelOf(const QByteArray& bytes) {
    Model m;
    parse(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                    static_cast<std::size_t>(bytes.size())),
          m);
    return m;
}

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray imageBytes(const EdidImage& e) {
    return QByteArray(reinterpret_cast<const char*>(e.data()), static_cast<qsizetype>(e.size()));
}

} // namespace

class TestEdidMerge : public QObject {
    Q_OBJECT
private slots:
    void commonIsSymmetric_data();
    void commonIsSymmetric();
};

void TestEdidMerge::commonIsSymmetric_data() {
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second");
    QTest::newRow("sim TOP and BOT")
        << imageBytes(makeDisplayEdid(0)) << imageBytes(makeDisplayEdid(1));
    QTest::newRow("sim device and TOP")
        << imageBytes(makeDeviceEdid()) << imageBytes(makeDisplayEdid(0));
    const QDir dir(QStringLiteral(QT_TESTCASE_SOURCEDIR "/data/edid-samples"));
    const QStringList files = dir.entryList({"*.bin"}, QDir::Files, QDir::Name);
    // Each display with the next: neighbours by name are often one maker's
    // models, and different makers meet at every boundary.
    for (qsizetype i = 0; i + 1 < files.size(); ++i)
        QTest::newRow(qPrintable(files[i] + " + " + files[i + 1]))
            << fileBytes(dir.filePath(files[i])) << fileBytes(dir.filePath(files[i + 1]));
}

void TestEdidMerge::commonIsSymmetric() {
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    const Model a = modelOf(first), b = modelOf(second);
    MergeResult ab = commonSubset(a, "A", b, "B");
    MergeResult ba = commonSubset(b, "B", a, "A");
    QCOMPARE(ab.ok, ba.ok);
    if (!ab.ok)
        return;
    const Bytes x = write(ab.model), y = write(ba.model);
    const bool sameVersion = a.base[18] == b.base[18] && a.base[19] == b.base[19];
    const QStringList cx = capabilities(x, sameVersion), cy = capabilities(y, sameVersion);
    QStringList onlyOne;
    for (const QString& line : cx)
        if (cx.count(line) != cy.count(line))
            onlyOne << "A B: " + line;
    for (const QString& line : cy)
        if (cx.count(line) != cy.count(line))
            onlyOne << "B A: " + line;
    QVERIFY2(onlyOne.isEmpty(), qPrintable(onlyOne.join('\n')));
    QCOMPARE(hdmiVics(ab.model), hdmiVics(ba.model));
    // Nothing either display lacks.
    for (const int vic : hdmiVics(ab.model))
        QVERIFY(hdmiVics(a).contains(vic) && hdmiVics(b).contains(vic));
    // Identity follows the first.
    QCOMPARE(fieldAt(decode::decodeEdid(x), "manufacturer"),
             fieldAt(decode::decodeEdid(std::span(a.base)), "manufacturer"));
}

QTEST_GUILESS_MAIN(TestEdidMerge)
#include "tst_core_edid_merge.moc"
