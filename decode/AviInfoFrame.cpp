#include "decode/ColonHexInput.h"
#include "decode/InfoFrameDecode.h"
#include "decode/NodeBuild.h"

#include <array>

namespace decode {
namespace {

constexpr int kAviDataBytes = 13;         // version 2
constexpr int kAviDataBytesVersion4 = 14; // with the additional colorimetry byte
constexpr unsigned kExtendedColorimetry = 3;
constexpr unsigned kAdditionalColorimetry = 7;
constexpr int kMaxPixelRepetition = 9;

constexpr std::array<const char*, 8> kColourSpaces = {
    "RGB",   "YCbCr 4:2:2", "YCbCr 4:4:4", "YCbCr 4:2:0",
    nullptr, nullptr,       nullptr,       "defined by the interface"};
constexpr std::array<const char*, 4> kBars = {"none", "vertical bars (left and right)",
                                              "horizontal bars (top and bottom)",
                                              "vertical and horizontal bars"};
constexpr std::array<const char*, 3> kScan = {"no data", "overscanned", "underscanned"};
constexpr std::array<const char*, 4> kColorimetry = {"no data", "SMPTE 170M (BT.601)",
                                                     "ITU-R BT.709", "extended (see data byte 3)"};
constexpr std::array<const char*, 3> kPictureAspect = {"no data", "4:3", "16:9"};
constexpr CodeName kActiveFormats[] = {{2, "box 16:9 (top)"},
                                       {3, "box 14:9 (top)"},
                                       {4, "box wider than 16:9 (centre)"},
                                       {8, "same as the picture"},
                                       {9, "4:3 (centre)"},
                                       {10, "16:9 (centre)"},
                                       {11, "14:9 (centre)"},
                                       {13, "4:3, protect 14:9 (centre)"},
                                       {14, "16:9, protect 14:9 (centre)"},
                                       {15, "16:9, protect 4:3 (centre)"}};
constexpr std::array<const char*, 8> kExtended = {"xvYCC601",
                                                  "xvYCC709",
                                                  "sYCC601",
                                                  "opYCC601",
                                                  "opRGB",
                                                  "BT.2020 YcCbcCrc (constant luminance)",
                                                  "BT.2020 RGB or YCbCr",
                                                  "additional colorimetry (see data byte 14)"};
constexpr std::array<const char*, 3> kRgbQuantization = {"default for the format", "limited range",
                                                         "full range"};
constexpr std::array<const char*, 4> kScaling = {"none", "horizontal", "vertical",
                                                 "horizontal and vertical"};
constexpr std::array<const char*, 2> kYccQuantization = {"limited range", "full range"};
constexpr std::array<const char*, 4> kContentTypes = {"graphics", "photo", "cinema", "game"};
constexpr std::array<const char*, 2> kAdditional = {"DCI-P3 RGB (D65)", "DCI-P3 RGB (theater)"};

struct Avi {
    Decoded& d;
    Bytes data;

    bool has(int n) const { return n >= 1 && n <= int(data.size()); }
    unsigned bits(int n, int high, int low) const {
        return (data[n - 1] >> low) & ((1u << (high - low + 1)) - 1);
    }
    static std::string where(int n) { return "data byte " + std::to_string(n); }
    void named(int n, int high, int low, const char* key, const char* label,
               std::span<const char* const> names) {
        d.nodes.push_back(namedValue(d, key, label, bits(n, high, low), names, where(n)));
    }
    int word(int n) const { return data[n - 1] | (data[n] << 8); }
};

void byte1(Avi& a) {
    a.named(1, 7, 5, "colourSpace", "Colour space", kColourSpaces);
    a.d.nodes.push_back(flag("activeFormatPresent", "Active format given", a.bits(1, 4, 4)));
    a.named(1, 3, 2, "barInfo", "Bar information", kBars);
    a.named(1, 1, 0, "scanInfo", "Scan information", kScan);
}

void byte2(Avi& a) {
    a.named(2, 7, 6, "colorimetry", "Colorimetry", kColorimetry);
    a.named(2, 5, 4, "pictureAspect", "Picture aspect", kPictureAspect);
    const unsigned r = a.bits(2, 3, 0);
    if (a.bits(1, 4, 4)) {
        a.d.nodes.push_back(
            namedCode(a.d, "activeFormat", "Active format aspect", r, kActiveFormats, a.where(2)));
        return;
    }
    const char* name = findName(kActiveFormats, r);
    a.d.nodes.push_back(
        field("activeFormat", "Active format aspect",
              std::string(name ? name : "none") + " (unused: data byte 1 gives no active format)",
              static_cast<int>(r)));
}

void byte3(Avi& a) {
    a.d.nodes.push_back(flag("itContent", "IT content", a.bits(3, 7, 7)));
    if (a.bits(2, 7, 6) == kExtendedColorimetry) {
        a.named(3, 6, 4, "extendedColorimetry", "Extended colorimetry", kExtended);
    } else {
        a.d.nodes.push_back(field("extendedColorimetry", "Extended colorimetry",
                                  "unused (data byte 2 gives the colorimetry)",
                                  static_cast<int>(a.bits(3, 6, 4))));
    }
    a.named(3, 3, 2, "rgbQuantization", "RGB quantization", kRgbQuantization);
    a.named(3, 1, 0, "scaling", "Non-uniform scaling", kScaling);
}

void byte4(Avi& a) {
    const int vic = a.data[3];
    Node n =
        field("vic", "Video format",
              vic == 0 ? "none (VIC 0)" : "VIC " + std::to_string(vic) + ": " + videoCodeName(vic));
    n.children.push_back(jsonOnly("vic", vic));
    n.children.push_back(jsonOnly(
        "name", vic ? QJsonValue(QString::fromStdString(videoCodeName(vic))) : QJsonValue()));
    a.d.nodes.push_back(std::move(n));
}

void byte5(Avi& a) {
    a.named(5, 7, 6, "ycbcrQuantization", "YCbCr quantization", kYccQuantization);
    const unsigned cn = a.bits(5, 5, 4);
    const bool it = a.has(3) && a.bits(3, 7, 7);
    a.d.nodes.push_back(field("contentType", "Content type",
                              cn == 0 && !it ? "no data" : kContentTypes[cn],
                              static_cast<int>(cn)));
    const int pr = static_cast<int>(a.bits(5, 3, 0));
    Node rep = field("pixelRepetition", "Pixel repetition",
                     pr == 0 ? "none" : "each pixel sent " + std::to_string(pr + 1) + " times", pr);
    if (pr > kMaxPixelRepetition)
        addProblem(a.d, rep,
                   a.where(5) + ": pixel repetition " + std::to_string(pr) + " is reserved");
    a.d.nodes.push_back(std::move(rep));
}

// Data bytes 6-13: two 16-bit positions per bar direction.
void bars(Avi& a) {
    struct Bar {
        int byte;
        const char* key;
        const char* label;
    };
    static constexpr Bar kBarsAt[] = {{6, "topBarEnd", "Top bar ends at line"},
                                      {8, "bottomBarStart", "Bottom bar starts at line"},
                                      {10, "leftBarEnd", "Left bar ends at pixel"},
                                      {12, "rightBarStart", "Right bar starts at pixel"}};
    const unsigned given = a.bits(1, 3, 2);
    for (const Bar& bar : kBarsAt) {
        const bool valid = bar.byte >= 10 ? (given & 1) : (given & 2);
        if (a.has(bar.byte + 1)) {
            const int value = a.word(bar.byte);
            a.d.nodes.push_back(field(bar.key, bar.label,
                                      std::to_string(value) +
                                          (valid ? "" : " (unused: data byte 1 gives no such bar)"),
                                      value));
        } else if (valid) {
            const int missing = a.has(bar.byte) ? bar.byte + 1 : bar.byte;
            a.d.nodes.push_back(
                problemNode(a.d, bar.key, bar.label,
                            a.where(missing) + ": missing, data byte 1 says the bar is given"));
        }
    }
}

} // namespace

Decoded decodeAviBytes(std::span<const std::uint8_t> dataBytes) {
    Decoded d;
    d.title = "AVI InfoFrame";
    Avi a{d, dataBytes};
    if (dataBytes.empty()) {
        d.nodes.push_back(problemNode(d, "colourSpace", "Data",
                                      "data byte 1: missing, the AVI data starts with it"));
        return d;
    }
    byte1(a);
    if (a.has(2))
        byte2(a);
    if (a.has(3))
        byte3(a);
    if (a.has(4))
        byte4(a);
    if (a.has(5))
        byte5(a);
    bars(a);
    if (a.has(kAviDataBytesVersion4)) {
        if (a.has(3) && a.bits(3, 6, 4) == kAdditionalColorimetry && a.bits(2, 7, 6) == 3)
            a.named(14, 7, 4, "additionalColorimetry", "Additional colorimetry", kAdditional);
        else
            d.nodes.push_back(field("byte14", "Data byte 14", hexByte(dataBytes[13])));
    }
    const int given = static_cast<int>(dataBytes.size());
    if (given < kAviDataBytes)
        d.nodes.push_back(field("notGiven", "Not given",
                                given + 1 == kAviDataBytes
                                    ? "data byte 13"
                                    : "data bytes " + std::to_string(given + 1) + " to 13"));
    if (given > kAviDataBytesVersion4)
        d.nodes.push_back(problemNode(d, "extraBytes", "Extra bytes",
                                      "data byte 15: past the end, an AVI InfoFrame has at most " +
                                          std::to_string(kAviDataBytesVersion4) + " data bytes"));
    return d;
}

Decoded decodeAviText(std::string_view colonHex) {
    return decodeTypedBytes(colonHex, decodeAviBytes);
}

} // namespace decode
