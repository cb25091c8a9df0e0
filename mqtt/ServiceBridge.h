#pragma once

#include "chain/SignalChain.h"
#include "link/AppState.h"
#include "mqtt/Bridge.h"
#include "service/Events.h"
#include "status/StatusLines.h"

#include <QJsonObject>

#include <cstdint>
#include <memory>

// Ties the bridge to a running service: its notifications become states,
// a command becomes a job in the service's queue followed by a readback, and
// a new input format has the displays' EDIDs read again for the chain check.
namespace mqtt {

// The service's "settingsChanged" document ({"values": {name: number}}) as a
// block; false when it carries no values.
bool blockFromSettingsJson(const QJsonObject& doc, std::uint8_t (&block)[kSettingsBlockSize]);
// The service's "statusChanged" document (as `korvanta --json status`).
StatusFields statusFromJson(const QJsonObject& doc);

class ServiceBridge {
public:
    ServiceBridge(service::Events& events, BridgeSetup setup);
    ~ServiceBridge();
    ServiceBridge(const ServiceBridge&) = delete;
    ServiceBridge& operator=(const ServiceBridge&) = delete;

    bool start(std::string* complaint);
    void stop();

private:
    void settingsChanged(const QJsonObject& doc);
    void statusChanged(const QJsonObject& doc);
    void checkChain(bool readDisplays);

    service::Events& events_;
    std::unique_ptr<Bridge> bridge_;
    chain::ChainData chain_;
    int lastFormat_ = -1; // -1: the displays were never read
    int subscription_ = 0;
};

} // namespace mqtt
