// korvanta serve on the simulated device, and its clients: the wire, the
// queue and holds, the forwarding link, the socket's life, unplugging.
#include "link/Trace.h"
#include "service/RpcFrame.h"
#include "service/ServiceClient.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <csignal>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QString korvantaProgram() {
    const QString program = qEnvironmentVariable("KORVANTA_CLI");
    return program.isEmpty() ? QCoreApplication::applicationDirPath() + "/../cli/korvanta"
                             : program;
}

struct Run {
    int code = -1;
    QByteArray out;
    QByteArray err;
};

// A raw connection, for what a well-behaved client would never send.
class Peer {
public:
    explicit Peer(const QString& path) {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        const QByteArray p = path.toLocal8Bit();
        std::memcpy(addr.sun_path, p.constData(), std::size_t(p.size()));
        if (::connect(fd_, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~Peer() { close(); }
    void close() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }
    bool ok() const { return fd_ >= 0; }
    void shutdownWrite() { ::shutdown(fd_, SHUT_WR); }
    bool send(const QByteArray& bytes) {
        for (qsizetype done = 0; done < bytes.size();) {
            const ssize_t n = ::send(fd_, bytes.constData() + done,
                                     std::size_t(bytes.size() - done), MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            done += n;
        }
        return true;
    }
    // The next message, or Invalid when none came within `ms`.
    service::Message next(int ms = 10000) {
        for (;;) {
            if (const qsizetype end = in_.indexOf('\n'); end >= 0) {
                const QByteArray line = in_.left(end);
                in_.remove(0, end + 1);
                return service::parseMessage(line);
            }
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, ms) <= 0)
                return {};
            char buffer[4096];
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n <= 0)
                return {};
            in_.append(buffer, n);
        }
    }
    // The answer to request `id`, notifications skipped.
    service::Message answer(int id, int ms = 10000) {
        for (;;) {
            service::Message m = next(ms);
            if (m.kind == service::Message::Invalid ||
                (m.kind != service::Message::Notification && m.id == QJsonValue(id)))
                return m;
        }
    }
    // The next notification named `method`.
    service::Message notification(const std::string& method, int ms = 10000) {
        for (;;) {
            service::Message m = next(ms);
            if (m.kind == service::Message::Invalid ||
                (m.kind == service::Message::Notification && m.method == method))
                return m;
        }
    }

private:
    int fd_ = -1;
    QByteArray in_;
};

QByteArray transactLine(int id, const QByteArray& hex, int expected) {
    return service::requestLine(id, "transact",
                                {{"request", QString::fromLatin1(hex)}, {"expected", expected}});
}

// Request and reply bytes of a trace, without the times.
QStringList exchanges(const QString& path) {
    std::vector<TraceEntry> entries;
    std::string error;
    if (!readTraceFile(path.toStdString(), &entries, &error))
        return {QString::fromStdString(error)};
    QStringList lines;
    for (const TraceEntry& e : entries)
        lines << QString::fromStdString(Trace::formatLine(0, e.request.data(),
                                                          int(e.request.size()), e.reply.data(),
                                                          int(e.reply.size()), e.result))
                     .section('\t', 1);
    return lines;
}

// The request column alone. Replies that carry the settings block change
// with any client's write, so they cannot tell one flow from another.
QStringList requests(const QString& path) {
    QStringList out;
    for (const QString& e : exchanges(path))
        out << e.section('\t', 0, 0);
    return out;
}

} // namespace

class ServiceTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void helloAndForwardedSettings();
    void badRequests_data();
    void badRequests();
    void holdKeepsOthersWaitingUntilHolderVanishes();
    void clientsInterleaveWithoutMixing();
    void sameOutputThroughTheService_data();
    void sameOutputThroughTheService();
    void staleSocketTakenOverLiveOneRefused();
    void unplugAndReplug();
    void directUseMeetsTheServicesLock();
    void halfClosedClientIsAnswered();
    void burstDoesNotKeepOthersWaiting();
    void silentDeviceFailsRequestsAtOnce();
    void serviceStoppedMidWriteIsSaidSo();
    void concurrentEdidWritesAreEachOneFlow();
    void quietHoldEndsWhileOthersHearWaiting();
    void outOfDescriptorsDoesNotSpin();
    void plantedSocketIsRefused();
    void sceneFollowsTheSourceOnce();
    void sceneMethodsRunOnTheHeldDevice();

private:
    QProcessEnvironment environment(const QString& runtime) const;
    bool startService(QProcess* p, const QStringList& extra = {}, const QString& runtime = {});
    Run korvanta(const QStringList& args, const QString& runtime = {});
    QString socketPath() const { return dir->filePath("run/korvanta/sim-1.sock"); }

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<QProcess> serve;
};

QProcessEnvironment ServiceTest::environment(const QString& runtime) const {
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert("XDG_RUNTIME_DIR", runtime.isEmpty() ? dir->filePath("run") : runtime);
    e.insert("KORVANTA_LINK", "simulator");
    // The user's own scenes never recall themselves in a test.
    e.insert("XDG_CONFIG_HOME", dir->filePath("config"));
    for (const char* name :
         {"KORVANTA_TRACE", "KORVANTA_SIM_FAULTS", "KORVANTA_SIM_STATE", "KORVANTA_SOCKET",
          "KORVANTA_DEVICE", "KORVANTA_SIM_UNITS", "KORVANTA_SIM_PLUG"})
        e.remove(name);
    return e;
}

void ServiceTest::init() {
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    QVERIFY(QDir(dir->path()).mkpath("run"));
    QVERIFY(QFile::setPermissions(dir->filePath("run"), QFileDevice::ReadOwner |
                                                            QFileDevice::WriteOwner |
                                                            QFileDevice::ExeOwner));
    serve = std::make_unique<QProcess>();
    QVERIFY(startService(serve.get(), {"--trace", dir->filePath("service.log")}));
}

void ServiceTest::cleanup() {
    if (serve && serve->state() != QProcess::NotRunning) {
        serve->terminate();
        QVERIFY(serve->waitForFinished(10000));
        QCOMPARE(serve->exitCode(), 0);
        // A clean stop takes its socket with it.
        QVERIFY(!QFile::exists(socketPath()));
    }
    serve.reset();
}

bool ServiceTest::startService(QProcess* p, const QStringList& extra, const QString& runtime) {
    QProcessEnvironment e = environment(runtime);
    for (const QString& kv : extra.filter(QRegularExpression("^ENV:")))
        e.insert(kv.mid(4).section('=', 0, 0), kv.mid(4).section('=', 1));
    QStringList args = extra;
    args.removeIf([](const QString& a) { return a.startsWith("ENV:"); });
    p->setProcessEnvironment(e);
    p->setReadChannel(QProcess::StandardError);
    p->start(korvantaProgram(), QStringList{"serve", "--poll-ms", "100"} + args);
    QByteArray said;
    while (p->waitForReadyRead(10000)) {
        said += p->readAllStandardError();
        if (said.contains("serving device"))
            return true;
    }
    qWarning("serve said: %s", said.constData());
    return false;
}

Run ServiceTest::korvanta(const QStringList& args, const QString& runtime) {
    QProcess p;
    p.setProcessEnvironment(environment(runtime));
    p.start(korvantaProgram(), args);
    if (!p.waitForFinished(30000))
        return {};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

void ServiceTest::helloAndForwardedSettings() {
    Peer peer(socketPath());
    QVERIFY(peer.ok());
    const service::Message hello = peer.next();
    QCOMPARE(hello.kind, service::Message::Notification);
    QCOMPARE(hello.method, std::string("hello"));
    QCOMPARE(hello.params.value("protocol").toInt(), service::kProtocolVersion);
    QCOMPARE(hello.params.value("device").toString(), QString("sim-1"));
    const QJsonArray methods = hello.params.value("methods").toArray();
    for (const char* m : {"transact", "hold", "release"})
        QVERIFY2(methods.contains(QString(m)), m);

    // A setting written by one program is read back by the service's poll and
    // announced to every client.
    const Run set = korvanta({"set", "input=b"});
    QCOMPARE(set.code, 0);
    for (;;) {
        const service::Message m = peer.notification("settingsChanged");
        QCOMPARE(m.kind, service::Message::Notification);
        if (m.params.value("settings").toObject().value("input") == QJsonValue("b"))
            break;
    }
    // A values read forwarded by hand: the device's own answer, its fault named.
    QVERIFY(peer.send(transactLine(7, "112AE1", 42)));
    const service::Message read = peer.answer(7);
    QCOMPARE(read.kind, service::Message::Result);
    service::TransactAnswer answer;
    QVERIFY(service::parseTransactAnswer(read.result, &answer));
    QVERIFY(answer.result);
    QCOMPARE(answer.fault, TransactionFault::None);
    QCOMPARE(int(answer.reply.size()), 42);
    QCOMPARE(answer.reply[0], std::uint8_t(0xE1));
}

void ServiceTest::badRequests_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("code");
    QTest::newRow("not JSON") << QByteArray("{\"jsonrpc\": \"2.0\", \"id\": 1,")
                              << int(service::kParseError);
    QTest::newRow("an array") << QByteArray("[1, 2]") << int(service::kInvalidRequest);
    QTest::newRow("no version") << QByteArray(R"({"id": 1, "method": "hello"})")
                                << int(service::kInvalidRequest);
    QTest::newRow("unknown method")
        << QByteArray(R"({"jsonrpc": "2.0", "id": 1, "method": "explode"})")
        << int(service::kMethodNotFound);
    QTest::newRow("transact without bytes")
        << QByteArray(
               R"({"jsonrpc": "2.0", "id": 1, "method": "transact", "params": {"expected": 2}})")
        << int(service::kInvalidParams);
    QTest::newRow("transact, odd hex")
        << QByteArray(
               R"({"jsonrpc": "2.0", "id": 1, "method": "transact", "params": {"request": "112", "expected": 2}})")
        << int(service::kInvalidParams);
    QTest::newRow("over 1 MiB") << QByteArray(service::kMaxLineBytes + 1, 'x')
                                << int(service::kRequestTooLarge);
}

void ServiceTest::badRequests() {
    QFETCH(QByteArray, line);
    QFETCH(int, code);
    Peer peer(socketPath());
    QVERIFY(peer.ok());
    QVERIFY(peer.send(line + '\n'));
    service::Message m;
    do
        m = peer.next();
    while (m.kind == service::Message::Notification);
    QCOMPARE(m.kind, service::Message::Error);
    QCOMPARE(m.errorCode, code);
    // The same connection goes on.
    QVERIFY(peer.send(service::requestLine(2, "hello", {})));
    const service::Message hello = peer.answer(2);
    QCOMPARE(hello.kind, service::Message::Result);
    QCOMPARE(hello.result.toObject().value("protocol").toInt(), service::kProtocolVersion);
}

void ServiceTest::holdKeepsOthersWaitingUntilHolderVanishes() {
    Peer holder(socketPath());
    Peer other(socketPath());
    QVERIFY(holder.ok() && other.ok());
    QVERIFY(holder.send(service::requestLine(1, "hold", {})));
    QCOMPARE(holder.answer(1).result.toObject().value("held").toBool(), true);

    // The other's request comes first (the service has read it once it
    // answers the hello behind it); were it not kept waiting, its answer would
    // go out before the holder's.
    QVERIFY(other.send(transactLine(5, "112AE1", 42) + service::requestLine(6, "hello", {})));
    QCOMPARE(other.answer(6).kind, service::Message::Result);
    QVERIFY(holder.send(transactLine(2, "112AE1", 42)));
    QCOMPARE(holder.answer(2).kind, service::Message::Result);
    QCOMPARE(other.answer(5, 0).kind, service::Message::Invalid);

    // The holder vanishes mid-hold: the device is free again.
    holder.close();
    const service::Message late = other.answer(5);
    QCOMPARE(late.kind, service::Message::Result);
    QCOMPARE(late.result.toObject().value("fault").toString(), QString("none"));
}

void ServiceTest::clientsInterleaveWithoutMixing() {
    // Each command alone on a device of its own, directly: the exchanges to expect.
    const QString direct = dir->filePath("direct");
    QVERIFY(QDir().mkpath(direct));
    QVERIFY(QFile::setPermissions(direct, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ExeOwner));
    const QStringList readEdid{"edid", "read", "device", "-o", dir->filePath("edid.bin")};
    const QStringList setInput{"set", "input=b", "input=a"};
    QCOMPARE(
        korvanta(QStringList{"--direct", "--trace", dir->filePath("d1.log")} + readEdid, direct)
            .code,
        0);
    QCOMPARE(
        korvanta(QStringList{"--direct", "--trace", dir->filePath("d2.log")} + setInput, direct)
            .code,
        0);

    // Through the service, at once: an EDID read against setting writes.
    QProcess reader;
    reader.setProcessEnvironment(environment({}));
    reader.start(korvantaProgram(), QStringList{"--trace", dir->filePath("s1.log")} + readEdid);
    QVERIFY(reader.waitForStarted());
    int writes = 0;
    for (; writes < 20 && reader.state() != QProcess::NotRunning; ++writes) {
        const Run r = korvanta(
            QStringList{"--trace", dir->filePath(QString("s2-%1.log").arg(writes))} + setInput);
        QCOMPARE(r.code, 0);
        QCOMPARE(exchanges(dir->filePath(QString("s2-%1.log").arg(writes))),
                 exchanges(dir->filePath("d2.log")));
    }
    QVERIFY(reader.waitForFinished(30000));
    QCOMPARE(reader.exitCode(), 0);
    // The EDID's own chunk reads bring the same bytes whatever the writes did.
    const QRegularExpression chunk("^11 10 B0 ");
    QCOMPARE(exchanges(dir->filePath("s1.log")).filter(chunk),
             exchanges(dir->filePath("d1.log")).filter(chunk));
    QVERIFY(!exchanges(dir->filePath("d1.log")).filter(chunk).isEmpty());
    QCOMPARE(requests(dir->filePath("s1.log")), requests(dir->filePath("d1.log")));
    QVERIFY(writes > 0);

    // On the device the EDID read is one piece: its first request to its last,
    // nobody else's in between.
    const QStringList read = requests(dir->filePath("d1.log"));
    const QStringList device = requests(dir->filePath("service.log"));
    const qsizetype first = device.indexOf(read.first());
    QVERIFY(first >= 0);
    QCOMPARE(device.mid(first, read.size()), read);
}

void ServiceTest::sameOutputThroughTheService_data() {
    QTest::addColumn<QStringList>("args");
    QTest::newRow("get") << QStringList{"get"};
    QTest::newRow("get, two names") << QStringList{"get", "input", "hdcp"};
    QTest::newRow("get --json") << QStringList{"--json", "get", "input"};
    QTest::newRow("status") << QStringList{"status"};
    QTest::newRow("unknown name") << QStringList{"get", "colour-of-sky"};
    QTest::newRow("cec send") << QStringList{"cec", "send", "0f:36"};
}

void ServiceTest::sameOutputThroughTheService() {
    QFETCH(QStringList, args);
    const QString direct = dir->filePath("direct");
    QVERIFY(QDir().mkpath(direct));
    QVERIFY(QFile::setPermissions(direct, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ExeOwner));
    const Run alone = korvanta(QStringList{"--direct"} + args, direct);
    const Run served = korvanta(args);
    QCOMPARE(served.code, alone.code);
    QCOMPARE(served.out, alone.out);
    QCOMPARE(served.err, alone.err);
}

void ServiceTest::staleSocketTakenOverLiveOneRefused() {
    // A second service for the same device leaves the live one alone.
    QProcess second;
    second.setProcessEnvironment(environment({}));
    second.start(korvantaProgram(), {"serve", "--poll-ms", "100"});
    QVERIFY(second.waitForFinished(10000));
    QCOMPARE(second.exitCode(), 1);
    QVERIFY2(second.readAllStandardError().contains("already answers on"), "names the live one");
    Peer stillThere(socketPath());
    QVERIFY(stillThere.ok());
    stillThere.close();

    // Killed, the service leaves its socket behind; the next one takes it over.
    serve->kill();
    QVERIFY(serve->waitForFinished(10000));
    QVERIFY(QFile::exists(socketPath()));
    QVERIFY(!Peer(socketPath()).ok());
    // Nobody answers there, so korvanta opens its own device.
    QCOMPARE(korvanta({"get", "input"}).code, 0);
    serve = std::make_unique<QProcess>();
    QVERIFY(startService(serve.get()));
    Peer again(socketPath());
    QVERIFY(again.ok());
    QCOMPARE(again.next().method, std::string("hello"));
}

void ServiceTest::unplugAndReplug() {
    serve->terminate();
    QVERIFY(serve->waitForFinished(10000));
    const QString plug = dir->filePath("unplugged");
    serve = std::make_unique<QProcess>();
    QVERIFY(startService(serve.get(), {"ENV:KORVANTA_SIM_PLUG=" + plug}));
    Peer peer(socketPath());
    QVERIFY(peer.ok());
    QVERIFY(peer.next().params.value("deviceOpen").toBool());

    QFile pulled(plug);
    QVERIFY(pulled.open(QIODevice::WriteOnly));
    QVERIFY(pulled.write("unplugged\n") > 0);
    pulled.close();
    QCOMPARE(peer.notification("deviceLost").kind, service::Message::Notification);
    // Meanwhile an error at once, never a hang, nor a wait for the look
    // for the device (a whole reply window each, once).
    QElapsedTimer lostClock;
    lostClock.start();
    const Run lost = korvanta({"get", "input"});
    QVERIFY2(lostClock.elapsed() < 2500, qPrintable(QString::number(lostClock.elapsed())));
    QCOMPARE(lost.code, 1);
    QVERIFY2(lost.err.contains("no device is open"), lost.err.constData());
    // A raw transact says the same, and a fault is never a true result.
    QVERIFY(peer.send(transactLine(9, "112AE1", 42)));
    service::TransactAnswer raw;
    QVERIFY(service::parseTransactAnswer(peer.answer(9).result, &raw));
    QCOMPARE(raw.fault, TransactionFault::NoDevice);
    QVERIFY(!raw.result);

    QVERIFY(QFile::remove(plug));
    QCOMPARE(peer.notification("deviceFound").kind, service::Message::Notification);
    const Run back = korvanta({"get", "input"});
    QCOMPARE(back.code, 0);
    QCOMPARE(back.out, QByteArray("input=a\n"));
}

void ServiceTest::directUseMeetsTheServicesLock() {
    const Run direct = korvanta({"--direct", "get", "input"});
    QCOMPARE(direct.code, 1);
    // Told to go through the service, not to start one.
    QVERIFY2(direct.err.contains("is in use by korvanta serve (pid "), direct.err.constData());
    QVERIFY2(direct.err.contains("Go through it: leave out --direct if you gave it"),
             direct.err.constData());
    QVERIFY2(direct.err.contains("KORVANTA_SOCKET"), direct.err.constData());
    QVERIFY(direct.out.isEmpty());
    // And the list says whose the unit is, not that it may be opened.
    const Run devices = korvanta({"devices"});
    QCOMPARE(devices.code, 0);
    QVERIFY2(devices.out.contains("held by korvanta serve (" + socketPath().toUtf8() + ")"),
             devices.out.constData());
}

// One client's hundred EDID reads (seconds of device work) neither stop the
// service from taking a new client nor make that client wait its turn
// behind all of them.
void ServiceTest::burstDoesNotKeepOthersWaiting() {
    Peer burst(socketPath());
    QVERIFY(burst.ok());
    QByteArray lines;
    for (int i = 1; i <= 100; ++i)
        lines += service::requestLine(i, "edid.read", {{"source", "device"}});
    QVERIFY(burst.send(lines));
    QVERIFY(burst.answer(1).kind == service::Message::Result);
    QElapsedTimer clock;
    clock.start();
    const Run get = korvanta({"get", "input"});
    QCOMPARE(get.code, 0);
    QVERIFY2(clock.elapsed() < 600, qPrintable(QString::number(clock.elapsed())));
    // The burst is still under way: the get did not merely come after it.
    QVERIFY(burst.send(service::requestLine(200, "hello", {})));
    service::Message m;
    int answered = 1;
    while ((m = burst.next()).kind != service::Message::Invalid && m.id != QJsonValue(200))
        answered += m.kind == service::Message::Result;
    QVERIFY2(answered < 100, qPrintable(QString::number(answered)));
}

// A device that opens but never answers is lost once; after that the look
// for it must not make each request wait out a reply window.
void ServiceTest::silentDeviceFailsRequestsAtOnce() {
    cleanup();
    serve = std::make_unique<QProcess>();
    QVERIFY(startService(serve.get(), {"ENV:KORVANTA_SIM_FAULTS=after=12,silent"}));
    Peer peer(socketPath());
    QVERIFY(peer.ok());
    QCOMPARE(peer.notification("deviceLost", 20000).kind, service::Message::Notification);
    for (const QStringList& args : {QStringList{"get", "input"}, QStringList{"--json", "status"}}) {
        QElapsedTimer clock;
        clock.start();
        const Run r = korvanta(args);
        QCOMPARE(r.code, 1);
        QVERIFY2(clock.elapsed() < 600, qPrintable(QString::number(clock.elapsed())));
    }
}

// A service stopped under a client's flow is what the client reports, not a
// device that did not answer.
void ServiceTest::serviceStoppedMidWriteIsSaidSo() {
    const QString file = dir->filePath("own.bin");
    QCOMPARE(korvanta({"edid", "read", "device", "-o", file}).code, 0);
    QProcess writer;
    writer.setProcessEnvironment(environment({}));
    writer.start(korvantaProgram(), {"edid", "write", "--custom", file});
    QVERIFY(writer.waitForStarted());
    QTest::qWait(400);
    QCOMPARE(writer.state(), QProcess::Running);
    serve->terminate();
    QVERIFY(serve->waitForFinished(10000));
    QVERIFY(writer.waitForFinished(10000));
    const QByteArray said = writer.readAllStandardError();
    QVERIFY(writer.exitCode() != 0);
    QVERIFY2(said.contains("the service went away"), said.constData());
    QVERIFY2(!said.contains("did not answer"), said.constData());
}

// Two programs writing EDIDs at once: each write's switch, read, commit and
// verify are one flow, so neither verifies against the other's EDID.
void ServiceTest::concurrentEdidWritesAreEachOneFlow() {
    const QString a = dir->filePath("a.bin"), b = dir->filePath("b.bin");
    QCOMPARE(korvanta({"edid", "read", "device", "-o", a}).code, 0);
    QCOMPARE(korvanta({"edid", "edit", a, "--name", "OTHER", "-o", b}).code, 0);
    for (int round = 0; round < 3; ++round) {
        QProcess first, second;
        for (auto [p, file] : {std::pair{&first, a}, std::pair{&second, b}}) {
            p->setProcessEnvironment(environment({}));
            p->start(korvantaProgram(), {"edid", "write", "--custom", file});
        }
        for (QProcess* p : {&first, &second}) {
            QVERIFY(p->waitForFinished(30000));
            QVERIFY2(p->exitCode() == 0, p->readAllStandardError().constData());
        }
    }
}

// As `nc -N` does: the request, then the end of what the client sends.
void ServiceTest::halfClosedClientIsAnswered() {
    Peer peer(socketPath());
    QVERIFY(peer.ok());
    QVERIFY(peer.send(transactLine(3, "112AE1", 42)));
    peer.shutdownWrite();
    const service::Message m = peer.answer(3);
    QCOMPARE(m.kind, service::Message::Result);
    QCOMPARE(m.result.toObject().value("fault").toString(), QString("none"));
}

// A client that takes the device and then says nothing loses it; those
// waiting meanwhile hear `waiting` every second, not silence.
void ServiceTest::quietHoldEndsWhileOthersHearWaiting() {
    Peer holder(socketPath());
    Peer other(socketPath());
    QVERIFY(holder.ok() && other.ok());
    QVERIFY(holder.send(service::requestLine(1, "hold", {})));
    QCOMPARE(holder.answer(1).result.toObject().value("held").toBool(), true);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(other.send(transactLine(2, "112AE1", 42)));
    int waiting = 0;
    service::Message m;
    for (;;) {
        m = other.next(3000);
        if (m.kind != service::Message::Notification)
            break;
        waiting += m.method == "waiting";
    }
    QCOMPARE(m.kind, service::Message::Result);
    QCOMPARE(m.id, QJsonValue(2));
    QVERIFY2(clock.elapsed() >= 9000 && clock.elapsed() < 15000,
             qPrintable(QString::number(clock.elapsed())));
    QVERIFY2(waiting >= 7, qPrintable(QString::number(waiting)));
    const service::Message ended = holder.notification("holdEnded", 2000);
    QCOMPARE(ended.kind, service::Message::Notification);
}

// With no descriptor to accept into, the service pauses accepting instead
// of spinning on a listener that stays readable, and goes on once one frees.
void ServiceTest::outOfDescriptorsDoesNotSpin() {
    cleanup();
    const QString runtime = dir->filePath("few");
    QVERIFY(QDir().mkpath(runtime));
    QVERIFY(QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                               QFileDevice::ExeOwner));
    serve = std::make_unique<QProcess>();
    QProcessEnvironment e = environment(runtime);
    serve->setProcessEnvironment(e);
    serve->setReadChannel(QProcess::StandardError);
    serve->start("/bin/sh",
                 {"-c", "ulimit -n 30 && exec \"$0\" serve --poll-ms 100", korvantaProgram()});
    QByteArray said;
    while (!said.contains("serving device") && serve->waitForReadyRead(10000))
        said += serve->readAllStandardError();
    QVERIFY2(said.contains("serving device"), said.constData());
    const QString sock = runtime + "/korvanta/sim-1.sock";
    std::vector<std::unique_ptr<Peer>> peers;
    for (int i = 0; i < 40; ++i)
        peers.push_back(std::make_unique<Peer>(sock));
    const auto cpuTicks = [pid = serve->processId()] {
        QFile stat(QString("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            return -1LL;
        const QList<QByteArray> f = stat.readAll().split(')').value(1).split(' ');
        return f.value(12).toLongLong() + f.value(13).toLongLong(); // utime + stime
    };
    const long long before = cpuTicks();
    QTest::qWait(2000);
    const long long used = cpuTicks() - before;
    QVERIFY2(used >= 0 && used < sysconf(_SC_CLK_TCK) / 2,
             qPrintable(QString::number(used) + " ticks in 2 s"));
    peers.clear();
    const Run get = korvanta({"get", "input"}, runtime);
    QCOMPARE(get.code, 0);
    serve->terminate();
    QVERIFY(serve->waitForFinished(10000));
}

// Another user's socket in a folder anyone could write to: nothing is sent
// to it, and the user is told whose it is.
void ServiceTest::plantedSocketIsRefused() {
    if (::geteuid() != 0)
        QSKIP("needs root, to plant the socket as another user");
    const QString runtime = dir->filePath("open");
    QVERIFY(QDir().mkpath(runtime + "/korvanta"));
    // The way down must be open to the planter too.
    for (const QString& folder : {dir->path(), runtime})
        QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0711) == 0);
    QVERIFY(::chmod(QFile::encodeName(runtime + "/korvanta").constData(), 0777) == 0);
    const QByteArray path = QFile::encodeName(runtime + "/korvanta/sim-1.sock");
    int ready[2];
    QVERIFY(::pipe(ready) == 0);
    const pid_t child = ::fork();
    if (child == 0) {
        // Only system calls from here: this is a copy of a threaded process.
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(1);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::memcpy(addr.sun_path, path.constData(), std::size_t(path.size()));
        if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(fd, 4) != 0)
            ::_exit(1);
        (void)::write(ready[1], "r", 1);
        static const char hello[] = R"({"jsonrpc":"2.0","method":"hello","params":{"protocol":1}})"
                                    "\n";
        for (;;) {
            const int c = ::accept(fd, nullptr, nullptr);
            if (c >= 0)
                (void)::write(c, hello, sizeof hello - 1);
        }
    }
    QVERIFY(child > 0);
    char byte = 0;
    const bool planted = ::read(ready[0], &byte, 1) == 1;
    ::close(ready[0]);
    ::close(ready[1]);
    const Run get = korvanta({"get", "input"}, runtime);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    QVERIFY(planted);
    QVERIFY(get.code != 0);
    QVERIFY2(get.err.contains("uid 65534"), get.err.constData());
    QVERIFY(get.out.isEmpty());
}

QTEST_GUILESS_MAIN(ServiceTest)
#include "tst_core_service.moc"

// A scene whose rule matches the playing source is recalled once; a user's
// change after that stays.
void ServiceTest::sceneFollowsTheSourceOnce() {
    cleanup();
    QVERIFY(QDir().mkpath(dir->filePath("config/korvanta/scenes")));
    QFile scene(dir->filePath("config/korvanta/scenes/Films.json"));
    QVERIFY(scene.open(QIODevice::WriteOnly));
    scene.write(R"({"format": "korvanta-backup", "formatVersion": 1,
                    "settings": {"hdr": "off"},
                    "scene": {"when": {"source": "gameco*"}}})");
    scene.close();
    serve = std::make_unique<QProcess>();
    QVERIFY(startService(serve.get()));
    Peer peer(socketPath());
    QVERIFY(peer.ok());
    // The console on input b appears.
    QCOMPARE(korvanta({"set", "input=b"}).code, 0);
    const service::Message recalled = peer.notification("sceneRecalled");
    QCOMPARE(recalled.params.value("scene").toString(), QString("Films"));
    QCOMPARE(recalled.params.value("exitCode").toInt(), 0);
    QCOMPARE(korvanta({"get", "hdr"}).out, QByteArray("hdr=off\n"));

    QCOMPARE(korvanta({"set", "hdr=on"}).code, 0);
    // Several polls later the user's choice stands and nothing was recalled.
    for (int polls = 0; polls < 5; ++polls) {
        const service::Message m = peer.next(1000);
        QVERIFY(m.kind == service::Message::Invalid || m.method != "sceneRecalled");
    }
    QCOMPARE(korvanta({"get", "hdr"}).out, QByteArray("hdr=on\n"));
    serve->terminate();
    QVERIFY(serve->waitForFinished(10000));
    QVERIFY(
        serve->readAllStandardError().contains("scene Films recalled (source gameco*): 1 change"));
}

// scene.save reads the held device into the service user's folder, scene.recall
// writes back only what differs, scene.list names a damaged file.
void ServiceTest::sceneMethodsRunOnTheHeldDevice() {
    Peer peer(socketPath());
    QVERIFY(peer.ok());
    const auto call = [&peer](int id, const std::string& method, const QJsonObject& params) {
        if (!peer.send(service::requestLine(id, method, params)))
            return QJsonObject();
        return peer.answer(id).result.toObject();
    };
    QCOMPARE(korvanta({"set", "input=a", "hdr=on", "cec=on"}).code, 0);
    QJsonObject r = call(1, "scene.save",
                         {{"name", "Films"},
                          {"only", QJsonArray{"input", "hdr"}},
                          {"when", QJsonObject{{"format", "1920x1080p24"}}}});
    QCOMPARE(r.value("exitCode").toInt(), 0);
    QVERIFY(QFile::exists(dir->filePath("config/korvanta/scenes/Films.json")));
    // Taken: refused with the store's reason, the file kept.
    r = call(2, "scene.save", {{"name", "Films"}});
    QCOMPARE(r.value("exitCode").toInt(), 2);
    QVERIFY2(r.value("message").toString().contains("is there already"),
             qPrintable(r.value("message").toString()));

    QCOMPARE(korvanta({"set", "input=b", "hdr=off", "cec=off"}).code, 0);
    Peer watcher(socketPath());
    QVERIFY(watcher.ok());
    r = call(3, "scene.recall", {{"name", "Films"}});
    QCOMPARE(r.value("exitCode").toInt(), 0);
    const QJsonArray plan = r.value("output").toObject().value("plan").toArray();
    QCOMPARE(plan, (QJsonArray{"input: b \u2192 a", "hdr: off \u2192 on"}));
    QCOMPARE(korvanta({"get", "input", "hdr", "cec"}).out,
             QByteArray("input=a\nhdr=on\ncec=off\n"));
    // Everyone hears of a recall, run by the method or by korvanta forwarding its own.
    service::Message heard = watcher.notification("sceneRecalled");
    QCOMPARE(heard.params.value("scene").toString(), QString("Films"));
    QCOMPARE(heard.params.value("by").toString(), QString("client"));
    QCOMPARE(korvanta({"set", "input=b"}).code, 0);
    QCOMPARE(korvanta({"scene", "recall", "Films"}).code, 0);
    heard = watcher.notification("sceneRecalled");
    QCOMPARE(heard.params.value("scene").toString(), QString("Films"));
    QCOMPARE(heard.params.value("changes").toArray(), (QJsonArray{"input: b \u2192 a"}));

    QFile bad(dir->filePath("config/korvanta/scenes/Broken.json"));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("{not json");
    bad.close();
    r = call(4, "scene.list", {});
    QCOMPARE(r.value("exitCode").toInt(), 1);
    const QJsonArray scenes = r.value("output").toObject().value("scenes").toArray();
    QCOMPARE(scenes.size(), 2);
    QCOMPARE(scenes[1].toObject().value("when").toObject().value("format").toString(),
             QString("1920x1080p24"));
    QVERIFY2(r.value("message").toString().contains("Broken.json"),
             qPrintable(r.value("message").toString()));
    r = call(5, "scene.recall", {{"name", "Broken"}});
    QCOMPARE(r.value("exitCode").toInt(), 2);
}
