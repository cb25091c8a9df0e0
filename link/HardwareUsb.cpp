#include "link/HardwareUsb.h"
#include "link/UsbIds.h"

#include <cstdio>
#include <cstdlib>

#if defined(_WIN32)
#include "link/WinUsbLibrary.h"
#elif defined(KORVANTA_HAVE_LIBUSB)
#include "link/LibUsbLibrary.h"
#endif

// The real bus: the vendor library on Windows, libusb elsewhere. When neither
// can start, the program still runs and sees no device.
std::unique_ptr<UsbLibrary> makeHardwareUsbLibrary() {
    std::string error;
#if defined(_WIN32)
    if (auto lib = loadVendorUsbLibrary(&error))
        return lib;
#elif defined(KORVANTA_HAVE_LIBUSB)
    std::string complaint;
    std::vector<UsbId> ids = usbIdsFromText(std::getenv("KORVANTA_USB_IDS"), &complaint);
    if (!complaint.empty())
        std::fprintf(stderr, "%s\n", complaint.c_str());
    if (auto lib = LibUsbLibrary::create(std::move(ids), &error))
        return lib;
#else
    error = "This build has no USB backend (libusb-1.0 was not found when it was configured); "
            "no device can be reached. KORVANTA_LINK=simulator runs against the built-in model.";
#endif
    std::fprintf(stderr, "%s\n", error.c_str());
    return std::make_unique<NoDeviceUsbLibrary>();
}
