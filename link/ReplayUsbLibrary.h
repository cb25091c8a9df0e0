#pragma once

#include "link/Trace.h"
#include "link/UsbLibrary.h"

#include <cstdint>
#include <deque>
#include <map>
#include <vector>

// A device that answers from a recorded trace: each request gets the reply
// recorded for the same bytes, the n-th identical request the n-th recorded
// reply, and the last one again when they run out. A request never recorded
// gets no reply. The bus holds the one device the program looks for, unless
// the recording never heard a reply at all: then, as when it was recorded,
// there is no device.
class ReplayUsbLibrary : public UsbLibrary {
public:
    explicit ReplayUsbLibrary(const std::vector<TraceEntry>& entries);

    bool hasDevice() const { return hasDevice_; }

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

private:
    struct Answers {
        std::vector<std::size_t> recorded; // indexes into entries_
        std::size_t next = 0;
    };
    bool isOpen(DeviceHandle handle) const { return handle != kNoDevice && handle == open_; }

    std::vector<TraceEntry> entries_;
    std::map<std::vector<std::uint8_t>, Answers> answers_;
    bool hasDevice_ = false;
    DeviceHandle open_ = kNoDevice;
    std::deque<std::uint8_t> rx_;
    std::uint32_t readTimeoutMs_ = 0;
    std::uint32_t writeTimeoutMs_ = 0;
};
