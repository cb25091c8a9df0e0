#include "session/CecSession.h"

#include "cec/CecRequests.h"
#include "cec/ColonHex.h"
#include "link/Clock.h"
#include "link/DeviceHold.h"
#include "link/Platform.h"
#include "link/Protocol.h"
#include "link/UsbLink.h"

#include <span>
#include <string_view>

namespace session {

namespace {

// Field buffers are this large; the largest count each field accepts is its
// text length + 1.
constexpr int kFieldCapacity = 200;
constexpr int kAckReplyLength = 2;

struct FieldRule {
    int capacity;
    int maxCount;
    const char* error;
};

FieldRule rule(Field field) {
    switch (field) {
    case Field::CecSend:
    case Field::HdrInfoFrame:
        return {kFieldCapacity, 93, "Error: min 2, max 31 data bytes"};
    case Field::CecStore:
        return {100, 60, "CEC values not correct"}; // 20 bytes
    case Field::AviInfoFrame:
        break;
    }
    return {kFieldCapacity, 39, "Error: min 2, max 13 data bytes"};
}

struct CheckedField {
    char text[kFieldCapacity];
    std::uint8_t count = 0;
    std::string_view view() const { return std::string_view(text, count); }
};

// The field's characters, upper-cased and closed by a carriage return.
bool readField(Field field, const QString& text, CheckedField* out) {
    const FieldRule r = rule(field);
    return readHexField(text, std::span<char>(out->text, std::size_t(r.capacity)), r.maxCount,
                        &out->count);
}

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
    // The populate belongs to this send; nobody else's request may come between.
    const DeviceHold hold;
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

const char* fieldError(Field field, const QString& text) {
    CheckedField checked;
    DeviceRequest store;
    if (!readField(field, text, &checked) ||
        (field == Field::CecStore &&
         !cecStoreRequest(proto::kCmdStoreCecSp, checked.view(), &store)))
        return rule(field).error;
    return nullptr;
}

bool sendCecCommand(Reporter& reporter, const QString& text) {
    CheckedField f;
    if (!readField(Field::CecSend, text, &f)) {
        reporter.status(Level::InputError, rule(Field::CecSend).error, kShortMs);
        return false;
    }
    return sendThenPopulate(reporter, cecSendRequest(f.view(), f.count), proto::kPopulateCec,
                            "CEC values written...", "Error Writing CEC command.",
                            "\nError Populating CEC values.\n");
}

bool storeCecCommand(Reporter& reporter, std::uint8_t command, const QString& text) {
    CheckedField f;
    DeviceRequest store;
    // The device keeps the text itself, so it is not parsed.
    if (!readField(Field::CecStore, text, &f) || !cecStoreRequest(command, f.view(), &store)) {
        reporter.status(Level::InputError, rule(Field::CecStore).error, kShortMs);
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
    CheckedField f;
    if (!readField(Field::HdrInfoFrame, text, &f)) {
        reporter.status(Level::InputError, rule(Field::HdrInfoFrame).error, kShortMs);
        return false;
    }
    return sendThenPopulate(reporter, infoFrameRequest(proto::kCmdHdrInfoFrame, f.view(), f.count),
                            proto::kPopulateHdr, "Infoframe values written...",
                            "Error Writing Infoframe values.", "\nError Populating IF values.\n");
}

bool sendAviInfoFrame(Reporter& reporter, const QString& text) {
    CheckedField f;
    if (!readField(Field::AviInfoFrame, text, &f)) {
        reporter.status(Level::InputError, rule(Field::AviInfoFrame).error, kShortMs);
        return false;
    }
    const DeviceRequest send = infoFrameRequest(proto::kCmdAviInfoFrame, f.view(), f.count);
    const DeviceHold hold;
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
