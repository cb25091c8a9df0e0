#include "link/UsbLibrary.h"

int NoDeviceUsbLibrary::getNumDevices(std::uint32_t* count) {
    *count = 0;
    return kSuccess;
}

int NoDeviceUsbLibrary::getTimeouts(std::uint32_t* readMs, std::uint32_t* writeMs) {
    *readMs = 0;
    *writeMs = 0;
    return kSuccess;
}
