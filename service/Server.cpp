#include "service/Server.h"

#include "edid/EdidRequests.h"
#include "link/AppState.h"
#include "link/RuntimePaths.h"
#include "link/UsbLink.h"
#include "service/DeviceWorker.h"
#include "service/RpcFrame.h"
#include "session/DeviceOps.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <map>

#include <grp.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace service {

namespace {

// A client that reads nothing while we notify it is dropped past this.
constexpr qsizetype kMaxPendingOutput = qsizetype(16) << 20;
// Clients kept waiting hear from us this often, so that they can tell a busy
// service from a hung one.
constexpr qint64 kWaitingPingMs = 1000;
// Often enough that a notice due is never a whole interval late.
constexpr int kHousekeepingMs = 250;
// A hold ends when its client has sent nothing for this long (the longest
// pause inside one of our flows is the EDID commit's few seconds) or has
// held the device this long in all.
constexpr qint64 kHoldIdleMs = 10000;
constexpr qint64 kHoldLongestMs = 60000;
// More clients than anyone runs; each costs a descriptor and its buffers.
constexpr std::size_t kMaxClients = 64;
// Out of descriptors: accepting again is tried this often, and at once when
// one of ours closes.
constexpr int kAcceptRetryMs = 200;
// A lost device's look waits this long for its answer (a device answers in
// a few milliseconds), not the whole reply window.
constexpr std::uint32_t kLookReplyMs = 500;

const std::vector<std::string> kLinkMethods = {"hello", "transact", "hold", "release"};

class QuietReporter : public session::Reporter {
public:
    void status(session::Level, const char*, int) override {}
    void diagnostic(const char*) override {}
};

sockaddr_un socketAddress(const std::string& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.data(), std::min(path.size(), sizeof addr.sun_path - 1));
    return addr;
}

std::string errnoText() {
    return std::strerror(errno);
}

QString hex(const std::uint8_t* bytes, int size) {
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(bytes), size).toHex().toUpper());
}

bool deviceGone(TransactionFault fault) {
    return fault == TransactionFault::WriteFailed || fault == TransactionFault::ReadFailed ||
           fault == TransactionFault::QueueFailed || fault == TransactionFault::NoDevice;
}

} // namespace

struct Server::State {
    struct Client {
        int fd = -1;
        std::unique_ptr<QSocketNotifier> reader;
        std::unique_ptr<QSocketNotifier> writer;
        LineSplitter splitter;
        QByteArray output;
        QElapsedTimer lastPing;
        QElapsedTimer lastHeard;
        long pid = 0;
        bool dead = false;
        bool readClosed = false; // sent all it will send: answer, then close
    };
    enum class JobKind { Transact, Hold, Release, Method, Poll, Local };
    struct Job {
        JobKind kind = JobKind::Poll;
        int client = 0; // 0: the service's own
        QJsonValue id;
        QByteArray rawId;
        bool reply = true;
        TransactParams transact;
        std::string method;
        QJsonObject params;
        Events::Job local;
        Events::Job then; // a local job's step back on the event loop
    };

    ServerOptions options;
    Events events;
    // Context of every timer and callback: they die with it. The worker
    // comes after it, so it ends first.
    QObject home;
    std::unique_ptr<DeviceWorker> worker = std::make_unique<DeviceWorker>(&home);
    int lastServed = 0;       // the client whose job ran last
    int inFlight = -1;        // the client whose job the device's thread runs
    bool deviceThere = false; // the device's thread's own view
    int listenFd = -1;
    ino_t socketInode = 0;
    gid_t groupId = 0;
    bool groupAccess = false;
    std::unique_ptr<QSocketNotifier> acceptor;
    std::map<int, Client> clients;
    int nextClient = 1;
    std::deque<Job> queue;
    int holder = 0;
    QElapsedTimer holdStarted;
    QTimer housekeeping; // waiting notices and hold limits, whatever else runs
    QTimer acceptRetry;
    bool running = false;
    bool deviceOpen = false;
    bool edidBusy = true;
    QByteArray lastBlock;
    QJsonObject lastStatus;
    QTimer pollTimer;
    QuietReporter reporter;

    void log(const std::string& text) {
        if (options.log)
            options.log(text);
    }

    // ---- the socket ----

    bool takeOverStale(const std::string& path, std::string* complaint) {
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0)
            return true;
        if (!S_ISSOCK(st.st_mode)) {
            *complaint = path + " exists and is not a socket; remove it or choose another --socket";
            return false;
        }
        const int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_un addr = socketAddress(path);
        const bool live = probe >= 0 && ::connect(probe, reinterpret_cast<const sockaddr*>(&addr),
                                                  sizeof addr) == 0;
        const int why = errno;
        if (probe >= 0)
            ::close(probe);
        if (live) {
            *complaint = "another korvanta serve already answers on " + path;
            return false;
        }
        if (why != ECONNREFUSED) {
            *complaint =
                "cannot tell whether a service answers on " + path + ": " + std::strerror(why);
            return false;
        }
        // Left behind by a service that was killed: nobody answers there.
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
            *complaint = "cannot remove the stale socket " + path + ": " + errnoText();
            return false;
        }
        return true;
    }

    bool lookUpGroup(std::string* complaint) {
        if (options.socketGroup.empty())
            return true;
        std::vector<char> buffer(16384);
        group g{};
        group* found = nullptr;
        if (getgrnam_r(options.socketGroup.c_str(), &g, buffer.data(), buffer.size(), &found) !=
                0 ||
            !found) {
            *complaint = "no group named \"" + options.socketGroup + "\"";
            return false;
        }
        groupId = found->gr_gid;
        groupAccess = true;
        return true;
    }

    bool listen(std::string* complaint) {
        const std::string& path = options.socketPath;
        if (!socketPathFits(path, complaint) || !lookUpGroup(complaint) ||
            !takeOverStale(path, complaint))
            return false;
        listenFd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (listenFd < 0) {
            *complaint = "cannot make a socket: " + errnoText();
            return false;
        }
        const sockaddr_un addr = socketAddress(path);
        // Born private: nobody else may connect between bind and chmod.
        const mode_t previous = umask(groupAccess ? 0117 : 0177);
        const bool bound =
            ::bind(listenFd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
        const int why = errno;
        umask(previous);
        if (!bound) {
            *complaint = "cannot bind " + path + ": " + std::strerror(why);
            closeListener();
            return false;
        }
        if ((groupAccess && ::chown(path.c_str(), uid_t(-1), groupId) != 0) ||
            ::chmod(path.c_str(), groupAccess ? 0660 : 0600) != 0 || ::listen(listenFd, 64) != 0) {
            *complaint = "cannot set up " + path + ": " + errnoText();
            ::unlink(path.c_str());
            closeListener();
            return false;
        }
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0)
            socketInode = st.st_ino;
        acceptor = std::make_unique<QSocketNotifier>(listenFd, QSocketNotifier::Read);
        QObject::connect(acceptor.get(), &QSocketNotifier::activated, &home,
                         [this] { acceptAll(); });
        return true;
    }

    void pauseAccepting() {
        if (!acceptor || !acceptor->isEnabled())
            return;
        acceptor->setEnabled(false);
        log("out of file descriptors; not accepting for a moment");
        acceptRetry.start(kAcceptRetryMs);
    }

    void resumeAccepting() {
        acceptRetry.stop();
        if (acceptor && !acceptor->isEnabled()) {
            acceptor->setEnabled(true);
            acceptAll();
        }
    }

    void closeListener() {
        acceptor.reset();
        if (listenFd >= 0)
            ::close(listenFd);
        listenFd = -1;
    }

    bool memberOfGroup(uid_t uid, gid_t primary) const {
        if (primary == groupId)
            return true;
        std::vector<char> buffer(16384);
        passwd pw{};
        passwd* found = nullptr;
        if (getpwuid_r(uid, &pw, buffer.data(), buffer.size(), &found) != 0 || !found)
            return false;
        int count = 64;
        std::vector<gid_t> groups(std::size_t(count), 0);
        if (getgrouplist(found->pw_name, found->pw_gid, groups.data(), &count) < 0) {
            groups.resize(std::size_t(count));
            if (getgrouplist(found->pw_name, found->pw_gid, groups.data(), &count) < 0)
                return false;
        }
        groups.resize(std::size_t(count));
        return std::find(groups.begin(), groups.end(), groupId) != groups.end();
    }

    bool peerAdmitted(int fd, long* pid) {
        ucred cred{};
        socklen_t length = sizeof cred;
        if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &length) != 0)
            return false;
        *pid = cred.pid;
        if (cred.uid == 0 || cred.uid == geteuid())
            return true;
        if (groupAccess && memberOfGroup(cred.uid, cred.gid))
            return true;
        log("refused a connection from user " + std::to_string(cred.uid) + " (process " +
            std::to_string(cred.pid) + ")");
        return false;
    }

    void acceptAll() {
        for (;;) {
            const int fd = accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) {
                // The connection stays in the backlog and the listener stays
                // readable: without a pause this would spin.
                if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                    pauseAccepting();
                return;
            }
            // Checked before a single byte is read from it.
            long pid = 0;
            if (!peerAdmitted(fd, &pid)) {
                ::close(fd);
                continue;
            }
            if (clients.size() >= kMaxClients) {
                const QByteArray refusal =
                    errorLine(QJsonValue::Null, kTooManyClients,
                              "the service has " + std::to_string(kMaxClients) +
                                  " clients already; try again when one has gone");
                (void)::send(fd, refusal.constData(), std::size_t(refusal.size()),
                             MSG_NOSIGNAL | MSG_DONTWAIT);
                ::close(fd);
                continue;
            }
            const int number = nextClient++;
            Client& c = clients[number];
            c.fd = fd;
            c.pid = pid;
            c.lastPing.start();
            c.lastHeard.start();
            c.reader = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
            QObject::connect(c.reader.get(), &QSocketNotifier::activated,
                             [this, number] { readFrom(number); });
            c.writer = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
            c.writer->setEnabled(false);
            QObject::connect(c.writer.get(), &QSocketNotifier::activated,
                             [this, number] { flush(number); });
            send(number, notificationLine("hello", hello()));
        }
    }

    QJsonObject hello() const {
        QJsonArray methods;
        for (const std::string& m : kLinkMethods)
            methods.append(QString::fromStdString(m));
        if (options.methodNames)
            for (const std::string& m : options.methodNames())
                methods.append(QString::fromStdString(m));
        return {
            {"protocol", kProtocolVersion}, {"program", "korvanta"},
            {"version", KORVANTA_VERSION},  {"device", QString::fromStdString(options.deviceId)},
            {"deviceOpen", deviceOpen},     {"methods", methods}};
    }

    void send(int number, const QByteArray& bytes) {
        auto it = clients.find(number);
        if (it == clients.end() || it->second.dead)
            return;
        it->second.output += bytes;
        flush(number);
    }

    void flush(int number) {
        auto it = clients.find(number);
        if (it == clients.end())
            return;
        Client& c = it->second;
        while (!c.output.isEmpty() && !c.dead) {
            const ssize_t n =
                ::send(c.fd, c.output.constData(), std::size_t(c.output.size()), MSG_NOSIGNAL);
            if (n > 0) {
                c.output.remove(0, n);
            } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                break;
            } else if (!(n < 0 && errno == EINTR)) {
                c.dead = true;
            }
        }
        if (c.output.size() > kMaxPendingOutput)
            c.dead = true;
        if (c.dead) {
            // Not here: we may be inside a loop over the clients.
            QTimer::singleShot(0, &home, [this, number] { drop(number); });
            return;
        }
        c.writer->setEnabled(!c.output.isEmpty());
        closeIfDone(number);
    }

    void notifyAll(const std::string& method, const QJsonObject& params) {
        const QByteArray line = notificationLine(method, params);
        std::vector<int> numbers;
        for (const auto& entry : clients)
            numbers.push_back(entry.first);
        for (int number : numbers)
            send(number, line);
    }

    void drop(int number) {
        auto it = clients.find(number);
        if (it == clients.end())
            return;
        it->second.reader.reset();
        it->second.writer.reset();
        ::close(it->second.fd);
        clients.erase(it);
        std::erase_if(queue, [number](const Job& j) { return j.client == number; });
        // A client that vanished mid-flow lets go of the device.
        if (holder == number)
            holder = 0;
        QTimer::singleShot(0, &home, [this] { resumeAccepting(); });
        processQueue();
    }

    bool hasQueued(int number) const {
        return std::any_of(queue.begin(), queue.end(),
                           [number](const Job& j) { return j.client == number; });
    }

    // A client that has shut down its sending side is closed once everything
    // it asked for is answered and sent.
    void closeIfDone(int number) {
        auto it = clients.find(number);
        if (it != clients.end() && it->second.readClosed && it->second.output.isEmpty() &&
            !hasQueued(number))
            QTimer::singleShot(0, &home, [this, number] { drop(number); });
    }

    void readFrom(int number) {
        std::vector<LineSplitter::Line> lines;
        bool ended = false, failed = false;
        char buffer[65536];
        for (;;) {
            auto it = clients.find(number);
            if (it == clients.end())
                return;
            const ssize_t n = ::read(it->second.fd, buffer, sizeof buffer);
            if (n > 0) {
                it->second.splitter.feed(buffer, n, &lines);
                it->second.lastHeard.restart();
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            ended = n == 0;
            failed = n < 0 && errno != EAGAIN && errno != EWOULDBLOCK;
            break;
        }
        for (const LineSplitter::Line& line : lines)
            take(number, line);
        if (failed)
            return drop(number);
        if (ended) {
            // A last request without its newline still counts.
            LineSplitter::Line last;
            if (auto it = clients.find(number);
                it != clients.end() && it->second.splitter.finish(&last))
                take(number, last);
            auto it = clients.find(number);
            if (it == clients.end())
                return;
            Client& c = it->second;
            c.readClosed = true;
            c.reader->setEnabled(false);
            // Its hold ends with its last request: nothing more can come.
            if (holder == number && !hasQueued(number))
                holder = 0;
        }
        processQueue();
        closeIfDone(number);
    }

    // ---- requests ----

    void take(int number, const LineSplitter::Line& line) {
        if (line.oversized) {
            send(number, errorLine(QJsonValue::Null, kRequestTooLarge,
                                   "request longer than " + std::to_string(kMaxLineBytes) +
                                       " bytes; skipped to the next line"));
            return;
        }
        if (line.text.trimmed().isEmpty())
            return;
        const Request r = parseRequest(line.text);
        if (!r.valid) {
            send(number, errorLine(r.id, r.errorCode, r.error, r.rawId));
            return;
        }
        Job job;
        job.client = number;
        job.id = r.id;
        job.rawId = r.rawId;
        job.reply = !r.notification;
        job.params = r.params;
        job.method = r.method;
        if (r.method == "hello") {
            if (job.reply)
                send(number, resultLine(r.id, hello(), r.rawId));
            return;
        }
        if (r.method == "transact") {
            std::string complaint;
            if (!parseTransactParams(r.params, &job.transact, &complaint)) {
                if (job.reply)
                    send(number, errorLine(r.id, kInvalidParams, complaint, r.rawId));
                return;
            }
            job.kind = JobKind::Transact;
        } else if (r.method == "hold") {
            job.kind = JobKind::Hold;
        } else if (r.method == "release") {
            job.kind = JobKind::Release;
        } else if (isMethod(r.method)) {
            job.kind = JobKind::Method;
        } else {
            if (job.reply)
                send(number,
                     errorLine(r.id, kMethodNotFound, "no method \"" + r.method + "\"", r.rawId));
            return;
        }
        queue.push_back(std::move(job));
    }

    bool isMethod(const std::string& name) const {
        if (!options.methods || !options.methodNames)
            return false;
        const std::vector<std::string> names = options.methodNames();
        return std::find(names.begin(), names.end(), name) != names.end();
    }

    bool eligible(const Job& job) const { return holder == 0 || job.client == holder; }

    // The next job to run: clients take turns, one job each, so a burst from
    // one of them cannot starve the others (the service's own poll and jobs
    // take their turn as client 0). Each client's jobs keep their order.
    std::deque<Job>::iterator nextJob() {
        const auto rank = [this](int client) {
            return client > lastServed ? client - lastServed : client - lastServed + (1 << 30);
        };
        auto best = queue.end();
        for (auto it = queue.begin(); it != queue.end(); ++it)
            if (eligible(*it) && (best == queue.end() || rank(it->client) < rank(best->client)))
                best = it;
        return best;
    }

    void processQueue() {
        if (running)
            return;
        running = true;
        for (;;) {
            auto it = nextJob();
            if (it == queue.end())
                break;
            Job job = std::move(*it);
            queue.erase(it);
            lastServed = job.client;
            if (runHere(job))
                continue;
            dispatch(std::move(job));
            return; // `running` stays set until the device thread is done
        }
        running = false;
    }

    // What needs no device runs on the event loop at once: holds, and any
    // request while the device is lost.
    bool runHere(Job& job) {
        switch (job.kind) {
        case JobKind::Hold:
            if (holder != job.client)
                holdStarted.start();
            holder = job.client;
            answer(job, QJsonObject{{"held", true}});
            return true;
        case JobKind::Release: {
            const bool held = holder == job.client;
            if (held)
                holder = 0;
            answer(job, QJsonObject{{"released", held}});
            return true;
        }
        case JobKind::Transact:
            if (deviceOpen)
                return false;
            answerTransact(job, TransactAnswer{false, {}, TransactionFault::NoDevice});
            return true;
        case JobKind::Method:
        case JobKind::Poll:
        case JobKind::Local:
            return false;
        }
        return false;
    }

    // The job's device work on the device's thread; its answer back here.
    void dispatch(Job job) {
        auto shared = std::make_shared<Job>(std::move(job));
        auto done = std::make_shared<Done>();
        inFlight = shared->client;
        worker->run([this, shared, done] { workOn(*shared, *done); },
                    [this, shared, done] {
                        running = false;
                        inFlight = -1;
                        finish(*shared, *done);
                        pingWaiting();
                        processQueue();
                    });
    }

    // ---- on the device's thread ----

    // What a job found, carried back to the event loop.
    struct Done {
        TransactAnswer transact;
        MethodResult method;
        bool found = false, lost = false;
        bool haveBlock = false;
        std::uint8_t block[kSettingsBlockSize] = {};
        bool haveStatus = false;
        session::StatusReplies status;
    };

    void workOn(Job& job, Done& done) {
        switch (job.kind) {
        case JobKind::Transact: {
            std::uint8_t reply[kReplyBufferSize] = {};
            int received = 0;
            const TransactParams& p = job.transact;
            done.transact.result =
                ::transact(reply, p.request.data(), p.expected, int(p.request.size()), &received);
            done.transact.reply.assign(reply, reply + received);
            done.transact.fault = lastTransaction().fault;
            return;
        }
        case JobKind::Method:
            done.method = options.methods(job.method, job.params);
            return;
        case JobKind::Poll:
            return poll(done);
        case JobKind::Local:
            if (job.local)
                job.local();
            return;
        case JobKind::Hold:
        case JobKind::Release:
            return;
        }
    }

    bool lastRequestLost() const { return deviceGone(lastTransaction().fault); }

    // Found and answering: a device that opens but stays silent is not back.
    // The look waits only briefly for its answer, so that it never keeps the
    // requests behind it for a whole reply window.
    bool find() {
        if (appState.deviceHandle == kNoDevice && (!options.openDevice || !options.openDevice()))
            return false;
        std::uint8_t values[kReplyBufferSize] = {};
        const SilenceWatch watch;
        const ScopedReplyWindow brief(kLookReplyMs);
        session::readValues(reporter, values, kEdidBusyReadLength);
        if (watch.deviceSilent() || lastRequestLost()) {
            closeDevice();
            return false;
        }
        return true;
    }

    void poll(Done& done) {
        if (!deviceThere) {
            if (!find())
                return;
            deviceThere = true;
            done.found = true;
        }
        const SilenceWatch watch;
        const auto gone = [&] {
            if (!watch.deviceSilent() && !lastRequestLost())
                return false;
            closeDevice();
            deviceThere = false;
            edidBusy = true;
            done.lost = true;
            return true;
        };
        if (edidBusy) {
            std::uint8_t values[kReplyBufferSize] = {};
            if (session::readValues(reporter, values, kEdidBusyReadLength) &&
                !edidDeviceBusy(values))
                edidBusy = false;
            if (gone())
                return;
        }
        const session::BlockRead read = session::readSettingsBlock(reporter, done.block);
        if (gone())
            return;
        if (read == session::BlockRead::Busy)
            edidBusy = true;
        done.haveBlock = read == session::BlockRead::Ok;
        done.haveStatus = session::readStatus(reporter, &done.status);
        if (gone())
            return;
    }

    // ---- back on the event loop ----

    void finish(const Job& job, const Done& done) {
        switch (job.kind) {
        case JobKind::Transact:
            return answerTransact(job, done.transact);
        case JobKind::Method:
            return answerMethod(job, done.method);
        case JobKind::Poll:
            return polled(done);
        case JobKind::Local:
            if (job.then)
                job.then();
            return;
        case JobKind::Hold:
        case JobKind::Release:
            return;
        }
    }

    void answerTransact(const Job& job, TransactAnswer a) {
        // Nothing was sent, so nothing can have succeeded.
        if (a.fault == TransactionFault::NoDevice)
            a.result = false;
        answer(job, transactAnswerJson(a));
    }

    void answerMethod(const Job& job, const MethodResult& r) {
        if (!r.known) {
            if (job.reply)
                send(job.client, errorLine(job.id, kMethodNotFound,
                                           "no method \"" + job.method + "\"", job.rawId));
            return;
        }
        QJsonObject result{{"exitCode", r.exitCode}, {"output", r.output}};
        if (!r.message.empty())
            result["message"] = QString::fromStdString(r.message);
        answer(job, result);
    }

    void polled(const Done& done) {
        if (done.found) {
            deviceOpen = true;
            log("device " + options.deviceId + " found");
            events.deviceFound();
            notifyAll("deviceFound", {{"device", QString::fromStdString(options.deviceId)}});
        }
        if (done.lost)
            return lose();
        if (done.haveBlock) {
            const QByteArray bytes(reinterpret_cast<const char*>(done.block), kSettingsBlockSize);
            if (bytes != lastBlock) {
                lastBlock = bytes;
                const QJsonObject settings =
                    options.settingsJson
                        ? options.settingsJson(done.block)
                        : QJsonObject{{"block", hex(done.block, kSettingsBlockSize)}};
                events.settingsChanged(settings);
                notifyAll("settingsChanged", settings);
            }
        }
        if (done.haveStatus) {
            const QJsonObject status =
                options.statusJson
                    ? options.statusJson(done.status)
                    : QJsonObject{{"input", hex(done.status.input, kReplyBufferSize)}};
            if (status != lastStatus) {
                lastStatus = status;
                events.statusChanged(status);
                notifyAll("statusChanged", status);
            }
        }
    }

    void lose() {
        log("device " + options.deviceId + " lost; looking for it again every " +
            std::to_string(options.pollMs) + " ms");
        deviceOpen = false;
        lastBlock.clear();
        lastStatus = {};
        events.deviceLost();
        notifyAll("deviceLost", {{"device", QString::fromStdString(options.deviceId)}});
    }

    void queuePoll() {
        const bool queued = std::any_of(queue.begin(), queue.end(),
                                        [](const Job& j) { return j.kind == JobKind::Poll; });
        if (!queued)
            queue.push_back(Job{});
        processQueue();
    }

    void pingWaiting() {
        QJsonObject why;
        if (auto h = clients.find(holder); holder && h != clients.end())
            why = {{"heldBy", QJsonValue(qint64(h->second.pid))}};
        for (auto& [number, client] : clients) {
            if (hasQueued(number) && number != holder &&
                client.lastPing.elapsed() >= kWaitingPingMs) {
                client.lastPing.restart();
                send(number, notificationLine("waiting", why));
            }
        }
    }

    // A hold nobody is behind any more ends, so that one quiet or stuck
    // client cannot keep the device from everyone.
    void limitHold() {
        auto h = clients.find(holder);
        if (!holder || h == clients.end())
            return;
        const bool idle = h->second.lastHeard.elapsed() >= kHoldIdleMs && !hasQueued(holder) &&
                          inFlight != holder;
        const bool tooLong = holdStarted.elapsed() >= kHoldLongestMs;
        if (!idle && !tooLong)
            return;
        const std::string reason =
            idle ? "the client sent nothing for " + std::to_string(kHoldIdleMs / 1000) + " s"
                 : "it lasted " + std::to_string(kHoldLongestMs / 1000) +
                       " s, the longest a hold may";
        log("ended the hold of process " + std::to_string(h->second.pid) + ": " + reason);
        send(holder, notificationLine("holdEnded", {{"reason", QString::fromStdString(reason)}}));
        holder = 0;
        processQueue();
    }

    void tidy() {
        pingWaiting();
        limitHold();
    }

    void answer(const Job& job, const QJsonValue& result) {
        if (job.reply && job.client)
            send(job.client, resultLine(job.id, result, job.rawId));
    }
};

Server::Server(ServerOptions options) : d_(std::make_unique<State>()) {
    d_->options = std::move(options);
    State* d = d_.get();
    d->events.setQueue(
        [d](Events::Job work, Events::Job then) {
            State::Job j;
            j.kind = State::JobKind::Local;
            j.local = std::move(work);
            j.then = std::move(then);
            d->queue.push_back(std::move(j));
            QTimer::singleShot(0, &d->home, [d] { d->processQueue(); });
        },
        [d] { QTimer::singleShot(0, &d->home, [d] { d->queuePoll(); }); });
    d->housekeeping.setInterval(int(kHousekeepingMs));
    QObject::connect(&d->housekeeping, &QTimer::timeout, &d->home, [d] { d->tidy(); });
    d->acceptRetry.setSingleShot(true);
    QObject::connect(&d->acceptRetry, &QTimer::timeout, &d->home, [d] { d->resumeAccepting(); });
}

Server::~Server() {
    stop();
}

bool Server::listen(std::string* complaint) {
    return d_->listen(complaint);
}

void Server::start() {
    State* d = d_.get();
    // The device's thread has nothing to do yet: the first look is ours.
    if (d->find()) {
        d->deviceThere = d->deviceOpen = true;
        d->events.deviceFound();
    } else
        d->log("device " + d->options.deviceId + " not found; looking for it every " +
               std::to_string(d->options.pollMs) + " ms");
    d->pollTimer.setInterval(std::max(10, d->options.pollMs));
    QObject::connect(&d->pollTimer, &QTimer::timeout, &d->home, [d] { d->queuePoll(); });
    d->pollTimer.start();
    d->housekeeping.start();
    d->queuePoll();
}

void Server::stop() {
    State* d = d_.get();
    d->pollTimer.stop();
    d->housekeeping.stop();
    d->acceptRetry.stop();
    // What the device's thread does now is finished; nothing more starts.
    d->worker->finish();
    d->running = false;
    while (!d->clients.empty()) {
        auto it = d->clients.begin();
        it->second.reader.reset();
        it->second.writer.reset();
        ::close(it->second.fd);
        d->clients.erase(it);
    }
    d->queue.clear();
    if (d->listenFd >= 0) {
        // Only our own socket: someone may have taken the path over since.
        struct stat st {};
        if (::stat(d->options.socketPath.c_str(), &st) == 0 && st.st_ino == d->socketInode)
            ::unlink(d->options.socketPath.c_str());
        d->closeListener();
    }
    if (d->deviceOpen)
        closeDevice();
    d->deviceOpen = false;
}

Events& Server::events() {
    return d_->events;
}

int Server::clientCount() const {
    return int(d_->clients.size());
}

} // namespace service
