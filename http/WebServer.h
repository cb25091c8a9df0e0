#pragma once

#include "service/Events.h"
#include "service/Methods.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

// The page and the API over HTTP, on the service's event loop: requests are
// read within bounds, checked (Host, origin, token) before anything runs,
// and the methods queued on the device like any client's.
namespace http {

struct WebOptions {
    std::string address = "127.0.0.1";
    int port = 0; // 0: any free port (tests)
    bool readOnly = false;
    std::string token; // asked for beyond loopback; empty on loopback
    std::string tokenFile;
    std::vector<std::string> hostNames;
    std::string certFile, keyFile; // both: HTTPS
    service::MethodHandler methods;
    std::vector<std::string> methodNames;
    std::string deviceId;
    std::function<void(const std::string&)> log;
    // Bounds, here so that tests can reach them.
    int maxConnections = 64;
    int maxPerAddress = 16;
    int maxEventStreams = 16;
    int maxQueued = 32;           // method calls waiting for the device
    int requestTimeoutMs = 10000; // to send a whole request once begun
    int idleTimeoutMs = 60000;    // between requests on a kept-alive connection
    int wrongTokenDelayMs = 1000;
};

// --http's [ADDR:]PORT: "8080" is loopback's, "0.0.0.0:8080" every
// address's, "[::1]:8080" an IPv6 one.
bool parseListen(const std::string& text, std::string* address, int* port, std::string* why);

class WebServer {
public:
    WebServer(service::Events& events, WebOptions options);
    ~WebServer();
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    bool listen(std::string* complaint);
    void stop();
    int port() const;
    // http://127.0.0.1:8080/ (with ?token= when one is asked for)
    std::string address(bool withToken) const;
    int connectionCount() const;
    int eventStreamCount() const;

private:
    struct State;
    std::unique_ptr<State> d_;
};

} // namespace http
