#pragma once

#include "chain/SignalChain.h"
#include "link/AppState.h"
#include "mqtt/Bridge.h"
#include "service/Events.h"
#include "service/SceneFollowing.h"
#include "status/StatusLines.h"

#include <cstdint>
#include <memory>

// Ties the bridge to a running service: its notifications become states,
// a command becomes a job in the service's queue followed by a readback, and
// a new input format has the displays' EDIDs read again for the chain check.
namespace mqtt {

class ServiceBridge {
public:
    // With `scenes`, the Scene select and a button per scene recall them.
    ServiceBridge(service::Events& events, BridgeSetup setup,
                  service::SceneFollowing* scenes = nullptr);
    ~ServiceBridge();
    ServiceBridge(const ServiceBridge&) = delete;
    ServiceBridge& operator=(const ServiceBridge&) = delete;

    bool start(std::string* complaint);
    void stop();

private:
    void settingsChanged(const ops::SettingsBlock& block);
    void statusChanged(const ops::StatusReading& reading);
    void checkChain(bool readDisplays);

    service::Events& events_;
    std::unique_ptr<Bridge> bridge_;
    chain::ChainData chain_;
    int lastFormat_ = -1; // -1: the displays were never read
    int subscription_ = 0;
    service::SceneFollowing* scenes_ = nullptr;
    int sceneListener_ = 0;
};

} // namespace mqtt
