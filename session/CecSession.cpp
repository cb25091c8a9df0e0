#include "session/CecSession.h"

#include "cec/CecRequests.h"
#include "cec/ColonHex.h"
#include "link/Clock.h"
#include "link/Platform.h"
#include "link/Protocol.h"
#include "link/UsbLink.h"

#include <string_view>

namespace session {

namespace {

// Field buffers and the largest count each sender accepts (text length + 1).
constexpr int kSendFieldCapacity = 200;
constexpr int kStoreFieldCapacity = 100;
constexpr int kCecSendMaxCount = 93;  // 31 bytes
constexpr int kCecStoreMaxCount = 60; // 20 bytes
constexpr int kHdrMaxCount = 93;      // 31 bytes
constexpr int kAviMaxCount = 39;      // 13 bytes
constexpr int kAckReplyLength = 2;

constexpr const char* kLengthError31 = "Error: min 2, max 31 data bytes";
constexpr const char* kLengthError13 = "Error: min 2, max 13 data bytes";

// Accepted: the transaction ran and the device acknowledged this command.
bool sendAccepted(const DeviceRequest& request) {
    std::uint8_t reply[kReplyBufferSize] = {};
    return transact(reply, request.bytes.data(), kAckReplyLength, request.length) &&
           reply[0] == request.command();
}

bool populateAccepted(const DeviceRequest& before, std::uint8_t selector) {
    platform().clock->sleepMs(kPopulateDelayMs);
    return sendAccepted(populateRequest(before.lengthByte(), selector));
}

// A send whose populate goes out whether or not the device took the request.
bool sendThenPopulate(Reporter& reporter, const DeviceRequest& send, std::uint8_t selector,
                      const char* doneText, const char* errorText, const char* populateError) {
    if (sendAccepted(send))
        reporter.status(Level::Done, doneText, kShortMs);
    else
        reporter.status(Level::Error, errorText, kErrorMs);
    if (!populateAccepted(send, selector)) {
        reporter.diagnostic(populateError);
        return false;
    }
    return true;
}

} // namespace

bool sendCecCommand(Reporter& reporter, const QString& text) {
    char field[kSendFieldCapacity];
    std::uint8_t count = 0;
    if (!readHexField(text, field, kCecSendMaxCount, &count)) {
        reporter.status(Level::InputError, kLengthError31, kShortMs);
        return false;
    }
    return sendThenPopulate(reporter, cecSendRequest(std::string_view(field, count), count),
                            proto::kPopulateCec, "CEC values written...",
                            "Error Writing CEC command.", "\nError Populating CEC values.\n");
}

bool storeCecCommand(Reporter& reporter, std::uint8_t command, const QString& text) {
    char field[kStoreFieldCapacity];
    std::uint8_t count = 0;
    DeviceRequest store;
    // The device keeps the text itself, so it is not parsed.
    if (!readHexField(text, field, kCecStoreMaxCount, &count) ||
        !cecStoreRequest(command, std::string_view(field, count), &store)) {
        reporter.status(Level::InputError, "CEC values not correct", kShortMs);
        return false;
    }
    if (!sendAccepted(store)) {
        reporter.status(Level::Error, "Error Writing CEC values.", kErrorMs);
        return false;
    }
    reporter.status(Level::Done, "CEC values written...", kShortMs);
    return true;
}

bool sendHdrInfoFrame(Reporter& reporter, const QString& text) {
    char field[kSendFieldCapacity];
    std::uint8_t count = 0;
    if (!readHexField(text, field, kHdrMaxCount, &count)) {
        reporter.status(Level::InputError, kLengthError31, kShortMs);
        return false;
    }
    return sendThenPopulate(
        reporter, infoFrameRequest(proto::kCmdHdrInfoFrame, std::string_view(field, count), count),
        proto::kPopulateHdr, "Infoframe values written...", "Error Writing Infoframe values.",
        "\nError Populating IF values.\n");
}

bool sendAviInfoFrame(Reporter& reporter, const QString& text) {
    char field[kSendFieldCapacity];
    std::uint8_t count = 0;
    if (!readHexField(text, field, kAviMaxCount, &count)) {
        reporter.status(Level::InputError, kLengthError13, kShortMs);
        return false;
    }
    const DeviceRequest send =
        infoFrameRequest(proto::kCmdAviInfoFrame, std::string_view(field, count), count);
    // Unlike the others, a refused AVI frame is not activated.
    if (!sendAccepted(send)) {
        reporter.status(Level::Error, "Error Writing AVI command.", kErrorMs);
        return false;
    }
    reporter.status(Level::Done, "AVI values written...", kShortMs);
    if (!populateAccepted(send, proto::kPopulateAvi)) {
        reporter.diagnostic("\nError Activating AVI values.\n");
        return false;
    }
    return true;
}

} // namespace session
