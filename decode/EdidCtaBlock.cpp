#include "decode/EdidParts.h"

#include <algorithm>

namespace decode {
namespace {

constexpr std::uint8_t kCtaTag = 0x02;
constexpr int kCtaHeaderSize = 4;
constexpr int kVideoTag = 2;
constexpr std::uint8_t kNativeCountMask = 0x0F;

constexpr CodeName kExtensionTags[] = {{0x02, "CTA-861 extension"},
                                       {0x10, "Video timing block extension"},
                                       {0x40, "Display information extension"},
                                       {0x50, "Localized string extension"},
                                       {0x60, "Microdisplay interface extension"},
                                       {0x70, "DisplayID extension"},
                                       {0xA7, "Display transfer characteristics"},
                                       {0xF0, "Block map"},
                                       {0xFF, "Manufacturer extension"}};

bool isBlank(const EdidBytes& e, int block) {
    const Bytes b = e.span(block, kEdidBlock);
    const bool zeros = std::all_of(b.begin(), b.end(), [](std::uint8_t x) { return x == 0; });
    const bool ones = std::all_of(b.begin(), b.end(), [](std::uint8_t x) { return x == 0xFF; });
    return zeros || ones;
}

// The video codes of the block's video data blocks, in order (the 4:2:0
// capability map counts through them).
std::vector<int> videoCodes(const EdidBytes& e, int start, int end) {
    std::vector<int> vics;
    for (int at = start; at < end;) {
        const int tag = e.at(at) >> 5, length = e.at(at) & 0x1F;
        if (at + 1 + length > end)
            break;
        if (tag == kVideoTag)
            for (int i = 1; i <= length; ++i) {
                const int b = e.at(at + i);
                vics.push_back(b >= 129 && b <= 192 ? b & 0x7F : b);
            }
        at += 1 + length;
    }
    return vics;
}

Node dataBlocks(Decoded& d, const EdidBytes& e, int block, int end) {
    Node blocks = group("dataBlocks", "Data blocks");
    const std::vector<int> vics = videoCodes(e, block + kCtaHeaderSize, end);
    for (int at = block + kCtaHeaderSize; at < end;) {
        const int length = e.at(at) & 0x1F;
        if (at + 1 + length > end) {
            blocks.children.push_back(problemNode(
                d, "cutShort", "Data block",
                EdidBytes::where(at) + ": a data block of " + std::to_string(length) +
                    " bytes runs past the detailed timings at byte " + std::to_string(end)));
            break;
        }
        blocks.children.push_back(ctaDataBlock(d, e, at, vics));
        at += 1 + length;
    }
    if (blocks.children.empty())
        blocks.text = "none";
    return blocks;
}

Node ctaDetailedTimings(const EdidBytes& e, int block, int start) {
    Node timings = group("detailedTimings", "Detailed timings");
    for (int at = start; at + kDescriptorLength <= block + kChecksumInBlock;
         at += kDescriptorLength) {
        if (!isDetailedTiming(e, at))
            break;
        timings.children.push_back(detailedTiming(e, at, {}, "Detailed timing"));
    }
    if (timings.children.empty())
        timings.text = "none";
    return timings;
}

Node ctaBlock(Decoded& d, const EdidBytes& e, int block, Node n) {
    const int revision = e.at(block + 1);
    const int offset = e.at(block + 2);
    const std::uint8_t flags = e.at(block + 3);
    n.text = "CTA-861 extension, revision " + std::to_string(revision);
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
        n.children.push_back(dataBlocks(d, e, block, block + offset));
        n.children.push_back(ctaDetailedTimings(e, block, block + offset));
    }
    n.children.push_back(blockChecksum(d, e, block));
    return n;
}

} // namespace

Node decodeExtensionBlock(Decoded& d, const EdidBytes& e, int index) {
    const int block = index * kEdidBlock;
    const std::string key = "block" + std::to_string(index);
    Node n = group(key, "Block " + std::to_string(index));
    const int announced = e.has(126) ? e.at(126) : 0;
    if (index > announced) {
        n.text = isBlank(e, block) ? "unused" : "not announced in byte 126, so sources ignore it";
        return n;
    }
    const std::uint8_t tag = e.at(block);
    if (tag == kCtaTag)
        return ctaBlock(d, e, block, std::move(n));
    const char* name = findName(kExtensionTags, tag);
    n.text =
        std::string(name ? name : "unknown extension") + " (tag " + hexByte(tag) + "), not decoded";
    n.children.push_back(blockChecksum(d, e, block));
    return n;
}

} // namespace decode
