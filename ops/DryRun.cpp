#include "ops/DryRun.h"

#include "link/Forwarder.h"
#include "link/Platform.h"
#include "link/Protocol.h"
#include "link/Trace.h"
#include "link/UsbLibrary.h"
#include "ops/Reporter.h"

#include <algorithm>
#include <deque>

namespace ops {

// Write requests are kept and acknowledged here; reads pass to the device,
// and so do the requests that only stage an EDID for reading. The trace shows
// a kept request as a comment, never as something the device acknowledged.
struct DryRun::Wrapper : UsbLibrary, Forwarder {
    Wrapper(UsbLibrary& inner, Trace* trace, Forwarder* service)
        : inner(inner), trace(trace), service(service) {}

    static bool onlyPreparesRead(const std::uint8_t* request) {
        return request[2] == proto::kCmdStageDeviceEdid || request[2] == proto::kCmdStageTopEdid ||
               request[2] == proto::kCmdStageBotEdid;
    }

    int getNumDevices(std::uint32_t* count) override { return inner.getNumDevices(count); }
    int getProductString(std::uint32_t index, char* buffer, std::uint32_t selector) override {
        return inner.getProductString(index, buffer, selector);
    }
    int getDeviceLocation(std::uint32_t index, char* buffer) override {
        return inner.getDeviceLocation(index, buffer);
    }
    int open(std::uint32_t index, DeviceHandle* handle) override {
        return inner.open(index, handle);
    }
    int close(DeviceHandle handle) override { return inner.close(handle); }
    int read(DeviceHandle handle, std::uint8_t* buffer, std::uint32_t wanted,
             std::uint32_t* got) override {
        if (answer.empty())
            return inner.read(handle, buffer, wanted, got);
        const std::uint32_t n = std::min<std::uint32_t>(wanted, std::uint32_t(answer.size()));
        std::copy_n(answer.begin(), n, buffer);
        answer.clear();
        *got = n;
        return kSuccess;
    }
    static bool kept(const std::uint8_t* buffer, std::uint32_t count) {
        return count >= 3 && buffer[0] == proto::kDirWrite && !onlyPreparesRead(buffer);
    }
    void keep(const std::uint8_t* buffer, std::uint32_t count) {
        planned.emplace_back(buffer, buffer + count);
        if (trace) {
            trace->comment("dry run, not sent: " + hexBytes(planned.back()));
            trace->skipNextRecord();
        }
    }
    int write(DeviceHandle handle, const std::uint8_t* buffer, std::uint32_t count,
              std::uint32_t* written) override {
        if (!kept(buffer, count))
            return inner.write(handle, buffer, count, written);
        keep(buffer, count);
        answer = {buffer[2], 0};
        *written = count;
        return kSuccess;
    }
    // Through a service: the same requests kept, the same answer.
    void transact(const std::uint8_t* request, int requestLength, int expectedLength,
                  Reply* reply) override {
        if (!kept(request, std::uint32_t(requestLength)))
            return service->transact(request, requestLength, expectedLength, reply);
        keep(request, std::uint32_t(requestLength));
        *reply = Reply{};
        reply->bytes[0] = request[2];
        reply->received = 2;
        reply->result = reply->received >= expectedLength;
        reply->fault = reply->result ? TransactionFault::None : TransactionFault::ShortReply;
    }
    bool hold() override { return service->hold(); }
    void release() override { service->release(); }
    int flushBuffers(DeviceHandle handle, std::uint8_t tx, std::uint8_t rx) override {
        answer.clear();
        return inner.flushBuffers(handle, tx, rx);
    }
    int setTimeouts(std::uint32_t readMs, std::uint32_t writeMs) override {
        return inner.setTimeouts(readMs, writeMs);
    }
    int getTimeouts(std::uint32_t* readMs, std::uint32_t* writeMs) override {
        return inner.getTimeouts(readMs, writeMs);
    }
    int checkRxQueue(DeviceHandle handle, std::uint32_t* queued,
                     std::uint32_t* queueStatus) override {
        if (answer.empty())
            return inner.checkRxQueue(handle, queued, queueStatus);
        *queued = std::uint32_t(answer.size());
        return kSuccess;
    }

    UsbLibrary& inner;
    Trace* trace;
    Forwarder* service;
    std::vector<std::vector<std::uint8_t>> planned;
    std::deque<std::uint8_t> answer;
};

DryRun::DryRun()
    : wrapper_(std::make_unique<Wrapper>(*platform().usb, platform().trace, platform().forwarder)),
      usb_(platform().usb), forwarder_(platform().forwarder) {
    platform().usb = wrapper_.get();
    if (forwarder_)
        platform().forwarder = wrapper_.get();
}

DryRun::~DryRun() {
    platform().usb = usb_;
    platform().forwarder = forwarder_;
}

const std::vector<std::vector<std::uint8_t>>& DryRun::plannedRequests() const {
    return wrapper_->planned;
}

} // namespace ops
