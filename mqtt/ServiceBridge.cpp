#include "mqtt/ServiceBridge.h"

#include "mqtt/Log.h"
#include "session/ChainRead.h"
#include "session/DeviceOps.h"

#include <algorithm>
#include <memory>

namespace mqtt {

namespace {

// The device's complaints during the bridge's own jobs go to the log.
class LogReporter : public session::Reporter {
public:
    void status(session::Level level, const char* text, int) override {
        if (level != session::Level::Done)
            logLine(text);
    }
    void diagnostic(const char*) override {}
};

} // namespace

ServiceBridge::ServiceBridge(service::Events& events, BridgeSetup setup,
                             service::SceneFollowing* scenes)
    : events_(events), scenes_(scenes) {
    bridge_ = std::make_unique<Bridge>(std::move(setup), [this](int index, int value) {
        events_.queueJob(
            [index, value] {
                LogReporter reporter;
                session::writeSetting(reporter, static_cast<std::uint8_t>(index), value);
            },
            [this] { events_.readbackSoon(); });
    });
    service::Events::Observer observer;
    observer.settingsChanged = [this](const ops::SettingsBlock& block) { settingsChanged(block); };
    observer.statusChanged = [this](const ops::StatusReading& status) { statusChanged(status); };
    observer.deviceFound = [this] { bridge_->deviceFound(); };
    observer.deviceLost = [this] {
        lastFormat_ = -1;
        bridge_->deviceLost();
    };
    subscription_ = events_.subscribe(std::move(observer));
    if (!scenes_)
        return;
    bridge_->setSceneRecaller([this](const std::string& name) { scenes_->recall(name, "mqtt"); });
    bridge_->scenesListed(scenes_->names());
    bridge_->sceneRecalled(scenes_->lastRecalled());
    sceneListener_ = scenes_->listen(
        {[this](const std::vector<std::string>& names) { bridge_->scenesListed(names); },
         [this](const std::string& name) { bridge_->sceneRecalled(name); }});
}

ServiceBridge::~ServiceBridge() {
    events_.unsubscribe(subscription_);
    if (scenes_)
        scenes_->unlisten(sceneListener_);
}

bool ServiceBridge::start(std::string* complaint) {
    // What the service already knows, for a bridge that starts late.
    if (events_.deviceOpen())
        bridge_->deviceFound();
    else
        bridge_->deviceLost();
    if (events_.lastSettings())
        settingsChanged(*events_.lastSettings());
    if (events_.lastStatus())
        statusChanged(*events_.lastStatus());
    return bridge_->start(complaint);
}

void ServiceBridge::stop() {
    bridge_->stop();
}

void ServiceBridge::settingsChanged(const ops::SettingsBlock& block) {
    std::uint8_t raw[kSettingsBlockSize];
    std::copy(block.begin(), block.end(), raw);
    bridge_->settingsRead(raw);
}

void ServiceBridge::statusChanged(const ops::StatusReading& reading) {
    const StatusFields& status = reading.fields;
    bridge_->statusRead(status);
    // The displays' EDIDs only when the picture changed: reading them takes
    // the device for a while.
    const bool newFormat = status.formatCode != lastFormat_;
    lastFormat_ = status.formatCode;
    checkChain(newFormat);
}

void ServiceBridge::checkChain(bool readDisplays) {
    // chain_ is the work's alone until `then`, which runs after it.
    auto read = std::make_shared<bool>(false);
    events_.queueJob(
        [this, readDisplays, read] {
            LogReporter reporter;
            *read =
                session::readChainData(reporter, &chain_, readDisplays) == session::ChainRead::Ok;
        },
        [this, read] {
            if (*read)
                bridge_->chainChecked(chain::checkChain(chain_));
        });
}

} // namespace mqtt
