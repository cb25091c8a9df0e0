#include "edid/EdidEdits.h"

#include "edid/VicTimings.h"

#include <algorithm>
#include <charconv>

namespace edid {
namespace {

constexpr int kFirstDescriptor = 54;
constexpr int kDescriptorCount = 4;
constexpr std::uint8_t kTagName = 0xFC, kTagSerialText = 0xFF, kTagDummy = 0x10;
constexpr int kTextLength = 13;
constexpr int kYearBase = 1990;

std::size_t at(int i) {
    return static_cast<std::size_t>(i);
}

bool isTiming(const Block& b, int offset) {
    return b[at(offset)] != 0 || b[at(offset) + 1] != 0;
}

// The descriptor with this tag, else an unused one; -1 when all four are taken.
int descriptorSlot(const Block& b, std::uint8_t tag) {
    int free = -1;
    for (int i = 0; i < kDescriptorCount; ++i) {
        const int off = kFirstDescriptor + i * kTimingSize;
        if (isTiming(b, off))
            continue;
        if (b[at(off) + 3] == tag)
            return off;
        if (b[at(off) + 3] == kTagDummy && free < 0)
            free = off;
    }
    return free;
}

EditResult setText(Model& m, std::uint8_t tag, std::string_view text, const char* what) {
    if (text.size() > kTextLength)
        return fail(std::string(what) + " takes at most 13 characters");
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E)
            return fail(std::string(what) + " takes printable ASCII only");
    const int off = descriptorSlot(m.base, tag);
    if (off < 0)
        return fail("no free descriptor in the base block for the " + std::string(what));
    std::fill_n(m.base.begin() + off, kTimingSize, 0);
    m.base[at(off) + 3] = tag;
    for (int i = 0; i < kTextLength; ++i) {
        const std::size_t p = at(off + 5 + i);
        if (i < static_cast<int>(text.size()))
            m.base[p] = static_cast<std::uint8_t>(text[at(i)]);
        else
            m.base[p] = i == static_cast<int>(text.size()) ? 0x0A : 0x20;
    }
    markEdited(m, 0);
    return {};
}

std::string readText(const Block& b, std::uint8_t tag) {
    for (int i = 0; i < kDescriptorCount; ++i) {
        const int off = kFirstDescriptor + i * kTimingSize;
        if (isTiming(b, off) || b[at(off) + 3] != tag)
            continue;
        std::string s;
        for (int k = 0; k < kTextLength && b[at(off + 5 + k)] != 0x0A; ++k)
            s += static_cast<char>(b[at(off + 5 + k)]);
        while (!s.empty() && s.back() == ' ')
            s.pop_back();
        return s;
    }
    return {};
}

Timing timingOf(const VicTiming& v, int widthMm, int heightMm) {
    const int hBlank = v.hFront + v.hSync + v.hBack, vBlank = v.vFront + v.vSync + v.vBack;
    const int clock = v.pixelKhz / 10;
    auto lo = [](int x) { return static_cast<std::uint8_t>(x & 0xFF); };
    auto hi = [](int a, int b) { return static_cast<std::uint8_t>(((a >> 8) << 4) | (b >> 8)); };
    return {
        lo(clock),
        lo(clock >> 8),
        lo(v.hActive),
        lo(hBlank),
        hi(v.hActive, hBlank),
        lo(v.vActive),
        lo(vBlank),
        hi(v.vActive, vBlank),
        lo(v.hFront),
        lo(v.hSync),
        static_cast<std::uint8_t>(((v.vFront & 0x0F) << 4) | (v.vSync & 0x0F)),
        static_cast<std::uint8_t>(((v.hFront >> 8) << 6) | ((v.hSync >> 8) << 4) |
                                  ((v.vFront >> 4) << 2) | (v.vSync >> 4)),
        lo(widthMm),
        lo(heightMm),
        hi(widthMm, heightMm),
        0,
        0,
        static_cast<std::uint8_t>((v.interlaced ? 0x80 : 0) | 0x18 | (v.positiveSync ? 0x06 : 0))};
}

// SVD positions over the first CTA extension's video blocks, as the 4:2:0
// map counts them.
std::vector<std::uint8_t*> svdPositions(Extension& e) {
    std::vector<std::uint8_t*> out;
    for (DataBlock& db : e.cta.dataBlocks)
        if (kindOf(db) == BlockKind::Video)
            for (std::uint8_t& svd : db.payload)
                out.push_back(&svd);
    return out;
}

DataBlock* firstOf(Extension& e, BlockKind kind) {
    for (DataBlock& db : e.cta.dataBlocks)
        if (kindOf(db) == kind)
            return &db;
    return nullptr;
}

bool mapBit(const DataBlock& map, int i) {
    if (map.payload.size() <= 1)
        return true; // an empty map: every listed format
    const std::size_t byte = 1 + at(i / 8);
    return byte < map.payload.size() && (map.payload[byte] >> (i % 8)) & 1;
}

void setMapBits(DataBlock& map, const std::vector<bool>& bits) {
    map.payload.resize(1);
    for (std::size_t i = 0; i < bits.size(); ++i) {
        if (map.payload.size() < 2 + i / 8)
            map.payload.push_back(0);
        if (bits[i])
            map.payload[1 + i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
    }
    while (map.payload.size() > 2 && map.payload.back() == 0)
        map.payload.pop_back();
}

// Applies `change` to a copy and keeps it only when it worked and fits.
template <typename F> EditResult transact(Model& m, F change) {
    Model next = m;
    EditResult r = change(next);
    if (r.ok)
        r = checkRoom(next);
    if (r.ok) {
        markEdited(next, 0); // even an edit that changed nothing writes a whole, valid EDID
        m = std::move(next);
    }
    return r;
}

std::uint8_t* hdmiFlags(DataBlock& vsdb, std::size_t index) {
    while (vsdb.payload.size() <= index)
        vsdb.payload.push_back(0);
    return &vsdb.payload[index];
}

} // namespace

EditResult fail(std::string message) {
    return {false, std::move(message)};
}

EditResult checkRoom(const Model& m) {
    for (std::size_t i = 0; i < m.extensions.size(); ++i)
        if (m.extensions[i].isCta && ctaFreeBytes(m.extensions[i].cta) < 0)
            return fail("no room left in CTA extension block " + std::to_string(i + 1));
    return {};
}

Extension* ctaOf(Model& m, const DataBlock* block) {
    for (Extension& e : m.extensions)
        for (const DataBlock& db : e.cta.dataBlocks)
            if (&db == block)
                return &e;
    return nullptr;
}

void markCta(Model& m, const DataBlock* block) {
    for (std::size_t i = 0; i < m.extensions.size(); ++i)
        if (ctaOf(m, block) == &m.extensions[i])
            markEdited(m, static_cast<int>(i + 1));
}

DataBlock* findOrAdd(Model& m, BlockKind kind, std::string& why) {
    std::vector<DataBlock*> found = blocksOf(m, kind);
    if (!found.empty())
        return found.front();
    Extension* e = editableCta(m, true);
    if (!e) {
        why = "no CTA extension that can be edited";
        return nullptr;
    }
    // The Forum block goes right after the HDMI vendor block, as sinks expect.
    auto pos = e->cta.dataBlocks.end();
    if (kind == BlockKind::HdmiForum)
        for (auto it = e->cta.dataBlocks.begin(); it != e->cta.dataBlocks.end(); ++it)
            if (kindOf(*it) == BlockKind::HdmiVendor)
                pos = it + 1;
    return &*e->cta.dataBlocks.insert(pos, makeDataBlock(kind));
}

Identity identityOf(const Model& m) {
    Identity id;
    const int maker = (m.base[8] << 8) | m.base[9];
    for (int shift : {10, 5, 0})
        id.manufacturer += static_cast<char>('@' + ((maker >> shift) & 0x1F));
    id.productCode = m.base[10] | (m.base[11] << 8);
    id.serial = m.base[12] | (m.base[13] << 8) | (m.base[14] << 16) |
                (static_cast<std::uint32_t>(m.base[15]) << 24);
    id.week = m.base[16];
    id.year = kYearBase + m.base[17];
    id.name = readText(m.base, kTagName);
    id.serialText = readText(m.base, kTagSerialText);
    return id;
}

EditResult setManufacturer(Model& m, std::string_view letters) {
    if (letters.size() != 3 ||
        !std::all_of(letters.begin(), letters.end(), [](char c) { return c >= 'A' && c <= 'Z'; }))
        return fail("a manufacturer is three capital letters A-Z");
    const int v = ((letters[0] - '@') << 10) | ((letters[1] - '@') << 5) | (letters[2] - '@');
    m.base[8] = static_cast<std::uint8_t>(v >> 8);
    m.base[9] = static_cast<std::uint8_t>(v & 0xFF);
    markEdited(m, 0);
    return {};
}

EditResult setProductCode(Model& m, int code) {
    if (code < 0 || code > 0xFFFF)
        return fail("a product code is 0 to 65535");
    m.base[10] = static_cast<std::uint8_t>(code & 0xFF);
    m.base[11] = static_cast<std::uint8_t>(code >> 8);
    markEdited(m, 0);
    return {};
}

EditResult setSerialNumber(Model& m, std::uint32_t serial) {
    for (int i = 0; i < 4; ++i)
        m.base[at(12 + i)] = static_cast<std::uint8_t>(serial >> (8 * i));
    markEdited(m, 0);
    return {};
}

EditResult setManufactureDate(Model& m, int week, int year) {
    if (!(week >= 0 && week <= 54) && week != 255)
        return fail("the week is 0 to 54, or 255 for a model year");
    if (year < kYearBase || year > kYearBase + 255)
        return fail("the year is 1990 to 2245");
    m.base[16] = static_cast<std::uint8_t>(week);
    m.base[17] = static_cast<std::uint8_t>(year - kYearBase);
    markEdited(m, 0);
    return {};
}

EditResult setDisplayName(Model& m, std::string_view text) {
    return setText(m, kTagName, text, "display name");
}

EditResult setSerialText(Model& m, std::string_view text) {
    return setText(m, kTagSerialText, text, "serial text");
}

std::vector<int> videoCodes(const Model& m) {
    std::vector<int> out;
    for (const DataBlock* db : blocksOf(m, BlockKind::Video))
        for (std::uint8_t svd : db->payload)
            out.push_back(vicOf(svd));
    return out;
}

EditResult addVics(Model& m, std::span<const int> vics) {
    return transact(m, [&](Model& n) -> EditResult {
        std::string why;
        for (int vic : vics) {
            if (vic < 1 || vic > 255 || (vic >= 128 && vic <= 192))
                return fail("VIC " + std::to_string(vic) + " does not exist");
            const std::vector<int> have = videoCodes(n);
            if (std::find(have.begin(), have.end(), vic) != have.end())
                continue;
            DataBlock* vdb = findOrAdd(n, BlockKind::Video, why);
            if (!vdb)
                return fail(why);
            if (vdb->payload.size() >= 31)
                return fail("the video data block is full");
            vdb->payload.push_back(static_cast<std::uint8_t>(vic));
            markCta(n, vdb);
        }
        return {};
    });
}

EditResult removeVics(Model& m, std::span<const int> vics) {
    return transact(m, [&](Model& n) -> EditResult {
        auto listed = [&](std::uint8_t svd) {
            return std::find(vics.begin(), vics.end(), vicOf(svd)) != vics.end();
        };
        for (std::size_t i = 0; i < n.extensions.size(); ++i) {
            Extension& e = n.extensions[i];
            if (!e.isCta)
                continue;
            bool changed = false;
            DataBlock* map = firstOf(e, BlockKind::Y420CapabilityMap);
            std::vector<bool> bits;
            const std::vector<std::uint8_t*> svds = svdPositions(e);
            for (std::size_t k = 0; k < svds.size(); ++k)
                if (!listed(*svds[k]))
                    bits.push_back(map && mapBit(*map, static_cast<int>(k)));
            for (DataBlock& db : e.cta.dataBlocks) {
                const BlockKind kind = kindOf(db);
                if (kind != BlockKind::Video && kind != BlockKind::Y420Video)
                    continue;
                const auto first =
                    kind == BlockKind::Video ? db.payload.begin() : db.payload.begin() + 1;
                const auto end = std::remove_if(first, db.payload.end(), listed);
                changed = changed || end != db.payload.end();
                db.payload.erase(end, db.payload.end());
            }
            if (changed && map && map->payload.size() > 1)
                setMapBits(*map, bits);
            if (changed) {
                // Blocks left empty say nothing; drop them.
                std::erase_if(e.cta.dataBlocks, [](const DataBlock& db) {
                    const BlockKind k = kindOf(db);
                    return (k == BlockKind::Video && db.payload.empty()) ||
                           (k == BlockKind::Y420Video && db.payload.size() <= 1) ||
                           (k == BlockKind::Y420CapabilityMap && db.payload.size() == 2 &&
                            db.payload[1] == 0);
                });
                markEdited(n, static_cast<int>(i + 1));
            }
        }
        return {};
    });
}

EditResult setNativeVic(Model& m, int vic) {
    if (vic < 1 || vic > 64)
        return fail("only VICs 1 to 64 can be marked native");
    return transact(m, [&](Model& n) -> EditResult {
        bool found = false;
        for (DataBlock* db : blocksOf(n, BlockKind::Video)) {
            for (std::uint8_t& svd : db->payload) {
                const int v = vicOf(svd);
                const bool native = v == vic && !found;
                found = found || v == vic;
                if (v <= 64)
                    svd = static_cast<std::uint8_t>(native ? 128 + v : v);
            }
            markCta(n, db);
        }
        return found ? EditResult{} : fail("VIC " + std::to_string(vic) + " is not listed");
    });
}

EditResult addY420(Model& m, std::span<const int> vics) {
    return transact(m, [&](Model& n) -> EditResult {
        std::string why;
        Extension* e = editableCta(n, true);
        if (!e)
            return fail("no CTA extension that can be edited");
        for (int vic : vics) {
            if (vic < 1 || vic > 255)
                return fail("VIC " + std::to_string(vic) + " does not exist");
            const std::vector<std::uint8_t*> svds = svdPositions(*e);
            const auto it = std::find_if(svds.begin(), svds.end(),
                                         [&](const std::uint8_t* s) { return vicOf(*s) == vic; });
            if (it == svds.end()) {
                DataBlock* y = firstOf(*e, BlockKind::Y420Video);
                if (!y)
                    y = &e->cta.dataBlocks.emplace_back(makeDataBlock(BlockKind::Y420Video));
                if (std::find(y->payload.begin() + 1, y->payload.end(), vic) == y->payload.end())
                    y->payload.push_back(static_cast<std::uint8_t>(vic));
                continue;
            }
            DataBlock* map = firstOf(*e, BlockKind::Y420CapabilityMap);
            if (map && map->payload.size() <= 1)
                continue; // already every listed format
            std::vector<bool> bits;
            for (std::size_t k = 0; k < svds.size(); ++k)
                bits.push_back((map && mapBit(*map, static_cast<int>(k))) || svds[k] == *it);
            if (!map)
                map = &e->cta.dataBlocks.emplace_back(makeDataBlock(BlockKind::Y420CapabilityMap));
            setMapBits(*map, bits);
        }
        e->dirty = true;
        return {};
    });
}

EditResult makeY420Only(Model& m, std::span<const int> vics) {
    Model next = m;
    EditResult r = removeVics(next, vics);
    if (r.ok) {
        // Codes no longer in the video block land in the 4:2:0 video block.
        r = addY420(next, vics);
    }
    if (r.ok)
        m = std::move(next);
    return r;
}

EditResult setPreferredVic(Model& m, int vic) {
    const std::optional<VicTiming> t = vicTiming(vic);
    if (!t)
        return fail("no timing known for VIC " + std::to_string(vic));
    Block& b = m.base;
    if (!isTiming(b, kFirstDescriptor) && b[kFirstDescriptor + 3] != kTagDummy) {
        // Move the descriptor in the way to a free slot.
        const int free = descriptorSlot(b, kTagDummy);
        if (free < 0 || free == kFirstDescriptor)
            return fail("no free descriptor for the preferred timing");
        std::copy_n(b.begin() + kFirstDescriptor, kTimingSize, b.begin() + free);
    }
    const int wmm = b[21] * 10, hmm = b[22] * 10;
    const Timing timing = timingOf(*t, wmm, hmm);
    std::copy(timing.begin(), timing.end(), b.begin() + kFirstDescriptor);
    b[24] |= 0x02; // the first detailed timing is the preferred one
    markEdited(m, 0);
    return {};
}

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
    return transact(m, [&](Model& n) -> EditResult {
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
    return transact(m, [&](Model& n) -> EditResult {
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
    return transact(m, [&](Model& n) -> EditResult {
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
        return {};
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
    return transact(m, [&](Model& n) -> EditResult {
        std::string why;
        DataBlock* f = findOrAdd(n, BlockKind::HdmiForum, why);
        if (!f)
            return fail(why);
        std::uint8_t& b = *hdmiFlags(*f, 5);
        b = static_cast<std::uint8_t>(present ? (b | 0x80) : (b & 0x7F));
        markCta(n, f);
        return {};
    });
}

EditResult setDeepColor420(Model& m, bool dc30, bool dc36, bool dc48) {
    return transact(m, [&](Model& n) -> EditResult {
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

std::optional<std::vector<int>> parseVicList(std::string_view text) {
    std::vector<int> out;
    const char* p = text.data();
    const char* end = p + text.size();
    while (p < end) {
        int v = 0;
        const auto r = std::from_chars(p, end, v);
        if (r.ec != std::errc() || v < 1 || v > 255 || (r.ptr != end && *r.ptr != ','))
            return std::nullopt;
        out.push_back(v);
        p = r.ptr + 1;
    }
    if (out.empty())
        return std::nullopt;
    return out;
}

} // namespace edid
