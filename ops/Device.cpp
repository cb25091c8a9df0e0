#include "ops/Device.h"

#include "link/AppState.h"
#include "link/Platform.h"

namespace ops {

HeldDevice::HeldDevice(Reporter& reporter) : warnings_(reporter), previous_(platform().dialogs) {
    platform().dialogs = &warnings_;
}

HeldDevice::~HeldDevice() {
    platform().dialogs = previous_;
}

Error HeldDevice::open(Reporter& reporter) {
    if (platform().usb && appState.deviceHandle != kNoDevice)
        return {};
    // What korvanta says when it finds none.
    const std::string text = "KORVANTA USB not connected!";
    reporter.complain(text);
    return {ErrorCode::noDevice, text, {}};
}

void HeldDevice::Warnings::usbWarning(const QString& text) {
    reporter.complain(text.toStdString());
}

int HeldDevice::Warnings::message(QWidget*, Icon, const QString&, const QString& text, int, int) {
    reporter.complain(text.trimmed().toStdString());
    return Ok;
}

} // namespace ops
