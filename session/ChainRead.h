#pragma once

#include "chain/SignalChain.h"
#include "session/Readback.h"
#include "session/Reporter.h"

// The reads the signal-chain check needs: the status registers, the settings
// block and, when asked, the EDIDs of the displays on TOP and BOT.
namespace session {

enum class ChainRead {
    Ok,     // everything asked for was read (a display may still be absent)
    Failed, // the device did not answer the status or settings reads
};

// Fills `data`. With `readDisplays` false the displays are left as they
// were (the window's poll tick refreshes only the status). A display whose
// read fails is marked ReadFailed and the other is still read, unless the
// device has gone silent.
ChainRead readChainData(Reporter& reporter, chain::ChainData* data, bool readDisplays);
// The same with the status registers already read (`status --chain`).
ChainRead readChainData(Reporter& reporter, const StatusReplies& status, chain::ChainData* data,
                        bool readDisplays);

} // namespace session
