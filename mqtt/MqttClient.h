#pragma once

#include "mqtt/MqttOptions.h"

#include <QObject>
#include <QTimer>

#include <memory>
#include <string>

class QSocketNotifier;
struct mosquitto;
struct mosquitto_message;

// One connection to a broker through libmosquitto, driven from the Qt event
// loop: the socket's notifiers call libmosquitto's read and write steps, so
// its callbacks run on this thread and nothing needs a lock. It reconnects by
// itself, waiting longer after each failure.
namespace mqtt {

struct Will {
    std::string topic;
    std::string payload;
};

class MqttClient : public QObject {
    Q_OBJECT
public:
    MqttClient(std::string clientId, MqttConfig config, Will will, QObject* parent = nullptr);
    ~MqttClient() override;

    // Sets up TLS and the login and starts connecting. False only for what
    // no retry can mend (a CA file libmosquitto refuses); a broker that is not
    // there yet is retried.
    bool start(std::string* complaint);
    // Publishes `payload` retained on the will's topic, sends it and
    // disconnects: the last will is for unclean ends only.
    void stop(const std::string& finalPayload);

    bool isConnected() const { return connected_; }
    // Quietly dropped while not connected: the owner republishes on connect.
    void publish(const std::string& topic, const std::string& payload, bool retain);
    void subscribe(const std::string& filter);

signals:
    void connected();
    void disconnected();
    // `retained`: the broker kept it from earlier and hands it over because we
    // subscribed, not because anyone sent it now.
    void messageReceived(const QString& topic, const QByteArray& payload, bool retained);

private:
    static void onConnect(mosquitto*, void* self, int rc);
    static void onMessage(mosquitto*, void* self, const mosquitto_message* message);

    void connectNow();
    void watchSocket();
    void dropSocket();
    void lost(const char* what, int rc);
    void readReady();
    void writeReady();
    void housekeeping();
    void updateWriteInterest();

    std::string clientId_;
    MqttConfig config_;
    Will will_;
    mosquitto* mosq_ = nullptr;
    std::unique_ptr<QSocketNotifier> readNotifier_;
    std::unique_ptr<QSocketNotifier> writeNotifier_;
    QTimer misc_;
    QTimer retry_;
    int retryMs_ = 0;
    bool connected_ = false;
    bool firstAttempt_ = true;
    bool stopping_ = false;
};

} // namespace mqtt
