#include "decode/EdidVendorBlocks.h"

#include "edid/EdidFields.h"

#include <QJsonArray>

#include <array>

namespace decode {
namespace {

constexpr int kOuiSize = 3;
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

constexpr const char* kContentTypes[] = {"graphics", "photo", "cinema", "game"};
constexpr std::array<const char*, 4> kImageSizes = {"no information", "gives the aspect ratio only",
                                                    "correct to 1 cm", "correct to 5 cm"};
constexpr std::array<const char*, 4> kThreeDMulti = {
    "no list of structures", "structures for all formats", "structures for the formats of a mask",
    nullptr};
constexpr const char* kThreeDStructures[] = {"frame packing",
                                             "field alternative",
                                             "line alternative",
                                             "side-by-side (full)",
                                             "L + depth",
                                             "L + depth + graphics + graphics-depth",
                                             "top-and-bottom",
                                             nullptr,
                                             "side-by-side (half, horizontal)",
                                             nullptr,
                                             nullptr,
                                             nullptr,
                                             nullptr,
                                             nullptr,
                                             nullptr,
                                             "side-by-side (half, quincunx)"};
constexpr std::array<const char*, 9> kThreeDFormats = {
    "frame packing",      "field alternative",
    "line alternative",   "side-by-side (full)",
    "L + depth",          "L + depth + graphics + graphics-depth",
    "top-and-bottom",     nullptr,
    "side-by-side (half)"};
constexpr std::array<const char*, 11> kSubSampling = {"horizontal and quincunx",
                                                      "horizontal",
                                                      nullptr,
                                                      nullptr,
                                                      nullptr,
                                                      nullptr,
                                                      "quincunx",
                                                      "quincunx odd/odd",
                                                      "quincunx odd/even",
                                                      "quincunx even/odd",
                                                      "quincunx even/even"};
constexpr std::array<const char*, 5> kHdmiVics = {nullptr, "3840x2160p30", "3840x2160p25",
                                                  "3840x2160p24", "4096x2160p24"};

QJsonArray namesOf(unsigned bits, std::span<const char* const> names) {
    QJsonArray out;
    for (std::size_t i = 0; i < names.size(); ++i)
        if ((bits & (1u << i)) && names[i])
            out.append(names[i]);
    return out;
}

// "42 ms", "not given" (0), "no video output" (255); JSON: the ms or null, and the code.
Node latencyField(std::string key, std::string label, int code, const char* what) {
    const int ms = edid::latencyMs(code);
    Node n = field(std::move(key), std::move(label),
                   ms >= 0       ? std::to_string(ms) + " ms"
                   : code == 255 ? std::string("no ") + what + " output"
                                 : "not given");
    n.children = {jsonOnly("ms", ms >= 0 ? QJsonValue(ms) : QJsonValue()), jsonOnly("code", code)};
    return n;
}

// The video code at `index` of the video data blocks, or its position when there is none.
Node indexedFormat(int index, const std::vector<int>& vics, const std::string& text) {
    const bool known = index < int(vics.size());
    const std::string label = known ? "VIC " + std::to_string(vics[std::size_t(index)])
                                    : "Format " + std::to_string(index + 1);
    std::string words = known ? videoCodeName(vics[std::size_t(index)]) : "not in the list";
    if (!text.empty())
        words += ", " + text;
    Node n = field({}, label, words);
    n.children = {jsonOnly("index", index)};
    if (known)
        n.children.push_back(jsonOnly("vic", vics[std::size_t(index)]));
    return n;
}

void hdmiVideoFields(Decoded& d, const edid::HdmiVendorFields& f, int at,
                     const std::vector<int>& vics, Node& n) {
    n.children.push_back(flag("threeD", "3D", f.threeD));
    n.children.push_back(namedValue(d, "threeDMulti", "3D formats", unsigned(f.threeDMulti),
                                    kThreeDMulti, EdidBytes::where(at)));
    n.children.push_back(namedValue(d, "imageSize", "Image size in the base block",
                                    unsigned(f.imageSize), kImageSizes, EdidBytes::where(at)));
    Node hdmiVics = group("hdmiVics", "HDMI VICs");
    for (int v : f.hdmiVics) {
        const bool known = v < int(kHdmiVics.size()) && kHdmiVics[std::size_t(v)];
        Node e = field({}, "HDMI VIC " + std::to_string(v),
                       known ? kHdmiVics[std::size_t(v)] : "reserved");
        e.children = {
            jsonOnly("vic", v),
            jsonOnly("name", known ? QJsonValue(kHdmiVics[std::size_t(v)]) : QJsonValue())};
        if (!known)
            addProblem(d, e,
                       EdidBytes::where(at) + ": HDMI VIC " + std::to_string(v) + " is reserved");
        hdmiVics.children.push_back(std::move(e));
    }
    if (hdmiVics.children.empty()) {
        hdmiVics.text = "none";
        hdmiVics.json = QJsonArray();
    }
    n.children.push_back(std::move(hdmiVics));
    if (f.hasStructureAll)
        n.children.push_back(field("threeDStructures", "3D structures",
                                   bitNames(f.structureAll, kThreeDStructures),
                                   namesOf(f.structureAll, kThreeDStructures)));
    if (f.hasMask) {
        Node masked = group("threeDMask", "3D structures for");
        for (int i = 0; i < 16; ++i)
            if (f.mask & (1u << i))
                masked.children.push_back(indexedFormat(i, vics, {}));
        if (masked.children.empty()) {
            masked.text = "none";
            masked.json = QJsonArray();
        }
        n.children.push_back(std::move(masked));
    }
    if (f.threeDFormats.empty())
        return;
    Node each = group("threeDFormats", "3D formats of their own");
    for (const edid::Hdmi3dFormat& t : f.threeDFormats) {
        std::string text = tableName(unsigned(t.structure), kThreeDFormats);
        if (t.detail >= 0)
            text += ", " + tableName(unsigned(t.detail), kSubSampling) + " sub-sampling";
        Node e = indexedFormat(t.index, vics, text);
        e.children.push_back(jsonOnly("structure", t.structure));
        if (t.detail >= 0)
            e.children.push_back(jsonOnly("subSampling", t.detail));
        each.children.push_back(std::move(e));
    }
    n.children.push_back(std::move(each));
}

Node hdmiBlock(Decoded& d, const edid::DataBlock& db, int at, Node n,
               const std::vector<int>& vics) {
    n.key = "hdmi";
    n.label = "HDMI Vendor-Specific Data Block";
    const int length = static_cast<int>(db.payload.size());
    if (dataBlockTooShort(d, n, at, length, kHdmiMinimum))
        return n;
    const edid::HdmiVendorFields f = edid::readHdmiVendor(db);
    n.children.push_back(field("physicalAddress", "Physical address",
                               physicalAddressText(f.addressHigh, f.addressLow)));
    if (f.hasFlags) {
        n.children.push_back(flag("supportsAi", "Supports AI", f.flags & edid::kHdmiAi));
        n.children.push_back(
            field("deepColour", "Deep colour", bitNames(f.flags & 0x78, kHdmiDeepColour)));
        n.children.push_back(flag("dviDual", "DVI dual link", f.flags & edid::kHdmiDviDual));
    }
    if (f.maxTmdsMhz >= 0)
        n.children.push_back(field(
            "maxTmdsClockMhz", "Max TMDS clock",
            f.maxTmdsMhz ? std::to_string(f.maxTmdsMhz) + " MHz" : "not given", f.maxTmdsMhz));
    if (!f.hasCapabilities)
        return n;
    n.children.push_back(
        jsonOnly("moreBytes", QString::fromStdString(hexBytes(Bytes(db.payload).subspan(7)))));
    n.children.push_back(field("contentTypes", "Content types",
                               bitNames(f.contentTypes, kContentTypes),
                               namesOf(f.contentTypes, kContentTypes)));
    if (f.videoLatency >= 0) {
        n.children.push_back(
            latencyField("videoLatency", "Video latency", f.videoLatency, "video"));
        n.children.push_back(
            latencyField("audioLatency", "Audio latency", f.audioLatency, "audio"));
    }
    if (f.interlacedVideoLatency >= 0) {
        n.children.push_back(latencyField("interlacedVideoLatency", "Interlaced video latency",
                                          f.interlacedVideoLatency, "video"));
        n.children.push_back(latencyField("interlacedAudioLatency", "Interlaced audio latency",
                                          f.interlacedAudioLatency, "audio"));
    }
    if (f.hasVideoFields) {
        const int flagsAt =
            8 + (f.videoLatency >= 0 ? 2 : 0) + (f.interlacedVideoLatency >= 0 ? 2 : 0);
        hdmiVideoFields(d, f, at + 1 + flagsAt, vics, n);
    }
    if (f.cutAt >= 0)
        n.children.push_back(problemNode(
            d, "cutShort", "HDMI fields",
            EdidBytes::where(at + 1 + f.cutAt) +
                ": the HDMI block ends before the latency, VIC or 3D fields it announces"));
    return n;
}

} // namespace

Node hdmiForumBlock(Decoded& d, const edid::DataBlock& db, int at, Node n, bool sinkCapability) {
    n.key = "hdmiForum";
    if (!sinkCapability)
        n.label = "HDMI Forum Vendor-Specific Data Block";
    if (dataBlockTooShort(d, n, at, static_cast<int>(db.payload.size()), kHdmiForumMinimum))
        return n;
    const edid::HdmiForumFields f = edid::readHdmiForum(db);
    n.children.push_back(field("version", "Version", std::to_string(f.version), f.version));
    const int rate = f.maxTmdsRateMhz;
    n.children.push_back(field("maxTmdsCharacterRateMhz", "Max TMDS character rate",
                               rate ? std::to_string(rate) + " MHz" : "340 MHz or less", rate));
    n.children.push_back(flag("scdc", "SCDC", f.flags & edid::kForumScdc));
    n.children.push_back(field("features", "Features", bitNames(f.flags & 0x7F, kForumFlags)));
    n.children.push_back(
        field("deepColour420", "Deep colour 4:2:0", bitNames(f.deepColour420, kDeepColour420)));
    if (f.maxFrlRate)
        n.children.push_back(namedValue(d, "maxFrlRate", "Max FRL rate", unsigned(f.maxFrlRate),
                                        kFrlRates, EdidBytes::where(at + 1 + 6)));
    return n;
}

Node vendorBlock(Decoded& d, const edid::DataBlock& db, int at, Node n,
                 const std::vector<int>& vics) {
    const int length = static_cast<int>(db.payload.size());
    if (dataBlockTooShort(d, n, at, length, kOuiSize))
        return n;
    const edid::BlockKind kind = edid::kindOf(db);
    if (kind == edid::BlockKind::HdmiVendor)
        return hdmiBlock(d, db, at, std::move(n), vics);
    if (kind == edid::BlockKind::HdmiForum)
        return hdmiForumBlock(d, db, at, std::move(n), false);
    const std::uint32_t oui = edid::ouiOf(db);
    char text[16];
    std::snprintf(text, sizeof text, "%02X-%02X-%02X", oui >> 16, (oui >> 8) & 0xFF, oui & 0xFF);
    n.text = std::string("OUI ") + text;
    n.children = {jsonOnly("oui", text)};
    if (length > kOuiSize)
        n.children.push_back(
            field("bytes", "Bytes", hexBytes(Bytes(db.payload).subspan(kOuiSize))));
    return n;
}

} // namespace decode
