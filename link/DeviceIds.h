#pragma once

#include "link/UsbLibrary.h"

#include <cstdint>
#include <string>
#include <vector>

// Every unit answers with the same identification string, so a device is
// told apart by its own serial string where it has another one, else by
// where it sits on the bus.
struct DeviceEntry {
    std::uint32_t index;
    std::string id;
    std::string serial;
};

// The ID for a device whose serial and location were read (or not).
// Without either, the bus index stands in: "device-<index>".
std::string deviceIdFor(bool serialRead, const std::string& serial, bool located,
                        const std::string& location, std::uint32_t index);
// Asks the library for the serial and location of device `index`.
std::string deviceIdAt(UsbLibrary& library, std::uint32_t index);

// Every device with the product's identification string, through the
// installed library; empty when it cannot count them.
std::vector<DeviceEntry> knownDevices();

// Picks the device named `wanted`, or with an empty `wanted` the only one.
// False, with a complaint, when none is connected, when `wanted` is no
// connected device's ID, or when several are and none was named (then
// *several is true and the complaint lists their IDs).
bool pickDevice(const std::string& wanted, DeviceEntry* picked, std::string* complaint,
                bool* several);

// "1-2, 1-3": the IDs, for messages.
std::string joinIds(const std::vector<DeviceEntry>& devices);
