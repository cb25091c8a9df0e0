#include "decode/ColonHexInput.h"
#include "decode/Decoded.h"
#include "decode/NodeBuild.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

using decode::Node;

namespace {

// A decode with every shape the renderers know: a plain field, a number, a
// marked problem, a JSON-only field, a keyless list, repeated keys.
decode::Decoded sample() {
    decode::Decoded d;
    d.title = "Sample";
    d.nodes.push_back(decode::field("manufacturer", "Manufacturer", "DEL"));
    d.nodes.push_back(decode::field("productCode", "Product code", "4660 (0x1234)", 4660));
    Node checksum = decode::field("checksum", "Checksum", "0x12");
    checksum.problem = true;
    d.nodes.push_back(checksum);
    d.nodes.push_back(decode::field("polling", {}, {}, false));
    Node blocks = decode::field("dataBlocks", "Data blocks", {});
    Node video = decode::field("video", "Video Data Block", "2 formats");
    for (int vic : {16, 97}) {
        Node entry = decode::field({}, "VIC " + std::to_string(vic), "name");
        entry.children.push_back(decode::field("vic", {}, {}, vic));
        video.children.push_back(entry);
    }
    blocks.children.push_back(video);
    blocks.children.push_back(decode::field("video", "Video Data Block", "none"));
    d.nodes.push_back(blocks);
    d.problems.push_back("byte 127: checksum is 0x12, should be 0x34");
    return d;
}

} // namespace

class TestDecodeText : public QObject {
    Q_OBJECT

private slots:
    void textLayout();
    void jsonLayout();
    void emptyDecode();
    void readColonHex_data();
    void readColonHex();
};

void TestDecodeText::textLayout() {
    const std::string expected = "Sample\n"
                                 "  Manufacturer: DEL\n"
                                 "  Product code: 4660 (0x1234)\n"
                                 "! Checksum: 0x12\n"
                                 "  Data blocks:\n"
                                 "    Video Data Block: 2 formats\n"
                                 "      VIC 16: name\n"
                                 "      VIC 97: name\n"
                                 "    Video Data Block: none\n"
                                 "Problems:\n"
                                 "  byte 127: checksum is 0x12, should be 0x34\n";
    QCOMPARE(QString::fromStdString(decode::renderText(sample())),
             QString::fromStdString(expected));
}

void TestDecodeText::jsonLayout() {
    const QJsonObject expected = QJsonDocument::fromJson(R"({
        "title": "Sample",
        "fields": {
            "manufacturer": "DEL",
            "productCode": 4660,
            "checksum": "0x12",
            "polling": false,
            "dataBlocks": {"video": [{"vic": 16}, {"vic": 97}], "video2": "none"}
        },
        "problems": ["byte 127: checksum is 0x12, should be 0x34"]
    })")
                                     .object();
    QCOMPARE(decode::renderJson(sample()), expected);
}

void TestDecodeText::emptyDecode() {
    decode::Decoded d;
    d.title = "CEC message";
    QVERIFY(d.ok());
    QCOMPARE(QString::fromStdString(decode::renderText(d)), QString("CEC message\n"));
    const QJsonObject json = decode::renderJson(d);
    QVERIFY(json.value("fields").isObject());
    QVERIFY(json.value("problems").isArray());
}

void TestDecodeText::readColonHex_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("problem");

    QTest::newRow("two bytes") << "0f:36" << QByteArray("\x0f\x36") << "";
    QTest::newRow("upper case, spaces and line end around") << "  0F:36\r\n"
                                                            << QByteArray("\x0f\x36") << "";
    QTest::newRow("one byte") << "ff" << QByteArray("\xff") << "";
    QTest::newRow("bad second digit")
        << "0f:3g" << QByteArray("\x0f")
        << "character 5: expected a second hex digit for byte 2, found 'g'";
    QTest::newRow("ends after a colon")
        << "0f:" << QByteArray("\x0f")
        << "character 4: the text ends after ':', expected two hex digits for byte 2";
    QTest::newRow("starts with a colon")
        << ":0f" << QByteArray() << "character 1: expected a hex digit for byte 1, found ':'";
    QTest::newRow("no colon") << "0f36" << QByteArray("\x0f")
                              << "character 3: expected ':' after byte 1, found '3'";
    QTest::newRow("space for a colon")
        << "0f 36" << QByteArray("\x0f") << "character 3: expected ':' after byte 1, found a space";
    QTest::newRow("one digit") << "0f:3:36" << QByteArray("\x0f")
                               << "character 4: byte 2 has one hex digit, expected two";
    QTest::newRow("tab inside") << "0f:\t36" << QByteArray("\x0f")
                                << "character 4: expected a hex digit for byte 2, found "
                                   "character code 0x09";
    QTest::newRow("empty") << "  " << QByteArray()
                           << "the text is empty: expected bytes as two hex digits each, such as "
                              "0f:36";
}

void TestDecodeText::readColonHex() {
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, problem);

    const decode::ColonHexInput in = decode::readColonHexInput(text.toStdString());
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(in.bytes.data()), qsizetype(in.bytes.size())),
             bytes);
    QCOMPARE(QString::fromStdString(in.problem), problem);
}

QTEST_MAIN(TestDecodeText)
#include "tst_core_decode_text.moc"
