#pragma once

#include "link/Forwarder.h"

#include <QJsonObject>
#include <QJsonValue>

#include <functional>
#include <string>

// A program's end of the service's socket: it forwards whole transactions
// and holds, and waits for their answers without ever hanging on a service
// that died or stopped.
namespace service {

// How long a client waits for the service to show life: a request's reply
// window and a margin. A service that keeps others waiting says so in time.
constexpr int kClientPatienceMs = int(kReplyWindowMs) + 1500;

class ServiceClient : public Forwarder {
public:
    ServiceClient() = default;
    ~ServiceClient() override;
    ServiceClient(const ServiceClient&) = delete;
    ServiceClient& operator=(const ServiceClient&) = delete;

    enum class Connect { Connected, NoService, Failed };
    // NoService: nothing listens there (no file, or one a dead service left).
    // Failed: something is there but it is no service of ours, or refused us.
    Connect connect(const std::string& path, std::string* complaint);
    bool connected() const { return fd_ >= 0; }
    const QJsonObject& hello() const { return hello_; }

    // One request and its answer. False with the error's text when the
    // service answered with an error or went away.
    bool call(const std::string& method, const QJsonObject& params, QJsonValue* result,
              std::string* error);

    void transact(const std::uint8_t* request, int requestLength, int expectedLength,
                  Reply* reply) override;
    bool hold() override;
    void release() override;

    // Notifications are dropped while awaiting an answer unless this is set.
    std::function<void(const std::string& method, const QJsonObject& params)> onNotification;

private:
    bool readLine(QByteArray* line, std::string* error);
    void disconnect();

    int fd_ = -1;
    QByteArray input_;
    QJsonObject hello_;
    int nextId_ = 1;
};

// The ID of the device the user means: `wanted`, else KORVANTA_DEVICE, else
// the one unit's.
std::string deviceIdFor(const std::string& wanted);

// Hands this program's transactions to the service of the device when one
// runs there. NoService: nobody does, open the device directly.
ServiceClient::Connect connectToService(ServiceClient* client, const std::string& deviceId,
                                        std::string* complaint);

// The socket of the service for a device: KORVANTA_SOCKET, else the runtime
// folder's file for the device ID.
bool serviceSocketPath(const std::string& deviceId, std::string* path, std::string* complaint);

} // namespace service
