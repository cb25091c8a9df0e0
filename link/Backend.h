#pragma once

#include "link/UsbLibrary.h"

#include <memory>
#include <string>

// Which library stands behind the link, from KORVANTA_LINK: "usb" (the real
// device, the default) or "simulator". Anything else is refused on stderr and
// the default is used.
enum class LinkKind { Usb, Simulator };

LinkKind linkKindFromEnvironment(const char* value, std::string* complaint);
std::unique_ptr<UsbLibrary> makeUsbLibrary(LinkKind kind);
// The backend for real hardware on this platform.
std::unique_ptr<UsbLibrary> makeHardwareUsbLibrary();
