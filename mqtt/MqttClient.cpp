#include "mqtt/MqttClient.h"

#include "mqtt/Log.h"

#include <QSocketNotifier>

#include <mosquitto.h>

#include <algorithm>
#include <mutex>

namespace mqtt {

namespace {

constexpr int kKeepAliveSeconds = 30;
constexpr int kHousekeepingMs = 1000;
constexpr int kFirstRetryMs = 1000;
constexpr int kLongestRetryMs = 30000;
constexpr int kQos = 1;
// A clean stop waits this long at most for the last words to leave.
constexpr int kFlushSteps = 20;
constexpr int kFlushStepMs = 50;

void initLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

} // namespace

MqttClient::MqttClient(std::string clientId, MqttConfig config, Will will, QObject* parent)
    : QObject(parent), clientId_(std::move(clientId)), config_(std::move(config)),
      will_(std::move(will)) {
    misc_.setInterval(kHousekeepingMs);
    connect(&misc_, &QTimer::timeout, this, &MqttClient::housekeeping);
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &MqttClient::connectNow);
}

MqttClient::~MqttClient() {
    dropSocket();
    if (mosq_)
        mosquitto_destroy(mosq_);
}

bool MqttClient::start(std::string* complaint) {
    initLibrary();
    mosq_ = mosquitto_new(clientId_.c_str(), true, this);
    if (!mosq_) {
        *complaint = "libmosquitto could not make a client";
        return false;
    }
    mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    int rc = mosquitto_will_set(mosq_, will_.topic.c_str(), static_cast<int>(will_.payload.size()),
                                will_.payload.data(), kQos, true);
    if (rc == MOSQ_ERR_SUCCESS && !config_.broker.user.empty())
        rc = mosquitto_username_pw_set(mosq_, config_.broker.user.c_str(),
                                       config_.password.empty() ? nullptr
                                                                : config_.password.c_str());
    if (rc == MOSQ_ERR_SUCCESS && config_.broker.tls) {
        rc = config_.caFile.empty() ? mosquitto_int_option(mosq_, MOSQ_OPT_TLS_USE_OS_CERTS, 1)
                                    : mosquitto_tls_set(mosq_, config_.caFile.c_str(), nullptr,
                                                        nullptr, nullptr, nullptr);
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        *complaint = std::string("cannot set up the MQTT client: ") + mosquitto_strerror(rc);
        return false;
    }
    mosquitto_connect_callback_set(mosq_, &MqttClient::onConnect);
    mosquitto_message_callback_set(mosq_, &MqttClient::onMessage);
    connectNow();
    return true;
}

void MqttClient::connectNow() {
    if (stopping_)
        return;
    const int rc = firstAttempt_ ? mosquitto_connect_async(mosq_, config_.broker.host.c_str(),
                                                           config_.broker.port, kKeepAliveSeconds)
                                 : mosquitto_reconnect_async(mosq_);
    firstAttempt_ = false;
    if (rc != MOSQ_ERR_SUCCESS || mosquitto_socket(mosq_) < 0) {
        lost("cannot reach", rc);
        return;
    }
    watchSocket();
}

void MqttClient::watchSocket() {
    dropSocket();
    const int fd = mosquitto_socket(mosq_);
    readNotifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(readNotifier_.get(), &QSocketNotifier::activated, this, &MqttClient::readReady);
    writeNotifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    connect(writeNotifier_.get(), &QSocketNotifier::activated, this, &MqttClient::writeReady);
    updateWriteInterest();
    misc_.start();
}

void MqttClient::dropSocket() {
    misc_.stop();
    // libmosquitto may already have closed the descriptor, and a notifier
    // may be the one calling us: disable now, delete later.
    for (auto* notifier : {&readNotifier_, &writeNotifier_}) {
        if (*notifier) {
            (*notifier)->setEnabled(false);
            (*notifier)->disconnect(this);
            notifier->release()->deleteLater();
        }
    }
}

void MqttClient::lost(const char* what, int rc) {
    dropSocket();
    if (stopping_)
        return;
    const bool wasConnected = connected_;
    connected_ = false;
    retryMs_ = retryMs_ ? std::min(retryMs_ * 2, kLongestRetryMs) : kFirstRetryMs;
    const std::string where = config_.broker.host + ":" + std::to_string(config_.broker.port);
    const std::string reason =
        rc == MOSQ_ERR_ERRNO ? "the connection failed" : std::string(mosquitto_strerror(rc));
    logLine(std::string(wasConnected ? "lost" : what) + " the broker " + where + " (" + reason +
            "); trying again in " + std::to_string(retryMs_ / 1000) + " s");
    retry_.start(retryMs_);
    if (wasConnected)
        emit disconnected();
}

void MqttClient::readReady() {
    const int rc = mosquitto_loop_read(mosq_, 1);
    if (rc != MOSQ_ERR_SUCCESS)
        lost("cannot reach", rc);
    else
        updateWriteInterest();
}

void MqttClient::writeReady() {
    const int rc = mosquitto_loop_write(mosq_, 1);
    if (rc != MOSQ_ERR_SUCCESS)
        lost("cannot reach", rc);
    else
        updateWriteInterest();
}

void MqttClient::housekeeping() {
    const int rc = mosquitto_loop_misc(mosq_);
    if (rc != MOSQ_ERR_SUCCESS)
        lost("cannot reach", rc);
    else
        updateWriteInterest();
}

void MqttClient::updateWriteInterest() {
    if (writeNotifier_)
        writeNotifier_->setEnabled(mosquitto_want_write(mosq_));
}

void MqttClient::publish(const std::string& topic, const std::string& payload, bool retain) {
    if (!connected_)
        return;
    const int rc =
        mosquitto_publish(mosq_, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                          payload.data(), kQos, retain);
    if (rc != MOSQ_ERR_SUCCESS)
        logLine("cannot publish " + topic + ": " + mosquitto_strerror(rc));
    updateWriteInterest();
}

void MqttClient::subscribe(const std::string& filter) {
    if (!connected_)
        return;
    const int rc = mosquitto_subscribe(mosq_, nullptr, filter.c_str(), kQos);
    if (rc != MOSQ_ERR_SUCCESS)
        logLine("cannot subscribe to " + filter + ": " + mosquitto_strerror(rc));
    updateWriteInterest();
}

void MqttClient::stop(const std::string& finalPayload) {
    retry_.stop();
    if (!mosq_ || stopping_)
        return;
    stopping_ = true;
    if (connected_) {
        mosquitto_publish(mosq_, nullptr, will_.topic.c_str(),
                          static_cast<int>(finalPayload.size()), finalPayload.data(), 0, true);
        mosquitto_disconnect(mosq_);
        // Blocking for a moment is fine here: the service is on its way out.
        for (int i = 0; i < kFlushSteps && mosquitto_want_write(mosq_); ++i)
            mosquitto_loop(mosq_, kFlushStepMs, 1);
        connected_ = false;
    }
    dropSocket();
}

void MqttClient::onConnect(mosquitto*, void* self, int rc) {
    auto* client = static_cast<MqttClient*>(self);
    if (rc != 0) {
        logLine(std::string("the broker refused the connection: ") + mosquitto_connack_string(rc));
        return;
    }
    client->connected_ = true;
    client->retryMs_ = 0;
    logLine("connected to " + client->config_.broker.host + ":" +
            std::to_string(client->config_.broker.port));
    emit client->connected();
    client->updateWriteInterest();
}

void MqttClient::onMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto* client = static_cast<MqttClient*>(self);
    const QByteArray payload(static_cast<const char*>(message->payload), message->payloadlen);
    emit client->messageReceived(QString::fromUtf8(message->topic), payload, message->retain);
}

} // namespace mqtt
