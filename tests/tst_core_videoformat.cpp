#include "status/VideoFormat.h"

#include <QTest>

#include <cstring>

class TestVideoFormat : public QObject {
    Q_OBJECT

private slots:
    void lookup_data();
    void lookup();
    void tableShape();
    void overwritesEarlierNames();
};

void TestVideoFormat::lookup_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("shortName");
    QTest::addColumn<QString>("longName");
    QTest::newRow("0 bypass") << 0 << "bypass"
                              << "";
    QTest::newRow("1") << 1 << "dmt0660"
                       << "640x480p60";
    QTest::newRow("16") << 16 << "1080p60"
                        << "1920x1080p60";
    QTest::newRow("32") << 32 << "1080p24"
                        << "1920x1080p24";
    QTest::newRow("39 repeats 20's long name") << 39 << "1080i25_"
                                               << "1920x1080i50";
    QTest::newRow("46 longest") << 46 << "1080i60"
                                << "1920x1080i120";
    QTest::newRow("65 repeated row") << 65 << "1080p100"
                                     << "1920x1080p100";
    QTest::newRow("80 repeated row") << 80 << "1080p100"
                                     << "1920x1080p100";
    QTest::newRow("91 short long name") << 91 << "1080p100"
                                        << "1080p100";
    QTest::newRow("97") << 97 << "4kx2k60"
                        << "3840x2160p60";
    QTest::newRow("98 longest short name") << 98 << "4kx2ksmp24"
                                           << "4096x2160p24";
    QTest::newRow("99") << 99 << "4kx2k25"
                        << "4096x2160p25";
    QTest::newRow("107 last") << 107 << "4kx2k60"
                              << "3840x2160p60";
    QTest::newRow("108 past the table") << 108 << ""
                                        << "";
    QTest::newRow("255") << 255 << ""
                         << "";
    QTest::newRow("65535") << 65535 << ""
                           << "";
}

void TestVideoFormat::lookup() {
    QFETCH(int, code);
    QFETCH(QString, shortName);
    QFETCH(QString, longName);
    char s[kVideoFormatNameSize];
    char l[kVideoFormatNameSize];
    std::memset(s, 'x', sizeof s);
    std::memset(l, 'x', sizeof l);
    lookupVideoFormat(static_cast<std::uint16_t>(code), s, l);
    QVERIFY(std::memchr(s, 0, sizeof s));
    QVERIFY(std::memchr(l, 0, sizeof l));
    QCOMPARE(QString::fromLatin1(s), shortName);
    QCOMPARE(QString::fromLatin1(l), longName);
}

void TestVideoFormat::tableShape() {
    const auto& table = videoFormatTable();
    for (int i = 0; i < kVideoFormatCount; ++i) {
        const VideoFormat& row = table[std::size_t(i)];
        QCOMPARE(row.code, i);
        QVERIFY(std::strlen(row.shortName) <= 10);
        QVERIFY(std::strlen(row.longName) <= 13);
        // Every row but "bypass" names a format.
        QCOMPARE(std::strlen(row.longName) == 0, i == 0);
    }
}

void TestVideoFormat::overwritesEarlierNames() {
    char s[kVideoFormatNameSize];
    char l[kVideoFormatNameSize];
    lookupVideoFormat(98, s, l);
    lookupVideoFormat(200, s, l);
    QCOMPARE(s[0], '\0');
    QCOMPARE(l[0], '\0');
    lookupVideoFormat(2, s, l);
    QCOMPARE(QString::fromLatin1(l), QStringLiteral("720x480p60"));
}

QTEST_MAIN(TestVideoFormat)
#include "tst_core_videoformat.moc"
