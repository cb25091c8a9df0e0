// Video format edits: the video blocks, 4:2:0 and the native flag.
#include "edid/EdidEdits.h"

#include "edid/VicTimings.h"

#include <algorithm>
#include <charconv>

namespace edid {
namespace {

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
    const std::size_t byte = 1 + static_cast<std::size_t>(i / 8);
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
EditResult unknownVic(int vic) {
    return fail("VIC " + std::to_string(vic) +
                " is not a video format this program knows; use 1 to " +
                std::to_string(kLastNamedVic));
}
} // namespace

std::vector<int> videoCodes(const Model& m) {
    std::vector<int> out;
    for (const DataBlock* db : blocksOf(m, BlockKind::Video))
        for (std::uint8_t svd : db->payload)
            out.push_back(vicOf(svd));
    return out;
}

EditResult addVics(Model& m, std::span<const int> vics) {
    return editCopy(m, [&](Model& n) -> EditResult {
        std::string why;
        for (int vic : vics) {
            if (vic < 1 || vic > kLastNamedVic)
                return unknownVic(vic);
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
    return editCopy(m, [&](Model& n) -> EditResult {
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
    return editCopy(m, [&](Model& n) -> EditResult {
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
    return editCopy(m, [&](Model& n) -> EditResult {
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
                if (vic > kLastNamedVic)
                    return unknownVic(vic);
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
