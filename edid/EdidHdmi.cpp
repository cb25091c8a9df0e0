// HDMI vendor and HDMI Forum block edits.
#include "edid/EdidEdits.h"

#include <algorithm>
#include <charconv>

namespace edid {
namespace {

constexpr int kScdcAboveMhz = 340;
constexpr std::uint8_t kScdcPresent = 0x80;

// The byte at `index`, growing the block to hold it.
std::uint8_t* hdmiFlags(DataBlock& vsdb, std::size_t index) {
    while (vsdb.payload.size() <= index)
        vsdb.payload.push_back(0);
    return &vsdb.payload[index];
}
} // namespace

EditResult setPhysicalAddress(Model& m, std::string_view dotted) {
    int parts[4] = {};
    const char* p = dotted.data();
    const char* end = p + dotted.size();
    for (int i = 0; i < 4; ++i) {
        const auto r = std::from_chars(p, end, parts[i], 16);
        if (r.ec != std::errc() || parts[i] > 15 || (i < 3 && (r.ptr == end || *r.ptr != '.')) ||
            (i == 3 && r.ptr != end))
            return fail("a physical address is A.B.C.D with each part 0-F");
        p = r.ptr + 1;
    }
    return editCopy(m, [&](Model& n) -> EditResult {
        std::string why;
        DataBlock* v = findOrAdd(n, BlockKind::HdmiVendor, why);
        if (!v)
            return fail(why);
        *hdmiFlags(*v, 3) = static_cast<std::uint8_t>((parts[0] << 4) | parts[1]);
        *hdmiFlags(*v, 4) = static_cast<std::uint8_t>((parts[2] << 4) | parts[3]);
        markCta(n, v);
        return {};
    });
}

EditResult setDeepColor(Model& m, DeepColor dc) {
    return editCopy(m, [&](Model& n) -> EditResult {
        std::string why;
        DataBlock* v = findOrAdd(n, BlockKind::HdmiVendor, why);
        if (!v)
            return fail(why);
        std::uint8_t& f = *hdmiFlags(*v, 5);
        f = static_cast<std::uint8_t>((f & 0x87) | (dc.dc48 ? 0x40 : 0) | (dc.dc36 ? 0x20 : 0) |
                                      (dc.dc30 ? 0x10 : 0) | (dc.y444 ? 0x08 : 0));
        markCta(n, v);
        return {};
    });
}

EditResult setMaxTmds(Model& m, int mhz) {
    if (mhz < 25 || mhz > 600)
        return fail("the TMDS clock of HDMI 2.0 is 25 to 600 MHz");
    return editCopy(m, [&](Model& n) -> EditResult {
        std::string why;
        DataBlock* v = findOrAdd(n, BlockKind::HdmiVendor, why);
        if (!v)
            return fail(why);
        hdmiFlags(*v, 5);
        *hdmiFlags(*v, 6) = static_cast<std::uint8_t>((std::min(mhz, 340) + 4) / 5);
        markCta(n, v);
        std::vector<DataBlock*> forum = blocksOf(n, BlockKind::HdmiForum);
        if (mhz <= 340 && forum.empty())
            return {};
        DataBlock* f = forum.empty() ? findOrAdd(n, BlockKind::HdmiForum, why) : forum.front();
        if (!f)
            return fail(why);
        *hdmiFlags(*f, 4) = static_cast<std::uint8_t>(mhz > 340 ? (mhz + 4) / 5 : 0);
        markCta(n, f);
        std::uint8_t& flags = *hdmiFlags(*f, 5);
        if (mhz <= kScdcAboveMhz || (flags & kScdcPresent))
            return {};
        flags |= kScdcPresent;
        return {true, "SCDC Present set too: HDMI 2.0 needs it above 340 MHz"};
    });
}

int maxTmdsMhz(const Model& m) {
    for (const DataBlock* f : blocksOf(m, BlockKind::HdmiForum))
        if (f->payload.size() > 4 && f->payload[4] != 0)
            return f->payload[4] * 5;
    for (const DataBlock* v : blocksOf(m, BlockKind::HdmiVendor))
        if (v->payload.size() > 6 && v->payload[6] != 0)
            return v->payload[6] * 5;
    return 165;
}

EditResult setScdc(Model& m, bool present) {
    if (const int mhz = maxTmdsMhz(m); !present && mhz > kScdcAboveMhz)
        return fail("SCDC cannot be turned off at " + std::to_string(mhz) +
                    " MHz: HDMI 2.0 needs it above 340 MHz; lower --max-tmds to 340 first");
    return editCopy(m, [&](Model& n) -> EditResult {
        std::string why;
        DataBlock* f = findOrAdd(n, BlockKind::HdmiForum, why);
        if (!f)
            return fail(why);
        std::uint8_t& b = *hdmiFlags(*f, 5);
        b = static_cast<std::uint8_t>(present ? (b | kScdcPresent) : (b & ~kScdcPresent));
        markCta(n, f);
        return {};
    });
}

bool scdcPresent(const Model& m) {
    const std::vector<const DataBlock*> forum = blocksOf(m, BlockKind::HdmiForum);
    return !forum.empty() && forum.front()->payload.size() > 5 &&
           (forum.front()->payload[5] & kScdcPresent);
}

EditResult setDeepColor420(Model& m, bool dc30, bool dc36, bool dc48) {
    return editCopy(m, [&](Model& n) -> EditResult {
        std::string why;
        DataBlock* f = findOrAdd(n, BlockKind::HdmiForum, why);
        if (!f)
            return fail(why);
        std::uint8_t& b = *hdmiFlags(*f, 6);
        b = static_cast<std::uint8_t>((b & 0xF8) | (dc48 ? 4 : 0) | (dc36 ? 2 : 0) |
                                      (dc30 ? 1 : 0));
        markCta(n, f);
        return {};
    });
}
} // namespace edid
