#include "link/UsbLibrary.h"

int UsbLibrary::getDeviceLocation(std::uint32_t, char* buffer) {
    if (buffer)
        buffer[0] = '\0';
    return 1;
}

int NoDeviceUsbLibrary::getNumDevices(std::uint32_t* count) {
    *count = 0;
    return kSuccess;
}

int NoDeviceUsbLibrary::getTimeouts(std::uint32_t* readMs, std::uint32_t* writeMs) {
    *readMs = 0;
    *writeMs = 0;
    return kSuccess;
}
