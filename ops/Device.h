#pragma once

#include "link/Dialogs.h"
#include "ops/Reporter.h"

// The device an operation runs on, opened only once every param was checked,
// so that a usage error sends nothing. The command line finds and opens one
// (cli::DeviceSession); the service has it open already (HeldDevice).
namespace ops {

class Device {
public:
    virtual ~Device() = default;
    // The failure is already said on `reporter`.
    virtual Error open(Reporter& reporter) = 0;
};

// The device this process holds open: nothing is found, opened or closed.
// While it lives, the link's own warnings go to the operation's reporter,
// not to the program's dialogs.
class HeldDevice : public Device {
public:
    explicit HeldDevice(Reporter& reporter);
    ~HeldDevice() override;
    HeldDevice(const HeldDevice&) = delete;
    HeldDevice& operator=(const HeldDevice&) = delete;

    Error open(Reporter& reporter) override;

private:
    class Warnings : public SilentDialogs {
    public:
        explicit Warnings(Reporter& r) : reporter(r) {}
        void usbWarning(const QString& text) override;
        int message(QWidget*, Icon, const QString&, const QString& text, int, int) override;
        Reporter& reporter;
    };
    Warnings warnings_;
    Dialogs* previous_;
};

} // namespace ops
