#include "decode/EdidParts.h"

#include <QJsonArray>
#include <QJsonObject>

#include <array>
#include <cmath>
#include <numeric>

namespace decode {
namespace {

constexpr int kSectionHeader = 5; // tag, version, length, product type, extension count
constexpr int kDataBlockHeader = 3;
constexpr int kTimingSize = 20;
constexpr int kTiledSize = 22;
constexpr int kProductIdSize = 12;
constexpr int kVersion2 = 0x20;
constexpr int kYearBase = 2000;

enum Tag {
    kProductId = 0x00,
    kTypeI = 0x03,
    kTiled = 0x12,
    kProductId2 = 0x20,
    kTypeVII = 0x22,
    kTiled2 = 0x28,
};

constexpr CodeName kBlockNames[] = {{0x00, "Product Identification"},
                                    {0x01, "Display Parameters"},
                                    {0x02, "Color Characteristics"},
                                    {0x03, "Type I Detailed Timings"},
                                    {0x04, "Type II Detailed Timings"},
                                    {0x05, "Type III Short Timings"},
                                    {0x06, "Type IV Short Timings"},
                                    {0x07, "VESA Timings"},
                                    {0x08, "CTA-861 Timings"},
                                    {0x09, "Video Timing Range"},
                                    {0x0A, "Product Serial Number"},
                                    {0x0B, "ASCII String"},
                                    {0x0C, "Display Device Data"},
                                    {0x0D, "Interface Power Sequencing"},
                                    {0x0E, "Transfer Characteristics"},
                                    {0x0F, "Display Interface"},
                                    {0x10, "Stereo Display Interface"},
                                    {0x11, "Type V Timings"},
                                    {0x12, "Tiled Display Topology"},
                                    {0x13, "Type VI Timings"},
                                    {0x20, "Product Identification"},
                                    {0x21, "Display Parameters"},
                                    {0x22, "Type VII Detailed Timings"},
                                    {0x23, "Type VIII Enumerated Timings"},
                                    {0x24, "Type IX Formula-based Timings"},
                                    {0x25, "Dynamic Video Timing Range Limits"},
                                    {0x26, "Display Interface Features"},
                                    {0x27, "Stereo Display Interface"},
                                    {0x28, "Tiled Display Topology"},
                                    {0x29, "ContainerID"},
                                    {0x2B, "Adaptive Sync"},
                                    {0x7E, "Vendor-Specific"},
                                    {0x7F, "Vendor-Specific"},
                                    {0x81, "CTA-861 DisplayID"}};

constexpr std::array<const char*, 7> kProductTypes = {
    "extension section",   "test structure",      "display panel",       "standalone display",
    "television receiver", "repeater/translator", "direct drive monitor"};
constexpr std::array<const char*, 9> kUseCases = {
    "same as the base section", "test structure", "generic display", "television",
    "desktop productivity",     "desktop gaming", "presentation",    "virtual reality",
    "augmented reality"};
constexpr std::array<const char*, 8> kAspects = {"1:1",  "5:4",   "4:3",   "15:9",
                                                 "16:9", "16:10", "64:27", "256:135"};

int word(const EdidBytes& e, int at) {
    return e.at(at) | (e.at(at + 1) << 8);
}

// A type I (10 kHz units) or type VII (1 kHz units) timing: 20 bytes, every
// count stored one less than it is.
Node timing(const EdidBytes& e, int at, double unitKhz) {
    const double clockMhz =
        ((e.at(at) | (e.at(at + 1) << 8) | (e.at(at + 2) << 16)) + 1) * unitKhz / 1000.0;
    const std::uint8_t flags = e.at(at + 3);
    const int hActive = word(e, at + 4) + 1, hBlank = word(e, at + 6) + 1;
    const int vActive = word(e, at + 12) + 1, vBlank = word(e, at + 14) + 1;
    const bool interlaced = flags & 0x10, preferred = flags & 0x80;
    const double total = double(hActive + hBlank) * (vActive + vBlank);
    const double refresh = total > 0 ? clockMhz * 1e6 / total : 0.0;
    const std::string aspect = tableName(flags & 0x0F, kAspects);
    Node n =
        field({}, "Detailed timing",
              std::to_string(hActive) + "x" + std::to_string(vActive) + (interlaced ? "i" : "") +
                  " @ " + trimmedNumber(refresh, 2) + " Hz, " + fixedNumber(clockMhz, 2) +
                  " MHz, " + aspect + (preferred ? ", preferred" : ""));
    n.children = {jsonOnly("width", hActive),
                  jsonOnly("height", vActive),
                  jsonOnly("interlaced", interlaced),
                  jsonOnly("refreshHz", std::round(refresh * 1000) / 1000),
                  jsonOnly("pixelClockMhz", std::round(clockMhz * 1000) / 1000),
                  jsonOnly("preferred", preferred),
                  jsonOnly("aspectRatio", QString::fromStdString(aspect)),
                  jsonOnly("hFrontPorch", (word(e, at + 8) & 0x7FFF) + 1),
                  jsonOnly("hSyncWidth", word(e, at + 10) + 1),
                  jsonOnly("vFrontPorch", (word(e, at + 16) & 0x7FFF) + 1),
                  jsonOnly("vSyncWidth", word(e, at + 18) + 1)};
    return n;
}

Node timings(Decoded& d, const EdidBytes& e, int at, int length, double unitKhz, Node n) {
    if (length % kTimingSize)
        addProblem(d, n,
                   EdidBytes::where(at) + ": " + n.label + " has " + std::to_string(length) +
                       " bytes, not a multiple of 20");
    n.key = "detailedTimings";
    for (int i = 0; i + kTimingSize <= length; i += kTimingSize)
        n.children.push_back(timing(e, i, unitKhz));
    if (n.children.empty())
        n.json = QJsonArray();
    return n;
}

std::string ascii(const EdidBytes& e, int at, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        const std::uint8_t c = e.at(at + i);
        text += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
    }
    return text;
}

// DisplayID 1.x names the maker by three letters, 2.0 by its IEEE OUI.
std::string vendorId(const EdidBytes& e, int at, bool oui) {
    if (!oui)
        return ascii(e, at, 3);
    char text[16];
    std::snprintf(text, sizeof text, "%02X-%02X-%02X", e.at(at), e.at(at + 1), e.at(at + 2));
    return text;
}

// The block's renderers read its payload `e` (byte 0 follows its header);
// `at` is its tag byte in the EDID, for problems.
Node productId(Decoded& d, const EdidBytes& e, int at, int length, bool oui, Node n) {
    n.key = "productIdentification";
    if (dataBlockTooShort(d, n, at, length, kProductIdSize))
        return n;
    const int p = 0;
    const std::uint32_t serial =
        e.at(p + 5) | (e.at(p + 6) << 8) | (e.at(p + 7) << 16) | (std::uint32_t(e.at(p + 8)) << 24);
    const int week = e.at(p + 9), year = kYearBase + e.at(p + 10);
    n.children = {
        field("manufacturer", "Manufacturer", vendorId(e, p, oui)),
        field("productCode", "Product code", std::to_string(word(e, p + 3)), word(e, p + 3)),
        field("serialNumber", "Serial number", std::to_string(serial), double(serial)),
        field("year", "Year", std::to_string(year), year),
        field("week", "Week", std::to_string(week), week)};
    const int nameLength = std::min(int(e.at(p + 11)), length - kProductIdSize);
    if (nameLength > 0)
        n.children.push_back(field("productName", "Product name", ascii(e, p + 12, nameLength)));
    return n;
}

Node tiled(Decoded& d, const EdidBytes& e, int at, int length, bool oui, Node n) {
    n.key = "tiledTopology";
    if (dataBlockTooShort(d, n, at, length, kTiledSize))
        return n;
    const int p = 0;
    const std::uint8_t high = e.at(p + 3);
    const int columns = (((high >> 6) & 3) << 4 | (e.at(p + 1) >> 4)) + 1;
    const int rows = (((high >> 4) & 3) << 4 | (e.at(p + 1) & 0x0F)) + 1;
    const int column = ((high >> 2) & 3) << 4 | (e.at(p + 2) >> 4);
    const int row = (high & 3) << 4 | (e.at(p + 2) & 0x0F);
    const int width = word(e, p + 4) + 1, height = word(e, p + 6) + 1;
    n.text = std::to_string(columns) + "x" + std::to_string(rows) + " tiles, this one at column " +
             std::to_string(column) + ", row " + std::to_string(row) + ", " +
             std::to_string(width) + "x" + std::to_string(height);
    const std::uint32_t serial = e.at(p + 18) | (e.at(p + 19) << 8) | (e.at(p + 20) << 16) |
                                 (std::uint32_t(e.at(p + 21)) << 24);
    n.children = {
        flag("singleEnclosure", "Single enclosure", e.at(p) & 0x80),
        jsonOnly("horizontalTiles", columns),
        jsonOnly("verticalTiles", rows),
        jsonOnly("horizontalLocation", column),
        jsonOnly("verticalLocation", row),
        jsonOnly("tileWidth", width),
        jsonOnly("tileHeight", height),
        field("bezel", "Bezel (pixel multiplier, top, bottom, right, left)",
              hexBytes(e.span(p + 8, 5))),
        field("manufacturer", "Manufacturer", vendorId(e, p + 13, oui)),
        field("productCode", "Product code", std::to_string(word(e, p + 16)), word(e, p + 16)),
        field("serialNumber", "Serial number", std::to_string(serial), double(serial))};
    return n;
}

Node rawDisplayIdBlock(const edid::DisplayIdBlock& b, Node n) {
    n.key = "rawBlock";
    n.text = b.payload.empty() ? "no bytes" : hexBytes(b.payload);
    n.children = {jsonOnly("tag", b.tag), jsonOnly("revision", b.revision),
                  jsonOnly("bytes", QString::fromStdString(n.text))};
    return n;
}

Node dataBlock(Decoded& d, const EdidBytes& all, int block, const edid::DisplayIdBlock& b,
               bool version2) {
    const EdidBytes e{Bytes(b.payload)};
    const int at = block + b.offset, length = static_cast<int>(b.payload.size());
    const int tag = b.tag;
    const char* name = findName(kBlockNames, unsigned(tag));
    Node n = group({}, name ? std::string(name) + " Data Block"
                            : "Data block, tag " + hexByte(static_cast<std::uint8_t>(tag)));
    switch (tag) {
    case kProductId:
    case kProductId2:
        return productId(d, e, at, length, version2, std::move(n));
    case kTypeI:
        return timings(d, e, at, length, 10.0, std::move(n));
    case kTypeVII:
        return timings(d, e, at, length, 1.0, std::move(n));
    case kTiled:
    case kTiled2:
        return tiled(d, e, at, length, version2, std::move(n));
    case edid::kDisplayIdCta: {
        const int end = at + kDataBlockHeader + length;
        Node blocks = ctaDataBlocks(d, all, block, b.cta, end, "its DisplayID data block");
        blocks.key = "cta861DataBlocks";
        blocks.label = n.label;
        return blocks;
    }
    default:
        return rawDisplayIdBlock(b, std::move(n));
    }
}

} // namespace

Node displayIdBlock(Decoded& d, const EdidBytes& e, int block, const edid::DisplayIdSection& s,
                    Node n) {
    const int version = s.version, length = s.length;
    const bool version2 = version >= kVersion2;
    const std::string versionText =
        std::to_string(version >> 4) + "." + std::to_string(version & 15);
    n.text = "DisplayID extension, version " + versionText;
    n.children.push_back(jsonOnly("kind", "displayId"));
    n.children.push_back(field("version", "Version", versionText));
    n.children.push_back(field("extensionCount", "Extension count",
                               std::to_string(s.extensionCount), s.extensionCount));
    const std::uint8_t type = s.productType;
    n.children.push_back(version2 ? namedValue(d, "primaryUseCase", "Primary use case", type,
                                               kUseCases, EdidBytes::where(block + 3))
                                  : namedValue(d, "productType", "Product type", type,
                                               kProductTypes, EdidBytes::where(block + 3)));
    // The section and its checksum byte must fit before the block's own checksum.
    const int end = block + kSectionHeader + length;
    if (!s.fits) {
        n.children.push_back(
            problemNode(d, "sectionLength", "Section length",
                        EdidBytes::where(block + 2) + ": the DisplayID section of " +
                            std::to_string(length) + " bytes does not fit its block"));
        n.children.push_back(blockChecksum(d, e, block));
        return n;
    }
    Node blocks = group("dataBlocks", "Data blocks");
    for (const edid::DisplayIdBlock& b : s.blocks)
        blocks.children.push_back(dataBlock(d, e, block, b, version2));
    if (s.cutAt >= 0) {
        const int at = block + s.cutAt;
        blocks.children.push_back(problemNode(
            d, "cutShort", "Data block",
            EdidBytes::where(at) + ": a data block of " + std::to_string(e.at(at + 2)) +
                " bytes runs past the DisplayID section at byte " + std::to_string(end)));
    }
    if (blocks.children.empty()) {
        blocks.text = "none";
        blocks.json = QJsonObject();
    }
    n.children.push_back(std::move(blocks));
    const Bytes section = e.span(block + 1, length + kSectionHeader);
    const int sum = std::accumulate(section.begin(), section.end(), 0) & 0xFF;
    Node check = field("sectionChecksum", "Section checksum", hexByte(e.at(end)), e.at(end));
    if (sum)
        addProblem(d, check,
                   EdidBytes::where(end) + ": the DisplayID section does not add up to 0");
    n.children.push_back(std::move(check));
    n.children.push_back(blockChecksum(d, e, block));
    return n;
}

} // namespace decode
