#include "chain/DisplayCaps.h"

#include "edid/EdidEdits.h"

#include <algorithm>
#include <cstdio>

namespace chain {

namespace {

constexpr std::size_t kExtensionCount = 126;

std::string displayName(const edid::Model& m) {
    const edid::Identity id = edid::identityOf(m);
    if (!id.name.empty())
        return id.name;
    char code[8];
    std::snprintf(code, sizeof code, "%04X", static_cast<unsigned>(id.productCode & 0xFFFF));
    return id.manufacturer + " " + code;
}

} // namespace

DisplayCaps displayCaps(const std::vector<std::uint8_t>& edid) {
    DisplayCaps caps;
    const int handed = static_cast<int>(edid.size()) / edid::kBlockSize;
    if (handed == 0) {
        caps.error = "it is shorter than one block";
        return caps;
    }
    caps.blocksSaid = edid[kExtensionCount];
    caps.blocksSeen = std::min(caps.blocksSaid, handed - 1);
    caps.cut = caps.blocksSaid > caps.blocksSeen;
    // Past the announced blocks the table holds whatever was there before.
    const auto used = static_cast<std::size_t>(1 + caps.blocksSeen) * edid::kBlockSize;
    const edid::ParseResult parsed =
        edid::parse(std::span<const std::uint8_t>(edid.data(), used), caps.model);
    if (!parsed.ok) {
        caps.error = parsed.error;
        return caps;
    }
    caps.ok = true;
    caps.name = displayName(caps.model);
    for (const edid::Extension& e : caps.model.extensions)
        if (e.isCta) {
            caps.cta = true;
            caps.ycc444 = caps.ycc444 || (e.cta.flags & edid::kCtaYcc444);
            caps.ycc422 = caps.ycc422 || (e.cta.flags & edid::kCtaYcc422);
        }
    caps.limit = edid::tmdsLimit(caps.model);
    for (const edid::DataBlock* f : edid::blocksOf(caps.model, edid::BlockKind::HdmiForum))
        caps.maxTmdsSaid = caps.maxTmdsSaid || (f->payload.size() > 4 && f->payload[4] != 0);
    for (const edid::DataBlock* v : edid::blocksOf(caps.model, edid::BlockKind::HdmiVendor))
        caps.maxTmdsSaid = caps.maxTmdsSaid || (v->payload.size() > 6 && v->payload[6] != 0);
    return caps;
}

Listing listingOf(const DisplayCaps& caps, int vic) {
    return caps.ok ? edid::listingOf(caps.model, vic) : Listing{};
}

std::uint16_t colorimetryBits(const DisplayCaps& caps) {
    std::uint16_t bits = 0;
    for (const edid::DataBlock* c : edid::blocksOf(caps.model, edid::BlockKind::Colorimetry)) {
        if (c->payload.size() > 1)
            bits |= c->payload[1];
        if (c->payload.size() > 2)
            bits |= static_cast<std::uint16_t>(c->payload[2] << 8);
    }
    return bits;
}

bool hasColorimetryBlock(const DisplayCaps& caps) {
    return !edid::blocksOf(caps.model, edid::BlockKind::Colorimetry).empty();
}

bool hasHdrBlock(const DisplayCaps& caps) {
    return !edid::blocksOf(caps.model, edid::BlockKind::HdrStatic).empty();
}

std::uint8_t eotfBits(const DisplayCaps& caps) {
    std::uint8_t bits = 0;
    for (const edid::DataBlock* h : edid::blocksOf(caps.model, edid::BlockKind::HdrStatic))
        if (h->payload.size() > 1)
            bits |= h->payload[1];
    return bits;
}

std::uint8_t maxLuminanceCode(const DisplayCaps& caps) {
    for (const edid::DataBlock* h : edid::blocksOf(caps.model, edid::BlockKind::HdrStatic))
        if (h->payload.size() > 3 && h->payload[3] != 0)
            return h->payload[3];
    return 0;
}

} // namespace chain
