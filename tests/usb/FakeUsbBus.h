#pragma once

#include "sim/SimulatedDevice.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

typedef struct _UMockdevTestbed UMockdevTestbed;

// A USB bus under a umockdev testbed: each device has our bridge's descriptors
// and answers the usbdevfs ioctls libusb sends. The device whose `model` flag
// is set passes bulk OUT requests to a SimulatedDevice and returns its replies
// on bulk IN; the others swallow requests and never answer.
//
// The ioctl handlers run on umockdev's thread: reach the model and the knobs
// only through withModel() and the other members, which take the lock.
class FakeUsbBus {
public:
    struct DeviceInfo {
        std::uint16_t vendor = 0x10c4;
        std::uint16_t product = 0xea61;
        std::string serial; // empty: the device has no serial-number string
        bool model = false;
    };

    FakeUsbBus();
    ~FakeUsbBus();
    FakeUsbBus(const FakeUsbBus&) = delete;
    FakeUsbBus& operator=(const FakeUsbBus&) = delete;

    // Adds a device on a bus of its own; returns its node under the testbed's
    // root ("" on failure, with error() saying why).
    std::string add(const DeviceInfo& info);
    const std::string& error() const { return error_; }
    std::string rootDir() const;

    template <typename F> auto withModel(F f) {
        std::lock_guard<std::mutex> lock(mutex_);
        return f(model_);
    }

    // Every device vanishes: pending transfers end, later ioctls fail with ENODEV.
    void unplugAll();
    // Replies are held back until libusb gives up on the read (timeout), then
    // handed over with the cancelled transfer, the way a reply racing a
    // timeout arrives.
    void setDeliverOnlyOnCancel(bool on);

    // Counters over every device.
    int ioctlCount() const;
    int inSubmitCount() const;
    int releaseCount() const;

    struct Device;

private:
    friend struct Device;
    UMockdevTestbed* testbed_ = nullptr;
    std::vector<std::unique_ptr<Device>> devices_;
    SimulatedDevice model_;
    mutable std::mutex mutex_;
    std::string error_;
};
