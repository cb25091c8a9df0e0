#pragma once

#include "link/UsbLink.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// The header's status lines, built from the replies of the status registers.
// Each reply is the whole 64-byte buffer, so positions are reply positions.
using StatusReply = std::span<const std::uint8_t, kReplyBufferSize>;

// Register 6: "Input : 1920x1080p60 HDMI, Output: TX A, TX B".
std::string videoFormatLine(StatusReply inputStatus);
// Register 6: "Color Space: YCbCr 4:4:4, ITU-R BT.709".
std::string colourLine(StatusReply inputStatus);
// Register 21: "Source Info: <vendor> <product>".
std::string sourceInfoLine(StatusReply sourceProduct);
// Register 30: "HDR input:  SMPTE ST 2084".
std::string hdrInputLine(StatusReply sourceHdr);
// Register 30: the captured HDR InfoFrame payload as colon-hex text; empty
// when the source sends none, and the field is then cleared.
std::string capturedHdrInfoFrameText(StatusReply sourceHdr);

// The same registers as fields, for programs that read them.
struct StatusFields {
    int formatCode = 0;
    std::string formatName;
    bool hdmi = false;
    std::string linkMode;             // empty: normal
    std::vector<std::string> outputs; // "TX A", "TX B"
    std::string colourSpace;
    std::string colorimetry; // empty: not given
    std::string vendor;
    std::string product;
    std::string hdrEotf;                    // empty: not known
    std::vector<std::uint8_t> hdrInfoFrame; // captured payload; empty: none
};
StatusFields statusFields(StatusReply inputStatus, StatusReply sourceProduct,
                          StatusReply sourceHdr);
