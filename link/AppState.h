#pragma once

#include <cstdint>
#include <string>

// The library's handle for an open device; kNoDevice means none is open.
using DeviceHandle = std::intptr_t;
constexpr DeviceHandle kNoDevice = -1;
// The device is open in the service, which runs our transactions.
constexpr DeviceHandle kForwardedDevice = -2;

constexpr int kSettingsBlockSize = 40;
constexpr int kEdidTextBufferSize = 1000;

// Program-wide state, one instance for the life of the process.
struct AppState {
    std::string productString = "2023";
    std::uint32_t deviceIndex = 0;
    DeviceHandle deviceHandle = kNoDevice;
    std::uint8_t inTransaction = 0;
    // Requests that went out to the device and brought back no byte at all.
    std::uint64_t unansweredRequests = 0;
    int pollTimerActive = 0;
    int pollTimerId = 0;
    float dpiScale = 0.0f;
    std::uint8_t ready = 0;
    std::uint8_t settingsMirror[kSettingsBlockSize] = {};
    std::uint8_t edidBusy = 1;
    char edidTextBuffer[kEdidTextBufferSize] = {};
};

extern AppState appState;

// Back to the load-time values; tests use it between cases.
void resetAppState();
