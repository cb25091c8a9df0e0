// Requests read within bounds, and the access rules decided from them.
#include "http/Api.h"
#include "http/HttpMessage.h"
#include "http/TokenFile.h"
#include "http/WebAccess.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

using namespace http;

namespace {

Request parsed(const QByteArray& bytes) {
    RequestReader reader;
    QByteArray in = bytes;
    reader.feed(in);
    return reader.request();
}

} // namespace

class HttpMessageTest : public QObject {
    Q_OBJECT

private slots:
    void readerRefuses_data();
    void readerRefuses();
    void readerFramesPipelinedAndTrickledRequests();
    void hostRule_data();
    void hostRule();
    void writeRule_data();
    void writeRule();
    void tokenSourcesAndLimiter();
    void tokenFile();
    void routeKeepsWritesOffGetAndReadOnly();
};

void HttpMessageTest::readerRefuses_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("status");
    const QByteArray host = "Host: 127.0.0.1:1\r\n";
    QTest::newRow("request line too long") << "GET /" + QByteArray(9000, 'a') + " HTTP/1.1\r\n"
                                           << 414;
    QTest::newRow("request line never ends") << "GET /" + QByteArray(9000, 'a') << 414;
    QByteArray many = "GET / HTTP/1.1\r\n";
    for (int i = 0; i < 65; ++i)
        many += "X-" + QByteArray::number(i) + ": 1\r\n";
    QTest::newRow("65 headers") << many + "\r\n" << 431;
    QTest::newRow("headers too large") << "GET / HTTP/1.1\r\nX: " + QByteArray(17000, 'b') << 431;
    QTest::newRow("body over 64 KiB")
        << "POST /api/v1/set HTTP/1.1\r\n" + host + "Content-Length: 65537\r\n\r\n"
        << 413;
    QTest::newRow("chunked") << "POST /api/v1/set HTTP/1.1\r\n" + host +
                                    "Transfer-Encoding: chunked\r\n\r\n"
                             << 501;
    QTest::newRow("POST without length") << "POST /api/v1/set HTTP/1.1\r\n" + host + "\r\n" << 411;
    QTest::newRow("two lengths")
        << QByteArray("POST / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n") << 400;
    QTest::newRow("signed length")
        << QByteArray("POST / HTTP/1.1\r\nContent-Length: +1\r\n\r\n") << 400;
    QTest::newRow("space before colon") << QByteArray("GET / HTTP/1.1\r\nHost : x\r\n\r\n") << 400;
    QTest::newRow("folded header") << QByteArray("GET / HTTP/1.1\r\nX: a\r\n b\r\n\r\n") << 400;
    QTest::newRow("HTTP/2 preface") << QByteArray("PRI * HTTP/2.0\r\n\r\n") << 505;
    QTest::newRow("absolute target") << "GET http://x/ HTTP/1.1\r\n" + host + "\r\n" << 400;
    QTest::newRow("bad escape") << "GET /%zz HTTP/1.1\r\n" + host + "\r\n" << 400;
    QTest::newRow("NUL in path") << "GET /%00 HTTP/1.1\r\n" + host + "\r\n" << 400;
}

void HttpMessageTest::readerRefuses() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, status);
    RequestReader reader;
    QCOMPARE(reader.feed(bytes), RequestReader::State::Refused);
    QCOMPARE(reader.refusalStatus(), status);
    QVERIFY(!reader.refusalReason().empty());
}

void HttpMessageTest::readerFramesPipelinedAndTrickledRequests() {
    const QByteArray one = "POST /api/v1/set HTTP/1.1\r\nHost: h:1\r\nContent-Type: "
                           "application/json\r\nContent-Length: 7\r\n\r\n{\"a\":1}";
    const QByteArray two = "GET /api/v1/status?chain=true HTTP/1.1\r\nHost: h:1\r\nConnection: "
                           "close\r\n\r\n";
    RequestReader reader;
    QByteArray in = one + two;
    QCOMPARE(reader.feed(in), RequestReader::State::Complete);
    QCOMPARE(reader.request().body, QByteArray("{\"a\":1}"));
    QVERIFY(reader.request().keepAlive);
    reader.reset();
    QCOMPARE(reader.feed(in), RequestReader::State::Complete);
    QCOMPARE(reader.request().path, std::string("/api/v1/status"));
    QCOMPARE(reader.request().query, std::string("chain=true"));
    QVERIFY(!reader.request().keepAlive);
    QVERIFY(in.isEmpty());

    // A byte at a time, as a slow client sends it.
    reader.reset();
    QByteArray trickle;
    RequestReader::State s = RequestReader::State::NeedMore;
    for (const char c : one) {
        trickle += c;
        s = reader.feed(trickle);
        if (s != RequestReader::State::NeedMore)
            break;
    }
    QCOMPARE(s, RequestReader::State::Complete);
    QCOMPARE(reader.request().header("content-type"), std::string("application/json"));
}

void HttpMessageTest::hostRule_data() {
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("local");
    QTest::addColumn<bool>("loopback");
    QTest::addColumn<bool>("allowed");
    QTest::newRow("loopback address") << "127.0.0.1:8080"
                                      << "127.0.0.1" << true << true;
    QTest::newRow("localhost, any case") << "LocalHost:8080"
                                         << "127.0.0.1" << true << true;
    QTest::newRow("IPv6 loopback") << "[::1]:8080"
                                   << "::1" << true << true;
    QTest::newRow("rebinding name") << "evil.example:8080"
                                    << "127.0.0.1" << true << false;
    QTest::newRow("name ending like localhost") << "localhost.evil.example:8080"
                                                << "127.0.0.1" << true << false;
    QTest::newRow("other port") << "127.0.0.1:8081"
                                << "127.0.0.1" << true << false;
    QTest::newRow("no port, not 80") << "127.0.0.1"
                                     << "127.0.0.1" << true << false;
    QTest::newRow("empty") << ""
                           << "127.0.0.1" << true << false;
    QTest::newRow("LAN address it came in on") << "192.168.1.5:8080"
                                               << "192.168.1.5" << false << true;
    QTest::newRow("machine name") << "hifi.local:8080"
                                  << "192.168.1.5" << false << true;
    QTest::newRow("localhost from the LAN") << "localhost:8080"
                                            << "192.168.1.5" << false << false;
}

void HttpMessageTest::hostRule() {
    QFETCH(QString, host);
    QFETCH(QString, local);
    QFETCH(bool, loopback);
    QFETCH(bool, allowed);
    AccessRules rules;
    rules.port = 8080;
    rules.hostNames = {"hifi", "hifi.local"};
    QCOMPARE(hostAllowed(host.toStdString(), local.toStdString(), loopback, rules), allowed);
}

void HttpMessageTest::writeRule_data() {
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<bool>("refused");
    const QByteArray post = "POST /api/v1/set HTTP/1.1\r\nHost: 127.0.0.1:8080\r\n";
    const QByteArray json = "Content-Type: application/json\r\n";
    QTest::newRow("JSON, no origin") << post + json << false;
    QTest::newRow("JSON with charset") << post + "Content-Type: application/json; charset=utf-8\r\n"
                                       << false;
    QTest::newRow("own origin") << post + json + "Origin: http://127.0.0.1:8080\r\n" << false;
    QTest::newRow("form") << post + "Content-Type: application/x-www-form-urlencoded\r\n" << true;
    QTest::newRow("text/plain") << post + "Content-Type: text/plain\r\n" << true;
    QTest::newRow("no type") << post << true;
    QTest::newRow("JSON-looking type") << post + "Content-Type: application/jsonx\r\n" << true;
    QTest::newRow("other site") << post + json + "Origin: http://evil.example\r\n" << true;
    QTest::newRow("null origin") << post + json + "Origin: null\r\n" << true;
    QTest::newRow("GET") << QByteArray("GET /api/v1/set HTTP/1.1\r\n") + json << true;
}

void HttpMessageTest::writeRule() {
    QFETCH(QByteArray, head);
    QFETCH(bool, refused);
    const Request r = parsed(head + "Content-Length: 0\r\n\r\n");
    QCOMPARE(!writeRefusal(r, "http").empty(), refused);
}

void HttpMessageTest::tokenSourcesAndLimiter() {
    TokenSource source{};
    QCOMPARE(presentedToken(parsed("GET / HTTP/1.1\r\nAuthorization: Bearer abc\r\n\r\n"), &source),
             std::string("abc"));
    QCOMPARE(source, TokenSource::Bearer);
    QCOMPARE(presentedToken(parsed("GET / HTTP/1.1\r\nCookie: x=1; korvanta_token=def\r\n\r\n"),
                            &source),
             std::string("def"));
    QCOMPARE(source, TokenSource::Cookie);
    QCOMPARE(presentedToken(parsed("GET /?a=1&token=g%68i HTTP/1.1\r\n\r\n"), &source),
             std::string("ghi"));
    QCOMPARE(source, TokenSource::Query);
    presentedToken(parsed("GET / HTTP/1.1\r\nCookie: korvanta_tokenx=1\r\n\r\n"), &source);
    QCOMPARE(source, TokenSource::None);

    QVERIFY(sameSecret("abc", "abc"));
    QVERIFY(!sameSecret("abc", "abd"));
    QVERIFY(!sameSecret("abc", "abcd"));
    QVERIFY(!sameSecret("", "a"));

    FailureLimiter limiter(3, 1000);
    for (int i = 0; i < 2; ++i)
        limiter.failed("10.0.0.2", 100);
    QVERIFY(!limiter.blocked("10.0.0.2", 100));
    limiter.failed("10.0.0.2", 200);
    QVERIFY(limiter.blocked("10.0.0.2", 300));
    QVERIFY(!limiter.blocked("10.0.0.3", 300));
    QVERIFY(!limiter.blocked("10.0.0.2", 1100)); // the window has passed
    // Many addresses are remembered within bounds, the newest kept.
    for (int i = 0; i < 5000; ++i)
        limiter.failed("a" + std::to_string(i), 2000 + i);
    for (int i = 0; i < 3; ++i)
        limiter.failed("last", 9000);
    QVERIFY(limiter.blocked("last", 9000));
}

void HttpMessageTest::tokenFile() {
    QTemporaryDir dir;
    const std::string path = dir.filePath("korvanta/http-token").toStdString();
    std::string token, again, why;
    bool created = false;
    QVERIFY2(loadOrCreateToken(path, &token, &created, &why), why.c_str());
    QVERIFY(created);
    QCOMPARE(token.size(), std::size_t(64));
    struct stat st {};
    QCOMPARE(::stat(path.c_str(), &st), 0);
    QCOMPARE(st.st_mode & 0777, mode_t(0600));
    QVERIFY(loadOrCreateToken(path, &again, &created, &why));
    QVERIFY(!created);
    QCOMPARE(again, token);

    QTemporaryDir other;
    const std::string second = other.filePath("t").toStdString();
    QVERIFY(loadOrCreateToken(second, &again, &created, &why));
    QVERIFY(again != token);

    ::chmod(path.c_str(), 0644);
    QVERIFY(!loadOrCreateToken(path, &again, &created, &why));
    QVERIFY(why.find("read by others") != std::string::npos);
    ::chmod(path.c_str(), 0600);
    QFile f(QString::fromStdString(path));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("short\n");
    f.close();
    QVERIFY(!loadOrCreateToken(path, &again, &created, &why));
}

void HttpMessageTest::routeKeepsWritesOffGetAndReadOnly() {
    ApiContext c;
    c.methods = {"get", "set", "restore"};
    const auto routed = [&c](const QByteArray& head) {
        return route(parsed(head + "Host: h:1\r\nContent-Length: 0\r\n\r\n"), c);
    };
    Routed r = routed("GET /api/v1/get?names=input,hdr HTTP/1.1\r\n");
    QCOMPARE(r.kind, Routed::Kind::Method);
    QCOMPARE(r.params.value("names").toArray().size(), 2);
    QCOMPARE(routed("GET /api/v1/set?values=x HTTP/1.1\r\n").answer.status, 405);
    QCOMPARE(routed("POST /api/v1/set HTTP/1.1\r\n").kind, Routed::Kind::Method);
    QCOMPARE(routed("POST /api/v1/nothing HTTP/1.1\r\n").answer.status, 404);
    QCOMPARE(routed("GET /api/v1/../../etc/passwd HTTP/1.1\r\n").answer.status, 404);
    c.readOnly = true;
    QCOMPARE(routed("POST /api/v1/set HTTP/1.1\r\n").answer.status, 403);
    QCOMPARE(routed("GET /api/v1/get HTTP/1.1\r\n").kind, Routed::Kind::Method);
    // A dry run changes nothing, so read-only mode lets it through.
    RequestReader reader;
    QByteArray dry = "POST /api/v1/restore HTTP/1.1\r\nContent-Length: 15\r\n\r\n{\"dryRun\":true}";
    reader.feed(dry);
    QCOMPARE(route(reader.request(), c).kind, Routed::Kind::Method);
}

QTEST_GUILESS_MAIN(HttpMessageTest)
#include "tst_http_message.moc"
