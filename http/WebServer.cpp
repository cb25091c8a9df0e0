#include "http/WebServer.h"

#include "http/Api.h"
#include "http/HttpMessage.h"
#include "http/WebAccess.h"
#include "ops/OpsJson.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QJsonDocument>
#include <QPointer>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <map>

namespace http {

namespace {

constexpr int kHousekeepingMs = 1000;
constexpr int kEventPingMs = 15000;
constexpr qint64 kMaxStreamBacklog = 1024 * 1024;
// Bytes kept of what a busy connection sends ahead of its answer.
constexpr qsizetype kMaxAhead = 128 * 1024;

bool isLoopback(const QHostAddress& a) {
    return a.isLoopback() || (a.protocol() == QAbstractSocket::IPv6Protocol && a.toIPv4Address() &&
                              QHostAddress(a.toIPv4Address()).isLoopback());
}

std::string addressText(const QHostAddress& a) {
    bool mapped = false;
    const quint32 v4 = a.toIPv4Address(&mapped);
    return (mapped ? QHostAddress(v4) : a).toString().toStdString();
}

// The page's answer to a browser without the token: where to find it.
Response tokenPage() {
    Response r = errorResponse(401, "");
    r.contentType = "text/html; charset=utf-8";
    r.body = "<!doctype html><meta charset=utf-8><meta name=viewport "
             "content=\"width=device-width\"><title>KORVANTA</title>"
             "<body style=\"font-family:sans-serif;margin:2em\"><h1>KORVANTA</h1>"
             "<p>This page needs its key. Open the address that <code>korvanta serve</code> "
             "printed when it started (or scan its QR code); the key is in the file "
             "<code>http-token</code> of korvanta's configuration folder on the computer it "
             "runs on (<code>~/.config/korvanta</code>, or <code>/var/lib/korvanta</code> for "
             "the system service).</p>";
    return r;
}

} // namespace

struct WebServer::State {
    service::Events& events;
    WebOptions options;
    AccessRules rules;
    QObject home;
    std::unique_ptr<QTcpServer> server;
    bool tls = false;
    QTimer housekeeping;
    QElapsedTimer clock;
    FailureLimiter limiter;
    int subscription = 0;
    int queued = 0;
    int lastId = 0;
    // Answers made on the device's behalf find out whether we still stand.
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);

    struct Connection {
        QPointer<QTcpSocket> socket;
        std::string peer, local;
        bool loopback = false;
        RequestReader reader;
        QByteArray in;
        qint64 started = -1; // when the request now being read began
        qint64 lastActivity = 0;
        qint64 lastPing = 0;
        bool busy = false;   // its answer is being made
        bool stream = false; // an event stream
        bool closing = false;
        bool gone = false;
        bool head = false;
        bool keepAlive = true;
        int requests = 0;
    };
    std::map<int, Connection> connections;

    State(service::Events& e, WebOptions o) : events(e), options(std::move(o)) {}

    qint64 now() const { return clock.elapsed(); }
    void log(const std::string& line) const {
        if (options.log)
            options.log(line);
    }

    int streams() const {
        int n = 0;
        for (const auto& [id, c] : connections)
            n += c.stream;
        return n;
    }

    QJsonObject stateJson() const {
        QJsonObject state{{"device", QString::fromStdString(options.deviceId)},
                          {"deviceOpen", events.deviceOpen()}};
        state["settings"] = events.lastSettings()
                                ? QJsonValue(ops::settingsJson(events.lastSettings()->data()))
                                : QJsonValue(QJsonValue::Null);
        state["status"] = events.lastStatus() ? QJsonValue(ops::statusJson(*events.lastStatus()))
                                              : QJsonValue(QJsonValue::Null);
        return state;
    }

    ApiContext context() const {
        ApiContext c;
        c.readOnly = options.readOnly;
        c.methods = options.methodNames;
        c.hello = {{"program", "korvanta"},
                   {"version", KORVANTA_VERSION},
                   {"api", 1},
                   {"device", QString::fromStdString(options.deviceId)},
                   {"deviceOpen", events.deviceOpen()}};
        c.state = stateJson();
        return c;
    }

    // ---- connections ----

    void accepted() {
        while (server->hasPendingConnections()) {
            QTcpSocket* socket = server->nextPendingConnection();
            if (!socket)
                return;
            const std::string peer = addressText(socket->peerAddress());
            int fromPeer = 0;
            for (const auto& [id, c] : connections)
                fromPeer += c.peer == peer;
            if (int(connections.size()) >= options.maxConnections ||
                fromPeer >= options.maxPerAddress) {
                Response r = errorResponse(503, "too many connections; try again shortly");
                r.close = true;
                socket->write(serialize(r));
                socket->disconnectFromHost();
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                continue;
            }
            const int id = ++lastId;
            Connection& c = connections[id];
            c.socket = socket;
            c.peer = peer;
            c.local = addressText(socket->localAddress());
            c.loopback = isLoopback(socket->peerAddress()) && isLoopback(socket->localAddress());
            c.lastActivity = now();
            QObject::connect(socket, &QTcpSocket::readyRead, &home, [this, id] { readable(id); });
            QObject::connect(socket, &QTcpSocket::disconnected, &home, [this, id] { gone(id); });
            QObject::connect(socket, &QTcpSocket::bytesWritten, &home, [this, id] { drained(id); });
            readable(id);
        }
    }

    // Forgotten on the next turn of the loop: whoever is in the middle of
    // answering it still holds the connection.
    void gone(int id) {
        const auto it = connections.find(id);
        if (it == connections.end() || it->second.gone)
            return;
        it->second.gone = it->second.closing = true;
        QTimer::singleShot(0, &home, [this, id] {
            const auto c = connections.find(id);
            if (c == connections.end())
                return;
            if (c->second.socket)
                c->second.socket->deleteLater();
            connections.erase(c);
        });
    }

    void closeAfterWrite(Connection& c) {
        c.closing = true;
        if (c.socket && !c.socket->bytesToWrite())
            c.socket->disconnectFromHost();
    }

    void drained(int id) {
        const auto it = connections.find(id);
        if (it != connections.end() && it->second.closing && it->second.socket &&
            !it->second.socket->bytesToWrite())
            it->second.socket->disconnectFromHost();
    }

    void readable(int id) {
        const auto it = connections.find(id);
        if (it == connections.end() || !it->second.socket)
            return;
        Connection& c = it->second;
        const QByteArray bytes = c.socket->readAll();
        if (c.stream || c.closing)
            return; // nothing more is read from these
        c.lastActivity = now();
        if (c.started < 0 && !bytes.isEmpty())
            c.started = now();
        c.in += bytes;
        if (c.busy) {
            if (c.in.size() > kMaxAhead)
                closeAfterWrite(c);
            return;
        }
        next(id);
    }

    // The connection's next request, when the bytes for it are in.
    void next(int id) {
        Connection& c = connections.at(id);
        while (!c.busy && !c.closing && !c.stream) {
            switch (c.reader.feed(c.in)) {
            case RequestReader::State::NeedMore:
                if (c.in.isEmpty())
                    c.started = -1;
                return;
            case RequestReader::State::Refused: {
                log("http: refused a request from " + c.peer + ": " +
                    escapedForLog(c.reader.refusalReason()));
                Response r = errorResponse(c.reader.refusalStatus(), c.reader.refusalReason());
                r.close = true;
                return send(id, r);
            }
            case RequestReader::State::Complete: {
                const Request request = c.reader.request();
                c.reader.reset();
                c.started = c.in.isEmpty() ? -1 : now();
                c.head = request.method == "HEAD";
                ++c.requests;
                c.keepAlive = request.keepAlive;
                handle(id, request);
                break;
            }
            }
        }
    }

    void send(int id, Response r) {
        auto it = connections.find(id);
        if (it == connections.end())
            return;
        Connection& c = it->second;
        c.busy = false;
        if (!c.socket || c.gone)
            return;
        if (!c.keepAlive)
            r.close = true;
        QByteArray bytes = serialize(r);
        if (c.head)
            bytes.chop(r.body.size());
        c.socket->write(bytes);
        c.lastActivity = now();
        if (r.close)
            return closeAfterWrite(c);
        if (!c.in.isEmpty())
            QTimer::singleShot(0, &home, [this, id] {
                if (connections.count(id))
                    next(id);
            });
    }

    // ---- what a request may do ----

    void handle(int id, const Request& request) {
        Connection& c = connections.at(id);
        c.busy = true;
        const bool api = request.path.rfind("/api/", 0) == 0 || request.path == "/api";
        if (!hostAllowed(request.header("host"), c.local, c.loopback, rules)) {
            log("http: refused Host \"" + escapedForLog(request.header("host")) + "\" from " +
                c.peer);
            return send(id, errorResponse(403, "this service does not answer to that Host"));
        }
        const std::string site = request.header("sec-fetch-site");
        if (api && (site == "cross-site" || site == "same-site"))
            return send(id, errorResponse(403, "the API is not for other sites' pages"));
        if (!rules.token.empty() && !admitted(id, request))
            return;
        if (request.method == "POST") {
            const std::string why = writeRefusal(request, tls ? "https" : "http");
            if (!why.empty())
                return send(
                    id,
                    errorResponse(why.find("Content-Type") != std::string::npos ? 415 : 403, why));
        }
        Routed r = route(request, context());
        switch (r.kind) {
        case Routed::Kind::Answer:
            return send(id, r.answer);
        case Routed::Kind::Events:
            return startStream(id);
        case Routed::Kind::Method:
            return call(id, r.method, r.params);
        }
    }

    // False when the request was answered for want of the right token.
    bool admitted(int id, const Request& request) {
        Connection& c = connections.at(id);
        if (limiter.blocked(c.peer, now())) {
            Response r = errorResponse(429, "too many wrong keys from this address; wait a minute");
            r.close = true;
            send(id, r);
            return false;
        }
        TokenSource source = TokenSource::None;
        const std::string token = presentedToken(request, &source);
        if (source == TokenSource::None) {
            send(id, request.path.rfind("/api", 0) == 0
                         ? errorResponse(401, "this service wants its key: "
                                              "Authorization: Bearer KEY")
                         : tokenPage());
            return false;
        }
        if (!sameSecret(token, rules.token)) {
            limiter.failed(c.peer, now());
            log("http: wrong key from " + c.peer + " for " + escapedForLog(request.path));
            // Slowly, so that guessing costs time; the connection goes after.
            c.keepAlive = false;
            QTimer::singleShot(options.wrongTokenDelayMs, &home,
                               [this, id] { send(id, errorResponse(401, "wrong key")); });
            return false;
        }
        if (source == TokenSource::Query && request.method == "GET") {
            // Once in the address, then in a cookie, and out of the address bar.
            Response r;
            r.status = 303;
            r.contentType.clear();
            r.headers.emplace_back("Location", request.path);
            r.headers.emplace_back("Set-Cookie",
                                   tokenCookie(rules.token) + (tls ? "; Secure" : ""));
            r.headers.emplace_back("Cache-Control", "no-store");
            send(id, r);
            return false;
        }
        return true;
    }

    void call(int id, const std::string& method, const QJsonObject& params) {
        if (queued >= options.maxQueued)
            return send(id, errorResponse(503, "the device has too much to do; try again shortly"));
        ++queued;
        auto result = std::make_shared<service::MethodResult>();
        const service::MethodHandler methods = options.methods;
        events.queueJob([methods, method, params, result] { *result = methods(method, params); },
                        [this, alive = alive, id, method, params, result] {
                            if (!*alive)
                                return;
                            --queued;
                            events.answered(method, params, *result, "http");
                            // The page shows a change as pending until the readback has it.
                            if (!readsOnly(method, params))
                                events.readbackSoon();
                            send(id, methodResponse(*result));
                        });
    }

    // ---- the event stream ----

    void startStream(int id) {
        Connection& c = connections.at(id);
        if (streams() >= options.maxEventStreams)
            return send(id, errorResponse(503, "too many event streams open"));
        c.busy = false;
        c.stream = true;
        c.lastPing = now();
        c.socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\n"
                        "Cache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\n"
                        "Connection: keep-alive\r\n\r\nretry: 2000\n\n");
        event(c, "state", stateJson());
    }

    void event(Connection& c, const std::string& name, const QJsonObject& data) {
        if (!c.socket)
            return;
        // A reader that does not keep up is let go rather than buffered for.
        if (c.socket->bytesToWrite() > kMaxStreamBacklog) {
            log("http: dropped an event stream to " + c.peer + " that fell behind");
            c.socket->abort();
            return;
        }
        c.socket->write("event: " + QByteArray::fromStdString(name) +
                        "\ndata: " + QJsonDocument(data).toJson(QJsonDocument::Compact) + "\n\n");
    }

    void notified(const std::string& method, const QJsonObject& params) {
        std::vector<int> ids;
        for (const auto& [id, c] : connections)
            if (c.stream && !c.gone)
                ids.push_back(id);
        for (int id : ids)
            if (const auto it = connections.find(id); it != connections.end())
                event(it->second, method, params);
    }

    void tidy() {
        const qint64 t = now();
        std::vector<int> late, idle;
        for (auto& [id, c] : connections) {
            if (c.stream) {
                if (t - c.lastPing >= kEventPingMs && c.socket) {
                    c.lastPing = t;
                    c.socket->write(": ping\n\n");
                }
            } else if (!c.busy && c.started >= 0 && t - c.started > options.requestTimeoutMs)
                late.push_back(id);
            // One that has not asked anything yet gets no longer than a request would.
            else if (!c.busy && c.started < 0 &&
                     t - c.lastActivity >
                         (c.requests ? options.idleTimeoutMs : options.requestTimeoutMs))
                idle.push_back(id);
        }
        for (int id : late) {
            Response r = errorResponse(408, "the request took too long to arrive");
            r.close = true;
            send(id, r);
        }
        for (int id : idle)
            if (auto& c = connections.at(id); c.socket)
                c.socket->disconnectFromHost();
    }
};

bool parseListen(const std::string& text, std::string* address, int* port, std::string* why) {
    std::string portText = text;
    *address = "127.0.0.1";
    if (const auto colon = text.rfind(':'); colon != std::string::npos) {
        std::string host = text.substr(0, colon);
        portText = text.substr(colon + 1);
        if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
            host = host.substr(1, host.size() - 2);
        if (!QHostAddress().setAddress(QString::fromStdString(host))) {
            *why = "--http: \"" + host +
                   "\" is not an IP address (give one, or only a PORT for 127.0.0.1)";
            return false;
        }
        *address = host;
    }
    bool ok = false;
    const int value = QString::fromStdString(portText).toInt(&ok);
    if (!ok || value < 1 || value > 65535) {
        *why = "--http: \"" + portText + "\" is not a port (1 to 65535)";
        return false;
    }
    *port = value;
    return true;
}

WebServer::WebServer(service::Events& events, WebOptions options)
    : d_(std::make_unique<State>(events, std::move(options))) {
    State* d = d_.get();
    d->clock.start();
    d->rules.token = d->options.token;
    d->rules.hostNames = d->options.hostNames;
    d->housekeeping.setInterval(kHousekeepingMs);
    QObject::connect(&d->housekeeping, &QTimer::timeout, &d->home, [d] { d->tidy(); });
    service::Events::Observer observer;
    observer.notified = [d](const std::string& method, const QJsonObject& params) {
        d->notified(method, params);
    };
    d->subscription = events.subscribe(std::move(observer));
}

WebServer::~WebServer() {
    *d_->alive = false;
    stop();
    d_->events.unsubscribe(d_->subscription);
}

bool WebServer::listen(std::string* complaint) {
    State* d = d_.get();
    QHostAddress address;
    if (!address.setAddress(QString::fromStdString(d->options.address))) {
        *complaint = "--http: \"" + d->options.address + "\" is not an IP address";
        return false;
    }
    const bool loopback = isLoopback(address);
    if (!loopback && d->options.token.empty()) {
        *complaint = "--http: a key is needed beyond loopback";
        return false;
    }
    d->rules.loopbackOnly = loopback;
    if (loopback)
        d->rules.token.clear();
    if (!d->options.certFile.empty() || !d->options.keyFile.empty()) {
        QFile cert(QString::fromStdString(d->options.certFile));
        QFile key(QString::fromStdString(d->options.keyFile));
        if (d->options.certFile.empty() || d->options.keyFile.empty()) {
            *complaint = "--http-cert and --http-key go together";
            return false;
        }
        if (!QSslSocket::supportsSsl()) {
            *complaint = "this Qt has no TLS; put a reverse proxy in front instead";
            return false;
        }
        if (!cert.open(QIODevice::ReadOnly) || !key.open(QIODevice::ReadOnly)) {
            *complaint =
                "cannot read " + (cert.isOpen() ? d->options.keyFile : d->options.certFile);
            return false;
        }
        const QList<QSslCertificate> chain = QSslCertificate::fromData(cert.readAll(), QSsl::Pem);
        const QByteArray keyPem = key.readAll();
        QSslKey privateKey(keyPem, QSsl::Rsa, QSsl::Pem);
        if (privateKey.isNull())
            privateKey = QSslKey(keyPem, QSsl::Ec, QSsl::Pem);
        if (chain.isEmpty() || privateKey.isNull()) {
            *complaint = "--http-cert/--http-key: not a PEM certificate and its key";
            return false;
        }
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setLocalCertificateChain(chain);
        tls.setPrivateKey(privateKey);
        tls.setPeerVerifyMode(QSslSocket::VerifyNone);
        auto server = std::make_unique<QSslServer>();
        server->setSslConfiguration(tls);
        server->setHandshakeTimeout(d->options.requestTimeoutMs);
        d->server = std::move(server);
        d->tls = true;
    } else
        d->server = std::make_unique<QTcpServer>();
    d->rules.port = d->options.port;
    d->server->setMaxPendingConnections(d->options.maxConnections);
    if (!d->server->listen(address, quint16(d->options.port))) {
        *complaint = "--http: cannot listen on " + d->options.address + ":" +
                     std::to_string(d->options.port) + ": " +
                     d->server->errorString().toStdString();
        d->server.reset();
        return false;
    }
    d->rules.port = d->server->serverPort();
    QObject::connect(d->server.get(), &QTcpServer::pendingConnectionAvailable, &d->home,
                     [d] { d->accepted(); });
    d->housekeeping.start();
    return true;
}

void WebServer::stop() {
    State* d = d_.get();
    d->housekeeping.stop();
    if (d->server)
        d->server->close();
    for (auto& [id, c] : d->connections)
        if (c.socket) {
            c.socket->abort();
            c.socket->deleteLater();
        }
    d->connections.clear();
}

int WebServer::port() const {
    return d_->rules.port;
}

std::string WebServer::address(bool withToken) const {
    const State* d = d_.get();
    std::string host = d->options.address;
    if (host == "0.0.0.0" || host == "::")
        host = d->options.hostNames.empty() ? "127.0.0.1" : d->options.hostNames.front();
    else if (host.find(':') != std::string::npos)
        host = "[" + host + "]";
    std::string url =
        std::string(d->tls ? "https" : "http") + "://" + host + ":" + std::to_string(port()) + "/";
    if (withToken && !d->rules.token.empty())
        url += "?token=" + d->rules.token;
    return url;
}

int WebServer::connectionCount() const {
    return int(d_->connections.size());
}

int WebServer::eventStreamCount() const {
    return d_->streams();
}

} // namespace http
