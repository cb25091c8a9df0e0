// The service's wire format on its own: lines, requests, transact bytes.
#include "service/RpcFrame.h"

#include <QTest>

using service::LineSplitter;

class RpcFrameTest : public QObject {
    Q_OBJECT

private slots:
    void lines_data();
    void lines();
    void requests_data();
    void requests();
    void transactParams_data();
    void transactParams();
    void transactAnswerRoundTrip();
    void idsComeBackAsWritten_data();
    void idsComeBackAsWritten();
};

// A number id is the client's text: whatever its size or spelling, the
// answer carries it as written, errors too.
void RpcFrameTest::idsComeBackAsWritten_data() {
    QTest::addColumn<QByteArray>("id");
    QTest::newRow("above 2^64") << QByteArray("123456789012345678901234567890");
    QTest::newRow("2^53 + 1") << QByteArray("9007199254740993");
    QTest::newRow("exponent") << QByteArray("1e3");
    QTest::newRow("negative") << QByteArray("-7");
    QTest::newRow("string") << QByteArray("\"a,\\\"id\\\":1\"");
}

void RpcFrameTest::idsComeBackAsWritten() {
    QFETCH(QByteArray, id);
    const QByteArray text = R"({"params": {"id": 5}, "jsonrpc": "2.0", "id": )" + id +
                            R"(, "method": "hello"})";
    const service::Request r = service::parseRequest(text);
    QVERIFY(r.valid);
    QVERIFY(service::resultLine(r.id, QJsonObject{}, r.rawId).contains("\"id\":" + id + ","));
    QVERIFY(service::errorLine(r.id, service::kInvalidParams, "no", r.rawId)
                .contains("\"id\":" + id + ","));
}

void RpcFrameTest::lines_data() {
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QStringList>("expected"); // "!" an oversized line

    const QByteArray limit(service::kMaxLineBytes, 'a');
    QTest::newRow("two in one") << QList<QByteArray>{"a\nb\n"} << QStringList{"a", "b"};
    QTest::newRow("split across reads")
        << QList<QByteArray>{"ab", "c\nd", "\n"} << QStringList{"abc", "d"};
    QTest::newRow("unfinished stays") << QList<QByteArray>{"a\nb"} << QStringList{"a"};
    QTest::newRow("empty line") << QList<QByteArray>{"\n"} << QStringList{""};
    QTest::newRow("exactly the limit")
        << QList<QByteArray>{limit, "\nz\n"} << QStringList{QString(limit), "z"};
    QTest::newRow("one byte over, then on")
        << QList<QByteArray>{limit, "b", "cc\nz\n"} << QStringList{"!", "z"};
    QTest::newRow("over in one read")
        << QList<QByteArray>{limit + "bb\nz\n"} << QStringList{"!", "z"};
}

void RpcFrameTest::lines() {
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QStringList, expected);
    LineSplitter splitter;
    std::vector<LineSplitter::Line> out;
    for (const QByteArray& c : chunks)
        splitter.feed(c.constData(), c.size(), &out);
    QStringList got;
    for (const auto& l : out) {
        QVERIFY(!l.oversized || l.text.isEmpty());
        got << (l.oversized ? QString("!") : QString::fromLatin1(l.text));
    }
    QCOMPARE(got, expected);
    QVERIFY(splitter.pending() <= service::kMaxLineBytes);
}

void RpcFrameTest::requests_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("code"); // 0: valid
    QTest::addColumn<bool>("notification");
    QTest::addColumn<QString>("id");

    QTest::newRow("number id") << QByteArray(R"({"jsonrpc":"2.0","id":3,"method":"hold"})") << 0
                               << false << "3";
    QTest::newRow("string id, params")
        << QByteArray(R"({"jsonrpc":"2.0","id":"x","method":"get","params":{"a":1}})") << 0 << false
        << "x";
    QTest::newRow("no id: notification")
        << QByteArray(R"({"jsonrpc":"2.0","method":"release"})") << 0 << true << "";
    QTest::newRow("positional params")
        << QByteArray(R"({"jsonrpc":"2.0","id":4,"method":"get","params":[1]})")
        << int(service::kInvalidParams) << false << "4";
    QTest::newRow("object id") << QByteArray(R"({"jsonrpc":"2.0","id":{},"method":"get"})")
                               << int(service::kInvalidRequest) << false << "";
    QTest::newRow("version 1") << QByteArray(R"({"jsonrpc":"1.0","id":5,"method":"get"})")
                               << int(service::kInvalidRequest) << false << "5";
    QTest::newRow("empty method") << QByteArray(R"({"jsonrpc":"2.0","id":6,"method":""})")
                                  << int(service::kInvalidRequest) << false << "6";
    QTest::newRow("number method") << QByteArray(R"({"jsonrpc":"2.0","id":6,"method":7})")
                                   << int(service::kInvalidRequest) << false << "6";
    QTest::newRow("truncated") << QByteArray(R"({"jsonrpc":"2.0")") << int(service::kParseError)
                               << false << "";
    QTest::newRow("string") << QByteArray(R"("hello")") << int(service::kParseError) << false << "";
    QTest::newRow("batch") << QByteArray(R"([{"jsonrpc":"2.0","id":1,"method":"get"}])")
                           << int(service::kInvalidRequest) << false << "";
}

void RpcFrameTest::requests() {
    QFETCH(QByteArray, line);
    QFETCH(int, code);
    QFETCH(bool, notification);
    QFETCH(QString, id);
    const service::Request r = service::parseRequest(line);
    QCOMPARE(r.valid, code == 0);
    QCOMPARE(r.errorCode, code);
    QVERIFY(r.valid || !r.error.empty());
    QCOMPARE(r.notification, notification);
    // The reply carries the id back as it came, null when it could not be read.
    const QString gotId = r.id.isDouble() ? QString::number(r.id.toInt()) : r.id.toString();
    QCOMPARE(gotId, id);
}

void RpcFrameTest::transactParams_data() {
    QTest::addColumn<QString>("request");
    QTest::addColumn<QJsonValue>("expected");
    QTest::addColumn<bool>("ok");

    QTest::newRow("values read") << "112ae1" << QJsonValue(42) << true;
    QTest::newRow("64 bytes") << QString(128, 'F') << QJsonValue(2) << true;
    QTest::newRow("65 bytes") << QString(130, 'F') << QJsonValue(2) << false;
    QTest::newRow("empty") << "" << QJsonValue(2) << false;
    QTest::newRow("not hex") << "11zz" << QJsonValue(2) << false;
    QTest::newRow("spaces") << "11 2A" << QJsonValue(2) << false;
    QTest::newRow("expects 65") << "11" << QJsonValue(65) << false;
    QTest::newRow("expects -1") << "11" << QJsonValue(-1) << false;
    QTest::newRow("expects 2.5") << "11" << QJsonValue(2.5) << false;
    QTest::newRow("expects text") << "11" << QJsonValue("2") << false;
}

void RpcFrameTest::transactParams() {
    QFETCH(QString, request);
    QFETCH(QJsonValue, expected);
    QFETCH(bool, ok);
    service::TransactParams p;
    std::string complaint;
    QCOMPARE(service::parseTransactParams({{"request", request}, {"expected", expected}}, &p,
                                          &complaint),
             ok);
    QCOMPARE(complaint.empty(), ok);
    if (ok) {
        QCOMPARE(int(p.request.size()), request.size() / 2);
        QCOMPARE(p.expected, expected.toInt());
        // What the client builds is what the service takes.
        service::TransactParams back;
        QVERIFY(service::parseTransactParams(
            service::transactParams(p.request.data(), int(p.request.size()), p.expected), &back,
            &complaint));
        QCOMPARE(back.request, p.request);
    }
}

void RpcFrameTest::transactAnswerRoundTrip() {
    for (TransactionFault fault :
         {TransactionFault::None, TransactionFault::NoDevice, TransactionFault::WriteFailed,
          TransactionFault::QueueFailed, TransactionFault::NoAnswer, TransactionFault::ReadFailed,
          TransactionFault::ShortReply}) {
        service::TransactAnswer a;
        a.result = fault == TransactionFault::None;
        a.reply = {0xE1, 0x00, 0xFF};
        a.fault = fault;
        service::TransactAnswer b;
        QVERIFY(service::parseTransactAnswer(service::transactAnswerJson(a), &b));
        QCOMPARE(b.result, a.result);
        QCOMPARE(b.reply, a.reply);
        QCOMPARE(int(b.fault), int(fault));
    }
    service::TransactAnswer none;
    QVERIFY(!service::parseTransactAnswer(QJsonObject{{"result", true}, {"reply", "E1"}}, &none));
}

QTEST_GUILESS_MAIN(RpcFrameTest)
#include "tst_core_rpcframe.moc"
