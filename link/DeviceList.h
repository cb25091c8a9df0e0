#pragma once

#include "link/UsbLibrary.h"

#include <cstdint>
#include <string>
#include <vector>

// The devices the link can see, for a listing: where each is, its serial
// string, its ID when it is the product, and whether this user may open it.
struct ListedDevice {
    std::uint32_t index = 0;
    std::string location; // "device <index>" when the library cannot tell
    std::string serial;
    std::string id;         // empty: not the product
    bool accessible = true; // false: the system refused this user
    bool readable = true;   // false: the serial could not be read
};

// False when the library could not count its devices.
bool listDevices(UsbLibrary& library, std::vector<ListedDevice>* devices);
