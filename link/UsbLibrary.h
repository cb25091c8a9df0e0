#pragma once

#include "link/AppState.h"

#include <cstdint>

// The ten operations of the device's USB bridge library. Every call returns
// 0 on success and any other value on failure.
class UsbLibrary {
public:
    static constexpr int kSuccess = 0;
    static constexpr int kStringBufferSize = 256;
    static constexpr std::uint32_t kSerialNumberSelector = 0;

    virtual ~UsbLibrary() = default;

    virtual int getNumDevices(std::uint32_t* count) = 0;
    // Writes a NUL-terminated string of at most kStringBufferSize bytes.
    virtual int getProductString(std::uint32_t index, char* buffer, std::uint32_t selector) = 0;
    virtual int open(std::uint32_t index, DeviceHandle* handle) = 0;
    virtual int close(DeviceHandle handle) = 0;
    virtual int read(DeviceHandle handle, std::uint8_t* buffer, std::uint32_t wanted,
                     std::uint32_t* got) = 0;
    virtual int write(DeviceHandle handle, const std::uint8_t* buffer, std::uint32_t count,
                      std::uint32_t* written) = 0;
    virtual int flushBuffers(DeviceHandle handle, std::uint8_t flushTransmit,
                             std::uint8_t flushReceive) = 0;
    virtual int setTimeouts(std::uint32_t readMs, std::uint32_t writeMs) = 0;
    virtual int getTimeouts(std::uint32_t* readMs, std::uint32_t* writeMs) = 0;
    virtual int checkRxQueue(DeviceHandle handle, std::uint32_t* queued,
                             std::uint32_t* queueStatus) = 0;

    // ---- Beyond the ten -------------------------------------------------
    // Where device `index` sits: a bus and port path such as "1-2.3", or the
    // system's device path. Writes a NUL-terminated string of at most
    // kStringBufferSize bytes. A backend that cannot tell keeps this default,
    // which fails.
    virtual int getDeviceLocation(std::uint32_t index, char* buffer);
};

// Stands in for a backend that cannot see any device (count 0).
class NoDeviceUsbLibrary : public UsbLibrary {
public:
    int getNumDevices(std::uint32_t* count) override;
    int getProductString(std::uint32_t, char*, std::uint32_t) override { return 1; }
    int open(std::uint32_t, DeviceHandle*) override { return 1; }
    int close(DeviceHandle) override { return 1; }
    int read(DeviceHandle, std::uint8_t*, std::uint32_t, std::uint32_t*) override { return 1; }
    int write(DeviceHandle, const std::uint8_t*, std::uint32_t, std::uint32_t*) override {
        return 1;
    }
    int flushBuffers(DeviceHandle, std::uint8_t, std::uint8_t) override { return 1; }
    int setTimeouts(std::uint32_t, std::uint32_t) override { return 0; }
    int getTimeouts(std::uint32_t* readMs, std::uint32_t* writeMs) override;
    int checkRxQueue(DeviceHandle, std::uint32_t*, std::uint32_t*) override { return 1; }
};
