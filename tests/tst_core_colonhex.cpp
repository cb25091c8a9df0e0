#include "cec/ColonHex.h"

#include <QTest>

#include <array>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;
Q_DECLARE_METATYPE(Bytes)

namespace {

// The text as a field sender hands it over: the characters, then a carriage return.
struct Parsed {
    ColonHexBytes out{};
    int result = 0;
};

Parsed parseField(const std::string& text, bool withLength) {
    const std::string field = text + '\r';
    Parsed p;
    p.out.fill(0xA5); // the parser must clear what it does not write
    p.result = parseColonHex(field, p.out, static_cast<std::uint8_t>(field.size()), withLength);
    return p;
}

Bytes head(const ColonHexBytes& out, int n) {
    return Bytes(out.begin(), out.begin() + n);
}

bool restIsZero(const ColonHexBytes& out, int from) {
    for (int i = from; i < kColonHexMaxBytes; ++i)
        if (out[static_cast<std::size_t>(i)] != 0)
            return false;
    return true;
}

std::string groups(int n) {
    std::string text;
    for (int i = 0; i < n; ++i)
        text += (i ? ":" : "") + QByteArray::number(0x10 + i, 16).toStdString();
    return text;
}

} // namespace

class TestColonHex : public QObject {
    Q_OBJECT

private slots:
    void hexPair_data();
    void hexPair();
    void parse_data();
    void parse();
    void parseGroupCounts_data();
    void parseGroupCounts();
    void parseMalformedStaysInside_data();
    void parseMalformedStaysInside();
    void format_data();
    void format();
    void roundTrip();
    void readField_data();
    void readField();
    void readFieldTooLongLeavesCount();
};

void TestColonHex::hexPair_data() {
    QTest::addColumn<QString>("pair");
    QTest::addColumn<int>("value");
    QTest::newRow("digits") << "50" << 0x50;
    QTest::newRow("upper") << "C8" << 0xC8;
    QTest::newRow("lower") << "c8" << 0xC8;
    QTest::newRow("FF") << "ff" << 0xFF;
    QTest::newRow("G beyond F") << "0G" << 0x10;
    QTest::newRow("5G") << "5G" << 0x60;
    QTest::newRow("0X") << "0X" << 0x21;
    QTest::newRow("B and colon") << "B:" << 0xB3;
    // Space is below '9': 32 - 48 wraps to 240; 16*240 + 0 is 0 modulo 256.
    QTest::newRow("space first") << " 1" << 0x01;
    QTest::newRow("space second") << "1 " << 0x00;
}

void TestColonHex::hexPair() {
    QFETCH(QString, pair);
    QFETCH(int, value);
    const QByteArray b = pair.toLatin1();
    QCOMPARE(int(hexPairToByte(b[0], b[1])), value);
}

void TestColonHex::parse_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("withLength");
    QTest::addColumn<Bytes>("bytes");
    QTest::addColumn<int>("result");

    QTest::newRow("50:04") << "50:04" << false << Bytes{0x50, 0x04} << 2;
    QTest::newRow("50:04 length") << "50:04" << true << Bytes{0x50, 0x01, 0x04} << 3;
    QTest::newRow("0f:36 length") << "0f:36" << true << Bytes{0x0F, 0x01, 0x36} << 3;
    QTest::newRow("avi lower") << "60:c8:60:61:00" << false << Bytes{0x60, 0xC8, 0x60, 0x61, 0x00}
                               << 5;
    QTest::newRow("avi upper") << "60:C8:60:61:00" << false << Bytes{0x60, 0xC8, 0x60, 0x61, 0x00}
                               << 5;
    QTest::newRow("three with length") << "54:44:01" << true << Bytes{0x54, 0x02, 0x44, 0x01} << 4;
    // A group of one digit ends the scan; the last byte is whatever follows the colon.
    QTest::newRow("AA:B:CC") << "AA:B:CC" << false << Bytes{0xAA, 0xB3} << 2;
    QTest::newRow("three-digit group") << "12:345:67" << false << Bytes{0x12, 0x34} << 2;
    QTest::newRow("no colon") << "5004" << false << Bytes{0x00} << 1;
    QTest::newRow("no colon length") << "A123" << true << Bytes{0x12, 0xFF} << 1;
}

void TestColonHex::parse() {
    QFETCH(QString, text);
    QFETCH(bool, withLength);
    QFETCH(Bytes, bytes);
    QFETCH(int, result);
    const Parsed p = parseField(text.toStdString(), withLength);
    QCOMPARE(p.result, result);
    QCOMPARE(head(p.out, int(bytes.size())), bytes);
    QVERIFY(restIsZero(p.out, int(bytes.size())));
}

void TestColonHex::parseGroupCounts_data() {
    QTest::addColumn<int>("groupCount");
    QTest::newRow("2") << 2;
    QTest::newRow("13") << 13;
    QTest::newRow("20") << 20;
    QTest::newRow("31") << 31;
    QTest::newRow("32") << 32;
}

void TestColonHex::parseGroupCounts() {
    QFETCH(int, groupCount);
    const std::string text = groups(groupCount);

    const Parsed plain = parseField(text, false);
    QCOMPARE(plain.result, groupCount);
    for (int i = 0; i < groupCount; ++i)
        QCOMPARE(int(plain.out[std::size_t(i)]), 0x10 + i);
    QVERIFY(restIsZero(plain.out, groupCount));

    const Parsed lengthed = parseField(text, true);
    QCOMPARE(lengthed.result, groupCount + 1);
    QCOMPARE(int(lengthed.out[0]), 0x10);
    QCOMPARE(int(lengthed.out[1]), groupCount - 1);
    for (int i = 1; i < groupCount; ++i)
        QCOMPARE(int(lengthed.out[std::size_t(i + 1)]), 0x10 + i);
    QVERIFY(restIsZero(lengthed.out, groupCount + 1));
}

void TestColonHex::parseMalformedStaysInside_data() {
    // Texts whose scan looks before the start or past the carriage return;
    // outside places read as '0'. The views are exactly the text, so any read
    // outside it is caught by the sanitizer run of the same inputs.
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("withLength");
    QTest::addColumn<Bytes>("bytes");
    QTest::addColumn<int>("result");

    QTest::newRow("colon first") << QByteArray(":12\r") << 4 << false << Bytes{0x00, 0x12} << 2;
    QTest::newRow("colon second") << QByteArray("1:23\r") << 5 << false << Bytes{0x01, 0x23} << 2;
    QTest::newRow("trailing colon") << QByteArray("12:\r") << 4 << false << Bytes{0x12, 0xD0} << 2;
    QTest::newRow("lone colon") << QByteArray(":\r") << 2 << true << Bytes{0x00, 0x01, 0xD0} << 3;
    QTest::newRow("count past text")
        << QByteArray("12:34") << 200 << false << Bytes{0x12, 0x34} << 2;
    // The count bounds the scan only: the look-ahead and the last pair still
    // read the text's own characters beyond it.
    QTest::newRow("count zero") << QByteArray("12:34\r") << 0 << false << Bytes{0x23} << 1;
    QTest::newRow("count short of text")
        << QByteArray("12:34:56\r") << 4 << false << Bytes{0x12, 0x34} << 2;
    QTest::newRow("empty") << QByteArray() << 6 << true << Bytes{0x00, 0xFF} << 1;
    // Every colon is followed by a colon three places on: the scan runs on
    // until the buffer's last slot, never beyond it. A pair of colons is 0x33.
    Bytes colons(kColonHexMaxBytes, 0x33);
    colons[0] = 0x00;
    colons[1] = 0x03;
    QTest::newRow("all colons") << QByteArray(255, ':') << 255 << false << colons
                                << kColonHexMaxBytes;
    Bytes colonsLength(kColonHexMaxBytes, 0x33);
    colonsLength[0] = 0x00;
    colonsLength[1] = kColonHexMaxBytes - 2;
    colonsLength[2] = 0x03;
    QTest::newRow("all colons length")
        << QByteArray(255, ':') << 255 << true << colonsLength << kColonHexMaxBytes;
}

void TestColonHex::parseMalformedStaysInside() {
    QFETCH(QByteArray, text);
    QFETCH(int, count);
    QFETCH(bool, withLength);
    QFETCH(Bytes, bytes);
    QFETCH(int, result);
    ColonHexBytes out;
    out.fill(0xA5);
    const int r = parseColonHex(std::string_view(text.constData(), std::size_t(text.size())), out,
                                std::uint8_t(count), withLength);
    QCOMPARE(r, result);
    QCOMPARE(head(out, int(bytes.size())), bytes);
    QVERIFY(restIsZero(out, int(bytes.size())));
}

void TestColonHex::format_data() {
    QTest::addColumn<Bytes>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("one byte") << Bytes{0x0A} << "0a";
    QTest::newRow("three bytes") << Bytes{0x87, 0x01, 0x1A} << "87:01:1a";
    QTest::newRow("extremes") << Bytes{0x00, 0xFF} << "00:ff";
    QTest::newRow("none") << Bytes{} << "";
}

void TestColonHex::format() {
    QFETCH(Bytes, bytes);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(formatColonHex(bytes.data(), int(bytes.size()))), text);
}

void TestColonHex::roundTrip() {
    // What start-up shows from the device must parse back to the same bytes
    // when the user sends it unchanged.
    for (int n = 2; n <= 31; ++n) {
        Bytes bytes;
        for (int i = 0; i < n; ++i)
            bytes.push_back(std::uint8_t(i * 37 + 0xC1));
        const std::string text = formatColonHex(bytes.data(), n);
        QCOMPARE(int(text.size()), 3 * n - 1);
        const Parsed p = parseField(text, false);
        QCOMPARE(p.result, n);
        QCOMPARE(head(p.out, n), bytes);
    }
}

void TestColonHex::readField_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("capacity");
    QTest::addColumn<int>("maxCount");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QByteArray>("buffer"); // the characters handed on, carriage return included

    QTest::newRow("shortest") << "50:04" << 200 << 93 << true << QByteArray("50:04\r");
    QTest::newRow("upper-cased") << "0f:3a" << 200 << 93 << true << QByteArray("0F:3A\r");
    QTest::newRow("four characters") << "5:04" << 200 << 93 << false << QByteArray();
    QTest::newRow("empty") << "" << 200 << 93 << false << QByteArray();
    QTest::newRow("31 groups") << QString::fromStdString(groups(31)) << 200 << 93 << true
                               << QByteArray::fromStdString(groups(31) + "\r").toUpper();
    QTest::newRow("32 groups") << QString::fromStdString(groups(32)) << 200 << 93 << false
                               << QByteArray();
    QTest::newRow("20 groups store") << QString::fromStdString(groups(20)) << 100 << 60 << true
                                     << QByteArray::fromStdString(groups(20) + "\r").toUpper();
    QTest::newRow("21 groups store")
        << QString::fromStdString(groups(21)) << 100 << 60 << false << QByteArray();
    QTest::newRow("13 avi groups") << QString::fromStdString(groups(13)) << 200 << 39 << true
                                   << QByteArray::fromStdString(groups(13) + "\r").toUpper();
    QTest::newRow("14 avi groups")
        << QString::fromStdString(groups(14)) << 200 << 39 << false << QByteArray();
    // Longer than the buffer: refused, never copied past its end.
    QTest::newRow("fills buffer") << QString(99, 'A') << 100 << 255 << true
                                  << QByteArray(99, 'A') + '\r';
    QTest::newRow("overflows buffer") << QString(100, 'A') << 100 << 255 << false << QByteArray();
    QTest::newRow("300 characters") << QString(300, 'A') << 400 << 255 << false << QByteArray();
    QTest::newRow("nul ends text")
        << QString("50:04") + QChar(0) + "99" << 200 << 93 << true << QByteArray("50:04\r");
    QTest::newRow("latin-1 letter")
        << QString::fromUtf8("50:0\xc3\xa9") << 200 << 93 << true << QByteArray("50:0\xc9\r");
}

void TestColonHex::readField() {
    QFETCH(QString, text);
    QFETCH(int, capacity);
    QFETCH(int, maxCount);
    QFETCH(bool, ok);
    QFETCH(QByteArray, buffer);
    std::vector<char> storage(std::size_t(capacity), 'x');
    std::uint8_t count = 0;
    QCOMPARE(readHexField(text, storage, maxCount, &count), ok);
    if (!ok)
        return;
    QCOMPARE(int(count), int(buffer.size()));
    QCOMPARE(QByteArray(storage.data(), count), buffer);
}

void TestColonHex::readFieldTooLongLeavesCount() {
    std::array<char, 100> buffer{};
    std::uint8_t count = 77;
    QVERIFY(!readHexField(QString(150, '1'), buffer, 60, &count));
    QCOMPARE(int(count), 77);
}

QTEST_MAIN(TestColonHex)
#include "tst_core_colonhex.moc"
