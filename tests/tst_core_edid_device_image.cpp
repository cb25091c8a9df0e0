// The device's 256-byte table as sinks read it: the blocks the extension
// count names, and what the rest holds.
#include "EdidSamples.h"
#include "edid/DeviceImage.h"
#include "edid/EdidFile.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace edid;

namespace {

using Bytes = std::vector<std::uint8_t>;

// The test monitor's base block with `count`, then `second` as block 1.
Bytes table(std::uint8_t count, const Bytes& second) {
    const EdidImage monitor = edidsamples::monitor4k();
    Bytes t(128 + second.size());
    std::copy_n(monitor.begin(), 128, t.begin());
    std::copy(second.begin(), second.end(), t.begin() + 128);
    t[126] = count;
    return t;
}

} // namespace

class TestDeviceImage : public QObject {
    Q_OBJECT
private slots:
    void namedBlocks_data();
    void namedBlocks();
    void realEdidsCheckAsTheirFiles();
};

void TestDeviceImage::namedBlocks_data() {
    QTest::addColumn<Bytes>("image");
    QTest::addColumn<int>("named");
    QTest::addColumn<QString>("unread"); // empty: nothing unread
    QTest::addColumn<bool>("zeros");
    const EdidImage monitor = edidsamples::monitor4k();
    const Bytes cta(monitor.begin() + 128, monitor.end());
    const QString skipped = "block 1 is not read by displays or sources (the extension count is "
                            "0); it holds ";

    QTest::newRow("count 1") << Bytes(monitor.begin(), monitor.end()) << 256 << QString() << false;
    QTest::newRow("padded with zeros")
        << table(0, Bytes(128, 0)) << 128 << skipped + "zeros" << true;
    QTest::newRow("left-over CTA") << table(0, cta) << 128
                                   << skipped + "a CTA-861 extension, perhaps left from an "
                                                "earlier EDID"
                                   << false;
    // More named than there are: the check says so, nothing is dropped.
    QTest::newRow("count past the end") << table(3, cta) << 256 << QString() << false;
}

void TestDeviceImage::namedBlocks() {
    QFETCH(Bytes, image);
    QFETCH(int, named);
    QFETCH(QString, unread);
    QFETCH(bool, zeros);
    const DeviceImage d = edid::namedBlocks(image);
    QCOMPARE(int(d.named.size()), named);
    QCOMPARE(d.unread.empty() ? QString() : QString::fromStdString(d.unread.front()), unread);
    QCOMPARE(d.unread.size(), std::size_t(unread.isEmpty() ? 0 : 1));
    QCOMPARE(d.unreadZeros, zeros);
}

// Every real EDID that fits the device, loaded into its 256 bytes as the
// write path loads it, fails the device check exactly when its file fails.
void TestDeviceImage::realEdidsCheckAsTheirFiles() {
    const QDir samples(QT_TESTCASE_SOURCEDIR "/data/edid-samples");
    int fitting = 0;
    for (const QString& name : samples.entryList({"*.bin"})) {
        QFile f(samples.filePath(name));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QByteArray buffer;
        QVERIFY(readEdidFileBuffer(f, buffer));
        const qint64 size = f.size();
        if (size > 256)
            continue;
        ++fitting;
        const Bytes file(buffer.begin(), buffer.begin() + size);
        const EdidImage image = edidImageFromFile(buffer);
        QVERIFY2(hasFailure(checkNamedBlocks(image)) == hasFailure(checkEdid(file, {true})),
                 qPrintable(name));
    }
    QCOMPARE(fitting, 92);
}

QTEST_GUILESS_MAIN(TestDeviceImage)
#include "tst_core_edid_device_image.moc"
