#include "link/Backend.h"

#include "sim/SimUsbLibrary.h"

LinkKind linkKindFromEnvironment(const char* value, std::string* complaint) {
    if (!value || !*value)
        return LinkKind::Usb;
    const std::string v = value;
    if (v == "usb")
        return LinkKind::Usb;
    if (v == "simulator")
        return LinkKind::Simulator;
    if (complaint)
        *complaint = "KORVANTA_LINK=" + v +
                     " is not known; use \"usb\" (the real device) or \"simulator\". "
                     "Going on with \"usb\".";
    return LinkKind::Usb;
}

std::unique_ptr<UsbLibrary> makeUsbLibrary(LinkKind kind) {
    if (kind == LinkKind::Simulator) {
        auto sim = std::make_unique<SimUsbLibrary>();
        // A long session must not grow the test logs without end.
        sim->recordCalls = false;
        sim->device.logRequests = false;
        return sim;
    }
    return makeHardwareUsbLibrary();
}
