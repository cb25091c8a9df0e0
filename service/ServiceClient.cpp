#include "service/ServiceClient.h"

#include "link/DeviceIds.h"
#include "link/RuntimePaths.h"
#include "service/RpcFrame.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace service {

ServiceClient::~ServiceClient() {
    disconnect();
}

void ServiceClient::disconnect() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    input_.clear();
}

namespace {

std::string userName(uid_t uid) {
    std::vector<char> buffer(16384);
    passwd pw{};
    passwd* found = nullptr;
    if (getpwuid_r(uid, &pw, buffer.data(), buffer.size(), &found) == 0 && found)
        return std::string(found->pw_name) + " (uid " + std::to_string(uid) + ")";
    return "uid " + std::to_string(uid);
}

// Who answers on the socket: this user, root, or (for a path the user named)
// anyone. Before a single request goes to it.
bool trustedPeer(int fd, const std::string& path, bool named, std::string* complaint) {
    ucred cred{};
    socklen_t length = sizeof cred;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &length) != 0) {
        *complaint = "cannot tell who answers on " + path + ": " + std::strerror(errno);
        return false;
    }
    if (cred.uid == geteuid() || cred.uid == 0 || named)
        return true;
    *complaint = "the socket " + path + " is served by " + userName(cred.uid) +
                 ", not by this user or root, so nothing was sent to it; if that is a service "
                 "you trust, name its socket in KORVANTA_SOCKET";
    return false;
}

} // namespace

ServiceClient::Connect ServiceClient::connect(const std::string& path, std::string* complaint,
                                              bool named) {
    disconnect();
    if (!socketPathFits(path, complaint))
        return Connect::Failed;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *complaint = std::string("cannot make a socket: ") + std::strerror(errno);
        return Connect::Failed;
    }
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.data(), path.size());
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        const int why = errno;
        ::close(fd);
        if (why == ENOENT || why == ECONNREFUSED)
            return Connect::NoService;
        *complaint = "cannot reach the service at " + path + ": " + std::strerror(why);
        return Connect::Failed;
    }
    if (!trustedPeer(fd, path, named, complaint)) {
        ::close(fd);
        return Connect::Failed;
    }
    fd_ = fd;
    QByteArray line;
    std::string error;
    if (!readLine(&line, &error)) {
        // A peer check that refused us closes without a word.
        *complaint =
            "the service at " + path + " " +
            (error.empty() ? std::string("closed the connection (not this user's?)") : error);
        disconnect();
        return Connect::Failed;
    }
    const Message hello = parseMessage(line);
    if (hello.kind != Message::Notification || hello.method != "hello" ||
        hello.params.value("protocol").toInt() != kProtocolVersion) {
        *complaint = "the service at " + path + " speaks another protocol (wanted version " +
                     std::to_string(kProtocolVersion) + ")";
        disconnect();
        return Connect::Failed;
    }
    hello_ = hello.params;
    path_ = path;
    named_ = named;
    deviceLost_ = false;
    return Connect::Connected;
}

bool ServiceClient::readLine(QByteArray* line, std::string* error) {
    for (;;) {
        if (const qsizetype end = input_.indexOf('\n'); end >= 0) {
            *line = input_.left(end);
            input_.remove(0, end + 1);
            return true;
        }
        pollfd p{fd_, POLLIN, 0};
        const int ready = ::poll(&p, 1, kClientPatienceMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0) {
            *error = "did not answer within " + std::to_string(kClientPatienceMs / 1000) + " s";
            return false;
        }
        char buffer[65536];
        const ssize_t n = ready < 0 ? -1 : ::read(fd_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error->clear();
            return false;
        }
        input_.append(buffer, n);
    }
}

bool ServiceClient::call(const std::string& method, const QJsonObject& params, QJsonValue* result,
                         std::string* error) {
    serviceGone_ = false;
    if (fd_ < 0) {
        *error = "not connected to the service";
        serviceGone_ = true;
        return false;
    }
    const int id = nextId_++;
    const QByteArray request = requestLine(id, method, params);
    for (qsizetype done = 0; done < request.size();) {
        const ssize_t n = ::send(fd_, request.constData() + done,
                                 std::size_t(request.size() - done), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *error = "the service went away";
            serviceGone_ = true;
            disconnect();
            return false;
        }
        done += n;
    }
    for (;;) {
        QByteArray line;
        if (!readLine(&line, error)) {
            serviceGone_ = error->empty();
            *error = "the service " + (error->empty() ? std::string("went away") : *error);
            disconnect();
            return false;
        }
        const Message m = parseMessage(line);
        if (m.kind == Message::Notification) {
            noteNotification(m.method);
            if (onNotification)
                onNotification(m.method, m.params);
            continue;
        }
        if (m.id != QJsonValue(id))
            continue;
        if (m.kind == Message::Result) {
            *result = m.result;
            return true;
        }
        *error = m.kind == Message::Error ? m.error : "the service sent something unreadable";
        return false;
    }
}

void ServiceClient::transact(const std::uint8_t* request, int requestLength, int expectedLength,
                             Reply* reply) {
    *reply = Reply{};
    QJsonValue result;
    std::string error;
    TransactAnswer answer;
    if (!call("transact", transactParams(request, requestLength, expectedLength), &result,
              &error) ||
        !parseTransactAnswer(result, &answer)) {
        // The flows stop there as at a device that never answered, but the
        // cause is said as it is.
        reply->fault = serviceGone_ ? TransactionFault::ServiceGone : TransactionFault::NoAnswer;
        return;
    }
    reply->result = answer.result;
    reply->fault = answer.fault;
    reply->received = int(std::min<std::size_t>(answer.reply.size(), kReplyBufferSize));
    // An empty reply has no storage to copy from, and memcpy may not be given none.
    if (reply->received > 0)
        std::memcpy(reply->bytes, answer.reply.data(), std::size_t(reply->received));
}

bool ServiceClient::hold() {
    QJsonValue result;
    std::string error;
    return call("hold", {}, &result, &error) && result.toObject().value("held").toBool();
}

void ServiceClient::release() {
    QJsonValue result;
    std::string error;
    call("release", {}, &result, &error);
}

void ServiceClient::noteNotification(const std::string& method) {
    if (method == "deviceLost")
        deviceLost_ = true;
    else if (method == "deviceFound" || method == "statusChanged")
        deviceLost_ = false;
}

Forwarder::Owner ServiceClient::owner() const {
    // Only a client that once reached a service can have lost it.
    if (fd_ < 0)
        return path_.empty() ? Owner::Serving : Owner::Gone;
    return deviceLost_ ? Owner::DeviceLost : Owner::Serving;
}

bool ServiceClient::reconnect() {
    if (path_.empty())
        return false;
    const std::string path = path_;
    std::string complaint;
    return connect(path, &complaint, named_) == Connect::Connected;
}

ServiceClient::Connect connectToService(ServiceClient* client, const std::string& deviceId,
                                        std::string* complaint) {
    std::string path;
    if (!serviceSocketPath(deviceId, &path, complaint))
        return ServiceClient::Connect::Failed;
    const char* named = std::getenv("KORVANTA_SOCKET");
    return client->connect(path, complaint, named != nullptr && *named != '\0');
}

} // namespace service
