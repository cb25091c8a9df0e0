#pragma once

#include <QObject>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// The one thread that talks to the device for the service. The event loop
// hands it one piece of work at a time and carries on accepting, reading and
// answering clients meanwhile; what follows the work runs back on the event
// loop's thread, in the context of `home`. AppState, the link and the flows
// are touched from this thread only once the service runs.
namespace service {

class DeviceWorker {
public:
    explicit DeviceWorker(QObject* home);
    ~DeviceWorker(); // waits for the work under way, then ends the thread
    DeviceWorker(const DeviceWorker&) = delete;
    DeviceWorker& operator=(const DeviceWorker&) = delete;

    // `work` on the device thread, then `then` on the home thread. False,
    // with nothing done, while work is under way.
    bool run(std::function<void()> work, std::function<void()> then);
    bool busy() const { return busy_; }
    // Waits for the work under way; its `then` is not run.
    void finish();

private:
    void loop();

    QObject* home_; // outlives this object: pending `then`s die with it
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::function<void()> work_;
    std::function<void()> then_;
    bool busy_ = false;    // set and cleared on the home thread
    bool running_ = false; // work_ taken and not yet done, under mutex_
    bool stopping_ = false;
    bool dropThen_ = false;
    std::thread thread_;
};

} // namespace service
