#include "link/ReplayUsbLibrary.h"

#include "link/AppState.h"
#include "link/Platform.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr DeviceHandle kReplayHandle = 0x5250;
constexpr std::uint32_t kQueueHasData = 2;
} // namespace

ReplayUsbLibrary::ReplayUsbLibrary(const std::vector<TraceEntry>& entries) : entries_(entries) {
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        answers_[entries_[i].request].recorded.push_back(i);
        hasDevice_ = hasDevice_ || !entries_[i].reply.empty();
    }
}

int ReplayUsbLibrary::getNumDevices(std::uint32_t* count) {
    *count = hasDevice_ ? 1 : 0;
    return kSuccess;
}

int ReplayUsbLibrary::getProductString(std::uint32_t index, char* buffer, std::uint32_t selector) {
    if (!hasDevice_ || index != 0 || selector != kSerialNumberSelector)
        return 1;
    // The serial string of the device the recording talked to.
    const std::string serial = AppState{}.productString;
    const std::size_t n = std::min<std::size_t>(serial.size(), kStringBufferSize - 1);
    std::memcpy(buffer, serial.data(), n);
    buffer[n] = '\0';
    return kSuccess;
}

int ReplayUsbLibrary::open(std::uint32_t index, DeviceHandle* handle) {
    if (!hasDevice_ || index != 0)
        return 1;
    open_ = kReplayHandle;
    *handle = open_;
    rx_.clear();
    return kSuccess;
}

int ReplayUsbLibrary::close(DeviceHandle handle) {
    if (!isOpen(handle))
        return 1;
    open_ = kNoDevice;
    rx_.clear();
    return kSuccess;
}

int ReplayUsbLibrary::read(DeviceHandle handle, std::uint8_t* buffer, std::uint32_t wanted,
                           std::uint32_t* got) {
    *got = 0;
    if (!isOpen(handle))
        return 1;
    const std::size_t n = std::min<std::size_t>(wanted, rx_.size());
    std::copy_n(rx_.begin(), n, buffer);
    rx_.erase(rx_.begin(), rx_.begin() + static_cast<std::ptrdiff_t>(n));
    *got = static_cast<std::uint32_t>(n);
    return kSuccess;
}

int ReplayUsbLibrary::write(DeviceHandle handle, const std::uint8_t* buffer, std::uint32_t count,
                            std::uint32_t* written) {
    *written = 0;
    if (!isOpen(handle))
        return 1;
    const auto found = answers_.find(std::vector<std::uint8_t>(buffer, buffer + count));
    if (found == answers_.end()) {
        *written = count;
        return kSuccess; // never recorded: the device stays silent
    }
    Answers& answers = found->second;
    const TraceEntry& entry = entries_[answers.recorded[answers.next]];
    if (answers.next + 1 < answers.recorded.size())
        ++answers.next;
    // Nothing came back and the call failed: the recorded write failed, so
    // this one does too and the transaction ends the same way.
    if (entry.reply.empty() && !entry.result)
        return 1;
    *written = count;
    rx_.insert(rx_.end(), entry.reply.begin(), entry.reply.end());
    return kSuccess;
}

int ReplayUsbLibrary::flushBuffers(DeviceHandle handle, std::uint8_t, std::uint8_t flushReceive) {
    if (!isOpen(handle))
        return 1;
    if (flushReceive)
        rx_.clear();
    return kSuccess;
}

int ReplayUsbLibrary::setTimeouts(std::uint32_t readMs, std::uint32_t writeMs) {
    readTimeoutMs_ = readMs;
    writeTimeoutMs_ = writeMs;
    return kSuccess;
}

int ReplayUsbLibrary::getTimeouts(std::uint32_t* readMs, std::uint32_t* writeMs) {
    *readMs = readTimeoutMs_;
    *writeMs = writeTimeoutMs_;
    return kSuccess;
}

int ReplayUsbLibrary::checkRxQueue(DeviceHandle handle, std::uint32_t* queued,
                                   std::uint32_t* queueStatus) {
    if (!isOpen(handle))
        return 1;
    if (rx_.empty())
        pauseOnEmptyQueue();
    *queued = static_cast<std::uint32_t>(rx_.size());
    *queueStatus = rx_.empty() ? 0 : kQueueHasData;
    return kSuccess;
}
