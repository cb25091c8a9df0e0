#include "status/StatusLines.h"

#include <QTest>

#include <array>
#include <initializer_list>
#include <utility>

namespace {

using Reply = std::array<std::uint8_t, kReplyBufferSize>;

Reply reply(std::initializer_list<std::pair<int, int>> bytes) {
    Reply r{};
    r[0] = 0xE0;
    for (const auto& [position, value] : bytes)
        r[std::size_t(position)] = std::uint8_t(value);
    return r;
}

void putText(Reply& r, int position, const QByteArray& text) {
    for (int i = 0; i < text.size(); ++i)
        r[std::size_t(position + i)] = std::uint8_t(text[i]);
}

QString q(const std::string& s) {
    return QString::fromLatin1(s.data(), qsizetype(s.size()));
}

} // namespace

class TestStatusLines : public QObject {
    Q_OBJECT

private slots:
    void videoFormat_data();
    void videoFormat();
    void colour_data();
    void colour();
    void sourceInfo_data();
    void sourceInfo();
    void hdrInput_data();
    void hdrInput();
    void hdrInfoFrame_data();
    void hdrInfoFrame();
};

void TestStatusLines::videoFormat_data() {
    QTest::addColumn<int>("code");       // position 2
    QTest::addColumn<int>("flags");      // position 3
    QTest::addColumn<int>("link");       // position 4
    QTest::addColumn<int>("outputs");    // position 5
    QTest::addColumn<int>("vs");         // position 9
    QTest::addColumn<int>("hdmiFormat"); // position 14
    QTest::addColumn<QString>("line");

    QTest::newRow("1080p60 both") << 16 << 0x10 << 0 << 0x60 << 0 << 0x00
                                  << "Input : 1920x1080p60 HDMI, Output: TX A, TX B";
    QTest::newRow("4k60 600MHz") << 97 << 0x10 << 2 << 0x20 << 0 << 0x00
                                 << "Input : 3840x2160p60 HDMI, [600MHz], Output: TX A";
    QTest::newRow("4k25 extended non-HDMI") << 16 << 0x00 << 0 << 0x00 << 2 << 0x20
                                            << "Input : 3840x2160p25 300MHz non-HDMI, Output: none";
    QTest::newRow("4k30 extended")
        << 0 << 0x10 << 0 << 0x20 << 1 << 0x20 << "Input : 3840x2160p30 300MHz HDMI, Output: TX A";
    QTest::newRow("4k24 extended")
        << 0 << 0x10 << 0 << 0x20 << 3 << 0x20 << "Input : 3840x2160p24 300MHz HDMI, Output: TX A";
    QTest::newRow("4096 extended")
        << 0 << 0x10 << 0 << 0x20 << 4 << 0x20 << "Input : 4096x2160p24 300MHz HDMI, Output: TX A";
    QTest::newRow("extended unknown starts empty")
        << 16 << 0x10 << 0 << 0x60 << 7 << 0x20 << " Output: TX A, TX B";
    QTest::newRow("top/bottom 3D") << 32 << 0x10 << 0 << 0x40 << 0x60 << 0x40
                                   << "Input : 1920x1080p24 Top/Bottom 3D, Output: TX B";
    QTest::newRow("frame packed 3D") << 4 << 0x00 << 0 << 0x20 << 0x00 << 0x40
                                     << "Input : 1280x720p60 Frame Packed 3D, Output: TX A";
    QTest::newRow("side-by-side 3D") << 16 << 0x10 << 0 << 0x20 << 0x80 << 0x40
                                     << "Input : 1920x1080p60 Side-by-side 3D, Output: TX A";
    QTest::newRow("3D unknown starts empty")
        << 16 << 0x10 << 1 << 0x20 << 0x20 << 0x40 << " [4:2:0 10-bit], Output: TX A";
    QTest::newRow("4k60 420 300MHz") << 97 << 0x10 << 0 << 0x20 << 0 << 0x00
                                     << "Input : 3840x2160p60 HDMI, [4:2:0 300MHz], Output: TX A";
    QTest::newRow("4k60 420 10-bit") << 97 << 0x10 << 1 << 0x40 << 0 << 0x00
                                     << "Input : 3840x2160p60 HDMI, [4:2:0 10-bit], Output: TX B";
    QTest::newRow("other link mode")
        << 97 << 0x10 << 3 << 0x20 << 0 << 0x00 << "Input : 3840x2160p60 HDMI, Output: TX A";
    QTest::newRow("code past table")
        << 200 << 0x10 << 0 << 0x00 << 0 << 0x00 << "Input :  HDMI, Output: none";
    QTest::newRow("bypass non-HDMI")
        << 0 << 0xEF << 0 << 0x9F << 0 << 0x00 << "Input :  non-HDMI, Output: none";
    QTest::newRow("other bits ignored")
        << 16 << 0xFF << 0 << 0xFF << 0 << 0x60 << "Input : 1920x1080p60 HDMI, Output: TX A, TX B";
}

void TestStatusLines::videoFormat() {
    QFETCH(int, code);
    QFETCH(int, flags);
    QFETCH(int, link);
    QFETCH(int, outputs);
    QFETCH(int, vs);
    QFETCH(int, hdmiFormat);
    QFETCH(QString, line);
    const Reply r =
        reply({{2, code}, {3, flags}, {4, link}, {5, outputs}, {9, vs}, {14, hdmiFormat}});
    const std::string text = videoFormatLine(r);
    QCOMPARE(q(text), line);
    QVERIFY(text.size() <= 99);
}

void TestStatusLines::colour_data() {
    QTest::addColumn<int>("avi1"); // position 10
    QTest::addColumn<int>("avi2"); // position 11
    QTest::addColumn<int>("avi3"); // position 12
    QTest::addColumn<QString>("line");

    QTest::newRow("RGB") << 0x00 << 0x00 << 0x00 << "Color Space: RGB";
    QTest::newRow("422 170M") << 0x20 << 0x40 << 0x00 << "Color Space: YCbCr 4:2:2, SMPTE 170M";
    QTest::newRow("444 709") << 0x40 << 0x80 << 0x00 << "Color Space: YCbCr 4:4:4, ITU-R BT.709";
    QTest::newRow("420 ignores other bits") << 0xFF << 0x3F << 0xFF << "Color Space: YCbCr 4:2:0";
    const char* const extended[] = {" xvYCC601",         " xvYCC709", " sYCC601",
                                    " AdobeYCC601",      " AdobeRGB", " ITU-R BT.2020 YcCbcCrc",
                                    " ITU-R BT.2020 RGB"};
    for (int e = 0; e < 7; ++e)
        QTest::addRow("extended %d", e)
            << 0x40 << 0xC0 << (e << 4 | 0x8F)
            << QStringLiteral("Color Space: YCbCr 4:4:4, Extended:") + extended[e];
    QTest::newRow("extended with nothing after")
        << 0x00 << 0xC0 << 0x70 << "Color Space: RGB, Extended:";
}

void TestStatusLines::colour() {
    QFETCH(int, avi1);
    QFETCH(int, avi2);
    QFETCH(int, avi3);
    QFETCH(QString, line);
    QCOMPARE(q(colourLine(reply({{10, avi1}, {11, avi2}, {12, avi3}}))), line);
}

void TestStatusLines::sourceInfo_data() {
    QTest::addColumn<QByteArray>("vendor");  // at position 4, up to 8 bytes are read
    QTest::addColumn<QByteArray>("product"); // at position 12, up to 16 bytes are read
    QTest::addColumn<QString>("line");

    QTest::newRow("short names") << QByteArray("GAMECO") << QByteArray("Console X")
                                 << "Source Info: GAMECO Console X";
    // Full-length names have no zero after them: the product follows the
    // vendor directly, and bytes 28 to 30 are not part of the product.
    QTest::newRow("8 and 16 characters")
        << QByteArray("ABCDEFGH") << QByteArray("0123456789abcdefXYZ")
        << "Source Info: ABCDEFGH 0123456789abcdef";
    QTest::newRow("empty") << QByteArray() << QByteArray() << "Source Info:  ";
    QTest::newRow("zero ends a name")
        << QByteArray("AB\0CD", 5) << QByteArray("P\0Q", 3) << "Source Info: AB P";
    QTest::newRow("latin-1 byte") << QByteArray("S\xe9") << QByteArray("TV")
                                  << QString::fromUtf8("Source Info: S\xc3\xa9 TV");
}

void TestStatusLines::sourceInfo() {
    QFETCH(QByteArray, vendor);
    QFETCH(QByteArray, product);
    QFETCH(QString, line);
    Reply r = reply({{2, 0x55}, {3, 0x55}});
    putText(r, 4, vendor);
    putText(r, 12, product);
    QCOMPARE(q(sourceInfoLine(r)), line);
}

void TestStatusLines::hdrInput_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("eotf");
    QTest::addColumn<QString>("line");
    QTest::newRow("not active") << 0x87 << 0 << "HDR input:  Not Active";
    QTest::newRow("luminance") << 0x87 << 1 << "HDR input:  HDR Luminance Range";
    QTest::newRow("ST 2084") << 0x87 << 2 << "HDR input:  SMPTE ST 2084";
    QTest::newRow("unknown eotf") << 0x87 << 3 << "HDR input: ";
    QTest::newRow("no InfoFrame type") << 0x00 << 2 << "HDR input:  SMPTE ST 2084";
}

void TestStatusLines::hdrInput() {
    QFETCH(int, type);
    QFETCH(int, eotf);
    QFETCH(QString, line);
    QCOMPARE(q(hdrInputLine(reply({{2, type}, {3, 26}, {4, eotf}}))), line);
}

void TestStatusLines::hdrInfoFrame_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("text"); // empty: the field is cleared

    // Payload bytes are 0x02 0x1A 0x00, then 0xA3, 0xA4, ... up to reply byte 63.
    QTest::newRow("three bytes") << 0x87 << 3 << "02:1a:00";
    QTest::newRow("one byte") << 0x87 << 1 << "02";
    QTest::newRow("zero length clears") << 0x87 << 0 << "";
    QTest::newRow("other type clears") << 0x86 << 3 << "";
    QString full = "02:1a:00";
    for (int p = 7; p <= 30; ++p)
        full += QString::asprintf(":%02x", 0xA0 + p - 4);
    QTest::newRow("27 bytes") << 0x87 << 27 << full;
    QTest::newRow("40 capped at 27") << 0x87 << 40 << full;
    QTest::newRow("255 capped at 27") << 0x87 << 255 << full;
}

void TestStatusLines::hdrInfoFrame() {
    QFETCH(int, type);
    QFETCH(int, length);
    QFETCH(QString, text);
    Reply r = reply({{2, type}, {3, length}, {4, 0x02}, {5, 0x1A}, {6, 0x00}});
    for (int p = 7; p < kReplyBufferSize; ++p)
        r[std::size_t(p)] = std::uint8_t(0xA0 + p - 4);
    QCOMPARE(q(capturedHdrInfoFrameText(r)), text);
}

QTEST_MAIN(TestStatusLines)
#include "tst_core_statuslines.moc"
