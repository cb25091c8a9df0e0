#include "edid/EdidFile.h"

#include <QBuffer>
#include <QTest>

#include <algorithm>

namespace {

// One line of the common dump layout with a space after the 16th byte.
QByteArray dumpLine(int first, const char* lineEnd) {
    QByteArray line;
    for (int i = 0; i < 16; ++i)
        line += QByteArray::number(first + i, 16).rightJustified(2, '0').toUpper() + ' ';
    return line + lineEnd;
}

QByteArray ownLine(int first) {
    QByteArray line = dumpLine(first, "");
    line.chop(1);
    return line + '\n';
}

QByteArray padded(const QByteArray& bytes) {
    QByteArray buffer = bytes.left(kEdidFileBufferSize);
    buffer.append(QByteArray(kEdidFileBufferSize - buffer.size(), '\0'));
    return buffer;
}

// Reads like a file, refuses every write.
class FailingDevice : public QIODevice {
protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64) override {
        setErrorString(QStringLiteral("No space left on device"));
        return -1;
    }
};

// Takes at most `perCall` bytes a call and `capacity` bytes in all, like a
// filling disk.
class ShortWriteDevice : public QIODevice {
public:
    ShortWriteDevice(qint64 perCall, qint64 capacity) : perCall_(perCall), capacity_(capacity) {}
    QByteArray stored;

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override {
        const qint64 n = std::min({size, perCall_, capacity_ - stored.size()});
        if (n <= 0) {
            setErrorString(QStringLiteral("File too large"));
            return -1;
        }
        stored.append(data, n);
        return n;
    }

private:
    qint64 perCall_, capacity_;
};

} // namespace

class TestEdidFile : public QObject {
    Q_OBJECT

private slots:
    void lineEnds_data();
    void lineEnds();
    void lineEndsStayInsideBuffer_data();
    void lineEndsStayInsideBuffer();
    void readBuffer_data();
    void readBuffer();
    void readError();
    void binaryImage();
    void writeBytes();
};

void TestEdidFile::lineEnds_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("text");

    QByteArray crlf, lf, own;
    for (int line = 0; line < 16; ++line) {
        crlf += dumpLine(line * 16, "\r\n");
        lf += dumpLine(line * 16, "\n");
        own += ownLine(line * 16);
    }
    QTest::newRow("space and CR LF") << crlf << own;
    QTest::newRow("space and LF") << lf << own;
    QTest::newRow("own layout") << own << own;
    QTest::newRow("no final line end") << dumpLine(0, "\r\n") + dumpLine(16, "").trimmed()
                                       << ownLine(0) + dumpLine(16, "").trimmed();

    // Once one line does not end that way, the rest is copied as it stands.
    const QByteArray odd = dumpLine(0, "\r\n") + "01 02\r\n" + dumpLine(32, "\r\n");
    QTest::newRow("stops at an odd line") << odd << ownLine(0) + "01 02\r\n" + dumpLine(32, "\r\n");
    const QByteArray first = "EDID dump\r\n" + dumpLine(0, "\r\n");
    QTest::newRow("first line differs") << first << first;
    QTest::newRow("space then CR only") << dumpLine(0, "\rX") << dumpLine(0, "\rX");
    QTest::newRow("ends at first zero") << dumpLine(0, "\n") + QByteArray("\0AB", 3) << ownLine(0);
}

void TestEdidFile::lineEnds() {
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, text);
    QCOMPARE(convertEdidDumpLineEnds(padded(file)), text);
}

void TestEdidFile::lineEndsStayInsideBuffer_data() {
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<QByteArray>("text");

    // The CR LF that would complete the line end lies past the bytes read.
    const QByteArray line = dumpLine(0, "");
    QTest::newRow("space last") << line << line;
    QTest::newRow("CR last") << line + '\r' << line + '\r';
    QTest::newRow("LF just inside") << line + '\n' << ownLine(0);
    QByteArray big(2000, 'A');
    QTest::newRow("at most 1024 bytes") << big << QByteArray(kEdidFileBufferSize, 'A');
}

void TestEdidFile::lineEndsStayInsideBuffer() {
    QFETCH(QByteArray, buffer);
    QFETCH(QByteArray, text);
    QCOMPARE(convertEdidDumpLineEnds(buffer), text);
}

void TestEdidFile::readBuffer_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("binary");

    QTest::newRow("empty") << QByteArray() << true;
    QTest::newRow("128-byte binary")
        << QByteArray("\x00\xFF\xFF", 3) + QByteArray(125, 'B') << true;
    QTest::newRow("2000-byte binary") << QByteArray(1, '\0') + QByteArray(1999, 'C') << true;
    QTest::newRow("text") << dumpLine(0, "\r\n") << false;
    QTest::newRow("2000-byte text") << QByteArray(2000, 'D') << false;
}

void TestEdidFile::readBuffer() {
    QFETCH(QByteArray, file);
    QFETCH(bool, binary);

    QBuffer device(&file);
    QVERIFY(device.open(QIODevice::ReadOnly));
    QByteArray buffer("stale");
    QVERIFY(readEdidFileBuffer(device, buffer));
    QCOMPARE(buffer, padded(file));
    QCOMPARE(isBinaryEdidFile(buffer), binary);
}

void TestEdidFile::readError() {
    FailingDevice device;
    QVERIFY(device.open(QIODevice::ReadWrite));
    QByteArray buffer;
    QVERIFY(!readEdidFileBuffer(device, buffer));
}

void TestEdidFile::binaryImage() {
    // Missing bytes are 0; bytes past 256 are not part of the table.
    QByteArray file = QByteArray(1, '\0') + QByteArray(127, 'E');
    EdidImage image = edidImageFromFile(padded(file));
    QCOMPARE(image[0], 0);
    QCOMPARE(image[127], 'E');
    QCOMPARE(image[128], 0);
    QCOMPARE(image[255], 0);

    file = QByteArray(256, 'F') + QByteArray(44, 'G');
    image = edidImageFromFile(padded(file));
    EdidImage expected;
    expected.fill('F');
    QCOMPARE(image, expected);
}

void TestEdidFile::writeBytes() {
    EdidImage image;
    for (int i = 0; i < kEdidSize; ++i)
        image[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);

    QByteArray stored;
    QBuffer out(&stored);
    QVERIFY(out.open(QIODevice::WriteOnly));
    QVERIFY(writeEdidBytes(out, image));
    QCOMPARE(stored.size(), kEdidSize);
    QCOMPARE(edidImageFromFile(stored), image);

    FailingDevice failing;
    QVERIFY(failing.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    QVERIFY(!writeEdidBytes(failing, image));
    QCOMPARE(failing.errorString(), QStringLiteral("No space left on device"));

    // Partial writes are carried on until every byte is out...
    ShortWriteDevice chunked(100, 1000);
    QVERIFY(chunked.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    QVERIFY(writeEdidBytes(chunked, image));
    QCOMPARE(edidImageFromFile(chunked.stored), image);
    // ...and a device that fills up part-way is a failure, not a short file.
    ShortWriteDevice full(1000, 100);
    QVERIFY(full.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    QVERIFY(!writeEdidBytes(full, image));
    QCOMPARE(full.errorString(), QStringLiteral("File too large"));
}

QTEST_MAIN(TestEdidFile)
#include "tst_core_edid_file.moc"
