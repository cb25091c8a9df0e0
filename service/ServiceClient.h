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
    // Failed: something is there but it is no service of ours, or refused us,
    // or it runs as another user (not root): a socket planted in a folder
    // others can write to. `named`: the user gave this path themselves
    // (KORVANTA_SOCKET), as for a system service of its own user.
    Connect connect(const std::string& path, std::string* complaint, bool named = false);
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
    Owner owner() const override;
    // Back to the socket the last connect reached, as for a service restarted.
    bool reconnect() override;

    // Notifications are dropped while awaiting an answer unless this is set.
    std::function<void(const std::string& method, const QJsonObject& params)> onNotification;

private:
    bool readLine(QByteArray* line, std::string* error);
    void noteNotification(const std::string& method);
    void disconnect();

    int fd_ = -1;
    QByteArray input_;
    QJsonObject hello_;
    int nextId_ = 1;
    bool serviceGone_ = false; // the last call failed because the service closed
    std::string path_;         // where the last connect found the service
    bool named_ = false;
    bool deviceLost_ = false;
};

// The ID of the device the user means: `wanted`, else KORVANTA_DEVICE, else
// the only unit's. False with a complaint when none or several are there
// (then *several is set).
bool wantedDeviceId(const std::string& wanted, std::string* id, std::string* complaint,
                    bool* several);

// Hands this program's transactions to the service of the device when one
// runs there. NoService: nobody does, open the device directly.
ServiceClient::Connect connectToService(ServiceClient* client, const std::string& deviceId,
                                        std::string* complaint);

// The socket of the service for a device: KORVANTA_SOCKET, else the runtime
// folder's file for the device ID.
bool serviceSocketPath(const std::string& deviceId, std::string* path, std::string* complaint);

} // namespace service
