#pragma once

#include "link/UsbLibrary.h"

#include <memory>

// The backend for real hardware on this platform: the vendor library on
// Windows, libusb elsewhere, or one that sees no device when neither can start.
std::unique_ptr<UsbLibrary> makeHardwareUsbLibrary();
