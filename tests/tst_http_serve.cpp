// korvanta serve --http on the simulated device, spoken to as browsers and
// control systems (and those who pose as them) speak to it.
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {

QString korvantaProgram() {
    const QString program = qEnvironmentVariable("KORVANTA_CLI");
    return program.isEmpty() ? QCoreApplication::applicationDirPath() + "/../cli/korvanta"
                             : program;
}

struct Reply {
    int status = 0;
    QByteArray head, body;
    QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
};

Reply parseReply(const QByteArray& bytes) {
    Reply r;
    const qsizetype end = bytes.indexOf("\r\n\r\n");
    r.head = bytes.left(end);
    r.body = end < 0 ? QByteArray() : bytes.mid(end + 4);
    r.status = bytes.mid(9, 3).toInt();
    return r;
}

int freePort() {
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}

class Service {
public:
    Service(const QStringList& extra) {
        QVERIFY(dir.isValid());
        QDir(dir.path()).mkpath("run");
        QFile::setPermissions(dir.filePath("run"), QFileDevice::ReadOwner |
                                                       QFileDevice::WriteOwner |
                                                       QFileDevice::ExeOwner);
        port = freePort();
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert("XDG_RUNTIME_DIR", dir.filePath("run"));
        e.insert("XDG_CONFIG_HOME", dir.filePath("config"));
        e.insert("KORVANTA_LINK", "simulator");
        for (const char* name : {"KORVANTA_TRACE", "KORVANTA_SIM_FAULTS", "KORVANTA_SIM_STATE",
                                 "KORVANTA_SOCKET", "KORVANTA_DEVICE"})
            e.remove(name);
        env = e;
        process.setProcessEnvironment(e);
        process.setReadChannel(QProcess::StandardError);
        QStringList args = extra;
        args.replaceInStrings("PORT", QString::number(port));
        process.start(korvantaProgram(), QStringList{"serve", "--poll-ms", "100"} + args);
        while (process.waitForReadyRead(10000)) {
            said += process.readAllStandardError();
            if (said.contains("the page and the API"))
                return;
        }
        QFAIL(said.constData());
    }
    ~Service() {
        process.terminate();
        process.waitForFinished(10000);
    }

    QByteArray korvanta(const QStringList& args) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(korvantaProgram(), args);
        p.waitForFinished(30000);
        return p.readAllStandardOutput();
    }

    // One request on a connection of its own, answered and closed.
    Reply ask(const QByteArray& head, const QByteArray& body = {},
              const char* address = "127.0.0.1") {
        QTcpSocket s;
        s.connectToHost(address, quint16(port));
        if (!s.waitForConnected(5000))
            return {};
        QByteArray request = head;
        if (!request.contains("Host:"))
            request += "Host: 127.0.0.1:" + QByteArray::number(port) + "\r\n";
        if (!body.isEmpty() || head.startsWith("POST"))
            request += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
        s.write(request + "Connection: close\r\n\r\n" + body);
        QByteArray got;
        while (s.state() == QAbstractSocket::ConnectedState && s.waitForReadyRead(5000))
            got += s.readAll();
        got += s.readAll();
        return parseReply(got);
    }
    Reply post(const QByteArray& method, const QByteArray& json, const QByteArray& extra = {}) {
        return ask("POST /api/v1/" + method + " HTTP/1.1\r\nContent-Type: application/json\r\n" +
                       extra,
                   json);
    }

    QTemporaryDir dir;
    QProcessEnvironment env;
    QProcess process;
    QByteArray said;
    int port = 0;
};

QString input(Service& s) {
    return QJsonDocument::fromJson(s.korvanta({"--json", "get", "input"}))
        .object()
        .value("settings")
        .toObject()
        .value("input")
        .toString();
}

} // namespace

class HttpServeTest : public QObject {
    Q_OBJECT

private slots:
    void apiAnswersAsTheSocketAndStreamsChanges();
    void refusals_data();
    void refusals();
    void keyBeyondLoopback();
    void connectionsAreBounded();
    void readOnly();
    void https();
    void cleanupTestCase() { shared.reset(); }

private:
    std::unique_ptr<Service> shared;
};

void HttpServeTest::apiAnswersAsTheSocketAndStreamsChanges() {
    Service s({"--http", "PORT"});
    QVERIFY(s.said.contains("http://127.0.0.1:" + QByteArray::number(s.port) + "/"));
    const Reply page = s.ask("GET / HTTP/1.1\r\n");
    QCOMPARE(page.status, 200);
    QVERIFY(page.body.contains("<script type=\"module\" src=\"/app.js\">"));
    QVERIFY(page.head.contains("Content-Security-Policy: default-src 'self'"));

    const Reply get = s.ask("GET /api/v1/get HTTP/1.1\r\n");
    QCOMPARE(get.status, 200);
    const QJsonObject direct = QJsonDocument::fromJson(s.korvanta({"--json", "get"})).object();
    QCOMPARE(get.json().value("output").toObject(), direct);
    QVERIFY(!get.head.contains("Access-Control-Allow-Origin"));

    QTcpSocket events;
    events.connectToHost("127.0.0.1", quint16(s.port));
    QVERIFY(events.waitForConnected(5000));
    events.write("GET /api/v1/events HTTP/1.1\r\nHost: localhost:" + QByteArray::number(s.port) +
                 "\r\n\r\n");
    QByteArray stream;
    QTRY_VERIFY_WITH_TIMEOUT((stream += events.readAll()).contains("event: state"), 5000);

    const Reply set = s.post("set", R"({"values":{"input":"b"}})");
    QCOMPARE(set.status, 200);
    QCOMPARE(set.json().value("exitCode").toInt(), 0);
    QCOMPARE(input(s), QString("b"));
    QTRY_VERIFY_WITH_TIMEOUT((stream += events.readAll()).contains("event: settingsChanged"), 3000);
    QVERIFY(stream.contains("\"input\":\"b\""));

    // A refusal of the method's own is the same as on the command line.
    const Reply bad = s.post("set", R"({"values":{"input":"z"}})");
    QCOMPARE(bad.status, 400);
    QCOMPARE(bad.json().value("exitCode").toInt(), 2);
    QVERIFY(!bad.json().value("message").toString().isEmpty());
}

void HttpServeTest::refusals_data() {
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    const QByteArray set = "POST /api/v1/set HTTP/1.1\r\n";
    const QByteArray json = "Content-Type: application/json\r\n";
    const QByteArray b = R"({"values":{"input":"b"}})";
    // A rebinding name with the right port: only the name gives it away.
    QTest::newRow("foreign Host") << set + json + "Host: evil.example:PORT\r\n" << b << 403;
    QTest::newRow("cross-origin POST") << set + json + "Origin: http://evil.example\r\n"
                                       << b << 403;
    QTest::newRow("cross-site fetch") << set + json + "Sec-Fetch-Site: cross-site\r\n" << b << 403;
    QTest::newRow("form-encoded POST")
        << set + "Content-Type: application/x-www-form-urlencoded\r\n"
        << QByteArray("a=b") << 415;
    QTest::newRow("text/plain POST") << set + "Content-Type: text/plain\r\n" << b << 415;
    QTest::newRow("oversized body") << set + json << QByteArray(70000, ' ') << 413;
    QTest::newRow("change by GET")
        << QByteArray("GET /api/v1/set?values=input%3Db HTTP/1.1\r\n") << QByteArray() << 405;
    QTest::newRow("not JSON") << set + json << QByteArray("{input=b") << 400;
}

void HttpServeTest::refusals() {
    QFETCH(QByteArray, head);
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    // One service for every row: each refusal must leave it as it was.
    if (!shared)
        shared = std::make_unique<Service>(QStringList{"--http", "PORT"});
    Service* s = shared.get();
    head.replace("PORT", QByteArray::number(s->port));
    const Reply r = s->ask(head, body);
    QCOMPARE(r.status, status);
    QVERIFY(!r.json().value("error").toString().isEmpty());
    QCOMPARE(input(*s), QString("a"));
}

void HttpServeTest::keyBeyondLoopback() {
    Service s({"--http", "0.0.0.0:PORT"});
    const QString file = s.dir.filePath("config/korvanta/http-token");
    struct stat st {};
    QCOMPARE(::stat(file.toLocal8Bit().constData(), &st), 0);
    QCOMPARE(st.st_mode & 0777, mode_t(0600));
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray key = f.readAll().trimmed();
    // Not on a terminal: the log gets the address and where the key is, never the key.
    QVERIFY(!s.said.contains(key));
    QVERIFY(s.said.contains("http-token"));

    const QByteArray get = "GET /api/v1/get HTTP/1.1\r\n";
    QCOMPARE(s.ask(get).status, 401);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(s.ask(get + "Authorization: Bearer " + QByteArray(64, '0') + "\r\n").status, 401);
    QVERIFY(clock.elapsed() >= 900);
    QCOMPARE(s.ask(get + "Authorization: Bearer " + key + "\r\n").status, 200);

    const Reply first = s.ask("GET /?token=" + key + " HTTP/1.1\r\n");
    QCOMPARE(first.status, 303);
    QVERIFY(first.head.contains("Set-Cookie: korvanta_token=" + key));
    QVERIFY(first.head.contains("HttpOnly; SameSite=Strict"));
    QVERIFY(first.head.contains("Location: /\r\n") || first.head.endsWith("Location: /"));
    QCOMPARE(s.ask(get + "Cookie: korvanta_token=" + key + "\r\n").status, 200);
    // The page without its key says where to find it rather than showing the device.
    const Reply page = s.ask("GET / HTTP/1.1\r\n");
    QCOMPARE(page.status, 401);
    QVERIFY(page.body.contains("http-token"));

    // Guessing: ten wrong keys at once, then even the right one waits its minute.
    std::vector<std::unique_ptr<QTcpSocket>> guesses;
    for (int i = 0; i < 10; ++i) {
        auto g = std::make_unique<QTcpSocket>();
        g->connectToHost("127.0.0.1", quint16(s.port));
        QVERIFY(g->waitForConnected(5000));
        g->write(get + "Host: 127.0.0.1:" + QByteArray::number(s.port) +
                 "\r\nAuthorization: Bearer x" + QByteArray::number(i) + "\r\n\r\n");
        QVERIFY(g->waitForBytesWritten(5000));
        guesses.push_back(std::move(g));
    }
    QElapsedTimer waited;
    waited.start();
    for (auto& g : guesses) {
        while (g->state() == QAbstractSocket::ConnectedState && !g->bytesAvailable() &&
               waited.elapsed() < 5000)
            g->waitForReadyRead(100);
        const QByteArray answer = g->readAll();
        QVERIFY2(answer.startsWith("HTTP/1.1 401") || answer.startsWith("HTTP/1.1 429"),
                 answer.constData());
    }
    QTRY_COMPARE_WITH_TIMEOUT(s.ask(get + "Authorization: Bearer " + key + "\r\n").status, 429,
                              5000);
    QVERIFY(s.said.size() < 100000);
}

void HttpServeTest::connectionsAreBounded() {
    Service s({"--http", "PORT"});
    // A client that sends half a request and stops holds nobody up.
    QTcpSocket slow;
    slow.connectToHost("127.0.0.1", quint16(s.port));
    QVERIFY(slow.waitForConnected(5000));
    slow.write("POST /api/v1/set HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 100\r\n\r\n{");
    QVERIFY(slow.waitForBytesWritten(5000));
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(s.ask("GET /api/v1/get HTTP/1.1\r\n").status, 200);
    QVERIFY(clock.elapsed() < 2000);

    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 0; i < 16; ++i) {
        auto c = std::make_unique<QTcpSocket>();
        c->connectToHost("127.0.0.1", quint16(s.port));
        QVERIFY(c->waitForConnected(5000));
        idle.push_back(std::move(c));
    }
    QTest::qWait(200);
    QCOMPARE(s.ask("GET /api/v1 HTTP/1.1\r\n").status, 503);
    idle.clear();
    QTRY_COMPARE_WITH_TIMEOUT(s.ask("GET /api/v1 HTTP/1.1\r\n").status, 200, 5000);
}

void HttpServeTest::readOnly() {
    Service s({"--http", "PORT", "--http-read-only"});
    QCOMPARE(s.post("set", R"({"values":{"input":"b"}})").status, 403);
    QCOMPARE(s.post("reset", R"({"what":"all","yes":true})").status, 403);
    QCOMPARE(s.ask("GET /api/v1/status HTTP/1.1\r\n").status, 200);
    QCOMPARE(input(s), QString("a"));
}

void HttpServeTest::https() {
    QTemporaryDir keys;
    const QString cert = keys.filePath("cert.pem"), key = keys.filePath("key.pem");
    const int made =
        QProcess::execute("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
                                      key, "-out", cert, "-days", "2", "-subj", "/CN=localhost"});
    if (made != 0)
        QSKIP("openssl cannot make a certificate here");
    Service s({"--http", "PORT", "--http-cert", cert, "--http-key", key});
    QVERIFY(s.said.contains("https://127.0.0.1:"));
    QSslSocket tls;
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    tls.connectToHostEncrypted("127.0.0.1", quint16(s.port));
    QVERIFY(tls.waitForEncrypted(5000));
    tls.write("POST /api/v1/set HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(s.port) +
              "\r\nOrigin: https://127.0.0.1:" + QByteArray::number(s.port) +
              "\r\nContent-Type: application/json\r\nContent-Length: 23\r\n"
              "Connection: close\r\n\r\n{\"values\":{\"hdr\":\"on\"}}");
    QByteArray got;
    while (tls.waitForReadyRead(5000))
        got += tls.readAll();
    QCOMPARE(parseReply(got).status, 200);
    // Plain HTTP on the same port gets nothing.
    QCOMPARE(s.ask("GET /api/v1 HTTP/1.1\r\n").status, 0);
}

QTEST_GUILESS_MAIN(HttpServeTest)
#include "tst_http_serve.moc"
