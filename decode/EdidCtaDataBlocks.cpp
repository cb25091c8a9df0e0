#include "decode/AudioDescriptor.h"
#include "decode/EdidParts.h"
#include "decode/EdidVendorBlocks.h"
#include "edid/EdidFields.h"

#include <QJsonArray>
#include <QJsonObject>

#include <array>
#include <cmath>

namespace decode {
namespace {

// Name and JSON key of each kind of block; blocks without a key of their own
// are shown as their bytes.
struct BlockName {
    unsigned tag;
    const char* name;
    const char* key;
};

constexpr BlockName kBlocks[] = {
    {edid::kTagAudio, "Audio Data Block", "audio"},
    {edid::kTagVideo, "Video Data Block", "video"},
    {edid::kTagVendor, "Vendor-Specific Data Block", "vendorSpecific"},
    {edid::kTagSpeakers, "Speaker Allocation Data Block", "speakerAllocation"},
    {5, "VESA Display Transfer Characteristic Data Block", nullptr}};

constexpr BlockName kExtendedBlocks[] = {
    {edid::kExtVideoCapability, "Video Capability Data Block", "videoCapability"},
    {1, "Vendor-Specific Video Data Block", nullptr},
    {2, "VESA Display Device Data Block", nullptr},
    {3, "VESA Video Timing Block Extension", nullptr},
    {edid::kExtColorimetry, "Colorimetry Data Block", "colorimetry"},
    {edid::kExtHdrStatic, "HDR Static Metadata Data Block", "hdrStaticMetadata"},
    {7, "HDR Dynamic Metadata Data Block", nullptr},
    {13, "Video Format Preference Data Block", nullptr},
    {edid::kExtY420Video, "YCbCr 4:2:0 Video Data Block", "ycbcr420Video"},
    {edid::kExtY420Map, "YCbCr 4:2:0 Capability Map Data Block", "ycbcr420CapabilityMap"},
    {17, "Vendor-Specific Audio Data Block", nullptr},
    {18, "HDMI Audio Data Block", nullptr},
    {19, "Room Configuration Data Block", nullptr},
    {20, "Speaker Location Data Block", nullptr},
    {32, "InfoFrame Data Block", nullptr},
    {0x78, "HDMI Forum EDID Extension Override Data Block", nullptr},
    {edid::kExtHdmiForumSink, "HDMI Forum Sink Capability Data Block", "hdmiForum"}};

// The block's heading: its name and key, or its tag when unknown.
Node blockHeading(std::span<const BlockName> kinds, unsigned tag, const char* unknown) {
    for (const BlockName& kind : kinds)
        if (kind.tag == tag)
            return group(kind.key ? kind.key : "rawBlock", kind.name);
    return group("rawBlock", unknown + std::to_string(tag));
}

constexpr const char* kSpeakerBits[] = {
    "FL/FR",   "LFE1",        "FC",        "BL/BR", "BC",        "FLC/FRC",  "RLC/RRC",
    "FLW/FRW", "TpFL/TpFR",   "TpC",       "TpFC",  "LS/RS",     "LFE2",     "TpBC",
    "SiL/SiR", "TpSiL/TpSiR", "TpBL/TpBR", "BtFC",  "BtFL/BtFR", "TpLS/TpRS"};

constexpr const char* kColorimetryBits[] = {"xvYCC601", "xvYCC709",   "sYCC601",   "opYCC601",
                                            "opRGB",    "BT2020cYCC", "BT2020YCC", "BT2020RGB"};
constexpr const char* kEotfBits[] = {"SDR (traditional gamma)", "HDR (traditional gamma)",
                                     "SMPTE ST 2084 (PQ)", "HLG"};
constexpr std::array<const char*, 4> kScan = {"not supported", "always overscanned",
                                              "always underscanned", "overscan and underscan"};

constexpr std::uint8_t kNativeFirst = 129, kNativeLast = 192;

// Reserved short video descriptors: 0 and 128. Codes 220 and up are no
// formats yet and are listed as unknown.
bool reservedSvd(int b) {
    return b == 0 || b == 128;
}

// The block as read: header at `at`, payload after it (and after the
// extended tag for extended blocks).
struct Block {
    Decoded& d;
    const edid::DataBlock& db;
    int at, length; // `at`: its header byte in the EDID

    Bytes payload(int skip = 0) const { return Bytes(db.payload).subspan(std::size_t(skip)); }
    std::string where(int i) const { return EdidBytes::where(at + 1 + i); }
    bool tooShort(Node& n, int needed) const { return dataBlockTooShort(d, n, at, length, needed); }
};

Node videoBlock(Block& b, Node n, bool nativeFlags) {
    const Bytes svds = b.payload(nativeFlags ? 0 : 1);
    n.text = std::to_string(svds.size()) + (svds.size() == 1 ? " format" : " formats");
    for (std::size_t i = 0; i < svds.size(); ++i) {
        const int v = svds[i];
        if (nativeFlags && reservedSvd(v)) {
            Node r = field({}, "Reserved", hexByte(svds[i]));
            // An object like its neighbours, so that scripts walking the list
            // meet one kind of entry.
            r.children = {jsonOnly("code", v), jsonOnly("reserved", true)};
            addProblem(b.d, r,
                       b.where(int(i)) + ": video descriptor " + hexByte(svds[i]) + " is reserved");
            n.children.push_back(std::move(r));
            continue;
        }
        const bool native = nativeFlags && v >= kNativeFirst && v <= kNativeLast;
        n.children.push_back(videoCodeEntry(native ? v & 0x7F : v, native));
    }
    return n;
}

Node audioBlock(Block& b, Node n) {
    if (b.length % kShortAudioDescriptorSize)
        addProblem(b.d, n,
                   EdidBytes::where(b.at) + ": audio data block length " +
                       std::to_string(b.length) + " is not a multiple of 3");
    for (int i = 0; i + kShortAudioDescriptorSize <= b.length; i += kShortAudioDescriptorSize)
        n.children.push_back(
            shortAudioDescriptor(b.d, b.payload().subspan(std::size_t(i), 3), b.where(i)));
    return n;
}

Node speakerBlock(Block& b, Node n) {
    if (b.tooShort(n, 3))
        return n;
    const Bytes p = b.payload();
    const unsigned bits = p[0] | (p[1] << 8) | (p[2] << 16);
    n.text = bitNames(bits, kSpeakerBits);
    return n;
}

Node colorimetryBlock(Block& b, Node n) {
    if (b.tooShort(n, 3))
        return n;
    static constexpr const char* kProfiles[] = {"MD0", "MD1", "MD2", "MD3"};
    const edid::ColorimetryFields c = edid::readColorimetry(b.db);
    std::string text = bitNames(c.colorimetry, kColorimetryBits);
    if (c.extra & 0x80)
        text = (c.colorimetry ? text + ", " : "") + "DCI-P3";
    if (c.extra & 0x0F)
        text += "; gamut metadata " + bitNames(c.extra & 0x0F, kProfiles);
    n.text = text;
    return n;
}

Node luminanceField(const char* key, const char* label, double value, int decimals) {
    return field(key, label, trimmedNumber(value, decimals) + " cd/m²",
                 std::round(value * 10000) / 10000);
}

Node hdrStaticBlock(Block& b, Node n) {
    if (b.tooShort(n, 3))
        return n;
    const edid::HdrStaticFields h = edid::readHdrStatic(b.db);
    n.children.push_back(field("eotfs", "Transfer functions", bitNames(h.eotfs, kEotfBits)));
    n.children.push_back(
        field("metadataTypes", "Static metadata", (h.metadataTypes & 0x01) ? "type 1" : "none"));
    double maxLuminance = 0;
    if (h.maxLuminanceCode >= 0) {
        maxLuminance = edid::luminanceOf(h.maxLuminanceCode);
        n.children.push_back(luminanceField("maxLuminance", "Max luminance", maxLuminance, 2));
    }
    if (h.maxFrameAverageCode >= 0)
        n.children.push_back(luminanceField("maxFrameAverageLuminance",
                                            "Max frame-average luminance",
                                            edid::luminanceOf(h.maxFrameAverageCode), 2));
    if (h.minLuminanceCode >= 0)
        n.children.push_back(luminanceField("minLuminance", "Min luminance",
                                            edid::minLuminanceOf(maxLuminance, h.minLuminanceCode),
                                            4));
    return n;
}

Node videoCapabilityBlock(Block& b, Node n) {
    if (b.tooShort(n, 2))
        return n;
    const std::uint8_t v = b.payload(1)[0];
    const char* noData = "no data";
    n.children = {
        field("ycbcrQuantization", "YCbCr quantization", (v & 0x80) ? "selectable" : noData),
        field("rgbQuantization", "RGB quantization", (v & 0x40) ? "selectable" : noData),
        field("ptScan", "Preferred format scan", ((v >> 4) & 3) ? kScan[(v >> 4) & 3] : noData),
        field("itScan", "IT format scan", kScan[(v >> 2) & 3]),
        field("ceScan", "CE format scan", kScan[v & 3]),
    };
    return n;
}

Node ycbcr420Map(Block& b, Node n, const std::vector<int>& vics) {
    const Bytes map = b.payload(1);
    // In JSON the map is always a list of formats, whichever way it is written.
    if (map.empty()) {
        n.text = "every format of the video data block";
        QJsonArray all;
        for (int vic : vics)
            all.append(QJsonObject{{"vic", vic},
                                   {"name", QString::fromStdString(videoCodeName(vic))},
                                   {"native", false}});
        n.json = all;
        return n;
    }
    for (std::size_t i = 0; i < map.size() * 8; ++i) {
        if (!(map[i / 8] & (1u << (i % 8))))
            continue;
        if (i < vics.size()) {
            n.children.push_back(videoCodeEntry(vics[i], false));
        } else {
            Node missing = problemNode(b.d, {}, "Format " + std::to_string(i + 1),
                                       b.where(1 + int(i / 8)) + ": the 4:2:0 map names format " +
                                           std::to_string(i + 1) + ", the video data block has " +
                                           std::to_string(vics.size()));
            missing.children = {jsonOnly("position", int(i + 1)), jsonOnly("missing", true)};
            n.children.push_back(std::move(missing));
        }
    }
    if (n.children.empty()) {
        n.text = "none";
        n.json = QJsonArray();
    }
    return n;
}

// A block shown as its bytes: the tag (and extended tag) say what it is.
Node rawBlock(Block& b, Node n, int skip) {
    n.text = b.length > skip ? hexBytes(b.payload(skip)) : "no bytes";
    n.children = {jsonOnly("tag", b.db.tag), jsonOnly("bytes", QString::fromStdString(n.text))};
    if (skip)
        n.children.push_back(jsonOnly("extendedTag", b.payload()[0]));
    return n;
}

Node extendedBlock(Block& b, edid::BlockKind kind, const std::vector<int>& vics) {
    Node n = blockHeading(kExtendedBlocks, b.db.payload[0], "Extended data block, tag ");
    switch (kind) {
    case edid::BlockKind::VideoCapability:
        return videoCapabilityBlock(b, std::move(n));
    case edid::BlockKind::Colorimetry:
        return colorimetryBlock(b, std::move(n));
    case edid::BlockKind::HdrStatic:
        return hdrStaticBlock(b, std::move(n));
    case edid::BlockKind::Y420Video:
        return videoBlock(b, std::move(n), false);
    case edid::BlockKind::Y420CapabilityMap:
        return ycbcr420Map(b, std::move(n), vics);
    case edid::BlockKind::HdmiForumSink:
        return hdmiForumBlock(b.d, b.db, b.at, std::move(n), true);
    default:
        return rawBlock(b, std::move(n), 1);
    }
}

} // namespace

bool dataBlockTooShort(Decoded& d, Node& n, int at, int length, int needed) {
    if (length >= needed)
        return false;
    addProblem(d, n,
               EdidBytes::where(at) + ": " + n.label + " has " + std::to_string(length) +
                   " bytes, needs at least " + std::to_string(needed));
    return true;
}

Node videoCodeEntry(int vic, bool native) {
    const std::string name = videoCodeName(vic);
    Node n = field({}, "VIC " + std::to_string(vic), name + (native ? " (native)" : ""));
    n.children = {jsonOnly("vic", vic), jsonOnly("name", QString::fromStdString(name)),
                  jsonOnly("native", native)};
    return n;
}

Node ctaDataBlock(Decoded& d, const edid::DataBlock& db, int block, const std::vector<int>& vics) {
    const int at = block + db.offset;
    Block b{d, db, at, static_cast<int>(db.payload.size())};
    Node n = blockHeading(kBlocks, db.tag, "Data block, tag ");
    switch (const edid::BlockKind kind = edid::kindOf(db)) {
    case edid::BlockKind::Audio:
        return audioBlock(b, std::move(n));
    case edid::BlockKind::Video:
        return videoBlock(b, std::move(n), true);
    case edid::BlockKind::SpeakerAllocation:
        return speakerBlock(b, std::move(n));
    case edid::BlockKind::HdmiVendor:
    case edid::BlockKind::HdmiForum:
        return vendorBlock(d, db, at, std::move(n), vics);
    case edid::BlockKind::Other:
        if (db.tag == edid::kTagVendor)
            return vendorBlock(d, db, at, std::move(n), vics);
        if (db.tag != edid::kTagExtended)
            return rawBlock(b, std::move(n), 0);
        if (db.payload.empty()) {
            addProblem(d, n, EdidBytes::where(at) + ": extended data block without its tag");
            return rawBlock(b, std::move(n), 0);
        }
        return extendedBlock(b, kind, vics);
    default:
        return extendedBlock(b, kind, vics);
    }
}

} // namespace decode
