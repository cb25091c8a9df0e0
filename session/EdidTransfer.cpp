#include "session/EdidTransfer.h"

#include "edid/EdidRequests.h"
#include "link/Clock.h"
#include "link/DeviceHold.h"
#include "link/Platform.h"
#include "link/Protocol.h"
#include "link/UsbLink.h"
#include "session/DeviceOps.h"

#include <algorithm>
#include <cstring>

namespace session {

namespace {

// A device that cannot answer a values read this often in a row will not
// answer the chunk reads either; waiting out all 501 reads, each up to a full
// reply window, would freeze the program for half an hour.
constexpr int kBusyWaitMaxFailedReads = 3;

void sleepMs(std::uint32_t ms) {
    platform().clock->sleepMs(ms);
}

bool acknowledged(const std::uint8_t* request, int length) {
    std::uint8_t reply[kReplyBufferSize] = {};
    return transact(reply, request, proto::kWriteReplyLength, length) && reply[0] == request[2];
}

} // namespace

bool waitWhileBusy(Reporter& reporter) {
    // A failed values read tells nothing about the busy bit: count it as busy.
    int failedInARow = 0;
    const SilenceWatch watch;
    for (int reads = 0; reads < kBusyWaitMaxReads; ++reads) {
        std::uint8_t values[kReplyBufferSize] = {};
        const bool ok = readValues(reporter, values, kEdidBusyReadLength);
        if (watch.deviceSilent())
            return false;
        sleepMs(kAfterBusyReadMs);
        if (ok && !edidDeviceBusy(values))
            return true;
        failedInARow = ok ? 0 : failedInARow + 1;
        if (failedInARow >= kBusyWaitMaxFailedReads)
            return false;
    }
    return false;
}

std::uint8_t stageCommand(EdidSource source) {
    switch (source) {
    case EdidSource::Top:
        return proto::kCmdStageTopEdid;
    case EdidSource::Bottom:
        return proto::kCmdStageBotEdid;
    default:
        return proto::kCmdStageDeviceEdid;
    }
}

EdidReadResult readEdid(Reporter& reporter, std::uint8_t stage, char* text, int textCapacity,
                        int* textLength) {
    const DeviceHold hold;
    EdidReadResult result;
    const SilenceWatch watch;
    const auto prepare = edidPrepareReadRequest(stage);
    result.staged = acknowledged(prepare.data(), static_cast<int>(prepare.size()));
    if (!result.staged)
        reporter.status(Level::Error, "Error Writing values", kErrorMs);
    if (watch.deviceSilent())
        return result;
    sleepMs(kAfterPrepareReadMs);

    if (!waitWhileBusy(reporter) && watch.deviceSilent())
        return result;

    if (text)
        std::memset(text, 0, static_cast<std::size_t>(textCapacity));
    int length = 0;
    for (int chunk = 0; chunk < kEdidReadChunks; ++chunk) {
        reporter.progress(chunk * kEdidReadChunkSize, kReadProgressMaximum);
        std::uint8_t data[kReplyBufferSize] = {};
        const auto request = edidReadChunkRequest(chunk);
        int received = 0;
        // The chunk has no acknowledge byte: a reply of no bytes at all would
        // pass for 16 zeros, so it ends the read like a failed one.
        if (!transact(data, request.data(), kEdidReadChunkSize, static_cast<int>(request.size()),
                      &received) ||
            received == 0)
            return result;
        std::copy_n(data, kEdidReadChunkSize, result.image.begin() + chunk * kEdidReadChunkSize);
        if (text)
            length = appendEdidTextLine(text, textCapacity, length, data, kEdidReadChunkSize);
        if (textLength)
            *textLength = length;
    }
    reporter.progress(0, 0);
    result.complete = true;
    return result;
}

bool writeEdid(Reporter& reporter, const EdidImage& image) {
    const DeviceHold hold;
    bool chunkFailed = false;
    const SilenceWatch watch;
    for (int chunk = 0; chunk < kEdidWriteChunks; ++chunk) {
        reporter.progress(chunk, kEdidWriteChunks);
        const auto request = edidWriteChunkRequest(image, chunk);
        if (!acknowledged(request.data(), static_cast<int>(request.size()))) {
            reporter.status(Level::Error, "Error Writing EDID values.", kShortMs);
            chunkFailed = true;
        }
        // A device that let a chunk go unanswered would leave the rest and
        // the commit unanswered too; the table is not committed.
        if (watch.deviceSilent()) {
            reporter.progress(0, 0);
            return false;
        }
        sleepMs(kAfterWriteChunkMs);
    }

    const auto commit = edidCommitRequest();
    const bool committed = acknowledged(commit.data(), static_cast<int>(commit.size()));
    if (!committed)
        reporter.status(Level::Error, "Error Populating EDID values.", kShortMs);
    else if (chunkFailed)
        // The device took a table with a gap in it: do not call that written.
        reporter.status(Level::Error, "Error Writing EDID values.", kShortMs);
    else
        reporter.status(Level::Done, "EDID values written...", kShortMs);
    reporter.progress(0, 0);
    return committed && !chunkFailed;
}

} // namespace session
