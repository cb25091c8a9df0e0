#include "link/WinUsbLibrary.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstring>
#include <string>

namespace {

// The entries we take from the library, with the arguments we pass them.
// Each returns a 32-bit status, 0 for success.
using Status = int;
using GetNumDevicesFn = Status(WINAPI*)(DWORD* count);
using GetProductStringFn = Status(WINAPI*)(DWORD index, void* buffer, DWORD selector);
using OpenFn = Status(WINAPI*)(DWORD index, HANDLE* handle);
using CloseFn = Status(WINAPI*)(HANDLE handle);
using ReadFn = Status(WINAPI*)(HANDLE handle, void* buffer, DWORD wanted, DWORD* got,
                               OVERLAPPED* overlapped);
using WriteFn = Status(WINAPI*)(HANDLE handle, void* buffer, DWORD count, DWORD* written,
                                OVERLAPPED* overlapped);
using FlushBuffersFn = Status(WINAPI*)(HANDLE handle, BYTE flushTransmit, BYTE flushReceive);
using SetTimeoutsFn = Status(WINAPI*)(DWORD readMs, DWORD writeMs);
using GetTimeoutsFn = Status(WINAPI*)(DWORD* readMs, DWORD* writeMs);
using CheckRxQueueFn = Status(WINAPI*)(HANDLE handle, DWORD* queued, DWORD* queueStatus);

constexpr wchar_t kLibraryName[] = L"SiUSBXp.dll";
constexpr Status kBadArgument = 0xFF;
// The library's product-string selector for the device's path.
constexpr DWORD kDevicePathSelector = 2;

HANDLE toWin(DeviceHandle h) {
    return reinterpret_cast<HANDLE>(h);
}

class WinUsbLibrary : public UsbLibrary {
public:
    explicit WinUsbLibrary(HMODULE module) : module_(module) {}
    ~WinUsbLibrary() override { FreeLibrary(module_); }
    WinUsbLibrary(const WinUsbLibrary&) = delete;
    WinUsbLibrary& operator=(const WinUsbLibrary&) = delete;

    // Takes every entry by its ordinal; false names the first one missing.
    bool bind(std::string* missing) {
        return take(1, &getNumDevices_, missing) && take(2, &getProductString_, missing) &&
               take(3, &open_, missing) && take(4, &close_, missing) && take(6, &read_, missing) &&
               take(7, &write_, missing) && take(9, &flushBuffers_, missing) &&
               take(10, &setTimeouts_, missing) && take(11, &getTimeouts_, missing) &&
               take(12, &checkRxQueue_, missing);
    }

    int getNumDevices(std::uint32_t* count) override {
        if (!count)
            return kBadArgument;
        DWORD n = 0;
        const Status s = getNumDevices_(&n);
        *count = n;
        return s;
    }
    int getProductString(std::uint32_t index, char* buffer, std::uint32_t selector) override {
        if (!buffer)
            return kBadArgument;
        return getProductString_(index, buffer, selector);
    }
    int open(std::uint32_t index, DeviceHandle* handle) override {
        if (!handle)
            return kBadArgument;
        HANDLE h = INVALID_HANDLE_VALUE;
        const Status s = open_(index, &h);
        *handle = reinterpret_cast<DeviceHandle>(h);
        return s;
    }
    int close(DeviceHandle handle) override { return close_(toWin(handle)); }
    int read(DeviceHandle handle, std::uint8_t* buffer, std::uint32_t wanted,
             std::uint32_t* got) override {
        if (!got)
            return kBadArgument;
        DWORD n = 0;
        const Status s = read_(toWin(handle), buffer, wanted, &n, nullptr);
        // Never report more than was asked for, whatever the library says.
        *got = n < wanted ? n : wanted;
        return s;
    }
    int write(DeviceHandle handle, const std::uint8_t* buffer, std::uint32_t count,
              std::uint32_t* written) override {
        if (!written)
            return kBadArgument;
        DWORD n = 0;
        // The library takes a non-const pointer but only reads through it.
        const Status s =
            write_(toWin(handle), const_cast<std::uint8_t*>(buffer), count, &n, nullptr);
        *written = n;
        return s;
    }
    int flushBuffers(DeviceHandle handle, std::uint8_t flushTransmit,
                     std::uint8_t flushReceive) override {
        return flushBuffers_(toWin(handle), flushTransmit, flushReceive);
    }
    int setTimeouts(std::uint32_t readMs, std::uint32_t writeMs) override {
        return setTimeouts_(readMs, writeMs);
    }
    int getTimeouts(std::uint32_t* readMs, std::uint32_t* writeMs) override {
        if (!readMs || !writeMs)
            return kBadArgument;
        DWORD r = 0, w = 0;
        const Status s = getTimeouts_(&r, &w);
        *readMs = r;
        *writeMs = w;
        return s;
    }
    int checkRxQueue(DeviceHandle handle, std::uint32_t* queued,
                     std::uint32_t* queueStatus) override {
        if (!queued || !queueStatus)
            return kBadArgument;
        DWORD n = 0, st = 0;
        const Status s = checkRxQueue_(toWin(handle), &n, &st);
        *queued = n;
        *queueStatus = st;
        return s;
    }

    // The system's path of the device: unique per port, unlike the serial.
    int getDeviceLocation(std::uint32_t index, char* buffer) override {
        if (!buffer)
            return kBadArgument;
        buffer[0] = '\0';
        const Status s = getProductString_(index, buffer, kDevicePathSelector);
        buffer[kStringBufferSize - 1] = '\0';
        return s;
    }

private:
    template <typename Fn> bool take(int ordinal, Fn* fn, std::string* missing) {
        const FARPROC proc = GetProcAddress(module_, MAKEINTRESOURCEA(ordinal));
        if (!proc) {
            if (missing)
                *missing = std::to_string(ordinal);
            return false;
        }
        // Copied rather than cast: FARPROC's signature says nothing about the entry's.
        static_assert(sizeof(Fn) == sizeof(FARPROC));
        std::memcpy(fn, &proc, sizeof(Fn));
        return true;
    }

    HMODULE module_;
    GetNumDevicesFn getNumDevices_ = nullptr;
    GetProductStringFn getProductString_ = nullptr;
    OpenFn open_ = nullptr;
    CloseFn close_ = nullptr;
    ReadFn read_ = nullptr;
    WriteFn write_ = nullptr;
    FlushBuffersFn flushBuffers_ = nullptr;
    SetTimeoutsFn setTimeouts_ = nullptr;
    GetTimeoutsFn getTimeouts_ = nullptr;
    CheckRxQueueFn checkRxQueue_ = nullptr;
};

} // namespace

std::unique_ptr<UsbLibrary> loadVendorUsbLibrary(std::string* error) {
    // Only the program's own folder and System32: never the current directory,
    // where a planted copy could be picked up.
    HMODULE module = LoadLibraryExW(
        kLibraryName, nullptr, LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!module) {
        if (error)
            *error = "SiUSBXp.dll could not be loaded (error " + std::to_string(GetLastError()) +
                     "); place it beside the program. No device can be reached.";
        return nullptr;
    }
    auto lib = std::make_unique<WinUsbLibrary>(module);
    std::string missing;
    if (!lib->bind(&missing)) {
        if (error)
            *error = "SiUSBXp.dll has no entry with ordinal " + missing +
                     "; it is not the library this program needs. No device can be reached.";
        return nullptr;
    }
    return lib;
}
