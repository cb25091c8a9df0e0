#include "sim/SimUsbLibrary.h"

#include "link/Platform.h"

#include <QFileInfo>

#include <algorithm>
#include <cstring>

SimUsbLibrary::SimUsbLibrary() = default;

void SimUsbLibrary::note(const char* call) {
    if (recordCalls)
        calls.emplace_back(call);
}

void SimUsbLibrary::releaseHeldFaults() {
    if (!heldFaults || modelRequests_ < heldFaultsAfter)
        return;
    const auto apply = std::move(heldFaults);
    heldFaults = nullptr;
    apply(*this);
}

bool SimUsbLibrary::unplugged() const {
    return !unplugFile.empty() && QFileInfo::exists(QString::fromStdString(unplugFile));
}

bool SimUsbLibrary::isModel(DeviceHandle handle) const {
    return handle != kNoDevice && handle == openHandle_ &&
           handle == kHandleBase + static_cast<DeviceHandle>(modelIndex);
}

int SimUsbLibrary::getNumDevices(std::uint32_t* count) {
    note("getNumDevices");
    if (failDeviceCount)
        return 1;
    *count = unplugged() ? 0 : static_cast<std::uint32_t>(serials.size());
    return kSuccess;
}

int SimUsbLibrary::getProductString(std::uint32_t index, char* buffer, std::uint32_t selector) {
    note("getProductString");
    if (index >= serials.size() || failingStringIndexes.count(index) ||
        selector != kSerialNumberSelector)
        return 1;
    const std::string& s = serials[index];
    const std::size_t n = std::min<std::size_t>(s.size(), kStringBufferSize - 1);
    std::memcpy(buffer, s.data(), n);
    buffer[n] = '\0';
    return kSuccess;
}

int SimUsbLibrary::open(std::uint32_t index, DeviceHandle* handle) {
    note("open");
    if (failOpen || index >= serials.size() || unplugged())
        return 1;
    ++openCount;
    openHandle_ = kHandleBase + static_cast<DeviceHandle>(index);
    *handle = openHandle_;
    rx_.clear();
    return kSuccess;
}

int SimUsbLibrary::close(DeviceHandle handle) {
    note("close");
    releaseHeldFaults();
    if (failClose || handle != openHandle_ || handle == kNoDevice)
        return 1;
    ++closeCount;
    openHandle_ = kNoDevice;
    rx_.clear();
    return kSuccess;
}

int SimUsbLibrary::read(DeviceHandle handle, std::uint8_t* buffer, std::uint32_t wanted,
                        std::uint32_t* got) {
    note("read");
    lastReadTimeout = readTimeoutMs;
    *got = 0;
    if (failRead || handle != openHandle_ || unplugged())
        return 1;
    std::uint32_t n = std::min<std::uint32_t>(wanted, static_cast<std::uint32_t>(rx_.size()));
    if (readReturnsAtMost >= 0)
        n = std::min<std::uint32_t>(n, static_cast<std::uint32_t>(readReturnsAtMost));
    for (std::uint32_t i = 0; i < n; ++i) {
        buffer[i] = rx_.front();
        rx_.pop_front();
    }
    *got = n;
    return kSuccess;
}

int SimUsbLibrary::write(DeviceHandle handle, const std::uint8_t* buffer, std::uint32_t count,
                         std::uint32_t* written) {
    note("write");
    releaseHeldFaults();
    lastWriteTimeout = writeTimeoutMs;
    *written = 0;
    if (failWrite || handle != openHandle_ || unplugged())
        return 1;
    *written = count;
    if (!isModel(handle))
        return kSuccess; // some other gadget: it swallows the bytes and says nothing
    ++modelRequests_;
    const std::vector<std::uint8_t> reply = device.handle(buffer, static_cast<int>(count));
    rx_.insert(rx_.end(), reply.begin(), reply.end());
    return kSuccess;
}

int SimUsbLibrary::flushBuffers(DeviceHandle handle, std::uint8_t, std::uint8_t flushReceive) {
    note("flushBuffers");
    if (handle != openHandle_)
        return 1;
    if (flushReceive)
        rx_.clear();
    return kSuccess;
}

int SimUsbLibrary::setTimeouts(std::uint32_t readMs, std::uint32_t writeMs) {
    note("setTimeouts");
    readTimeoutMs = readMs;
    writeTimeoutMs = writeMs;
    return kSuccess;
}

int SimUsbLibrary::getTimeouts(std::uint32_t* readMs, std::uint32_t* writeMs) {
    note("getTimeouts");
    *readMs = readTimeoutMs;
    *writeMs = writeTimeoutMs;
    return kSuccess;
}

int SimUsbLibrary::checkRxQueue(DeviceHandle handle, std::uint32_t* queued,
                                std::uint32_t* queueStatus) {
    note("checkRxQueue");
    if (failQueueChecks != 0) {
        if (failQueueChecks > 0)
            --failQueueChecks;
        return 1;
    }
    if (handle != openHandle_)
        return 1;
    if (rx_.empty())
        pauseOnEmptyQueue();
    *queued = static_cast<std::uint32_t>(rx_.size());
    *queueStatus = rx_.empty() ? 0 : 2;
    return kSuccess;
}
