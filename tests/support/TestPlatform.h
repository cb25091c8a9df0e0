#pragma once

#include "ScriptedDialogs.h"
#include "link/AppState.h"
#include "link/Clock.h"
#include "link/Platform.h"
#include "sim/SimUsbLibrary.h"

#include <QStringList>

#include <cstdint>
#include <string>
#include <vector>

// A simulated device, a virtual clock and scripted dialogs, installed as the
// program's platform for the life of the object. AppState starts afresh.
struct TestPlatform {
    SimUsbLibrary usb;
    VirtualClock clock{1000};
    ScriptedDialogs dialogs;

    TestPlatform() {
        resetAppState();
        platform() = Platform{&usb, &clock, &dialogs, nullptr};
    }
    ~TestPlatform() {
        platform() = Platform{};
        resetAppState();
    }
    TestPlatform(const TestPlatform&) = delete;
    TestPlatform& operator=(const TestPlatform&) = delete;

    SimulatedDevice& device() { return usb.device; }
    std::vector<std::vector<std::uint8_t>>& requests() { return usb.device.requests; }
    // Open the simulated device directly, without the window's start-up.
    void openDirectly() { usb.open(0, &appState.deviceHandle); }
};

// "10 04 E0 09 01" for a request, for readable comparisons.
std::string hexBytes(const std::vector<std::uint8_t>& bytes);
std::vector<std::string> hexRequests(const std::vector<std::vector<std::uint8_t>>& requests);
// The setting writes (10 04 E0 ...) among the requests, in order.
QStringList settingWrites(const std::vector<std::vector<std::uint8_t>>& requests);
