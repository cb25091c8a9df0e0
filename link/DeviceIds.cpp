#include "link/DeviceIds.h"

#include "link/AppState.h"
#include "link/Platform.h"

namespace {

// Every unit ships with this serial string; it tells nothing apart.
constexpr const char* kSharedSerial = "2023";

bool readString(UsbLibrary& library, std::uint32_t index, bool location, std::string* text) {
    char buffer[UsbLibrary::kStringBufferSize] = {};
    const int status =
        location ? library.getDeviceLocation(index, buffer)
                 : library.getProductString(index, buffer, UsbLibrary::kSerialNumberSelector);
    // A backend that fills the buffer to the brim gets no say past it.
    buffer[sizeof buffer - 1] = '\0';
    *text = buffer;
    return status == UsbLibrary::kSuccess;
}

} // namespace

std::string deviceIdFor(bool serialRead, const std::string& serial, bool located,
                        const std::string& location, std::uint32_t index) {
    if (serialRead && !serial.empty() && serial != kSharedSerial)
        return serial;
    if (located && !location.empty())
        return location;
    return "device-" + std::to_string(index);
}

std::string deviceIdAt(UsbLibrary& library, std::uint32_t index) {
    std::string serial, location;
    const bool serialRead = readString(library, index, false, &serial);
    const bool located = readString(library, index, true, &location);
    return deviceIdFor(serialRead, serial, located, location, index);
}

std::vector<DeviceEntry> knownDevices() {
    std::vector<DeviceEntry> found;
    UsbLibrary* library = platform().usb;
    std::uint32_t count = 0;
    if (!library || library->getNumDevices(&count) != UsbLibrary::kSuccess)
        return found;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::string serial, location;
        if (!readString(*library, i, false, &serial) || serial != appState.productString)
            continue;
        const bool located = readString(*library, i, true, &location);
        found.push_back({i, deviceIdFor(true, serial, located, location, i), serial});
    }
    return found;
}

std::string joinIds(const std::vector<DeviceEntry>& devices) {
    std::string text;
    for (const DeviceEntry& d : devices)
        text += (text.empty() ? "" : ", ") + d.id;
    return text;
}

bool pickDevice(const std::string& wanted, DeviceEntry* picked, std::string* complaint,
                bool* several) {
    if (several)
        *several = false;
    const std::vector<DeviceEntry> devices = knownDevices();
    if (!wanted.empty()) {
        for (const DeviceEntry& d : devices) {
            if (d.id == wanted) {
                *picked = d;
                return true;
            }
        }
        if (complaint)
            *complaint = "no KORVANTA with the ID \"" + wanted + "\" is connected; " +
                         (devices.empty() ? std::string("none is connected")
                                          : "connected: " + joinIds(devices));
        return false;
    }
    if (devices.size() == 1) {
        *picked = devices.front();
        return true;
    }
    if (devices.empty()) {
        if (complaint)
            *complaint = "KORVANTA USB not connected!";
        return false;
    }
    if (several)
        *several = true;
    if (complaint)
        *complaint =
            std::to_string(devices.size()) + " KORVANTA units are connected: " + joinIds(devices);
    return false;
}
