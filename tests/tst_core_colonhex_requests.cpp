// Requests built from checked colon-hex field text.
#include "cec/CecRequests.h"
#include "link/Protocol.h"

#include <QTest>

#include <string>

namespace {

QString hex(const DeviceRequest& r) {
    QStringList parts;
    for (int i = 0; i < r.length; ++i)
        parts << QString::asprintf("%02X", r.bytes[std::size_t(i)]);
    return parts.join(' ');
}

} // namespace

class TestCecRequests : public QObject {
    Q_OBJECT

private slots:
    void parsed_data();
    void parsed();
    void storeKeepsTheCharacters();
    void storeTooLongForARequest();
};

void TestCecRequests::parsed_data() {
    QTest::addColumn<int>("command");
    QTest::addColumn<QByteArray>("field"); // as handed on: text and carriage return
    QTest::addColumn<QString>("request");

    QTest::newRow("cec send") << int(proto::kCmdCecSend) << QByteArray("50:04\r")
                              << "10 03 B2 50 01 04";
    QTest::newRow("cec send one byte")
        << int(proto::kCmdCecSend) << QByteArray("A1234\r") << "10 01 B2 12";
    QTest::newRow("hdr") << int(proto::kCmdHdrInfoFrame) << QByteArray("87:01:1A\r")
                         << "10 03 E5 87 01 1A";
    QTest::newRow("avi") << int(proto::kCmdAviInfoFrame) << QByteArray("60:C8:60:61:00\r")
                         << "10 05 E6 60 C8 60 61 00";
}

void TestCecRequests::parsed() {
    QFETCH(int, command);
    QFETCH(QByteArray, field);
    QFETCH(QString, request);
    const std::string_view text(field.constData(), std::size_t(field.size()));
    const auto count = std::uint8_t(field.size());
    const DeviceRequest r = command == proto::kCmdCecSend
                                ? cecSendRequest(text, count)
                                : infoFrameRequest(std::uint8_t(command), text, count);
    QCOMPARE(hex(r), request);
    QCOMPARE(hex(populateRequest(r.lengthByte(), 0x20)),
             QString::asprintf("10 %02X B3 20", r.bytes[1]));
}

void TestCecRequests::storeKeepsTheCharacters() {
    DeviceRequest r;
    QVERIFY(cecStoreRequest(proto::kCmdStoreCecSp, "50:04\r", &r));
    QCOMPARE(hex(r), QStringLiteral("10 0A E3 43 45 43 20 35 30 3A 30 34 0D"));
}

void TestCecRequests::storeTooLongForARequest() {
    DeviceRequest r;
    const std::string fits(kMaxDeviceRequest - 7, 'A');
    QVERIFY(cecStoreRequest(proto::kCmdStoreCecLp, fits, &r));
    QCOMPARE(r.length, kMaxDeviceRequest);
    QCOMPARE(int(r.bytes[1]), kMaxDeviceRequest - 3);
    const DeviceRequest before = r;
    QVERIFY(!cecStoreRequest(proto::kCmdStoreCecLp, fits + 'A', &r));
    QCOMPARE(r.length, before.length);
}

QTEST_MAIN(TestCecRequests)
#include "tst_core_colonhex_requests.moc"
