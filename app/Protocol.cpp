// The four generic register and settings operations of the device protocol.
#include "app/MainWindow.h"

#include "app/AppState.h"
#include "link/Protocol.h"
#include "link/UsbLink.h"

bool MainWindow::readConfig(std::uint8_t registerIndex, std::uint8_t* reply, std::uint8_t length) {
    const std::uint8_t request[4] = {proto::kDirRead, length, proto::kCmdConfig, registerIndex};
    const bool ok = transact(reply, request, length, sizeof request);
    if (ok && reply[0] == proto::kCmdConfig)
        return true;
    showStatus("...", 2000);
    return false;
}

bool MainWindow::writeSetting(std::uint8_t settingIndex, int value) {
    const std::uint8_t request[5] = {proto::kDirWrite, 0x04, proto::kCmdConfig, settingIndex,
                                     static_cast<std::uint8_t>(value & 0xFF)};
    std::uint8_t reply[kReplyBufferSize] = {};
    const bool ok = transact(reply, request, proto::kWriteReplyLength, sizeof request);
    if (ok && reply[0] == proto::kCmdConfig)
        return true;
    showStatus("Error Writing values", 4000);
    return ok;
}

bool MainWindow::readValues(std::uint8_t* reply, std::uint8_t length) {
    const std::uint8_t request[3] = {proto::kDirRead, length, proto::kCmdValues};
    const bool ok = transact(reply, request, length, sizeof request);
    if (ok && reply[0] == proto::kCmdValues)
        return true;
    showStatus("Error Reading values", 4000);
    return false;
}

bool MainWindow::writeSettingsBlock(const std::uint8_t* block) {
    std::uint8_t request[proto::kSettingsBlockRequestLength] = {
        proto::kDirWrite, kSettingsBlockSize, proto::kCmdSettingsBlock};
    for (int i = 0; i < kSettingsBlockSize; ++i)
        request[3 + i] = block[i];
    std::uint8_t reply[kReplyBufferSize] = {};
    const bool ok = transact(reply, request, proto::kWriteReplyLength, sizeof request);
    if (ok && reply[0] == proto::kCmdSettingsBlock)
        return true;
    showStatus("Error Writing values", 4000);
    return ok;
}
