#pragma once

#include "chain/SignalChain.h"
#include "link/AppState.h"
#include "mqtt/Discovery.h"
#include "mqtt/MqttOptions.h"
#include "status/StatusLines.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

// Home Assistant's side of `korvanta serve`: what the service learns about
// the device goes out as retained states, and a checked command comes back
// as a setting write for the service to queue. The bridge never touches the
// device itself.
namespace mqtt {

class MqttClient;
struct Message;

struct BridgeSetup {
    MqttConfig config;
    std::string deviceId;
    std::string hostName; // in the client ID, so two computers never share one
    std::string version;
};

// Queues one setting write with everything else the service sends; the
// service reports the readback that follows through settingsRead().
using SettingWriter = std::function<void(int settingIndex, int value)>;

class Bridge : public QObject {
    Q_OBJECT
public:
    Bridge(BridgeSetup setup, SettingWriter writer, QObject* parent = nullptr);
    ~Bridge() override;

    // False with a complaint when the client cannot be set up at all.
    bool start(std::string* complaint);
    // "offline" on the availability topic, then a clean disconnect.
    void stop();

    // What the service saw. Only changed states go out, all of them again
    // when Home Assistant or the broker comes back.
    void settingsRead(const std::uint8_t (&block)[kSettingsBlockSize]);
    void statusRead(const StatusFields& status);
    void chainChecked(const chain::ChainReport& report);
    void deviceFound();
    void deviceLost();
    // The scenes there are, each a button; their discovery follows a change.
    void scenesListed(const std::vector<std::string>& names);
    void sceneRecalled(const std::string& name);
    // Where the Scene select and the scene buttons send their scene.
    void setSceneRecaller(std::function<void(const std::string& scene)> recall) {
        recallScene_ = std::move(recall);
    }

    const Unit& unit() const { return unit_; }
    static std::string clientId(const std::string& hostName, const std::string& deviceId);

signals:
    // A command went to the writer (for tests and the service's log).
    void commandQueued(int settingIndex, int value);

private:
    void connected();
    void received(const QString& topic, const QByteArray& payload, bool retained);
    void publishDiscovery();
    void update(const std::vector<Message>& messages);

    Unit unit_;
    SettingWriter writer_;
    std::unique_ptr<MqttClient> client_;
    std::map<std::string, std::string> states_; // topic → last payload
    std::set<std::string> staleSaid_;           // command topics whose retained message was logged
    std::set<std::string> published_;           // discovery topics this run put there
    std::function<void(const std::string&)> recallScene_;
    std::string lastScene_;
};

} // namespace mqtt
