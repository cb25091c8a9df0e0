// A stand-in for the device's USB bridge library: the ten entries by their
// ordinals, answered by the simulated device in-process (KORVANTA_SIM_STATE
// and KORVANTA_SIM_FAULTS apply). With it beside a program, KORVANTA_LINK=usb
// runs the real Windows backend end to end under Wine.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "session/Backend.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <string>

namespace {

constexpr int kBadArgument = 0xFF;
constexpr int kBadHandle = 0x01;

std::mutex lock;
std::unique_ptr<UsbLibrary> library;
std::string callLog;

UsbLibrary& model() {
    if (!library) {
        std::string warnings, error;
        LinkChoice choice;
        choice.kind = LinkKind::Simulator;
        library = makeUsbLibrary(choice, &warnings, &error);
        if (!warnings.empty())
            OutputDebugStringA(warnings.c_str());
    }
    return *library;
}

// One line per call with its arguments as they came, for tests that check
// what the backend asked for and in which order.
void logCall(const std::string& line) {
    callLog += line;
    callLog += '\n';
}

DeviceHandle fromWin(HANDLE h) {
    return reinterpret_cast<DeviceHandle>(h);
}

} // namespace

extern "C" {

int WINAPI StandInGetNumDevices(DWORD* count) {
    std::lock_guard<std::mutex> held(lock);
    logCall("getNumDevices");
    if (!count)
        return kBadArgument;
    std::uint32_t n = 0;
    const int s = model().getNumDevices(&n);
    *count = n;
    return s;
}

int WINAPI StandInGetProductString(DWORD index, void* buffer, DWORD selector) {
    std::lock_guard<std::mutex> held(lock);
    logCall("getProductString " + std::to_string(index) + " " + std::to_string(selector));
    if (!buffer)
        return kBadArgument;
    char* out = static_cast<char*>(buffer);
    // Selector 2 is the device's path, as the backend asks for a location.
    if (selector == 2)
        return model().getDeviceLocation(index, out);
    return model().getProductString(index, out, selector);
}

int WINAPI StandInOpen(DWORD index, HANDLE* handle) {
    std::lock_guard<std::mutex> held(lock);
    logCall("open " + std::to_string(index));
    if (!handle)
        return kBadArgument;
    DeviceHandle h = kNoDevice;
    const int s = model().open(index, &h);
    *handle = s == 0 ? reinterpret_cast<HANDLE>(h) : INVALID_HANDLE_VALUE;
    return s;
}

int WINAPI StandInClose(HANDLE handle) {
    std::lock_guard<std::mutex> held(lock);
    logCall("close");
    if (handle == INVALID_HANDLE_VALUE)
        return kBadHandle;
    return model().close(fromWin(handle));
}

int WINAPI StandInRead(HANDLE handle, void* buffer, DWORD wanted, DWORD* got,
                       OVERLAPPED* overlapped) {
    std::lock_guard<std::mutex> held(lock);
    logCall("read " + std::to_string(wanted));
    if (!buffer || !got || overlapped)
        return kBadArgument;
    std::uint32_t n = 0;
    const int s = model().read(fromWin(handle), static_cast<std::uint8_t*>(buffer), wanted, &n);
    *got = n;
    return s;
}

int WINAPI StandInWrite(HANDLE handle, void* buffer, DWORD count, DWORD* written,
                        OVERLAPPED* overlapped) {
    std::lock_guard<std::mutex> held(lock);
    logCall("write " + std::to_string(count));
    if (!buffer || !written || overlapped)
        return kBadArgument;
    std::uint32_t n = 0;
    const int s =
        model().write(fromWin(handle), static_cast<const std::uint8_t*>(buffer), count, &n);
    *written = n;
    return s;
}

int WINAPI StandInFlushBuffers(HANDLE handle, BYTE flushTransmit, BYTE flushReceive) {
    std::lock_guard<std::mutex> held(lock);
    logCall("flushBuffers " + std::to_string(flushTransmit) + " " + std::to_string(flushReceive));
    return model().flushBuffers(fromWin(handle), flushTransmit, flushReceive);
}

int WINAPI StandInSetTimeouts(DWORD readMs, DWORD writeMs) {
    std::lock_guard<std::mutex> held(lock);
    logCall("setTimeouts " + std::to_string(readMs) + " " + std::to_string(writeMs));
    return model().setTimeouts(readMs, writeMs);
}

int WINAPI StandInGetTimeouts(DWORD* readMs, DWORD* writeMs) {
    std::lock_guard<std::mutex> held(lock);
    logCall("getTimeouts");
    if (!readMs || !writeMs)
        return kBadArgument;
    std::uint32_t r = 0, w = 0;
    const int s = model().getTimeouts(&r, &w);
    *readMs = r;
    *writeMs = w;
    return s;
}

int WINAPI StandInCheckRxQueue(HANDLE handle, DWORD* queued, DWORD* queueStatus) {
    std::lock_guard<std::mutex> held(lock);
    logCall("checkRxQueue");
    if (!queued || !queueStatus)
        return kBadArgument;
    std::uint32_t n = 0, st = 0;
    const int s = model().checkRxQueue(fromWin(handle), &n, &st);
    *queued = n;
    *queueStatus = st;
    return s;
}

// The calls so far, one a line; the log's whole length is returned, and as
// much as fits (NUL-terminated) is copied.
DWORD WINAPI StandInCallLog(char* buffer, DWORD size) {
    std::lock_guard<std::mutex> held(lock);
    if (buffer && size > 0) {
        const std::size_t n = std::min<std::size_t>(callLog.size(), size - 1);
        std::memcpy(buffer, callLog.data(), n);
        buffer[n] = '\0';
    }
    return DWORD(callLog.size());
}

void WINAPI StandInClearCallLog() {
    std::lock_guard<std::mutex> held(lock);
    callLog.clear();
}

} // extern "C"
