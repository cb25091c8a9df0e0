#include "edid/EdidText.h"
#include "sim/SimulatedDevice.h"

#include <QTest>

namespace {

QByteArray bytesOf(const EdidImage& image, int count) {
    return QByteArray(reinterpret_cast<const char*>(image.data()), count);
}

QString repeated(const QString& group, int times) {
    QString text;
    for (int i = 0; i < times; ++i)
        text += group;
    return text;
}

EdidImage patternImage() {
    EdidImage image{};
    for (int i = 0; i < kEdidSize; ++i)
        image[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(255 - i);
    return image;
}

} // namespace

class TestEdidText : public QObject {
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void parseFillsMissingBytesWithZero();
    void parseLongText_data();
    void parseLongText();
    void roundTrip_data();
    void roundTrip();
    void canonicalLayout();
    void checksum_data();
    void checksum();
    void checksumsCorrectAndRepair();
    void appendLineNeedsRoom();
    void simulatedEdidsAreDistinctAndValid();
};

void TestEdidText::parse_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("count");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("canonical line") << "00 FF 10 7F\n" << 4 << QByteArray("\x00\xFF\x10\x7F", 4);
    QTest::newRow("lower case") << "ff 0a be" << 3 << QByteArray("\xFF\x0A\xBE", 3);
    QTest::newRow("no final line feed") << "01 02\n03 04" << 4 << QByteArray("\x01\x02\x03\x04", 4);
    QTest::newRow("trailing space") << "12 " << 1 << QByteArray("\x12", 1);
    QTest::newRow("0G counts G as 16") << "0G" << 1 << QByteArray("\x10", 1);
    QTest::newRow("empty") << "" << 0 << QByteArray();
    QTest::newRow("two spaces") << "01  02" << -1 << QByteArray();
    QTest::newRow("tab") << "01\t02" << -1 << QByteArray();
    QTest::newRow("one-digit byte") << "1 02 03" << -1 << QByteArray();
    QTest::newRow("CR LF line end") << "01\r\n02" << -1 << QByteArray();
    QTest::newRow("single final character") << "01 0" << -1 << QByteArray();
    QTest::newRow("single character") << "F" << -1 << QByteArray();
}

void TestEdidText::parse() {
    QFETCH(QString, text);
    QFETCH(int, count);
    QFETCH(QByteArray, bytes);

    EdidImage image;
    image.fill(0xA5);
    QCOMPARE(parseEdidText(text, image), count);
    if (count > 0)
        QCOMPARE(bytesOf(image, count), bytes);
}

void TestEdidText::parseFillsMissingBytesWithZero() {
    EdidImage image;
    image.fill(0xA5);
    QCOMPARE(parseEdidText(QStringLiteral("FF EE"), image), 2);
    QCOMPARE(image[0], 0xFF);
    QCOMPARE(image[1], 0xEE);
    for (int i = 2; i < kEdidSize; ++i)
        QCOMPARE(image[static_cast<std::size_t>(i)], 0);

    image.fill(0xA5);
    QCOMPARE(parseEdidText(QString(), image), 0);
    QCOMPARE(image, EdidImage{});
}

void TestEdidText::parseLongText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("count");

    // Only the first 256 bytes form the image; the count says what was read.
    QTest::newRow("300 groups") << repeated("AB ", 300) << 300;
    // 1023 characters are 341 whole groups; what follows is never looked at.
    QTest::newRow("past 1023 characters") << repeated("AB ", 341) + "ZZZZZ\tZ" << 341;
    QTest::newRow("error past the limit ignored") << repeated("AB\n", 400) + " 1" << 341;
    QTest::newRow("error before the limit") << repeated("AB ", 300) + "A  B" << -1;
}

void TestEdidText::parseLongText() {
    QFETCH(QString, text);
    QFETCH(int, count);

    EdidImage image{};
    QCOMPARE(parseEdidText(text, image), count);
    if (count > 0) {
        EdidImage expected;
        expected.fill(0xAB);
        QCOMPARE(image, expected);
    }
}

void TestEdidText::roundTrip_data() {
    QTest::addColumn<int>("which");
    QTest::newRow("device EDID") << 0;
    QTest::newRow("display TOP") << 1;
    QTest::newRow("display BOT") << 2;
    QTest::newRow("every byte value") << 3;
}

void TestEdidText::roundTrip() {
    QFETCH(int, which);
    const EdidImage image = which == 0   ? makeDeviceEdid()
                            : which == 1 ? makeDisplayEdid(0)
                            : which == 2 ? makeDisplayEdid(1)
                                         : patternImage();
    const QString text = edidHexText(image);
    QCOMPARE(text.size(), kEdidTextLength);

    EdidImage parsed{};
    QCOMPARE(parseEdidText(text, parsed), kEdidSize);
    QCOMPARE(parsed, image);
    // Lower case, as a user might retype it, reads the same.
    QCOMPARE(parseEdidText(text.toLower(), parsed), kEdidSize);
    QCOMPARE(parsed, image);
}

void TestEdidText::canonicalLayout() {
    const QString text = edidHexText(patternImage());
    const QStringList lines = text.split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 17); // 16 lines, each closed by a line feed
    QVERIFY(lines.last().isEmpty());
    QCOMPARE(lines.first(), QStringLiteral("FF FE FD FC FB FA F9 F8 F7 F6 F5 F4 F3 F2 F1 F0"));
    QCOMPARE(lines.at(15), QStringLiteral("0F 0E 0D 0C 0B 0A 09 08 07 06 05 04 03 02 01 00"));
}

void TestEdidText::checksum_data() {
    QTest::addColumn<QByteArray>("head"); // leading bytes of the block; the rest is 0
    QTest::addColumn<int>("expected");

    QTest::newRow("sum 0x2A") << QByteArray("\x2A", 1) << 0xD6;
    QTest::newRow("sum 0") << QByteArray() << 0x00;
    QTest::newRow("sum wraps to 0") << QByteArray("\x80\x80", 2) << 0x00;
    QTest::newRow("sum 0x1FF") << QByteArray("\xFF\xFF\x01", 3) << 0x01;
    QTest::newRow("EDID header") << QByteArray("\x00\xFF\xFF\xFF\xFF\xFF\xFF\x00", 8) << 0x06;
}

void TestEdidText::checksum() {
    QFETCH(QByteArray, head);
    QFETCH(int, expected);

    std::uint8_t block[kEdidBlockSize] = {};
    for (int i = 0; i < head.size(); ++i)
        block[i] = static_cast<std::uint8_t>(head.at(i));
    // The checksum byte itself never counts.
    block[kEdidBlockSize - 1] = 0x5A;
    QCOMPARE(int(edidBlockChecksum(block)), expected);
}

void TestEdidText::checksumsCorrectAndRepair() {
    EdidImage image = makeDeviceEdid();
    QVERIFY(edidChecksumsCorrect(image));

    image[200] ^= 0x01; // block 1 only
    QVERIFY(!edidChecksumsCorrect(image));
    const std::uint8_t block0Checksum = image[127];
    setEdidChecksums(image);
    QVERIFY(edidChecksumsCorrect(image));
    QCOMPARE(image[127], block0Checksum);

    image[5] ^= 0x10; // block 0 only
    QVERIFY(!edidChecksumsCorrect(image));
}

void TestEdidText::appendLineNeedsRoom() {
    const std::uint8_t bytes[2] = {0xAB, 0x01};
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    QCOMPARE(appendEdidTextLine(buffer, sizeof buffer, 0, bytes, 2), 6);
    QCOMPARE(QByteArray(buffer), QByteArray("AB 01\n"));
    // Another line and its terminator would overrun the buffer: nothing is written.
    QCOMPARE(appendEdidTextLine(buffer, sizeof buffer, 6, bytes, 2), 6);
    QCOMPARE(QByteArray(buffer), QByteArray("AB 01\n"));
    QCOMPARE(buffer[7], 'x');
}

void TestEdidText::simulatedEdidsAreDistinctAndValid() {
    const EdidImage edids[3] = {makeDeviceEdid(), makeDisplayEdid(0), makeDisplayEdid(1)};
    const QByteArray header("\x00\xFF\xFF\xFF\xFF\xFF\xFF\x00", 8);
    for (const EdidImage& e : edids) {
        QCOMPARE(bytesOf(e, 8), header);
        QVERIFY(edidChecksumsCorrect(e));
        QCOMPARE(e[126], 1);    // one extension
        QCOMPARE(e[128], 0x02); // a CTA-861 extension
    }
    QVERIFY(edids[0] != edids[1]);
    QVERIFY(edids[0] != edids[2]);
    QVERIFY(edids[1] != edids[2]);
}

QTEST_MAIN(TestEdidText)
#include "tst_core_edid_text.moc"
