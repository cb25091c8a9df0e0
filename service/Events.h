#pragma once

#include "ops/SettingsOps.h"
#include "ops/StatusOps.h"
#include "service/Methods.h"

#include <QJsonObject>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// What the service sees of its device, for observers in the same process
// (the MQTT bridge), and a way for them to use the device in turn with every
// client. Everything here runs on the service's event loop thread, but for
// a job's `work`, which runs on the device's thread.
namespace service {

class Events {
public:
    struct Observer {
        std::function<void(const ops::StatusReading& status)> statusChanged;
        std::function<void(const ops::SettingsBlock& settings)> settingsChanged;
        std::function<void()> deviceLost;
        std::function<void()> deviceFound;
        // Every notification the socket's clients get, as they get it.
        std::function<void(const std::string& method, const QJsonObject& params)> notified;
        // A client's method ran; `by` is who asked ("client", "http").
        std::function<void(const std::string& method, const QJsonObject& params,
                           const MethodResult& result, const std::string& by)>
            answered;
    };
    using Job = std::function<void()>;

    // The number ends the subscription again: unsubscribe(n).
    int subscribe(Observer observer) {
        observers_.emplace_back(++lastSubscription_, std::move(observer));
        return lastSubscription_;
    }
    void unsubscribe(int subscription) {
        std::erase_if(observers_,
                      [subscription](const auto& o) { return o.first == subscription; });
    }

    // Runs `work` when the device is free, with the device to itself for the
    // whole call (between two client requests, never inside another's hold),
    // on the device's thread: it uses the session flows as any program does
    // and touches nothing of the event loop's. `then` follows on the event
    // loop's thread, to hand on what the work found. After a setting write,
    // call readbackSoon() (from `then`) to have the change confirmed and
    // announced.
    void queueJob(Job work, Job then = {}) {
        if (queue_)
            queue_(std::move(work), std::move(then));
    }
    void readbackSoon() {
        if (readback_)
            readback_();
    }

    // A notification of the observer's own to every client of the socket.
    void notify(const std::string& method, const QJsonObject& params) {
        if (notify_)
            notify_(method, params);
    }

    bool deviceOpen() const { return deviceOpen_; }
    // What the poll read last; empty before the first read.
    const std::optional<ops::StatusReading>& lastStatus() const { return lastStatus_; }
    const std::optional<ops::SettingsBlock>& lastSettings() const { return lastSettings_; }

    // The service's side.
    void setQueue(std::function<void(Job, Job)> queue, std::function<void()> readback) {
        queue_ = std::move(queue);
        readback_ = std::move(readback);
    }
    void setNotify(std::function<void(const std::string&, const QJsonObject&)> notify) {
        notify_ = std::move(notify);
    }
    void statusChanged(const ops::StatusReading& status) {
        lastStatus_ = status;
        for (const auto& [n, o] : observers_)
            if (o.statusChanged)
                o.statusChanged(status);
    }
    void settingsChanged(const ops::SettingsBlock& settings) {
        lastSettings_ = settings;
        for (const auto& [n, o] : observers_)
            if (o.settingsChanged)
                o.settingsChanged(settings);
    }
    void deviceLost() {
        deviceOpen_ = false;
        for (const auto& [n, o] : observers_)
            if (o.deviceLost)
                o.deviceLost();
    }
    void notified(const std::string& method, const QJsonObject& params) {
        for (const auto& [n, o] : observers_)
            if (o.notified)
                o.notified(method, params);
    }
    void answered(const std::string& method, const QJsonObject& params, const MethodResult& result,
                  const std::string& by) {
        for (const auto& [n, o] : observers_)
            if (o.answered)
                o.answered(method, params, result, by);
    }
    void deviceFound() {
        deviceOpen_ = true;
        for (const auto& [n, o] : observers_)
            if (o.deviceFound)
                o.deviceFound();
    }

private:
    std::vector<std::pair<int, Observer>> observers_;
    int lastSubscription_ = 0;
    std::function<void(Job, Job)> queue_;
    std::function<void()> readback_;
    std::function<void(const std::string&, const QJsonObject&)> notify_;
    bool deviceOpen_ = false;
    std::optional<ops::StatusReading> lastStatus_;
    std::optional<ops::SettingsBlock> lastSettings_;
};

} // namespace service
