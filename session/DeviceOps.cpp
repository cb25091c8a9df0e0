#include "session/DeviceOps.h"

#include "link/AppState.h"
#include "link/Protocol.h"
#include "link/UsbLink.h"

namespace session {

namespace {

// Sends a write whose 2-byte reply must acknowledge `command`.
bool acknowledgedWrite(Reporter& reporter, const std::uint8_t* request, int length,
                       std::uint8_t command, bool* transacted) {
    std::uint8_t reply[kReplyBufferSize] = {};
    const bool ok = transact(reply, request, proto::kWriteReplyLength, length);
    if (transacted)
        *transacted = ok;
    if (ok && reply[0] == command)
        return true;
    reporter.status(Level::Error, "Error Writing values", kErrorMs);
    return false;
}

} // namespace

bool readConfig(Reporter& reporter, std::uint8_t registerIndex, std::uint8_t* reply,
                std::uint8_t length) {
    const std::uint8_t request[4] = {proto::kDirRead, length, proto::kCmdConfig, registerIndex};
    if (transact(reply, request, length, sizeof request) && reply[0] == proto::kCmdConfig)
        return true;
    reporter.status(Level::Error, "...", kShortMs);
    return false;
}

bool writeSetting(Reporter& reporter, std::uint8_t settingIndex, int value, bool* transacted) {
    const std::uint8_t request[5] = {proto::kDirWrite, 0x04, proto::kCmdConfig, settingIndex,
                                     static_cast<std::uint8_t>(value & 0xFF)};
    return acknowledgedWrite(reporter, request, sizeof request, proto::kCmdConfig, transacted);
}

bool readValues(Reporter& reporter, std::uint8_t* reply, std::uint8_t length) {
    const std::uint8_t request[3] = {proto::kDirRead, length, proto::kCmdValues};
    if (transact(reply, request, length, sizeof request) && reply[0] == proto::kCmdValues)
        return true;
    reporter.status(Level::Error, "Error Reading values", kErrorMs);
    return false;
}

bool writeSettingsBlock(Reporter& reporter, const std::uint8_t* block, bool* transacted) {
    std::uint8_t request[proto::kSettingsBlockRequestLength] = {
        proto::kDirWrite, kSettingsBlockSize, proto::kCmdSettingsBlock};
    for (int i = 0; i < kSettingsBlockSize; ++i)
        request[3 + i] = block[i];
    return acknowledgedWrite(reporter, request, sizeof request, proto::kCmdSettingsBlock,
                             transacted);
}

} // namespace session
