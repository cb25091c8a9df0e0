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

std::string videoFormatLine(StatusReply r) {
    const std::string hdmiWord = (r[kPosFlags] & kFlagHdmi) ? "HDMI" : "non-HDMI";
    std::string line = lineStart(r, hdmiWord);

    if (r[kPosLinkMode] == kLink600MHz)
        line += " [600MHz],";
    else if (r[kPosLinkMode] == kLink420)
        line += " [4:2:0 10-bit],";
    else if (r[kPosLinkMode] == 0 && r[kPosFormatCode] == kFormat4k60)
        line += " [4:2:0 300MHz],";

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
    static const char* const spaces[] = {"Color Space: RGB", "Color Space: YCbCr 4:2:2",
                                         "Color Space: YCbCr 4:4:4", "Color Space: YCbCr 4:2:0"};
    static const char* const extended[] = {" xvYCC601",          " xvYCC709",
                                           " sYCC601",           " AdobeYCC601",
                                           " AdobeRGB",          " ITU-R BT.2020 YcCbcCrc",
                                           " ITU-R BT.2020 RGB", ""};
    std::string line = spaces[(r[kPosAviByte1] & 0x60) >> 5];
    switch (r[kPosAviByte2] & 0xC0) {
    case 0x40:
        line += ", SMPTE 170M";
        break;
    case 0x80:
        line += ", ITU-R BT.709";
        break;
    case 0xC0:
        line += ", Extended:";
        line += extended[(r[kPosAviByte3] & 0x70) >> 4];
        break;
    default:
        break;
    }
    return line;
}

std::string sourceInfoLine(StatusReply r) {
    return "Source Info: " + paddedText(r, kPosVendor, kVendorLength) + " " +
           paddedText(r, kPosProduct, kProductLength);
}

std::string hdrInputLine(StatusReply r) {
    std::string line = "HDR input: ";
    switch (r[kPosPayload]) {
    case 0:
        line += " Not Active";
        break;
    case 1:
        line += " HDR Luminance Range";
        break;
    case 2:
        line += " SMPTE ST 2084";
        break;
    default:
        break;
    }
    return line;
}

std::string capturedHdrInfoFrameText(StatusReply r) {
    if (r[kPosInfoFrameType] != kHdrInfoFrameType || r[kPosInfoFrameLength] == 0)
        return {};
    const int n = std::min<int>(r[kPosInfoFrameLength], kMaxPayloadShown);
    return formatColonHex(r.data() + kPosPayload, n);
}
