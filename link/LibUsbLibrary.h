#pragma once

#include "link/UsbIds.h"
#include "link/UsbLibrary.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct libusb_context;
struct libusb_device;
struct libusb_device_handle;

// Status values of this backend; 0 is success as for every UsbLibrary.
enum LibUsbStatus : int {
    kLibUsbInvalidHandle = 1,
    kLibUsbNoDevice = 2, // unplugged, or no device at that index
    kLibUsbTimedOut = 3,
    kLibUsbIoError = 4,
    kLibUsbAccessDenied = 5,
    kLibUsbInvalidArgument = 6,
    kLibUsbNotSupported = 7,
};

// The ten operations over libusb-1.0's synchronous API, for Linux and macOS.
// Devices are those whose vendor:product pair is in the candidate list; their
// identification string (selector 0) is the serial number. One device can be
// open at a time.
class LibUsbLibrary : public UsbLibrary {
public:
    // Null when libusb cannot start; `error` then says why.
    static std::unique_ptr<LibUsbLibrary> create(std::vector<UsbId> ids, std::string* error);
    ~LibUsbLibrary() override;
    LibUsbLibrary(const LibUsbLibrary&) = delete;
    LibUsbLibrary& operator=(const LibUsbLibrary&) = delete;

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
    // "1-2.3": the bus number and the port path, as sysfs names the device.
    int getDeviceLocation(std::uint32_t index, char* buffer) override;

    // How long one receive-queue check waits on the bus. Never 0: libusb
    // takes 0 as "no limit".
    static constexpr unsigned kQueueCheckTimeoutMs = 10;
    // A flush drains stale bytes with short reads, for no longer than this.
    static constexpr unsigned kFlushReadTimeoutMs = 2;
    static constexpr unsigned kFlushLimitMs = 100;
    static constexpr std::uint32_t kDefaultTimeoutMs = 1000;

    // Where the note about devices that could not be opened goes; stderr
    // unless replaced.
    void setMessageSink(std::function<void(const std::string&)> sink);
    // Devices seen in the last enumeration that could not be opened for lack
    // of permission, as "vvvv:pppp at bus B address A".
    const std::vector<std::string>& deniedDevices() const { return denied_; }
    // The open device's bulk IN packet size (0 when none is open).
    int maxPacketSize() const;

private:
    struct OpenDevice;

    LibUsbLibrary(libusb_context* context, std::vector<UsbId> ids);
    void forgetDevices();
    OpenDevice* deviceFor(DeviceHandle handle, int* status);
    int noteFailure(OpenDevice& dev, int libusbError);
    // One bulk IN transfer of at least `length` bytes, rounded up to whole
    // packets, appended to the read-ahead. Returns libusb's result.
    int pull(OpenDevice& dev, unsigned length, unsigned timeoutMs, int* got);
    void reportDenied();

    libusb_context* context_;
    std::vector<UsbId> ids_;
    std::vector<libusb_device*> devices_; // the last enumeration, referenced
    std::vector<std::string> denied_;
    bool deniedReported_ = false;
    std::unique_ptr<OpenDevice> open_;
    DeviceHandle nextHandle_ = 1;
    std::uint32_t readTimeoutMs_ = kDefaultTimeoutMs;
    std::uint32_t writeTimeoutMs_ = kDefaultTimeoutMs;
    std::function<void(const std::string&)> sink_;
};
