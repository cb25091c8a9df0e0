#include "decode/EdidParts.h"

#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>

namespace decode {
namespace {

constexpr int kCtaHeaderSize = 4;
constexpr std::uint8_t kNativeCountMask = 0x0F;

constexpr CodeName kExtensionTags[] = {{edid::kCtaTag, "CTA-861 extension"},
                                       {0x10, "Video timing block extension"},
                                       {0x40, "Display information extension"},
                                       {0x50, "Localized string extension"},
                                       {0x60, "Microdisplay interface extension"},
                                       {edid::kDisplayIdTag, "DisplayID extension"},
                                       {0xA7, "Display transfer characteristics"},
                                       {0xF0, "Block map"},
                                       {0xFF, "Manufacturer extension"}};

constexpr std::uint8_t kBlockMapTag = 0xF0;

// The "kind" of a block in JSON.
constexpr CodeName kExtensionKinds[] = {{0x10, "videoTimingBlock"},
                                        {0x40, "displayInformation"},
                                        {0x50, "localizedString"},
                                        {0x60, "microdisplayInterface"},
                                        {0xA7, "displayTransferCharacteristics"},
                                        {0xFF, "manufacturer"}};

const char* kindOf(std::uint8_t tag) {
    const char* kind = findName(kExtensionKinds, tag);
    return kind ? kind : "unknown";
}

// A block map names the tag of each block after it: the first map covers
// blocks 2 to 127, a second one (block 128) blocks 129 to 254.
Node blockMap(Decoded& d, const EdidBytes& e, int block, Node n) {
    n.text = "Block map";
    n.children.push_back(jsonOnly("kind", "blockMap"));
    Node entries = group("blocks", "Blocks");
    for (int i = 1; i < kChecksumInBlock; ++i) {
        const std::uint8_t tag = e.at(block + i);
        if (tag == 0)
            continue;
        const int index = block / kEdidBlock + i;
        const char* name = findName(kExtensionTags, tag);
        Node entry =
            field({}, "Block " + std::to_string(index),
                  std::string(name ? name : "unknown extension") + " (tag " + hexByte(tag) + ")");
        entry.children = {jsonOnly("block", index), jsonOnly("tag", tag)};
        const int at = index * kEdidBlock;
        if (e.has(at) && e.at(at) != tag)
            addProblem(d, entry,
                       EdidBytes::where(block + i) + ": the block map gives block " +
                           std::to_string(index) + " tag " + hexByte(tag) + ", it has " +
                           hexByte(e.at(at)));
        entries.children.push_back(std::move(entry));
    }
    if (entries.children.empty()) {
        entries.text = "none";
        entries.json = QJsonArray();
    }
    n.children.push_back(std::move(entries));
    n.children.push_back(blockChecksum(d, e, block));
    return n;
}

bool isBlank(const EdidBytes& e, int block) {
    const Bytes b = e.span(block, kEdidBlock);
    const bool zeros = std::all_of(b.begin(), b.end(), [](std::uint8_t x) { return x == 0; });
    const bool ones = std::all_of(b.begin(), b.end(), [](std::uint8_t x) { return x == 0xFF; });
    return zeros || ones;
}

// The video codes of the video data blocks, in order (the 4:2:0 capability
// map and the HDMI 3D mask count through them).
std::vector<int> videoCodes(const std::vector<edid::DataBlock>& blocks) {
    std::vector<int> vics;
    for (const edid::DataBlock& db : blocks)
        if (edid::kindOf(db) == edid::BlockKind::Video)
            for (std::uint8_t svd : db.payload)
                vics.push_back(edid::vicOf(svd));
    return vics;
}

} // namespace

Node ctaDataBlocks(Decoded& d, const EdidBytes& e, int block, const edid::DataBlockList& list,
                   int end, const std::string& endName) {
    Node blocks = group("dataBlocks", "Data blocks");
    const std::vector<int> vics = videoCodes(list.blocks);
    const auto cutShort = [&](int at) {
        blocks.children.push_back(problemNode(
            d, "cutShort", "Data block",
            EdidBytes::where(at) + ": a data block of " + std::to_string(e.at(at) & 0x1F) +
                " bytes runs past " + endName + " at byte " + std::to_string(end)));
    };
    // Displays ship with this fault: what the block holds is still read,
    // as long as it stays inside its EDID block.
    for (const edid::DataBlock& db : list.blocks) {
        const int at = block + db.offset;
        if (at + 1 + static_cast<int>(db.payload.size()) > end)
            cutShort(at);
        blocks.children.push_back(ctaDataBlock(d, db, block, vics));
    }
    if (list.cutAt >= 0)
        cutShort(block + list.cutAt);
    if (blocks.children.empty()) {
        blocks.text = "none";
        blocks.json = QJsonObject(); // an object, as when it holds blocks
    }
    return blocks;
}

namespace {

Node ctaDetailedTimings(const edid::CtaExtension& cta) {
    Node timings = group("detailedTimings", "Detailed timings");
    for (const edid::Timing& t : cta.timings)
        timings.children.push_back(detailedTiming(t, {}, "Detailed timing"));
    if (timings.children.empty()) {
        timings.text = "none";
        timings.json = QJsonArray();
    }
    return timings;
}

Node ctaBlock(Decoded& d, const EdidBytes& e, int block, const edid::Extension& x, Node n) {
    const int revision = x.original[1];
    const int offset = x.original[2];
    const std::uint8_t flags = x.original[3];
    n.text = "CTA-861 extension, revision " + std::to_string(revision);
    n.children.push_back(jsonOnly("kind", "cta861"));
    n.children.push_back(field("revision", "Revision", std::to_string(revision), revision));
    n.children.push_back(flag("underscan", "Underscans IT formats by default", flags & 0x80));
    n.children.push_back(flag("basicAudio", "Basic audio", flags & 0x40));
    n.children.push_back(flag("ycbcr444", "YCbCr 4:4:4", flags & 0x20));
    n.children.push_back(flag("ycbcr422", "YCbCr 4:2:2", flags & 0x10));
    const int native = flags & kNativeCountMask;
    n.children.push_back(
        field("nativeDetailedTimings", "Native detailed timings", std::to_string(native), native));
    // Offset 0: neither data blocks nor detailed timings.
    if (offset != 0 && (offset < kCtaHeaderSize || offset > kChecksumInBlock)) {
        n.children.push_back(problemNode(d, "detailedTimingOffset", "Detailed timings offset",
                                         EdidBytes::where(block + 2) + ": offset " +
                                             std::to_string(offset) + " lies outside 4 to 127"));
    } else if (offset != 0) {
        // The model refuses a block whose data blocks overrun the offset; the
        // decoder reads on, to show what the display meant.
        edid::DataBlockList list{x.cta.dataBlocks, -1};
        edid::CtaExtension parts = x.cta;
        if (!x.isCta) {
            list = edid::readDataBlocks(x.original, kCtaHeaderSize, offset, kChecksumInBlock);
            parts = {};
            edid::readCtaSlots(x.original, offset, parts);
        }
        n.children.push_back(ctaDataBlocks(d, e, block, list, block + offset));
        n.children.push_back(ctaDetailedTimings(parts));
        const int first = block + offset + kDescriptorLength * int(parts.timings.size());
        for (std::size_t i = 0; i < parts.descriptors.size(); ++i)
            n.children.push_back(
                displayDescriptor(d, parts.descriptors[i], first + kDescriptorLength * int(i)));
    }
    n.children.push_back(blockChecksum(d, e, block));
    return n;
}

} // namespace

Node decodeExtensionBlock(Decoded& d, const EdidBytes& e, int index, const edid::Extension& x) {
    const int block = index * kEdidBlock;
    const std::string key = "block" + std::to_string(index);
    Node n = group(key, "Block " + std::to_string(index));
    const int announced = e.has(126) ? e.at(126) : 0;
    if (index > announced && isBlank(e, block)) {
        n.text = "unused";
        n.children.push_back(jsonOnly("kind", "unused"));
        return n;
    }
    if (index > announced)
        n.children.push_back(field("announced", "Announced",
                                   "no, byte 126 announces " + std::to_string(announced) +
                                       " extension blocks, so sources ignore this one",
                                   false));
    const std::uint8_t tag = x.original[0];
    if (tag == edid::kCtaTag)
        return ctaBlock(d, e, block, x, std::move(n));
    if (x.isDisplayId)
        return displayIdBlock(d, e, block, x.displayId, std::move(n));
    if (tag == kBlockMapTag)
        return blockMap(d, e, block, std::move(n));
    const char* name = findName(kExtensionTags, tag);
    n.text =
        std::string(name ? name : "unknown extension") + " (tag " + hexByte(tag) + "), not decoded";
    n.children.push_back(jsonOnly("kind", kindOf(tag)));
    n.children.push_back(jsonOnly("tag", tag));
    n.children.push_back(jsonOnly(
        "bytes", QString::fromStdString(hexBytes(e.span(block + 1, kChecksumInBlock - 1)))));
    n.children.push_back(blockChecksum(d, e, block));
    return n;
}

} // namespace decode
