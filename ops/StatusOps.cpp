#include "ops/StatusOps.h"

#include "decode/InfoFrameDecode.h"
#include "session/ChainRead.h"

#include <span>

namespace ops {

StatusReading statusReading(const session::StatusReplies& replies) {
    StatusReading s;
    s.replies = replies;
    s.header = session::statusHeader(replies);
    s.fields = statusFields(StatusReply(replies.input), StatusReply(replies.product),
                            StatusReply(replies.hdr));
    if (!s.header.infoFrame.empty())
        s.hdrFrame = decode::decodeHdrInfoFrameBytes(
            std::span<const std::uint8_t>(replies.hdr).subspan(decode::kCapturedHdrFramePosition));
    return s;
}

StatusResult readStatusRound(const StatusParams& params, Reporter& reporter) {
    StatusResult r;
    session::StatusReplies replies;
    if (!session::readStatus(reporter, &replies)) {
        r.error = reporter.deviceError();
        return r;
    }
    // The EDID reads come first, so a device that fails them shows nothing.
    chain::ChainData data;
    if (params.chain && !readChainData(reporter, &replies, &data)) {
        r.error = reporter.deviceError();
        return r;
    }
    r.status = statusReading(replies);
    if (params.chain)
        r.chain = chain::checkChain(data);
    return r;
}

StatusResult status(const StatusParams& params, Device& device, Reporter& reporter) {
    if (Error e = device.open(reporter)) {
        StatusResult r;
        r.error = e;
        return r;
    }
    return readStatusRound(params, reporter);
}

ChainResult chainCheck(Device& device, Reporter& reporter) {
    ChainResult r;
    if ((r.error = device.open(reporter)))
        return r;
    chain::ChainData data;
    if (!readChainData(reporter, nullptr, &data)) {
        r.error = reporter.deviceError();
        return r;
    }
    r.report = chain::checkChain(data);
    return r;
}

bool readChainData(Reporter& reporter, const session::StatusReplies* status,
                   chain::ChainData* data) {
    const session::ChainRead read = status ? session::readChainData(reporter, *status, data, true)
                                           : session::readChainData(reporter, data, true);
    if (read == session::ChainRead::Failed)
        return false;
    // The session said why; a display that could not be read leaves the check
    // without what it needs.
    for (const chain::Display& d : data->displays)
        if (d.state == chain::DisplayState::ReadFailed)
            return false;
    return true;
}

} // namespace ops
