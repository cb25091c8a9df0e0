#include "status/StatusLines.h"

#include "cec/ColonHex.h"
#include "status/VideoFormat.h"

#include <algorithm>

namespace {

// Register 6 (input status).
constexpr int kPosFormatCode = 2;
constexpr int kPosFlags = 3;
constexpr int kPosLinkMode = 4;
constexpr int kPosOutputs = 5;
constexpr int kPosHdmiVsByte = 9;
constexpr int kPosAviByte1 = 10;
constexpr int kPosAviByte2 = 11;
constexpr int kPosAviByte3 = 12;
constexpr int kPosHdmiVideoFormat = 14;

constexpr std::uint8_t kFlagHdmi = 0x10;
constexpr std::uint8_t kLink420 = 1;
constexpr std::uint8_t kLink600MHz = 2;
constexpr std::uint8_t kFormat4k60 = 97;
constexpr std::uint8_t kOutputMask = 0x60;
constexpr std::uint8_t kOutputTxA = 0x20;
constexpr std::uint8_t kOutputTxB = 0x40;
constexpr std::uint8_t kHdmiExtendedResolution = 0x20;
constexpr std::uint8_t kHdmi3D = 0x40;

// Register 21 (source product description).
constexpr int kPosVendor = 4;
constexpr int kVendorLength = 8;
constexpr int kPosProduct = 12;
constexpr int kProductLength = 16;

// Register 30 (captured HDR InfoFrame).
constexpr int kPosInfoFrameType = 2;
constexpr int kPosInfoFrameLength = 3;
constexpr int kPosPayload = 4;
constexpr std::uint8_t kHdrInfoFrameType = 0x87;
constexpr int kMaxPayloadShown = 27; // what a 31-byte reply holds from position 4

std::string formatName(std::uint8_t code) {
    char shortName[kVideoFormatNameSize];
    char longName[kVideoFormatNameSize];
    lookupVideoFormat(code, shortName, longName);
    return longName;
}

std::string lineStart(StatusReply r, const std::string& hdmiWord) {
    if (r[kPosHdmiVideoFormat] == kHdmiExtendedResolution) {
        switch (r[kPosHdmiVsByte]) {
        case 1:
            return "Input : 3840x2160p30 300MHz " + hdmiWord + ",";
        case 2:
            return "Input : 3840x2160p25 300MHz " + hdmiWord + ",";
        case 3:
            return "Input : 3840x2160p24 300MHz " + hdmiWord + ",";
        case 4:
            return "Input : 4096x2160p24 300MHz " + hdmiWord + ",";
        default:
            return {};
        }
    }
    const std::string name = formatName(r[kPosFormatCode]);
    if (r[kPosHdmiVideoFormat] == kHdmi3D) {
        switch (r[kPosHdmiVsByte]) {
        case 0x00:
            return "Input : " + name + " Frame Packed 3D,";
        case 0x60:
            return "Input : " + name + " Top/Bottom 3D,";
        case 0x80:
            return "Input : " + name + " Side-by-side 3D,";
        default:
            return {};
        }
    }
    return "Input : " + name + " " + hdmiWord + ",";
}

// Bytes up to the first zero, and never more than `length` of them.
std::string paddedText(StatusReply r, int position, int length) {
    const auto* begin = r.data() + position;
    const auto* end = std::find(begin, begin + length, 0);
    return std::string(begin, end);
}

} // namespace

namespace {

const char* const kColourSpaces[] = {"RGB", "YCbCr 4:2:2", "YCbCr 4:4:4", "YCbCr 4:2:0"};

std::string colourSpace(StatusReply r) {
    return kColourSpaces[(r[kPosAviByte1] & 0x60) >> 5];
}

// As the colour line shows it after the space: empty when the source says nothing.
std::string colorimetry(StatusReply r) {
    static const char* const extended[] = {" xvYCC601",          " xvYCC709",
                                           " sYCC601",           " AdobeYCC601",
                                           " AdobeRGB",          " ITU-R BT.2020 YcCbcCrc",
                                           " ITU-R BT.2020 RGB", ""};
    switch (r[kPosAviByte2] & 0xC0) {
    case 0x40:
        return "SMPTE 170M";
    case 0x80:
        return "ITU-R BT.709";
    case 0xC0:
        return std::string("Extended:") + extended[(r[kPosAviByte3] & 0x70) >> 4];
    default:
        return {};
    }
}

std::string linkMode(StatusReply r) {
    if (r[kPosLinkMode] == kLink600MHz)
        return "600MHz";
    if (r[kPosLinkMode] == kLink420)
        return "4:2:0 10-bit";
    if (r[kPosLinkMode] == 0 && r[kPosFormatCode] == kFormat4k60)
        return "4:2:0 300MHz";
    return {};
}

const char* eotfName(StatusReply r) {
    switch (r[kPosPayload]) {
    case 0:
        return "Not Active";
    case 1:
        return "HDR Luminance Range";
    case 2:
        return "SMPTE ST 2084";
    default:
        return "";
    }
}

} // namespace

std::string videoFormatLine(StatusReply r) {
    const std::string hdmiWord = (r[kPosFlags] & kFlagHdmi) ? "HDMI" : "non-HDMI";
    std::string line = lineStart(r, hdmiWord);

    if (const std::string mode = linkMode(r); !mode.empty())
        line += " [" + mode + "],";

    line += " Output:";
    switch (r[kPosOutputs] & kOutputMask) {
    case 0x60:
        line += " TX A, TX B";
        break;
    case 0x20:
        line += " TX A";
        break;
    case 0x40:
        line += " TX B";
        break;
    default:
        line += " none";
        break;
    }
    return line;
}

std::string colourLine(StatusReply r) {
    std::string line = "Color Space: " + colourSpace(r);
    const std::string c = colorimetry(r);
    if (!c.empty())
        line += ", " + c;
    return line;
}

std::string sourceInfoLine(StatusReply r) {
    return "Source Info: " + paddedText(r, kPosVendor, kVendorLength) + " " +
           paddedText(r, kPosProduct, kProductLength);
}

std::string hdrInputLine(StatusReply r) {
    const char* name = eotfName(r);
    return std::string("HDR input: ") + (*name ? " " : "") + name;
}

std::string capturedHdrInfoFrameText(StatusReply r) {
    if (r[kPosInfoFrameType] != kHdrInfoFrameType || r[kPosInfoFrameLength] == 0)
        return {};
    const int n = std::min<int>(r[kPosInfoFrameLength], kMaxPayloadShown);
    return formatColonHex(r.data() + kPosPayload, n);
}

StatusFields statusFields(StatusReply input, StatusReply product, StatusReply hdr) {
    StatusFields f;
    f.formatCode = input[kPosFormatCode];
    f.formatName = formatName(input[kPosFormatCode]);
    f.hdmi = (input[kPosFlags] & kFlagHdmi) != 0;
    f.linkMode = linkMode(input);
    if (input[kPosOutputs] & kOutputTxA)
        f.outputs.push_back("TX A");
    if (input[kPosOutputs] & kOutputTxB)
        f.outputs.push_back("TX B");
    f.colourSpace = colourSpace(input);
    f.colorimetry = colorimetry(input);
    f.vendor = paddedText(product, kPosVendor, kVendorLength);
    f.product = paddedText(product, kPosProduct, kProductLength);
    f.hdrEotf = eotfName(hdr);
    if (hdr[kPosInfoFrameType] == kHdrInfoFrameType && hdr[kPosInfoFrameLength] != 0) {
        const int n = std::min<int>(hdr[kPosInfoFrameLength], kMaxPayloadShown);
        f.hdrInfoFrame.assign(hdr.data() + kPosPayload, hdr.data() + kPosPayload + n);
    }
    return f;
}

InputStatusCodes inputStatusCodes(StatusReply r) {
    InputStatusCodes c;
    c.formatCode = r[kPosFormatCode];
    if (r[kPosHdmiVideoFormat] == kHdmiExtendedResolution)
        c.hdmiVic = r[kPosHdmiVsByte];
    c.hdmi = (r[kPosFlags] & kFlagHdmi) != 0;
    c.linkMode = r[kPosLinkMode];
    c.txA = (r[kPosOutputs] & kOutputTxA) != 0;
    c.txB = (r[kPosOutputs] & kOutputTxB) != 0;
    c.colourSpace = (r[kPosAviByte1] & 0x60) >> 5;
    c.colorimetry = (r[kPosAviByte2] & 0xC0) >> 6;
    c.extendedColorimetry = (r[kPosAviByte3] & 0x70) >> 4;
    return c;
}
