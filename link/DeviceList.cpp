#include "link/DeviceList.h"

#include "link/AppState.h"
#include "link/DeviceIds.h"

#ifdef KORVANTA_HAVE_LIBUSB
#include "link/LibUsbLibrary.h"
#endif

bool listDevices(UsbLibrary& library, std::vector<ListedDevice>* devices) {
    std::uint32_t count = 0;
    if (library.getNumDevices(&count) != UsbLibrary::kSuccess)
        return false;
#ifdef KORVANTA_HAVE_LIBUSB
    // The listing says it itself, per device.
    if (auto* libusb = dynamic_cast<LibUsbLibrary*>(&library))
        libusb->setMessageSink({});
#endif
    for (std::uint32_t i = 0; i < count; ++i) {
        ListedDevice d;
        d.index = i;
        char where[UsbLibrary::kStringBufferSize] = {};
        const bool located = library.getDeviceLocation(i, where) == UsbLibrary::kSuccess;
        where[sizeof where - 1] = '\0';
        d.location = located ? where : "device " + std::to_string(i);
        char buffer[UsbLibrary::kStringBufferSize] = {};
        const int status = library.getProductString(i, buffer, UsbLibrary::kSerialNumberSelector);
        buffer[sizeof buffer - 1] = '\0';
        d.readable = status == UsbLibrary::kSuccess;
        d.serial = buffer;
        if (d.readable && d.serial == appState.productString)
            d.id = deviceIdFor(true, d.serial, located, where, i);
#ifdef KORVANTA_HAVE_LIBUSB
        if (status == kLibUsbAccessDenied && dynamic_cast<LibUsbLibrary*>(&library))
            d.accessible = false;
#endif
        devices->push_back(d);
    }
    return true;
}
