#include "mqtt/ServiceBridge.h"

#include "mqtt/Log.h"
#include "session/ChainRead.h"
#include "session/DeviceOps.h"

#include <QJsonArray>

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

std::string text(const QJsonValue& value) {
    return value.toString().toStdString();
}

} // namespace

bool blockFromSettingsJson(const QJsonObject& doc, std::uint8_t (&block)[kSettingsBlockSize]) {
    const QJsonObject values = doc["values"].toObject();
    if (values.isEmpty())
        return false;
    for (const settings::Setting& s : settings::allSettings()) {
        if (!s.name || s.position < 0 || s.position >= kSettingsBlockSize)
            continue;
        const QJsonValue v = values[s.name];
        if (v.isDouble())
            block[s.position] = static_cast<std::uint8_t>(v.toInt());
    }
    return true;
}

StatusFields statusFromJson(const QJsonObject& doc) {
    StatusFields f;
    const QJsonObject format = doc["inputFormat"].toObject();
    f.formatCode = format["code"].toInt();
    f.formatName = text(format["name"]);
    f.hdmi = doc["hdmi"].toBool();
    f.linkMode = text(doc["linkMode"]);
    for (const QJsonValue& o : doc["outputs"].toArray())
        f.outputs.push_back(text(o));
    f.colourSpace = text(doc["colourSpace"]);
    f.colorimetry = text(doc["colorimetry"]);
    const QJsonObject source = doc["source"].toObject();
    f.vendor = text(source["vendor"]);
    f.product = text(source["product"]);
    f.hdrEotf = text(doc["hdrEotf"]);
    return f;
}

ServiceBridge::ServiceBridge(service::Events& events, BridgeSetup setup) : events_(events) {
    bridge_ = std::make_unique<Bridge>(std::move(setup), [this](int index, int value) {
        events_.queueJob(
            [index, value] {
                LogReporter reporter;
                session::writeSetting(reporter, static_cast<std::uint8_t>(index), value);
            },
            [this] { events_.readbackSoon(); });
    });
    service::Events::Observer observer;
    observer.settingsChanged = [this](const QJsonObject& doc) { settingsChanged(doc); };
    observer.statusChanged = [this](const QJsonObject& doc) { statusChanged(doc); };
    observer.deviceFound = [this] { bridge_->deviceFound(); };
    observer.deviceLost = [this] {
        lastFormat_ = -1;
        bridge_->deviceLost();
    };
    subscription_ = events_.subscribe(std::move(observer));
}

ServiceBridge::~ServiceBridge() {
    events_.unsubscribe(subscription_);
}

bool ServiceBridge::start(std::string* complaint) {
    // What the service already knows, for a bridge that starts late.
    if (events_.deviceOpen())
        bridge_->deviceFound();
    else
        bridge_->deviceLost();
    if (!events_.lastSettings().isEmpty())
        settingsChanged(events_.lastSettings());
    if (!events_.lastStatus().isEmpty())
        statusChanged(events_.lastStatus());
    return bridge_->start(complaint);
}

void ServiceBridge::stop() {
    bridge_->stop();
}

void ServiceBridge::settingsChanged(const QJsonObject& doc) {
    std::uint8_t block[kSettingsBlockSize] = {};
    if (blockFromSettingsJson(doc, block))
        bridge_->settingsRead(block);
}

void ServiceBridge::statusChanged(const QJsonObject& doc) {
    const StatusFields status = statusFromJson(doc);
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
