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

// Register 6 as the numbers it carries, for checks that compute with them.
struct InputStatusCodes {
    int formatCode = 0;
    int hdmiVic = 0; // 1-4: a 4K format named by the HDMI vendor block; 0: none
    bool hdmi = false;
    int linkMode = 0;            // 0 normal, 1 4:2:0 10-bit, 2 600 MHz
    bool txA = false;            // output TOP
    bool txB = false;            // output BOT
    int colourSpace = 0;         // AVI Y1Y0: 0 RGB, 1 4:2:2, 2 4:4:4, 3 4:2:0
    int colorimetry = 0;         // AVI C1C0: 0 none, 1 SMPTE 170M, 2 BT.709, 3 extended
    int extendedColorimetry = 0; // AVI EC2..EC0, when colorimetry is 3
};
InputStatusCodes inputStatusCodes(StatusReply inputStatus);
