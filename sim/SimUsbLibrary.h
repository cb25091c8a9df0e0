#pragma once

#include "link/UsbLibrary.h"
#include "sim/SimulatedDevice.h"

#include <deque>
#include <functional>
#include <set>
#include <string>
#include <vector>

// The ten library operations in front of a SimulatedDevice, with knobs that
// make single calls fail. Other "devices" on the bus only have a serial string.
class SimUsbLibrary : public UsbLibrary {
public:
    SimUsbLibrary();

    int getNumDevices(std::uint32_t* count) override;
    int getProductString(std::uint32_t index, char* buffer, std::uint32_t selector) override;
    int open(std::uint32_t index, DeviceHandle* handle) override;
    int close(DeviceHandle handle) override;
    int read(DeviceHandle handle, std::uint8_t* buffer, std::uint32_t wanted,
             std::uint32_t* got) override;
    int write(DeviceHandle handle, const std::uint8_t* buffer, std::uint32_t count,
              std::uint32_t* written) override;
    int flushBuffers(DeviceHandle handle, std::uint8_t flushTransmit,
                     std::uint8_t flushReceive) override;
    int setTimeouts(std::uint32_t readMs, std::uint32_t writeMs) override;
    int getTimeouts(std::uint32_t* readMs, std::uint32_t* writeMs) override;
    int checkRxQueue(DeviceHandle handle, std::uint32_t* queued,
                     std::uint32_t* queueStatus) override;

    SimulatedDevice device;

    // The bus: one serial string per device index; the model sits at `modelIndex`.
    std::vector<std::string> serials{"2023"};
    std::uint32_t modelIndex = 0;
    std::set<std::uint32_t> failingStringIndexes;

    // Failing library calls.
    bool failDeviceCount = false;
    bool failOpen = false;
    bool failClose = false;
    bool failWrite = false;
    bool failRead = false;
    int failQueueChecks = 0;    // this many checks fail, then they work again; -1: all fail
    int readReturnsAtMost = -1; // >= 0: one read delivers no more than this
    // While this file exists the device is unplugged: off the bus, and an
    // open handle fails every call. Another process can pull and plug it.
    std::string unplugFile;
    bool unplugged() const;

    // Faults held back until this many requests have reached the model, so
    // that start-up can succeed first. Applied once, before the next request
    // (or close) after that.
    std::function<void(SimUsbLibrary&)> heldFaults;
    int heldFaultsAfter = 0;

    // What the program did to the library (kept only while recordCalls is set).
    bool recordCalls = true;
    std::vector<std::string> calls;
    int openCount = 0;
    int closeCount = 0;
    std::uint32_t readTimeoutMs = 500;
    std::uint32_t writeTimeoutMs = 500;
    // Timeouts in force during the last read and write.
    std::uint32_t lastReadTimeout = 0;
    std::uint32_t lastWriteTimeout = 0;

    static constexpr DeviceHandle kHandleBase = 0x4B56;

private:
    bool isModel(DeviceHandle handle) const;
    void note(const char* call);
    void releaseHeldFaults();
    DeviceHandle openHandle_ = kNoDevice;
    std::deque<std::uint8_t> rx_;
    int modelRequests_ = 0;
};
