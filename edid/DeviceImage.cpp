#include "edid/DeviceImage.h"

#include <algorithm>
#include <cstdio>

namespace edid {
namespace {

constexpr std::size_t kBlock = 128;
constexpr std::uint8_t kHeader[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};

bool allAre(std::span<const std::uint8_t> bytes, std::uint8_t value) {
    return std::all_of(bytes.begin(), bytes.end(), [value](std::uint8_t b) { return b == value; });
}

std::string contents(std::span<const std::uint8_t> block, std::span<const std::uint8_t> base) {
    if (allAre(block, 0x00))
        return "zeros";
    if (allAre(block, 0xFF))
        return "FF bytes only";
    if (std::equal(block.begin(), block.end(), base.begin()))
        return "a copy of block 0";
    if (std::equal(std::begin(kHeader), std::end(kHeader), block.begin()))
        return "the base block of another EDID";
    const char* kind = block[0] == 0x02   ? "a CTA-861 extension"
                       : block[0] == 0x70 ? "a DisplayID extension"
                                          : nullptr;
    if (kind)
        return std::string(kind) + ", perhaps left from an earlier EDID";
    char tag[8];
    std::snprintf(tag, sizeof tag, "0x%02X", block[0]);
    return "bytes of no extension this program knows (tag " + std::string(tag) + ")";
}

} // namespace

DeviceImage namedBlocks(std::span<const std::uint8_t> image) {
    DeviceImage d{image, {}, false};
    const std::size_t blocks = image.size() / kBlock;
    if (blocks < 2 || image.size() % kBlock != 0)
        return d;
    const std::size_t count = image[126];
    if (count + 1 >= blocks)
        return d;
    d.named = image.first((count + 1) * kBlock);
    const auto rest = image.subspan(d.named.size());
    d.unreadZeros = allAre(rest, 0x00);
    for (std::size_t b = count + 1; b < blocks; ++b)
        d.unread.push_back("block " + std::to_string(b) +
                           " is not read by displays or sources (the extension count is " +
                           std::to_string(count) + "); it holds " +
                           contents(image.subspan(b * kBlock, kBlock), image.first(kBlock)));
    return d;
}

std::vector<Finding> checkNamedBlocks(std::span<const std::uint8_t> image, CheckOptions options) {
    const DeviceImage d = namedBlocks(image);
    std::vector<Finding> findings = checkEdid(d.named, options);
    for (const std::string& text : d.unread)
        findings.push_back({FindingKind::Note, text});
    return findings;
}

} // namespace edid
