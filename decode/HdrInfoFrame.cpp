#include "decode/ColonHexInput.h"
#include "decode/InfoFrameDecode.h"

#include "decode/NodeBuild.h"
#include "decode/Words.h"

#include <algorithm>

#include <array>
#include <cmath>
#include <numeric>

namespace decode {
namespace {

constexpr std::uint8_t kHdrType = 0x87;
constexpr std::uint8_t kHdrVersion = 1;
constexpr int kHdrLength = 26;
constexpr int kTypedHeaderSize = 4;       // type, version, length, checksum
constexpr int kCapturedHeaderSize = 2;    // type, length
constexpr int kCapturedPayloadLimit = 27; // what the register holds
constexpr double kChromaticityUnit = 0.00002;
constexpr int kChromaticityMax = 50000; // 1.0
constexpr double kMinLuminanceUnit = 0.0001;
constexpr unsigned kStaticMetadataType1 = 0;

constexpr std::array<const char*, 4> kEotfs = {"SDR (traditional gamma)", "HDR (traditional gamma)",
                                               "SMPTE ST 2084 (PQ)", "HLG"};

// Names data byte n as the input numbers it.
struct DataBytes {
    Bytes data;
    const char* prefix; // "byte " or "data byte "
    int firstNumber;    // the number data byte 1 has

    std::string where(int dataByte) const {
        return prefix + std::to_string(firstNumber + dataByte - 1);
    }
    bool has(int dataByte) const { return dataByte >= 1 && dataByte <= int(data.size()); }
    int word(int dataByte) const { return data[dataByte - 1] | (data[dataByte] << 8); }
};

const char* colourOf(double x, double y) {
    if (x >= 0.5)
        return "red";
    return y >= 0.4 ? "green" : "blue";
}

Node chromaticity(Decoded& d, const DataBytes& in, int dataByte, const char* key,
                  const std::string& label, bool primary) {
    const int rx = in.word(dataByte), ry = in.word(dataByte + 2);
    const double x = rx * kChromaticityUnit, y = ry * kChromaticityUnit;
    std::string text = "x " + fixedNumber(x, 4) + ", y " + fixedNumber(y, 4);
    if (rx == 0 && ry == 0)
        text = "not given";
    else if (primary)
        text += std::string(" (") + colourOf(x, y) + ")";
    Node n = field(key, label, text);
    // Five decimals: the unit is 0.00002.
    n.children.push_back(jsonOnly("x", std::round(x * 1e5) / 1e5));
    n.children.push_back(jsonOnly("y", std::round(y * 1e5) / 1e5));
    if (rx > kChromaticityMax || ry > kChromaticityMax)
        addProblem(
            d, n, in.where(dataByte) + ": " + label + " lies outside 0 to 1 (at most 50000 units)");
    return n;
}

Node luminance(const char* key, const char* label, double value, int decimals) {
    if (value == 0)
        return field(key, label, "unknown (0)", 0);
    return field(key, label, trimmedNumber(value, decimals) + " cd/m²", value);
}

void decodeStaticMetadata(Decoded& d, const DataBytes& in) {
    static constexpr const char* kPrimaryKeys[] = {"primary0", "primary1", "primary2"};
    for (int i = 0; i < 3; ++i) {
        const int at = 3 + 4 * i;
        if (!in.has(at + 3))
            return;
        d.nodes.push_back(
            chromaticity(d, in, at, kPrimaryKeys[i], "Display primary " + std::to_string(i), true));
    }
    if (!in.has(18))
        return;
    d.nodes.push_back(chromaticity(d, in, 15, "whitePoint", "White point", false));
    if (in.has(20))
        d.nodes.push_back(
            luminance("maxMasteringLuminance", "Max mastering luminance", in.word(19), 0));
    if (in.has(22))
        d.nodes.push_back(luminance("minMasteringLuminance", "Min mastering luminance",
                                    in.word(21) * kMinLuminanceUnit, 4));
    if (in.has(24))
        d.nodes.push_back(luminance("maxCll", "MaxCLL (brightest pixel)", in.word(23), 0));
    if (in.has(26))
        d.nodes.push_back(
            luminance("maxFall", "MaxFALL (brightest frame average)", in.word(25), 0));
}

// Data bytes 1..length; `length` is what the frame announces.
void decodePayload(Decoded& d, const DataBytes& in, int length) {
    if (in.has(1)) {
        Node eotf = namedValue(d, "eotf", "EOTF", in.data[0] & 0x07, kEotfs, in.where(1));
        if (in.data[0] & 0xF8)
            addProblem(d, eotf, in.where(1) + ": bits 3-7 are reserved and should be 0");
        d.nodes.push_back(std::move(eotf));
    }
    if (in.has(2)) {
        const unsigned id = in.data[1] & 0x07;
        Node n = field("metadataDescriptor", "Metadata descriptor",
                       id == kStaticMetadataType1 ? "Static Metadata Type 1"
                                                  : "reserved (" + std::to_string(id) + ")",
                       static_cast<int>(id));
        if (id != kStaticMetadataType1) {
            addProblem(
                d, n, in.where(2) + ": metadata descriptor " + std::to_string(id) + " is reserved");
            d.nodes.push_back(std::move(n));
            d.nodes.push_back(
                field("descriptorBytes", "Descriptor bytes", hexBytes(in.data.subspan(2))));
            return;
        }
        d.nodes.push_back(std::move(n));
    }
    decodeStaticMetadata(d, in);
    const int given = static_cast<int>(in.data.size());
    if (given < length)
        d.nodes.push_back(problemNode(d, "cutShort", "Data",
                                      in.where(given + 1) +
                                          ": missing, the frame ends after data byte " +
                                          std::to_string(given) + " of " + std::to_string(length)));
}

Node headerByte(Decoded& d, const char* key, const char* label, int value, int expected,
                const std::string& where, const std::string& what) {
    Node n = field(key, label, hexByte(static_cast<std::uint8_t>(value)), value);
    if (value != expected)
        addProblem(d, n,
                   where + ": " + what + " is " + hexByte(static_cast<std::uint8_t>(value)) +
                       ", an HDR InfoFrame has " + hexByte(static_cast<std::uint8_t>(expected)));
    return n;
}

Node lengthNode(Decoded& d, int length, const std::string& where) {
    Node n = field("length", "Length", std::to_string(length) + " data bytes", length);
    if (length != kHdrLength)
        addProblem(d, n,
                   where + ": length is " + std::to_string(length) + ", an HDR InfoFrame has " +
                       std::to_string(kHdrLength));
    return n;
}

} // namespace

Decoded decodeHdrInfoFrameTyped(std::span<const std::uint8_t> frame) {
    Decoded d;
    d.title = "HDR InfoFrame";
    if (frame.size() < kTypedHeaderSize) {
        static constexpr const char* kNames[] = {"the type (0x87)", "the version (0x01)",
                                                 "the length (0x1a)", "the checksum"};
        d.nodes.push_back(problemNode(d, "header", "Header",
                                      "byte " + std::to_string(frame.size() + 1) +
                                          ": missing, expected " + kNames[frame.size()]));
        return d;
    }
    d.nodes.push_back(headerByte(d, "type", "Type", frame[0], kHdrType, "byte 1", "type"));
    d.nodes.push_back(
        headerByte(d, "version", "Version", frame[1], kHdrVersion, "byte 2", "version"));
    const int length = frame[2];
    d.nodes.push_back(lengthNode(d, length, "byte 3"));

    const Bytes data = frame.subspan(kTypedHeaderSize);
    const Bytes counted = data.first(std::min<std::size_t>(data.size(), std::size_t(length)));
    const int sum = std::accumulate(frame.begin(), frame.begin() + 3, 0) +
                    std::accumulate(counted.begin(), counted.end(), 0);
    const auto expected = static_cast<std::uint8_t>(-sum & 0xFF);
    Node checksum = field("checksum", "Checksum", hexByte(frame[3]), frame[3]);
    if (frame[3] != expected)
        addProblem(d, checksum,
                   "byte 4: checksum is " + hexByte(frame[3]) + ", should be " + hexByte(expected));
    else
        checksum.text += " (correct)";
    d.nodes.push_back(std::move(checksum));

    decodePayload(d, DataBytes{counted, "byte ", kTypedHeaderSize + 1}, length);
    // The device keeps its stored frame in a fixed 31-byte slot, so zeros past
    // the announced length are its padding, not part of the frame.
    const auto extra = data.subspan(counted.size());
    const bool padding = std::all_of(extra.begin(), extra.end(), [](auto b) { return b == 0; });
    if (!extra.empty() && padding)
        d.nodes.push_back(field("padding", "Padding",
                                ::decode::counted(long(extra.size()), "zero byte", "zero bytes") +
                                    " past the length"));
    else if (!extra.empty())
        d.nodes.push_back(problemNode(
            d, "extraBytes", "Extra bytes",
            "byte " + std::to_string(kTypedHeaderSize + counted.size() + 1) + ": past the " +
                std::to_string(length) + " data bytes the length announces"));
    return d;
}

Decoded decodeHdrInfoFrameBytes(std::span<const std::uint8_t> frame) {
    Decoded d;
    d.title = "HDR InfoFrame";
    // The register holds a frame only when it names the HDR type and a length.
    if (frame.size() < kCapturedHeaderSize || frame[0] != kHdrType || frame[1] == 0) {
        d.nodes.push_back(field("captured", "Captured", "no HDR InfoFrame from the source", false));
        return d;
    }
    d.nodes.push_back(field("captured", "Captured", "from the source", true));
    d.nodes.push_back(field("type", "Type", hexByte(frame[0]), frame[0]));
    const int length = frame[1];
    d.nodes.push_back(lengthNode(d, length, "byte 2"));
    // No more than 27 data bytes fit in the register, however long the frame.
    const int shown = std::min(length, kCapturedPayloadLimit);
    const std::size_t held = std::min(frame.size() - kCapturedHeaderSize, std::size_t(shown));
    decodePayload(d, DataBytes{frame.subspan(kCapturedHeaderSize, held), "data byte ", 1}, shown);
    return d;
}

Decoded decodeHdrInfoFrameText(std::string_view colonHex) {
    return decodeTypedBytes(colonHex, decodeHdrInfoFrameTyped);
}

} // namespace decode
