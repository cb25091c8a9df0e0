#include "link/DeviceList.h"

#ifdef KORVANTA_HAVE_LIBUSB
#include "link/LibUsbLibrary.h"
#endif

bool listDevices(UsbLibrary& library, std::vector<ListedDevice>* devices) {
    std::uint32_t count = 0;
    if (library.getNumDevices(&count) != UsbLibrary::kSuccess)
        return false;
#ifdef KORVANTA_HAVE_LIBUSB
    auto* libusb = dynamic_cast<LibUsbLibrary*>(&library);
    // The listing says it itself, per device.
    if (libusb)
        libusb->setMessageSink({});
#endif
    for (std::uint32_t i = 0; i < count; ++i) {
        ListedDevice d;
        d.index = i;
        d.location = "device " + std::to_string(i);
#ifdef KORVANTA_HAVE_LIBUSB
        if (libusb)
            d.location = libusb->location(i);
#endif
        char buffer[UsbLibrary::kStringBufferSize] = {};
        const int status = library.getProductString(i, buffer, UsbLibrary::kSerialNumberSelector);
        buffer[sizeof buffer - 1] = '\0';
        d.readable = status == UsbLibrary::kSuccess;
        d.serial = buffer;
#ifdef KORVANTA_HAVE_LIBUSB
        if (libusb && status == kLibUsbAccessDenied)
            d.accessible = false;
#endif
        devices->push_back(d);
    }
    return true;
}
