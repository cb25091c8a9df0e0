#include "sim/SimUsbLibrary.h"

#include "link/Platform.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

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

std::vector<SimulatedDevice*> SimUsbLibrary::addUnits(int total) {
    std::vector<SimulatedDevice*> added;
    while (static_cast<int>(moreUnits.size()) + 1 < total) {
        const auto at = modelIndex + 1 + static_cast<std::uint32_t>(moreUnits.size());
        serials.insert(serials.begin() + std::min<std::size_t>(at, serials.size()), "2023");
        moreUnits.push_back(std::make_unique<SimulatedDevice>());
        added.push_back(moreUnits.back().get());
    }
    return added;
}

int SimUsbLibrary::unitNumberAt(std::uint32_t busIndex) const {
    if (busIndex < modelIndex || busIndex > modelIndex + moreUnits.size())
        return 0;
    return static_cast<int>(busIndex - modelIndex) + 1;
}

SimulatedDevice* SimUsbLibrary::unitAt(std::uint32_t busIndex) {
    const int unit = unitNumberAt(busIndex);
    if (unit == 0)
        return nullptr;
    return unit == 1 ? &device : moreUnits[std::size_t(unit - 2)].get();
}

SimulatedDevice* SimUsbLibrary::modelFor(DeviceHandle handle) {
    if (handle == kNoDevice || handle != openHandle_ || openDead_ || handle < kHandleBase)
        return nullptr;
    return unitAt(static_cast<std::uint32_t>(handle - kHandleBase));
}

void SimUsbLibrary::readPlugFile() {
    if (plugFile.empty())
        return;
    std::ifstream in(plugFile);
    std::stringstream text;
    text << in.rdbuf();
    std::string word;
    unplugged_.clear();
    if (text >> word && word == "unplugged") {
        std::set<std::string> named;
        while (text >> word)
            named.insert(word);
        for (std::uint32_t i = 0; i < serials.size(); ++i) {
            const int unit = unitNumberAt(i);
            if (unit && (named.empty() || named.count("sim-" + std::to_string(unit))))
                unplugged_.insert(unit);
        }
    }
    if (openHandle_ != kNoDevice &&
        unplugged_.count(unitNumberAt(static_cast<std::uint32_t>(openHandle_ - kHandleBase))))
        openDead_ = true;
}

bool SimUsbLibrary::busIndexFor(std::uint32_t visible, std::uint32_t* busIndex) {
    if (plugFile.empty()) {
        *busIndex = visible;
        return visible < serials.size();
    }
    if (visible >= shown_.size() || unplugged_.count(unitNumberAt(shown_[visible])))
        return false;
    *busIndex = shown_[visible];
    return true;
}

bool SimUsbLibrary::openHandleAlive(DeviceHandle handle) const {
    return handle != kNoDevice && handle == openHandle_ && !openDead_;
}

int SimUsbLibrary::getNumDevices(std::uint32_t* count) {
    note("getNumDevices");
    readPlugFile();
    if (failDeviceCount)
        return 1;
    shown_.clear();
    for (std::uint32_t i = 0; i < serials.size(); ++i)
        if (!unplugged_.count(unitNumberAt(i)))
            shown_.push_back(i);
    *count = static_cast<std::uint32_t>(plugFile.empty() ? serials.size() : shown_.size());
    return kSuccess;
}

int SimUsbLibrary::getDeviceLocation(std::uint32_t visible, char* buffer) {
    readPlugFile();
    std::uint32_t index = 0;
    if (!busIndexFor(visible, &index))
        return 1;
    // A gadget answering to the unit's serial stands in for it (extra-device=2023):
    // it claims the first unit's place, so that it is found instead, as before.
    int unit = unitNumberAt(index);
    if (unit == 0 && modelIndex < serials.size() && serials[index] == serials[modelIndex])
        unit = 1;
    const std::string where =
        unit ? "sim-" + std::to_string(unit) : "sim-other-" + std::to_string(index);
    std::snprintf(buffer, kStringBufferSize, "%s", where.c_str());
    return kSuccess;
}

int SimUsbLibrary::getProductString(std::uint32_t visible, char* buffer, std::uint32_t selector) {
    note("getProductString");
    readPlugFile();
    std::uint32_t index = 0;
    if (!busIndexFor(visible, &index) || failingStringIndexes.count(index) ||
        selector != kSerialNumberSelector)
        return 1;
    const std::string& s = serials[index];
    const std::size_t n = std::min<std::size_t>(s.size(), kStringBufferSize - 1);
    std::memcpy(buffer, s.data(), n);
    buffer[n] = '\0';
    return kSuccess;
}

int SimUsbLibrary::open(std::uint32_t visible, DeviceHandle* handle) {
    note("open");
    readPlugFile();
    std::uint32_t index = 0;
    if (failOpen || !busIndexFor(visible, &index))
        return 1;
    ++openCount;
    if (SimulatedDevice* unit = unitAt(index); unit && unit->onOpen)
        unit->onOpen(*unit);
    openDead_ = false;
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
    openDead_ = false;
    rx_.clear();
    return kSuccess;
}

int SimUsbLibrary::read(DeviceHandle handle, std::uint8_t* buffer, std::uint32_t wanted,
                        std::uint32_t* got) {
    note("read");
    lastReadTimeout = readTimeoutMs;
    *got = 0;
    readPlugFile();
    if (failRead || !openHandleAlive(handle))
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
    readPlugFile();
    if (failWrite || !openHandleAlive(handle))
        return 1;
    *written = count;
    SimulatedDevice* model = modelFor(handle);
    if (!model)
        return kSuccess; // some other gadget: it swallows the bytes and says nothing
    ++modelRequests_;
    const std::vector<std::uint8_t> reply = model->handle(buffer, static_cast<int>(count));
    rx_.insert(rx_.end(), reply.begin(), reply.end());
    return kSuccess;
}

int SimUsbLibrary::flushBuffers(DeviceHandle handle, std::uint8_t, std::uint8_t flushReceive) {
    note("flushBuffers");
    readPlugFile();
    if (!openHandleAlive(handle))
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
    readPlugFile();
    if (!openHandleAlive(handle))
        return 1;
    if (rx_.empty())
        pauseOnEmptyQueue();
    *queued = static_cast<std::uint32_t>(rx_.size());
    *queueStatus = rx_.empty() ? 0 : 2;
    return kSuccess;
}
