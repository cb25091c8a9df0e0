#pragma once

#include <QJsonObject>

#include <functional>
#include <vector>

// What the service sees of its device, for observers in the same process
// (the MQTT bridge), and a way for them to use the device in turn with every
// client. Everything runs on the service's thread.
namespace service {

class Events {
public:
    struct Observer {
        std::function<void(const QJsonObject& status)> statusChanged;
        std::function<void(const QJsonObject& settings)> settingsChanged;
        std::function<void()> deviceLost;
        std::function<void()> deviceFound;
    };
    using Job = std::function<void()>;

    void subscribe(Observer observer) { observers_.push_back(std::move(observer)); }

    // Runs `job` when the device is free, with the device to itself for the
    // whole call (between two client requests, never inside another's hold);
    // it uses the session flows as any program does. After a setting write,
    // call readbackSoon() to have the change confirmed and announced.
    void queueJob(Job job) {
        if (queue_)
            queue_(std::move(job));
    }
    void readbackSoon() {
        if (readback_)
            readback_();
    }

    bool deviceOpen() const { return deviceOpen_; }
    const QJsonObject& lastStatus() const { return lastStatus_; }
    const QJsonObject& lastSettings() const { return lastSettings_; }

    // The service's side.
    void setQueue(std::function<void(Job)> queue, std::function<void()> readback) {
        queue_ = std::move(queue);
        readback_ = std::move(readback);
    }
    void statusChanged(const QJsonObject& status) {
        lastStatus_ = status;
        for (const Observer& o : observers_)
            if (o.statusChanged)
                o.statusChanged(status);
    }
    void settingsChanged(const QJsonObject& settings) {
        lastSettings_ = settings;
        for (const Observer& o : observers_)
            if (o.settingsChanged)
                o.settingsChanged(settings);
    }
    void deviceLost() {
        deviceOpen_ = false;
        for (const Observer& o : observers_)
            if (o.deviceLost)
                o.deviceLost();
    }
    void deviceFound() {
        deviceOpen_ = true;
        for (const Observer& o : observers_)
            if (o.deviceFound)
                o.deviceFound();
    }

private:
    std::vector<Observer> observers_;
    std::function<void(Job)> queue_;
    std::function<void()> readback_;
    bool deviceOpen_ = false;
    QJsonObject lastStatus_;
    QJsonObject lastSettings_;
};

} // namespace service
