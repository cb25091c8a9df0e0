#include "chain/DisplayCaps.h"

#include "edid/EdidEdits.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace chain {

namespace {

constexpr std::size_t kExtensionCount = 126;
constexpr int kBaseTimings = 54;
constexpr int kBaseDescriptors = 4;
constexpr int kEstablishedTimings = 35;
constexpr std::uint8_t kEstablished640x480 = 0x20;

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
    caps.maxTmdsMhz = edid::maxTmdsMhz(caps.model);
    for (const edid::DataBlock* f : edid::blocksOf(caps.model, edid::BlockKind::HdmiForum))
        caps.maxTmdsSaid = caps.maxTmdsSaid || (f->payload.size() > 4 && f->payload[4] != 0);
    for (const edid::DataBlock* v : edid::blocksOf(caps.model, edid::BlockKind::HdmiVendor))
        caps.maxTmdsSaid = caps.maxTmdsSaid || (v->payload.size() > 6 && v->payload[6] != 0);
    return caps;
}

bool timingMatches(const edid::Timing& t, const edid::VicTiming& v) {
    const int clockKhz = (t[0] | (t[1] << 8)) * 10;
    if (clockKhz == 0)
        return false;
    const int hActive = t[2] | ((t[4] & 0xF0) << 4);
    const int hBlank = t[3] | ((t[4] & 0x0F) << 8);
    const int vActive = t[5] | ((t[7] & 0xF0) << 4);
    const int vBlank = t[6] | ((t[7] & 0x0F) << 8);
    const bool interlaced = (t[17] & 0x80) != 0;
    // The 1000/1001 rates differ by 0.1 %; other formats by far more.
    return hActive == v.hActive && vActive == v.vActive && interlaced == v.interlaced &&
           hBlank == v.hFront + v.hSync + v.hBack && vBlank == v.vFront + v.vSync + v.vBack &&
           std::abs(clockKhz - v.pixelKhz) * 200 <= v.pixelKhz;
}

Listing listingOf(const DisplayCaps& caps, int vic) {
    Listing l;
    if (!caps.ok)
        return l;
    const auto timing = edid::vicTiming(vic);
    const edid::Model& m = caps.model;
    for (const edid::Extension& e : m.extensions) {
        if (!e.isCta)
            continue;
        const edid::DataBlock* map = edid::y420Map(e.cta);
        int position = 0;
        for (const edid::DataBlock& db : e.cta.dataBlocks) {
            const edid::BlockKind kind = edid::kindOf(db);
            if (kind == edid::BlockKind::Video) {
                for (std::uint8_t svd : db.payload) {
                    if (edid::vicOf(svd) == vic) {
                        l.plain = true;
                        l.y420 = l.y420 || edid::y420Mapped(map, position);
                    }
                    ++position;
                }
            } else if (kind == edid::BlockKind::Y420Video) {
                for (std::size_t i = 1; i < db.payload.size(); ++i)
                    l.y420 = l.y420 || edid::vicOf(db.payload[i]) == vic;
            }
        }
        if (timing)
            for (const edid::Timing& t : e.cta.timings)
                l.plain = l.plain || timingMatches(t, *timing);
    }
    if (timing)
        for (int i = 0; i < kBaseDescriptors; ++i) {
            edid::Timing t{};
            std::copy_n(m.base.begin() + kBaseTimings + i * edid::kTimingSize, edid::kTimingSize,
                        t.begin());
            l.plain = l.plain || timingMatches(t, *timing);
        }
    if (vic == 1 && (m.base[kEstablishedTimings] & kEstablished640x480))
        l.plain = true;
    return l;
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
