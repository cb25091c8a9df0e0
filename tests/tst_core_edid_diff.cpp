// edid diff: timing lists compared as sets; a changed order said only for the preferred timing.
#include "DecodeFields.h"
#include "EdidSamples.h"
#include "decode/EdidDecode.h"

#include <QJsonObject>
#include <QTest>

#include <algorithm>
#include <functional>

using edidsamples::put;

namespace {

using Change = std::function<void(EdidImage&)>;

void swapBytes(EdidImage& e, int x, int y, int length) {
    std::swap_ranges(e.begin() + x, e.begin() + x + length, e.begin() + y);
}

} // namespace

Q_DECLARE_METATYPE(Change)

class TestEdidDiff : public QObject {
    Q_OBJECT
private slots:
    void timingsAsSets_data();
    void timingsAsSets();
};

void TestEdidDiff::timingsAsSets_data() {
    QTest::addColumn<Change>("change");
    // Each difference as "field|a|b"; a field is matched by its start.
    QTest::addColumn<QStringList>("differences");
    QTest::newRow("detailed timings swapped")
        << Change([](EdidImage& e) { swapBytes(e, 54, 72, 18); })
        << QStringList{
               "preferredTiming|3840x2160 @ 60 Hz, 594.00 MHz|1920x1080 @ 60 Hz, 148.50 MHz"};
    QTest::newRow("base timing moved behind the extension's")
        << Change([](EdidImage& e) { swapBytes(e, 72, edidsamples::kMonitorDtdStart, 18); })
        << QStringList{};
    QTest::newRow("one established timing fewer")
        << Change([](EdidImage& e) { e[35] &= ~0x20; })
        << QStringList{"establishedTimings.|640x480 @ 60 Hz|"};
    QTest::newRow("standard timings in another order")
        << Change([](EdidImage& e) { swapBytes(e, 38, 40, 2); }) << QStringList{};
    QTest::newRow("a timing only in the second")
        << Change([](EdidImage& e) {
               put(e, 72,
                   {0x01, 0x1D, 0x00, 0x72, 0x51, 0xD0, 0x1E, 0x20, 0x6E, 0x28, 0x55, 0x00, 0x58,
                    0x54, 0x21, 0x00, 0x00, 0x1E});
           })
        << QStringList{"detailedTimings.|1920x1080 @ 60 Hz, 148.50 MHz|",
                       "detailedTimings.||1280x720 @ 60 Hz, 74.25 MHz"};
}

void TestEdidDiff::timingsAsSets() {
    QFETCH(Change, change);
    QFETCH(QStringList, differences);
    const EdidImage a = edidsamples::monitor4k();
    EdidImage b = a;
    change(b);
    setEdidChecksums(b);
    const decode::Decoded d = decode::compareEdids(a, b, "A", "B");
    QStringList found;
    for (const QJsonValue& v : fieldAt(d, "differences").toArray()) {
        const QJsonObject o = v.toObject();
        const QString field = o.value("field").toString();
        if (field.endsWith("checksum"))
            continue; // every change moves them
        const auto expected =
            std::find_if(differences.begin(), differences.end(), [&](const QString& e) {
                const QStringList parts = e.split('|');
                return field.startsWith(parts[0]) &&
                       (o.value("a").toString() + "|" + o.value("b").toString()) ==
                           parts[1] + "|" + parts[2];
            });
        found << (expected == differences.end()
                      ? "unexpected " + field + ": " + o.value("a").toString() + " / " +
                            o.value("b").toString()
                      : *expected);
    }
    std::sort(found.begin(), found.end());
    std::sort(differences.begin(), differences.end());
    QVERIFY2(found == differences, qPrintable(found.join("; ")));
    if (!differences.isEmpty())
        QVERIFY(!fieldAt(d, "identical").toBool());
    // Same timings in another order: said as that.
    const QString text = QString::fromStdString(decode::renderText(d));
    QCOMPARE(text.contains("order of detailed timings differs; the first (preferred) is"),
             QTest::currentDataTag() == QLatin1String("detailed timings swapped"));
}

QTEST_GUILESS_MAIN(TestEdidDiff)
#include "tst_core_edid_diff.moc"
