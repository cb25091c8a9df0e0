#pragma once

#include "service/RpcFrame.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QSocketNotifier;
class QTimer;

// The service's Unix socket: it listens, lets in only its own user, root and
// (with a socket group) that group's members, and carries lines each way.
// Everything here is POSIX; the rest of the service knows clients by number
// only.
namespace service {

struct SocketOptions {
    std::string path;
    std::string group; // empty: the socket is the user's alone (0600)
    std::size_t maxClients = 64;
    QByteArray refusalWhenFull; // the one line a client too many gets
    std::function<void(const std::string&)> log;
};

struct SocketHandlers {
    std::function<void(int client)> connected;
    // Complete lines; `ended`: the client shut down its sending side after them.
    std::function<void(int client, const std::vector<LineSplitter::Line>& lines, bool ended)>
        received;
    std::function<void(int client)> drained; // all output sent
    std::function<void(int client)> gone;    // closed, by either side
};

class UnixSocketServer {
public:
    UnixSocketServer(SocketOptions options, SocketHandlers handlers, QObject* home);
    ~UnixSocketServer();
    UnixSocketServer(const UnixSocketServer&) = delete;
    UnixSocketServer& operator=(const UnixSocketServer&) = delete;

    // Takes the path over from a service that died, never from one that
    // answers. False with a complaint.
    bool listen(std::string* complaint);
    // Closes every connection (without `gone`) and removes our socket.
    void stop();

    void send(int client, const QByteArray& bytes);
    void close(int client); // soon, not inside the caller's loop
    std::vector<int> clients() const;
    std::size_t count() const { return clients_.size(); }
    bool outputPending(int client) const;
    long pid(int client) const;
    qint64 quietMs(int client) const; // since it last sent anything

private:
    struct Client;
    bool takeOverStale(std::string* complaint);
    bool lookUpGroup(std::string* complaint);
    bool memberOfGroup(unsigned uid, unsigned primary) const;
    bool peerAdmitted(int fd, long* pid);
    void acceptAll();
    void pauseAccepting();
    void resumeAccepting();
    void closeListener();
    void flush(int client);
    void readFrom(int client);
    void drop(int client);
    void log(const std::string& text);

    SocketOptions options_;
    SocketHandlers handlers_;
    QObject* home_;
    int listenFd_ = -1;
    unsigned long socketInode_ = 0;
    unsigned groupId_ = 0;
    bool groupAccess_ = false;
    std::unique_ptr<QSocketNotifier> acceptor_;
    std::unique_ptr<QTimer> acceptRetry_;
    std::map<int, std::unique_ptr<Client>> clients_;
    int nextClient_ = 1;
};

} // namespace service
