#pragma once

#include "chain/SignalChain.h"
#include "decode/Decoded.h"
#include "ops/Device.h"
#include "session/Readback.h"
#include "status/StatusLines.h"

#include <optional>

// status and chain: what the device sees of its input, and whether it
// reaches the displays.
namespace ops {

// The status registers with what they say, as lines and as fields.
struct StatusReading {
    session::StatusReplies replies;
    session::StatusHeader header;
    StatusFields fields;
    std::optional<decode::Decoded> hdrFrame; // the captured HDR InfoFrame, when one is
};
StatusReading statusReading(const session::StatusReplies& replies);

struct StatusParams {
    bool chain = false; // also the chain check (reads both displays' EDIDs)
};
struct StatusResult {
    Error error;
    StatusReading status;
    std::optional<chain::ChainReport> chain;
};
StatusResult status(const StatusParams& params, Device& device, Reporter& reporter);
// One round on a device already open (status --watch repeats it).
StatusResult readStatusRound(const StatusParams& params, Reporter& reporter);

struct ChainResult {
    Error error;
    chain::ChainReport report;
    // An output degraded, not shown or without a display: korvanta's exit 3.
    bool findings() const { return !error && !chain::chainFine(report); }
};
ChainResult chainCheck(Device& device, Reporter& reporter);

// The chain check's reads, the displays included; `status`, when given, is
// already read. False, with the cause said, when the device failed any of them.
bool readChainData(Reporter& reporter, const session::StatusReplies* status,
                   chain::ChainData* data);

} // namespace ops
