// The four generic register and settings operations of the device protocol;
// their failures go to the status bar.
#include "window/MainWindow.h"

#include "session/DeviceOps.h"

bool MainWindow::readConfig(std::uint8_t registerIndex, std::uint8_t* reply, std::uint8_t length) {
    return session::readConfig(reporter(), registerIndex, reply, length);
}

bool MainWindow::writeSetting(std::uint8_t settingIndex, int value) {
    // A wrong acknowledge byte is reported, yet counts as sent.
    bool transacted = false;
    session::writeSetting(reporter(), settingIndex, value, &transacted);
    return transacted;
}

bool MainWindow::readValues(std::uint8_t* reply, std::uint8_t length) {
    return session::readValues(reporter(), reply, length);
}

bool MainWindow::writeSettingsBlock(const std::uint8_t* block) {
    bool transacted = false;
    session::writeSettingsBlock(reporter(), block, &transacted);
    return transacted;
}
