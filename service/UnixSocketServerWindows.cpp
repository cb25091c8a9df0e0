#include "service/UnixSocketServer.h"

#include <QSocketNotifier>
#include <QTimer>

// Windows has no Unix socket transport for the service yet (a named pipe is
// its form there): the service refuses to listen and says so, and every
// other part of it builds unchanged.
namespace service {

struct UnixSocketServer::Client {};

UnixSocketServer::UnixSocketServer(SocketOptions options, SocketHandlers handlers, QObject* home)
    : options_(std::move(options)), handlers_(std::move(handlers)), home_(home) {}

UnixSocketServer::~UnixSocketServer() = default;

bool UnixSocketServer::listen(std::string* complaint) {
    *complaint = "korvanta serve does not run on Windows yet; the window and korvanta open the "
                 "device themselves there";
    return false;
}

void UnixSocketServer::stop() {}
void UnixSocketServer::send(int, const QByteArray&) {}
void UnixSocketServer::close(int) {}

std::vector<int> UnixSocketServer::clients() const {
    return {};
}

bool UnixSocketServer::outputPending(int) const {
    return false;
}

long UnixSocketServer::pid(int) const {
    return 0;
}

qint64 UnixSocketServer::quietMs(int) const {
    return 0;
}

} // namespace service
