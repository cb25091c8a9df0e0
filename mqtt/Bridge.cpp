#include "mqtt/Bridge.h"

#include "link/LogText.h"
#include "mqtt/Log.h"
#include "mqtt/MqttClient.h"
#include "mqtt/States.h"

#include <QJsonDocument>

namespace mqtt {

Bridge::Bridge(BridgeSetup setup, SettingWriter writer, QObject* parent)
    : QObject(parent), writer_(std::move(writer)) {
    unit_.deviceId = setup.deviceId;
    unit_.prefix = setup.config.prefix;
    unit_.version = setup.version;
    unit_.readOnly = setup.config.readOnly;
    client_ = std::make_unique<MqttClient>(clientId(setup.hostName, setup.deviceId), setup.config,
                                           Will{availabilityTopic(unit_), kOffline});
    connect(client_.get(), &MqttClient::connected, this, &Bridge::connected);
    connect(client_.get(), &MqttClient::messageReceived, this, &Bridge::received);
}

Bridge::~Bridge() = default;

std::string Bridge::clientId(const std::string& hostName, const std::string& deviceId) {
    return "korvanta-" + nodeId(hostName) + "-" + nodeId(deviceId);
}

bool Bridge::start(std::string* complaint) {
    return client_->start(complaint);
}

void Bridge::stop() {
    client_->stop(kOffline);
}

void Bridge::connected() {
    client_->subscribe(homeAssistantStatusTopic(unit_));
    if (!unit_.readOnly)
        client_->subscribe(commandFilter(unit_));
    publishDiscovery();
}

// Discovery first, then availability, then the states: Home Assistant shows
// an entity as unavailable until its availability says online.
void Bridge::publishDiscovery() {
    // The other mode's documents may still stand from an earlier run (a
    // select beside the sensor of one setting): an empty retained payload
    // takes each away.
    // So do the buttons of scenes that have gone since.
    std::set<std::string> mine;
    for (const Entity& e : entities(unit_))
        mine.insert(discoveryTopic(unit_, e));
    Unit other = unit_;
    other.readOnly = !unit_.readOnly;
    std::set<std::string> gone = published_;
    for (const Entity& e : entities(other))
        gone.insert(discoveryTopic(other, e));
    for (const std::string& topic : gone)
        if (!mine.contains(topic))
            client_->publish(topic, "", true);
    published_ = mine;
    for (const Entity& e : entities(unit_)) {
        const QByteArray doc =
            QJsonDocument(discoveryDocument(unit_, e)).toJson(QJsonDocument::Compact);
        client_->publish(discoveryTopic(unit_, e), doc.toStdString(), true);
    }
    client_->publish(availabilityTopic(unit_), kOnline, true);
    for (const auto& [topic, payload] : states_)
        client_->publish(topic, payload, true);
}

void Bridge::update(const std::vector<Message>& messages) {
    for (const Message& m : messages) {
        if (m.topic.empty())
            continue;
        auto [it, added] = states_.try_emplace(m.topic, m.payload);
        if (!added && it->second == m.payload)
            continue;
        it->second = m.payload;
        client_->publish(m.topic, m.payload, true);
    }
}

void Bridge::received(const QString& topic, const QByteArray& payload, bool retained) {
    const std::string t = topic.toStdString();
    const std::string p = payload.toStdString();
    if (t == homeAssistantStatusTopic(unit_)) {
        // Home Assistant's birth message: it may have forgotten everything.
        if (p == kOnline)
            publishDiscovery();
        return;
    }
    Command command;
    std::string complaint, scene;
    const CommandCheck sceneCheck = checkSceneCommand(unit_, t, p, &scene, &complaint);
    if (sceneCheck != CommandCheck::NotACommand) {
        if (retained) {
            if (staleSaid_.insert(t).second)
                logLine("ignored a retained message on " + logText(t) +
                        ": commands are taken only as they are sent; nothing was recalled");
        } else if (sceneCheck == CommandCheck::Refused) {
            logLine("ignored a command on " + logText(t) + ": " + complaint);
        } else if (recallScene_) {
            recallScene_(scene);
        }
        return;
    }
    const CommandCheck check = checkCommand(unit_, t, p, &command, &complaint);
    if (check == CommandCheck::NotACommand)
        return;
    // A command is something sent now. A retained one was left on the broker
    // by someone, some time ago, and would come back on every connect.
    if (retained) {
        if (staleSaid_.insert(t).second)
            logLine("ignored a retained message on " + logText(t) + " (\"" + logText(p) +
                    "\"): commands are taken only as they are sent; nothing was sent");
        return;
    }
    switch (check) {
    case CommandCheck::NotACommand:
        return;
    case CommandCheck::Refused:
        logLine("ignored a command on " + logText(t) + ": " + complaint + "; nothing was sent");
        return;
    case CommandCheck::Accepted:
        writer_(command.setting->index, command.value);
        emit commandQueued(command.setting->index, command.value);
        return;
    }
}

void Bridge::settingsRead(const std::uint8_t (&block)[kSettingsBlockSize]) {
    update(settingStates(unit_, block));
}

void Bridge::statusRead(const StatusFields& status) {
    update(statusStates(unit_, status));
}

void Bridge::chainChecked(const chain::ChainReport& report) {
    update(chainStates(unit_, report));
}

void Bridge::deviceFound() {
    update(connectionStates(unit_, true));
}

void Bridge::deviceLost() {
    update(connectionStates(unit_, false));
}

void Bridge::scenesListed(const std::vector<std::string>& names) {
    if (names == unit_.scenes)
        return;
    unit_.scenes = names;
    if (client_->isConnected())
        publishDiscovery();
    if (!names.empty())
        update({sceneState(unit_, lastScene_)});
}

void Bridge::sceneRecalled(const std::string& name) {
    lastScene_ = name;
    if (!unit_.scenes.empty())
        update({sceneState(unit_, lastScene_)});
}

} // namespace mqtt
