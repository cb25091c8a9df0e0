#include "link/Backend.h"

// Until a hardware backend is built in, the real bus shows no device.
std::unique_ptr<UsbLibrary> makeHardwareUsbLibrary() { return std::make_unique<NoDeviceUsbLibrary>(); }
