#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Which USB vendor:product pairs count as the device.
struct UsbId {
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    bool operator==(const UsbId&) const = default;
};

// The USB bridge in its bulk mode.
constexpr UsbId kDefaultUsbId{0x10c4, 0xea61};

// Parses "vvvv:pppp[,vvvv:pppp...]" (four hex digits each). An empty or
// missing text gives the default list. A malformed text also gives the default
// list, and `complaint` says why.
std::vector<UsbId> usbIdsFromText(const char* text, std::string* complaint);
