#pragma once

#include <cstdint>
#include <memory>
#include <vector>

class UsbLibrary;
class Forwarder;

// While one lives, every write request is recorded instead of sent and
// answered as accepted; reads, and the requests that stage an EDID for
// reading, still go to the device. Pauses are kept: a staged read needs them.
// The platform's library (and a service's forwarder) come back when it goes.
namespace ops {

class DryRun {
public:
    DryRun();
    ~DryRun();
    DryRun(const DryRun&) = delete;
    DryRun& operator=(const DryRun&) = delete;

    const std::vector<std::vector<std::uint8_t>>& plannedRequests() const;

private:
    struct Wrapper;
    std::unique_ptr<Wrapper> wrapper_;
    UsbLibrary* usb_;
    Forwarder* forwarder_;
};

} // namespace ops
