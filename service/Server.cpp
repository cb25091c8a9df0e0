#include "service/Server.h"

#include "edid/EdidRequests.h"
#include "link/AppState.h"
#include "link/UsbLink.h"
#include "ops/OpsJson.h"
#include "service/DeviceWorker.h"
#include "service/RpcFrame.h"
#include "service/UnixSocketServer.h"
#include "session/DeviceOps.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QTimer>

#include <algorithm>
#include <deque>
#include <map>
#include <memory>

namespace service {

namespace {

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
// A lost device's look waits this long for its answer (a device answers in
// a few milliseconds), not the whole reply window.
constexpr std::uint32_t kLookReplyMs = 500;

const std::vector<std::string> kLinkMethods = {"hello", "transact", "hold", "release",
                                               "scene.recalled"};

class QuietReporter : public session::Reporter {
public:
    void status(session::Level, const char*, int) override {}
    void diagnostic(const char*) override {}
};

bool deviceGone(TransactionFault fault) {
    return fault == TransactionFault::WriteFailed || fault == TransactionFault::ReadFailed ||
           fault == TransactionFault::QueueFailed || fault == TransactionFault::NoDevice;
}

} // namespace

struct Server::State {
    // What the service keeps of a client beyond its connection.
    struct Peer {
        QElapsedTimer lastPing;
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
    std::unique_ptr<UnixSocketServer> socket;
    std::map<int, Peer> peers;
    std::deque<Job> queue;
    int holder = 0;
    QElapsedTimer holdStarted;
    QTimer housekeeping; // waiting notices and hold limits, whatever else runs
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

    // ---- the clients ----

    void send(int number, const QByteArray& bytes) {
        if (socket)
            socket->send(number, bytes);
    }

    void connected(int number) {
        peers[number].lastPing.start();
        send(number, notificationLine("hello", hello()));
    }

    void received(int number, const std::vector<LineSplitter::Line>& lines, bool ended) {
        for (const LineSplitter::Line& line : lines)
            take(number, line);
        if (ended) {
            peers[number].readClosed = true;
            // Its hold ends with its last request: nothing more can come.
            if (holder == number && !hasQueued(number) && inFlight != number)
                holder = 0;
        }
        processQueue();
        closeIfDone(number);
    }

    void gone(int number) {
        peers.erase(number);
        std::erase_if(queue, [number](const Job& j) { return j.client == number; });
        // A client that vanished mid-flow lets go of the device.
        if (holder == number)
            holder = 0;
        processQueue();
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

    void notifyAll(const std::string& method, const QJsonObject& params) {
        events.notified(method, params);
        if (!socket)
            return;
        const QByteArray line = notificationLine(method, params);
        for (int number : socket->clients())
            send(number, line);
    }

    bool hasQueued(int number) const {
        return std::any_of(queue.begin(), queue.end(),
                           [number](const Job& j) { return j.client == number; });
    }

    // A client that has shut down its sending side is closed once everything
    // it asked for is answered and sent.
    void closeIfDone(int number) {
        auto it = peers.find(number);
        if (it != peers.end() && it->second.readClosed && !socket->outputPending(number) &&
            !hasQueued(number) && inFlight != number)
            socket->close(number);
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
        if (r.method == "scene.recalled")
            return sceneRecalledByClient(job);
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
        // A lost device's answer needs no turn: not even a look for it, which
        // waits on the device, keeps the request.
        if (job.kind == JobKind::Transact && !deviceOpen && !hasQueued(number) &&
            inFlight != number) {
            answerTransact(job, TransactAnswer{false, {}, TransactionFault::NoDevice});
            return;
        }
        queue.push_back(std::move(job));
    }

    // A client that recalled a scene itself (its transactions forwarded) says
    // so, so that everyone knows the last scene as if the service had run it.
    void sceneRecalledByClient(const Job& job) {
        const QJsonValue scene = job.params.value("scene");
        const QJsonValue changes = job.params.value("changes");
        if (!scene.isString() || scene.toString().isEmpty() || scene.toString().size() > 200 ||
            !(changes.isUndefined() || changes.isArray())) {
            if (job.reply)
                send(job.client, errorLine(job.id, kInvalidParams,
                                           "scene.recalled takes \"scene\" (a name) and "
                                           "\"changes\" (a list)",
                                           job.rawId));
            return;
        }
        MethodResult done;
        done.output = {{"scene", scene}, {"plan", changes.toArray()}};
        events.answered("scene.recall", {}, done, "client");
        if (job.reply)
            send(job.client, resultLine(job.id, QJsonObject{{"noted", true}}, job.rawId));
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
        events.answered(job.method, job.params, r, "client");
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
                ops::SettingsBlock block;
                std::copy(std::begin(done.block), std::end(done.block), block.begin());
                events.settingsChanged(block);
                notifyAll("settingsChanged", ops::settingsJson(done.block));
            }
        }
        if (done.haveStatus) {
            const ops::StatusReading reading = ops::statusReading(done.status);
            const QJsonObject status = ops::statusJson(reading);
            if (status != lastStatus) {
                lastStatus = status;
                events.statusChanged(reading);
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
        if (holder && peers.contains(holder))
            why = {{"heldBy", QJsonValue(qint64(socket->pid(holder)))}};
        for (auto& [number, peer] : peers) {
            if (hasQueued(number) && number != holder &&
                peer.lastPing.elapsed() >= kWaitingPingMs) {
                peer.lastPing.restart();
                send(number, notificationLine("waiting", why));
            }
        }
    }

    // A hold nobody is behind any more ends, so that one quiet or stuck
    // client cannot keep the device from everyone.
    void limitHold() {
        if (!holder || !peers.contains(holder))
            return;
        const bool idle =
            socket->quietMs(holder) >= kHoldIdleMs && !hasQueued(holder) && inFlight != holder;
        const bool tooLong = holdStarted.elapsed() >= kHoldLongestMs;
        if (!idle && !tooLong)
            return;
        const std::string reason =
            idle ? "the client sent nothing for " + std::to_string(kHoldIdleMs / 1000) + " s"
                 : "it lasted " + std::to_string(kHoldLongestMs / 1000) +
                       " s, the longest a hold may";
        log("ended the hold of process " + std::to_string(socket->pid(holder)) + ": " + reason);
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
    d->events.setNotify([d](const std::string& method, const QJsonObject& params) {
        d->notifyAll(method, params);
    });
    d->housekeeping.setInterval(int(kHousekeepingMs));
    QObject::connect(&d->housekeeping, &QTimer::timeout, &d->home, [d] { d->tidy(); });
    SocketOptions socket;
    socket.path = d->options.socketPath;
    socket.group = d->options.socketGroup;
    socket.maxClients = kMaxClients;
    socket.refusalWhenFull = errorLine(QJsonValue::Null, kTooManyClients,
                                       "the service has " + std::to_string(kMaxClients) +
                                           " clients already; try again when one has gone");
    socket.log = d->options.log;
    SocketHandlers handlers;
    handlers.connected = [d](int n) { d->connected(n); };
    handlers.received = [d](int n, const std::vector<LineSplitter::Line>& lines, bool ended) {
        d->received(n, lines, ended);
    };
    handlers.drained = [d](int n) { d->closeIfDone(n); };
    handlers.gone = [d](int n) { d->gone(n); };
    d->socket =
        std::make_unique<UnixSocketServer>(std::move(socket), std::move(handlers), &d->home);
}

Server::~Server() {
    stop();
}

bool Server::listen(std::string* complaint) {
    return d_->socket->listen(complaint);
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
    // What the device's thread does now is finished; nothing more starts.
    d->worker->finish();
    d->running = false;
    d->socket->stop();
    d->peers.clear();
    d->queue.clear();
    if (d->deviceOpen)
        closeDevice();
    d->deviceOpen = false;
}

Events& Server::events() {
    return d_->events;
}

int Server::clientCount() const {
    return int(d_->socket->count());
}

} // namespace service
