#include "session/Readback.h"

#include "link/Protocol.h"
#include "session/DeviceOps.h"
#include "status/StatusLines.h"

#include <cstring>

namespace session {

BlockRead readSettingsBlock(Reporter& reporter, std::uint8_t* block) {
    std::uint8_t values[kReplyBufferSize] = {};
    const SilenceWatch watch;
    const bool valuesRead = readValues(reporter, values, proto::kValuesLength);
    if (watch.deviceSilent())
        return BlockRead::Failed;
    // The input status is read for the device's sake; only its success counts.
    std::uint8_t inputStatus[kReplyBufferSize] = {};
    const bool statusRead =
        readConfig(reporter, proto::kRegInputStatus, inputStatus, kInputStatusReadbackLength);
    if (values[1] & proto::kStatusBusyBit)
        return BlockRead::Busy;
    if (!valuesRead || !statusRead)
        return BlockRead::Failed;
    std::memcpy(block, values + proto::kValuesBlockOffset, kSettingsBlockSize);
    return BlockRead::Ok;
}

bool readStatus(Reporter& reporter, StatusReplies* r) {
    const struct {
        std::uint8_t index;
        std::uint8_t* reply;
        std::uint8_t length;
    } reads[] = {{proto::kRegInputStatus, r->input, kInputStatusLength},
                 {proto::kRegSourceProduct, r->product, kStatusRegisterLength},
                 {proto::kRegSourceHdr, r->hdr, kStatusRegisterLength},
                 {proto::kRegStatus31, r->last, kStatusRegisterLength}};
    const SilenceWatch watch;
    bool lastRead = false;
    for (const auto& read : reads) {
        lastRead = readConfig(reporter, read.index, read.reply, read.length);
        if (watch.deviceSilent())
            return false;
    }
    return lastRead;
}

StatusHeader statusHeader(const StatusReplies& r) {
    StatusReply input(r.input);
    StatusReply hdr(r.hdr);
    return {videoFormatLine(input), colourLine(input), sourceInfoLine(StatusReply(r.product)),
            hdrInputLine(hdr), capturedHdrInfoFrameText(hdr)};
}

} // namespace session
