#pragma once

#include "link/UsbLibrary.h"
#include "sim/SimulatedDevice.h"

#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

// The ten library operations in front of a SimulatedDevice, with knobs that
// make single calls fail. Other "devices" on the bus only have a serial string.
// More units, each a SimulatedDevice of its own, sit right after the first.
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
    // Units are "sim-1", "sim-2", ...; other gadgets "sim-other-<bus index>".
    int getDeviceLocation(std::uint32_t index, char* buffer) override;

    SimulatedDevice device; // unit 1
    // Units 2, 3, ...: after the first on the bus.
    std::vector<std::unique_ptr<SimulatedDevice>> moreUnits;
    // Adds units until there are `total`; returns the new ones.
    std::vector<SimulatedDevice*> addUnits(int total);
    // The unit at a bus index (ignoring unplugging), or null for other gadgets.
    SimulatedDevice* unitAt(std::uint32_t busIndex);
    int unitNumberAt(std::uint32_t busIndex) const; // 0: not a unit

    // A file re-read before each call: "unplugged" takes every unit off the
    // bus, "unplugged sim-2 ..." only those named; anything else, or no file,
    // puts them back. An unplugged unit's open handle stays dead until closed.
    std::string plugFile;

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
    SimulatedDevice* modelFor(DeviceHandle handle);
    void note(const char* call);
    void releaseHeldFaults();
    // Re-reads the plug file; the bus index behind a visible one (false: none).
    void readPlugFile();
    bool busIndexFor(std::uint32_t visible, std::uint32_t* busIndex);
    bool openHandleAlive(DeviceHandle handle) const;
    std::set<int> unplugged_;          // unit numbers
    std::vector<std::uint32_t> shown_; // visible index -> bus index, once counted
    bool openDead_ = false;
    DeviceHandle openHandle_ = kNoDevice;
    std::deque<std::uint8_t> rx_;
    int modelRequests_ = 0;
};
