#pragma once

#include "service/Events.h"
#include "service/Methods.h"
#include "session/Readback.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// The device's one owner: a Unix socket that admits only its own user (and
// root, and with a socket group that group's members), runs every client's
// requests one at a time on the device, lets one client hold it through a
// flow of several, polls it and tells every client what changed.
namespace service {

struct ServerOptions {
    std::string socketPath;
    std::string deviceId;
    std::string socketGroup; // empty: the socket is the user's alone (0600)
    int pollMs = 3000;
    MethodHandler methods;
    MethodList methodNames;
    // Finds and opens the device; false when it is not there (yet).
    std::function<bool()> openDevice;
    std::function<void(const std::string&)> log;
};

class Server {
public:
    explicit Server(ServerOptions options);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Takes the socket over from a service that died, never from one that
    // answers. False with a complaint (in use, path too long, no such group).
    bool listen(std::string* complaint);
    // Opens the device (or keeps looking for it on every poll) and polls.
    void start();
    // Closes every connection and the device, and removes the socket.
    void stop();

    Events& events();
    int clientCount() const;

private:
    struct State;
    std::unique_ptr<State> d_;
};

} // namespace service
