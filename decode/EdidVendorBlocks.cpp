#include "decode/EdidVendorBlocks.h"

#include <array>

namespace decode {
namespace {

constexpr unsigned kHdmiOui = 0x000C03;
constexpr unsigned kHdmiForumOui = 0xC45DD8;
constexpr int kOuiSize = 3;
constexpr int kTmdsUnitMhz = 5;
constexpr int kHdmiMinimum = 5;      // OUI and physical address
constexpr int kHdmiForumMinimum = 7; // OUI, version, rate, flags, deep colour

constexpr const char* kHdmiDeepColour[] = {nullptr,  nullptr,  nullptr, "YCbCr 4:4:4",
                                           "30 bit", "36 bit", "48 bit"};
constexpr const char* kDeepColour420[] = {"30 bit", "36 bit", "48 bit"};
constexpr const char* kForumFlags[] = {
    "3D OSD disparity", "3D dual view", "3D independent view", "scrambling below 340 Mcsc",
    "CCBPCI",           "cable status", "read request",        "SCDC"};
constexpr std::array<const char*, 7> kFrlRates = {
    "not supported",     "3 Gbps on 3 lanes",  "6 Gbps on 3 lanes", "6 Gbps on 4 lanes",
    "8 Gbps on 4 lanes", "10 Gbps on 4 lanes", "12 Gbps on 4 lanes"};

Node hdmiBlock(Decoded& d, const EdidBytes& e, int at, int length, Node n) {
    n.key = "hdmi";
    n.label = "HDMI Vendor-Specific Data Block";
    if (dataBlockTooShort(d, n, at, length, kHdmiMinimum))
        return n;
    const int p = at + 1 + kOuiSize;
    n.children.push_back(
        field("physicalAddress", "Physical address", physicalAddressText(e.at(p), e.at(p + 1))));
    if (length >= 6) {
        const std::uint8_t flags = e.at(p + 2);
        n.children.push_back(flag("supportsAi", "Supports AI", flags & 0x80));
        n.children.push_back(
            field("deepColour", "Deep colour", bitNames(flags & 0x78, kHdmiDeepColour)));
        n.children.push_back(flag("dviDual", "DVI dual link", flags & 0x01));
    }
    if (length >= 7) {
        const int clock = e.at(p + 3) * kTmdsUnitMhz;
        n.children.push_back(field("maxTmdsClockMhz", "Max TMDS clock",
                                   clock ? std::to_string(clock) + " MHz" : "not given", clock));
    }
    if (length > 7)
        n.children.push_back(
            field("moreBytes", "Latency and video fields", hexBytes(e.span(p + 4, length - 7))));
    return n;
}

} // namespace

Node hdmiForumBlock(Decoded& d, const EdidBytes& e, int at, int length, Node n,
                    bool sinkCapability) {
    n.key = "hdmiForum";
    if (!sinkCapability)
        n.label = "HDMI Forum Vendor-Specific Data Block";
    // Both blocks carry three bytes before the version: the OUI, or the
    // extended tag and two reserved bytes.
    if (dataBlockTooShort(d, n, at, length, kHdmiForumMinimum))
        return n;
    const int p = at + 1 + kOuiSize;
    n.children.push_back(field("version", "Version", std::to_string(e.at(p)), e.at(p)));
    const int rate = e.at(p + 1) * kTmdsUnitMhz;
    n.children.push_back(field("maxTmdsCharacterRateMhz", "Max TMDS character rate",
                               rate ? std::to_string(rate) + " MHz" : "340 MHz or less", rate));
    const std::uint8_t flags = e.at(p + 2);
    n.children.push_back(flag("scdc", "SCDC", flags & 0x80));
    n.children.push_back(field("features", "Features", bitNames(flags & 0x7F, kForumFlags)));
    const std::uint8_t b = e.at(p + 3);
    n.children.push_back(
        field("deepColour420", "Deep colour 4:2:0", bitNames(b & 0x07, kDeepColour420)));
    if (b >> 4)
        n.children.push_back(namedValue(d, "maxFrlRate", "Max FRL rate", b >> 4, kFrlRates,
                                        EdidBytes::where(p + 3)));
    return n;
}

Node vendorBlock(Decoded& d, const EdidBytes& e, int at, int length, Node n) {
    if (dataBlockTooShort(d, n, at, length, kOuiSize))
        return n;
    const unsigned oui = e.at(at + 1) | (e.at(at + 2) << 8) | (e.at(at + 3) << 16);
    if (oui == kHdmiOui)
        return hdmiBlock(d, e, at, length, std::move(n));
    if (oui == kHdmiForumOui)
        return hdmiForumBlock(d, e, at, length, std::move(n), false);
    char text[16];
    std::snprintf(text, sizeof text, "%02X-%02X-%02X", oui >> 16, (oui >> 8) & 0xFF, oui & 0xFF);
    n.text = std::string("OUI ") + text;
    n.children = {jsonOnly("oui", text)};
    if (length > kOuiSize)
        n.children.push_back(
            field("bytes", "Bytes", hexBytes(e.span(at + 1 + kOuiSize, length - kOuiSize))));
    return n;
}

} // namespace decode
