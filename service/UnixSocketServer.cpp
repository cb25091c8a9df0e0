#include "service/UnixSocketServer.h"

#include "link/RuntimePaths.h"

#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>

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
// Out of descriptors: accepting again is tried this often, and at once when
// one of ours closes.
constexpr int kAcceptRetryMs = 200;

sockaddr_un socketAddress(const std::string& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.data(), std::min(path.size(), sizeof addr.sun_path - 1));
    return addr;
}

std::string errnoText() {
    return std::strerror(errno);
}

} // namespace

struct UnixSocketServer::Client {
    int fd = -1;
    std::unique_ptr<QSocketNotifier> reader;
    std::unique_ptr<QSocketNotifier> writer;
    LineSplitter splitter;
    QByteArray output;
    QElapsedTimer lastHeard;
    long pid = 0;
    bool dead = false;
};

UnixSocketServer::UnixSocketServer(SocketOptions options, SocketHandlers handlers, QObject* home)
    : options_(std::move(options)), handlers_(std::move(handlers)), home_(home),
      acceptRetry_(std::make_unique<QTimer>()) {
    acceptRetry_->setSingleShot(true);
    QObject::connect(acceptRetry_.get(), &QTimer::timeout, home_, [this] { resumeAccepting(); });
}

UnixSocketServer::~UnixSocketServer() {
    stop();
}

void UnixSocketServer::log(const std::string& text) {
    if (options_.log)
        options_.log(text);
}

bool UnixSocketServer::takeOverStale(std::string* complaint) {
    const std::string& path = options_.path;
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0)
        return true;
    if (!S_ISSOCK(st.st_mode)) {
        *complaint = path + " exists and is not a socket; remove it or choose another --socket";
        return false;
    }
    const int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un addr = socketAddress(path);
    const bool live =
        probe >= 0 && ::connect(probe, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
    const int why = errno;
    if (probe >= 0)
        ::close(probe);
    if (live) {
        *complaint = "another korvanta serve already answers on " + path;
        return false;
    }
    if (why != ECONNREFUSED) {
        *complaint = "cannot tell whether a service answers on " + path + ": " + std::strerror(why);
        return false;
    }
    // Left behind by a service that was killed: nobody answers there.
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        *complaint = "cannot remove the stale socket " + path + ": " + errnoText();
        return false;
    }
    return true;
}

bool UnixSocketServer::lookUpGroup(std::string* complaint) {
    if (options_.group.empty())
        return true;
    std::vector<char> buffer(16384);
    group g{};
    group* found = nullptr;
    if (getgrnam_r(options_.group.c_str(), &g, buffer.data(), buffer.size(), &found) != 0 ||
        !found) {
        *complaint = "no group named \"" + options_.group + "\"";
        return false;
    }
    groupId_ = found->gr_gid;
    groupAccess_ = true;
    return true;
}

bool UnixSocketServer::listen(std::string* complaint) {
    const std::string& path = options_.path;
    if (!socketPathFits(path, complaint) || !lookUpGroup(complaint) || !takeOverStale(complaint))
        return false;
    listenFd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) {
        *complaint = "cannot make a socket: " + errnoText();
        return false;
    }
    const sockaddr_un addr = socketAddress(path);
    // Born private: nobody else may connect between bind and chmod.
    const mode_t previous = umask(groupAccess_ ? 0117 : 0177);
    const bool bound =
        ::bind(listenFd_, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
    const int why = errno;
    umask(previous);
    if (!bound) {
        *complaint = "cannot bind " + path + ": " + std::strerror(why);
        closeListener();
        return false;
    }
    if ((groupAccess_ && ::chown(path.c_str(), uid_t(-1), groupId_) != 0) ||
        ::chmod(path.c_str(), groupAccess_ ? 0660 : 0600) != 0 || ::listen(listenFd_, 64) != 0) {
        *complaint = "cannot set up " + path + ": " + errnoText();
        ::unlink(path.c_str());
        closeListener();
        return false;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        socketInode_ = st.st_ino;
    acceptor_ = std::make_unique<QSocketNotifier>(listenFd_, QSocketNotifier::Read);
    QObject::connect(acceptor_.get(), &QSocketNotifier::activated, home_, [this] { acceptAll(); });
    return true;
}

void UnixSocketServer::closeListener() {
    acceptor_.reset();
    if (listenFd_ >= 0)
        ::close(listenFd_);
    listenFd_ = -1;
}

void UnixSocketServer::stop() {
    acceptRetry_->stop();
    for (auto& [number, c] : clients_) {
        c->reader.reset();
        c->writer.reset();
        ::close(c->fd);
    }
    clients_.clear();
    if (listenFd_ >= 0) {
        // Only our own socket: someone may have taken the path over since.
        struct stat st {};
        if (::stat(options_.path.c_str(), &st) == 0 && st.st_ino == socketInode_)
            ::unlink(options_.path.c_str());
        closeListener();
    }
}

bool UnixSocketServer::memberOfGroup(unsigned uid, unsigned primary) const {
    if (primary == groupId_)
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
    return std::find(groups.begin(), groups.end(), groupId_) != groups.end();
}

bool UnixSocketServer::peerAdmitted(int fd, long* pid) {
    ucred cred{};
    socklen_t length = sizeof cred;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &length) != 0)
        return false;
    *pid = cred.pid;
    if (cred.uid == 0 || cred.uid == geteuid())
        return true;
    if (groupAccess_ && memberOfGroup(cred.uid, cred.gid))
        return true;
    log("refused a connection from user " + std::to_string(cred.uid) + " (process " +
        std::to_string(cred.pid) + ")");
    return false;
}

void UnixSocketServer::acceptAll() {
    for (;;) {
        const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
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
        if (clients_.size() >= options_.maxClients) {
            const QByteArray& refusal = options_.refusalWhenFull;
            (void)::send(fd, refusal.constData(), std::size_t(refusal.size()),
                         MSG_NOSIGNAL | MSG_DONTWAIT);
            ::close(fd);
            continue;
        }
        const int number = nextClient_++;
        auto c = std::make_unique<Client>();
        c->fd = fd;
        c->pid = pid;
        c->lastHeard.start();
        c->reader = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        QObject::connect(c->reader.get(), &QSocketNotifier::activated, home_,
                         [this, number] { readFrom(number); });
        c->writer = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
        c->writer->setEnabled(false);
        QObject::connect(c->writer.get(), &QSocketNotifier::activated, home_,
                         [this, number] { flush(number); });
        clients_[number] = std::move(c);
        if (handlers_.connected)
            handlers_.connected(number);
    }
}

void UnixSocketServer::pauseAccepting() {
    if (!acceptor_ || !acceptor_->isEnabled())
        return;
    acceptor_->setEnabled(false);
    log("out of file descriptors; not accepting for a moment");
    acceptRetry_->start(kAcceptRetryMs);
}

void UnixSocketServer::resumeAccepting() {
    acceptRetry_->stop();
    if (acceptor_ && !acceptor_->isEnabled()) {
        acceptor_->setEnabled(true);
        acceptAll();
    }
}

void UnixSocketServer::send(int number, const QByteArray& bytes) {
    auto it = clients_.find(number);
    if (it == clients_.end() || it->second->dead)
        return;
    it->second->output += bytes;
    flush(number);
}

void UnixSocketServer::flush(int number) {
    auto it = clients_.find(number);
    if (it == clients_.end())
        return;
    Client& c = *it->second;
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
    if (c.dead)
        return close(number);
    c.writer->setEnabled(!c.output.isEmpty());
    if (c.output.isEmpty() && handlers_.drained)
        handlers_.drained(number);
}

void UnixSocketServer::close(int number) {
    // Not here: the caller may be inside a loop over the clients.
    QTimer::singleShot(0, home_, [this, number] { drop(number); });
}

void UnixSocketServer::drop(int number) {
    auto it = clients_.find(number);
    if (it == clients_.end())
        return;
    it->second->reader.reset();
    it->second->writer.reset();
    ::close(it->second->fd);
    clients_.erase(it);
    if (handlers_.gone)
        handlers_.gone(number);
    resumeAccepting();
}

void UnixSocketServer::readFrom(int number) {
    std::vector<LineSplitter::Line> lines;
    bool ended = false, failed = false;
    char buffer[65536];
    auto it = clients_.find(number);
    if (it == clients_.end())
        return;
    Client& c = *it->second;
    for (;;) {
        const ssize_t n = ::read(c.fd, buffer, sizeof buffer);
        if (n > 0) {
            c.splitter.feed(buffer, n, &lines);
            c.lastHeard.restart();
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        ended = n == 0;
        failed = n < 0 && errno != EAGAIN && errno != EWOULDBLOCK;
        break;
    }
    if (ended) {
        // A last request without its newline still counts.
        LineSplitter::Line last;
        if (c.splitter.finish(&last))
            lines.push_back(std::move(last));
        c.reader->setEnabled(false);
    }
    if (handlers_.received && (!lines.empty() || ended))
        handlers_.received(number, lines, ended);
    if (failed)
        drop(number);
}

std::vector<int> UnixSocketServer::clients() const {
    std::vector<int> numbers;
    for (const auto& entry : clients_)
        numbers.push_back(entry.first);
    return numbers;
}

bool UnixSocketServer::outputPending(int number) const {
    auto it = clients_.find(number);
    return it != clients_.end() && !it->second->output.isEmpty();
}

long UnixSocketServer::pid(int number) const {
    auto it = clients_.find(number);
    return it == clients_.end() ? 0 : it->second->pid;
}

qint64 UnixSocketServer::quietMs(int number) const {
    auto it = clients_.find(number);
    return it == clients_.end() ? 0 : it->second->lastHeard.elapsed();
}

} // namespace service
