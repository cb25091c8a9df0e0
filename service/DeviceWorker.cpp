#include "service/DeviceWorker.h"

#include <QMetaObject>

namespace service {

DeviceWorker::DeviceWorker(QObject* home) : home_(home), thread_([this] { loop(); }) {}

DeviceWorker::~DeviceWorker() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        dropThen_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

bool DeviceWorker::run(std::function<void()> work, std::function<void()> then) {
    if (busy_)
        return false;
    busy_ = true;
    {
        std::lock_guard lock(mutex_);
        work_ = std::move(work);
        then_ = std::move(then);
        running_ = true;
    }
    wake_.notify_all();
    return true;
}

void DeviceWorker::finish() {
    std::unique_lock lock(mutex_);
    dropThen_ = true;
    idle_.wait(lock, [this] { return !running_; });
    dropThen_ = false;
    busy_ = false;
}

void DeviceWorker::loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || work_; });
        if (!work_)
            return;
        std::function<void()> work = std::move(work_);
        std::function<void()> then = std::move(then_);
        work_ = nullptr;
        then_ = nullptr;
        lock.unlock();
        work();
        lock.lock();
        running_ = false;
        const bool drop = dropThen_;
        idle_.notify_all();
        if (drop)
            continue;
        // The home thread learns the work is done only by running this.
        QMetaObject::invokeMethod(
            home_,
            [this, then = std::move(then)] {
                busy_ = false;
                if (then)
                    then();
            },
            Qt::QueuedConnection);
    }
}

} // namespace service
