#pragma once

#include "ops/Device.h"
#include "session/CecSession.h"

#include <string>

// CEC messages sent or stored on a button, and HDR and AVI InfoFrames: the
// colon-hex text of their field, checked before the device is opened.
namespace ops {

// The field's own check, strict about colon-hex: "0x0f,0x36" must not reach
// the device as something else. A usage error when it fails.
Error fieldAccepted(session::Field field, const std::string& text, Reporter& reporter);

struct CecSendParams {
    std::string text;
};
struct CecStoreParams {
    std::string button; // sp or lp
    std::string text;
};
struct InfoFrameParams {
    std::string text;
    bool force = false;  // send it even when its decode finds problems
    std::string persist; // AVI only: on, off, or empty for as the device has it
};
struct SentResult {
    Error error;
    std::string sent;
    std::string said; // the flow's own closing sentence
};
SentResult cecSend(const CecSendParams& params, Device& device, Reporter& reporter);
SentResult cecStore(const CecStoreParams& params, Device& device, Reporter& reporter);
SentResult infoFrameHdr(const InfoFrameParams& params, Device& device, Reporter& reporter);
// The frame, then the "replace AVI" setting as asked or as the device has it.
SentResult infoFrameAvi(const InfoFrameParams& params, Device& device, Reporter& reporter);

} // namespace ops
