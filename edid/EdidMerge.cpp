#include "edid/EdidMerge.h"

#include "edid/EdidAudio.h"
#include "edid/EdidEdits.h"
#include "edid/VicTimings.h"

#include <algorithm>
#include <functional>
#include <set>
#include <utility>

namespace edid {
namespace {

void labelAll(Model& m, const std::string& label) {
    m.source = label;
    for (Extension& e : m.extensions) {
        e.source = label;
        for (DataBlock& db : e.cta.dataBlocks)
            db.source = label;
    }
}

void dropKind(Model& m, BlockKind kind) {
    for (std::size_t i = 0; i < m.extensions.size(); ++i)
        if (m.extensions[i].isCta &&
            std::erase_if(m.extensions[i].cta.dataBlocks,
                          [&](const DataBlock& db) { return kindOf(db) == kind; }) > 0)
            markEdited(m, static_cast<int>(i + 1));
}

MergeResult done(Model& m) {
    for (const Extension& e : m.extensions)
        if (e.isCta && ctaFreeBytes(e.cta) < 0)
            return {false, "the result does not fit in one CTA extension", {}};
    return {true, {}, std::move(m)};
}

// Codes a model takes in 4:2:0: its 4:2:0 video block and mapped video codes.
std::set<int> y420Codes(const Model& m) {
    std::set<int> out;
    for (const Extension& e : m.extensions) {
        if (!e.isCta)
            continue;
        const DataBlock* map = y420Map(e.cta);
        int pos = 0;
        for (const DataBlock& db : e.cta.dataBlocks) {
            if (kindOf(db) == BlockKind::Y420Video)
                for (std::size_t i = 1; i < db.payload.size(); ++i)
                    out.insert(db.payload[i]);
            if (kindOf(db) != BlockKind::Video)
                continue;
            for (std::uint8_t svd : db.payload)
                if (y420Mapped(map, pos++))
                    out.insert(vicOf(svd));
        }
    }
    return out;
}

std::set<int> codeSet(const Model& m) {
    const std::vector<int> codes = videoCodes(m);
    return {codes.begin(), codes.end()};
}

std::set<int> nativeCodes(const Model& m) {
    std::set<int> out;
    for (const DataBlock* db : blocksOf(m, BlockKind::Video))
        for (std::uint8_t svd : db->payload)
            if (nativeSvd(svd))
                out.insert(vicOf(svd));
    return out;
}

const CtaExtension* firstCta(const Model& m) {
    for (const Extension& e : m.extensions)
        if (e.isCta)
            return &e.cta;
    return nullptr;
}

constexpr int kFirstDescriptor = 54, kDescriptorCount = 4;
constexpr int kEstablished = 35, kEstablishedCount = 3;
constexpr int kStandard = 38, kStandardCount = 8;

bool isTiming(const std::uint8_t* d) {
    return d[0] != 0 || d[1] != 0;
}
constexpr std::uint8_t kUnusedDescriptor = 0x10;

// A timing of an extension that goes, into an unused descriptor of the base block.
void moveToBase(Model& out, const Timing& t) {
    for (int i = 0; i < kDescriptorCount; ++i) {
        std::uint8_t* d = out.base.data() + kFirstDescriptor + i * kTimingSize;
        if (!isTiming(d) && d[3] == kUnusedDescriptor) {
            std::copy(t.begin(), t.end(), d);
            markEdited(out, 0);
            return;
        }
    }
}

// Blocks the merge cannot read by meaning (other extensions, unknown data
// blocks) stay only when the other display has the very same one.
void keepSharedExtensions(Model& out, const Model& b) {
    const bool ctaInB = firstCta(b) != nullptr;
    const auto shared = [&](const Extension& e) {
        if (e.isCta)
            return ctaInB;
        return std::any_of(b.extensions.begin(), b.extensions.end(),
                           [&](const Extension& o) { return o.original == e.original; });
    };
    for (const Extension& e : out.extensions)
        if (e.isCta && !shared(e))
            for (const Timing& t : e.cta.timings)
                moveToBase(out, t);
    if (std::erase_if(out.extensions, [&](const Extension& e) { return !shared(e); }) > 0)
        markEdited(out, 0);
}

// Blocks no merge rule reads (the sink capability block among them, which
// the merge does not combine field by field) stay only when both have them.
bool readAsBytes(const DataBlock& db) {
    const BlockKind kind = kindOf(db);
    return kind == BlockKind::Other || kind == BlockKind::HdmiForumSink;
}

void keepSharedOtherBlocks(Model& out, const Model& b) {
    std::vector<const DataBlock*> theirs = blocksOf(b, BlockKind::Other);
    for (const DataBlock* sink : blocksOf(b, BlockKind::HdmiForumSink))
        theirs.push_back(sink);
    const auto shared = [&](const DataBlock& db) {
        return !readAsBytes(db) ||
               std::any_of(theirs.begin(), theirs.end(), [&](const DataBlock* o) {
                   return o->tag == db.tag && o->payload == db.payload;
               });
    };
    for (std::size_t i = 0; i < out.extensions.size(); ++i)
        if (out.extensions[i].isCta &&
            std::erase_if(out.extensions[i].cta.dataBlocks,
                          [&](const DataBlock& db) { return !shared(db); }) > 0)
            markEdited(out, static_cast<int>(i + 1));
}

// The image size (bytes 12 to 14) is the display's, not the timing's.
bool sameTiming(const std::uint8_t* x, const std::uint8_t* y) {
    return std::equal(x, x + 12, y) && std::equal(x + 15, x + kTimingSize, y + 15);
}

bool listedTiming(const std::vector<Timing>& list, const std::uint8_t* t) {
    return std::any_of(list.begin(), list.end(),
                       [&](const Timing& o) { return sameTiming(o.data(), t); });
}

std::vector<Timing> detailedTimings(const Model& m) {
    std::vector<Timing> out;
    for (int i = 0; i < kDescriptorCount; ++i) {
        const std::uint8_t* d = m.base.data() + kFirstDescriptor + i * kTimingSize;
        if (isTiming(d)) {
            Timing t;
            std::copy_n(d, kTimingSize, t.begin());
            out.push_back(t);
        }
    }
    for (const Extension& e : m.extensions)
        if (e.isCta)
            out.insert(out.end(), e.cta.timings.begin(), e.cta.timings.end());
    return out;
}

// The largest picture both take, for a preferred timing when they share no
// detailed timing; 640x480 (VIC 1), which every display takes, when nothing else.
int commonPreferredVic(const Model& m) {
    int best = 1;
    long long bestPixels = 0;
    int bestClock = 0;
    for (int vic : videoCodes(m)) {
        const std::optional<VicTiming> t = vicTiming(vic);
        if (!t)
            continue;
        const long long pixels = static_cast<long long>(t->hActive) * t->vActive;
        if (pixels > bestPixels || (pixels == bestPixels && t->pixelKhz > bestClock) ||
            (pixels == bestPixels && t->pixelKhz == bestClock && vic < best)) {
            best = vic;
            bestPixels = pixels;
            bestClock = t->pixelKhz;
        }
    }
    return best;
}

// Detailed timings both list, in the first display's order; the first one
// stays the preferred timing.
void commonTimings(Model& out, const Model& b) {
    const std::vector<Timing> theirs = detailedTimings(b);
    std::vector<Timing> seen;
    const auto keep = [&](const std::uint8_t* t) {
        if (!listedTiming(theirs, t) || listedTiming(seen, t))
            return false;
        Timing copy;
        std::copy_n(t, kTimingSize, copy.begin());
        seen.push_back(copy);
        return true;
    };
    std::vector<int> slots;
    std::vector<Timing> base;
    for (int i = 0; i < kDescriptorCount; ++i) {
        const int at = kFirstDescriptor + i * kTimingSize;
        if (!isTiming(out.base.data() + at))
            continue;
        slots.push_back(at);
        if (keep(out.base.data() + at))
            base.push_back(seen.back());
    }
    for (std::size_t i = 0; i < out.extensions.size(); ++i) {
        Extension& e = out.extensions[i];
        if (e.isCta &&
            std::erase_if(e.cta.timings, [&](const Timing& t) { return !keep(t.data()); }) > 0)
            markEdited(out, static_cast<int>(i + 1));
    }
    // The first descriptor holds the preferred timing, when it can; one of a
    // reserved kind says nothing and makes room.
    std::uint8_t* first = out.base.data() + kFirstDescriptor;
    if (!isTiming(first) && first[3] > kUnusedDescriptor && first[3] < 0xF7) {
        std::fill_n(first, kTimingSize, 0);
        first[3] = kUnusedDescriptor;
        markEdited(out, 0);
    }
    const bool preferredSlot = (!slots.empty() && slots.front() == kFirstDescriptor) ||
                               out.base[kFirstDescriptor + 3] == kUnusedDescriptor;
    if (preferredSlot && base.empty()) {
        if (slots.empty())
            slots.push_back(kFirstDescriptor);
        for (std::size_t i = 0; i < out.extensions.size() && base.empty(); ++i) {
            Extension& e = out.extensions[i];
            if (e.isCta && !e.cta.timings.empty()) {
                base.push_back(e.cta.timings.front());
                e.cta.timings.erase(e.cta.timings.begin());
                markEdited(out, static_cast<int>(i + 1));
            }
        }
    }
    const Block before = out.base;
    for (std::size_t k = 0; k < slots.size(); ++k) {
        std::uint8_t* d = out.base.data() + slots[k];
        if (k < base.size()) {
            std::copy(base[k].begin(), base[k].end(), d);
        } else {
            std::fill_n(d, kTimingSize, 0);
            d[3] = kUnusedDescriptor;
        }
    }
    if (out.base != before)
        markEdited(out, 0);
    // Neither lists a timing the other does: the largest picture both take.
    if (!isTiming(out.base.data() + kFirstDescriptor))
        static_cast<void>(setPreferredVic(out, commonPreferredVic(out)));
}

// Established timings both take, and standard timings both list.
void commonBaseTimings(Model& out, const Model& b) {
    Block& mine = out.base;
    const Block before = mine;
    for (int i = kEstablished; i < kEstablished + kEstablishedCount; ++i)
        mine[i] &= b.base[i];
    using Pair = std::array<std::uint8_t, 2>;
    const auto pairAt = [](const Block& blk, int i) {
        return Pair{blk[kStandard + 2 * i], blk[kStandard + 2 * i + 1]};
    };
    const auto unused = [](const Pair& p) {
        return (p[0] == 1 && p[1] == 1) || (p[0] == 0 && p[1] == 0);
    };
    std::vector<Pair> kept;
    for (int i = 0; i < kStandardCount; ++i) {
        const Pair p = pairAt(mine, i);
        bool inB = false;
        for (int k = 0; k < kStandardCount; ++k)
            inB = inB || pairAt(b.base, k) == p;
        if (!unused(p) && inB && std::find(kept.begin(), kept.end(), p) == kept.end())
            kept.push_back(p);
    }
    for (int i = 0; i < kStandardCount; ++i) {
        const Pair p = i < static_cast<int>(kept.size()) ? kept[i] : Pair{1, 1};
        mine[kStandard + 2 * i] = p[0];
        mine[kStandard + 2 * i + 1] = p[1];
    }
    if (mine != before)
        markEdited(out, 0);
}

// Feature bits both displays have: power states, continuous frequencies and,
// when both are digital, the colour encodings and the lower colour depth.
void commonFeatures(Model& out, const Model& b) {
    constexpr int kInput = 20, kFeatures = 24;
    Block& mine = out.base;
    const Block before = mine;
    const bool digital = (mine[kInput] & 0x80) && (b.base[kInput] & 0x80);
    const std::uint8_t anded = digital ? 0xF9 : 0xE1;
    mine[kFeatures] = static_cast<std::uint8_t>(mine[kFeatures] & (b.base[kFeatures] | ~anded));
    if (digital && mine[19] >= 4 && b.base[19] >= 4) {
        const int depthA = (mine[kInput] >> 4) & 7, depthB = (b.base[kInput] >> 4) & 7;
        const bool known = depthA >= 1 && depthA <= 6 && depthB >= 1 && depthB <= 6;
        const int depth = known ? std::min(depthA, depthB) : 0;
        mine[kInput] = static_cast<std::uint8_t>((mine[kInput] & 0x8F) | (depth << 4));
    }
    if (mine != before)
        markEdited(out, 0);
}

// One form for what both take: each code once, in the video block or else in
// the 4:2:0 video block, the map marking exactly the codes both take in 4:2:0.
bool alignVideo(CtaExtension& cta, const std::function<bool(int)>& in420,
                const std::set<int>& nativeB, std::set<int>& seen) {
    const std::vector<DataBlock> before = cta.dataBlocks;
    std::vector<bool> bits;
    for (DataBlock& db : cta.dataBlocks) {
        if (kindOf(db) != BlockKind::Video)
            continue;
        std::vector<std::uint8_t> kept;
        for (std::uint8_t svd : db.payload) {
            const int vic = vicOf(svd);
            if (!seen.insert(vic).second)
                continue;
            bits.push_back(in420(vic));
            kept.push_back(nativeSvd(svd) && !nativeB.count(vic) ? static_cast<std::uint8_t>(vic)
                                                                 : svd);
        }
        db.payload = kept;
    }
    for (DataBlock& db : cta.dataBlocks)
        if (kindOf(db) == BlockKind::Y420Video)
            std::erase_if(db.payload, [&, first = true](std::uint8_t vic) mutable {
                const bool tag = std::exchange(first, false);
                return !tag && !seen.insert(vic).second;
            });
    auto map = std::find_if(cta.dataBlocks.begin(), cta.dataBlocks.end(), [](const DataBlock& db) {
        return kindOf(db) == BlockKind::Y420CapabilityMap;
    });
    const bool any = std::find(bits.begin(), bits.end(), true) != bits.end();
    if (any && map == cta.dataBlocks.end())
        map = cta.dataBlocks.insert(cta.dataBlocks.end(),
                                    makeDataBlock(BlockKind::Y420CapabilityMap));
    if (any) {
        map->payload.assign(1 + (bits.size() + 7) / 8, 0);
        map->payload[0] = kExtY420Map;
        for (std::size_t k = 0; k < bits.size(); ++k)
            if (bits[k])
                map->payload[1 + k / 8] |= static_cast<std::uint8_t>(1u << (k % 8));
    }
    std::erase_if(cta.dataBlocks, [&](const DataBlock& db) {
        const BlockKind k = kindOf(db);
        return (k == BlockKind::Video && db.payload.empty()) ||
               (k == BlockKind::Y420Video && db.payload.size() <= 1) ||
               (k == BlockKind::Y420CapabilityMap && !any);
    });
    const auto same = [](const DataBlock& x, const DataBlock& y) {
        return x.tag == y.tag && x.payload == y.payload;
    };
    return !std::equal(before.begin(), before.end(), cta.dataBlocks.begin(), cta.dataBlocks.end(),
                       same);
}

// Full video codes both list; codes one takes in full and the other only in
// 4:2:0 become 4:2:0 only; 4:2:0 and native marks where both have them.
bool commonVideo(Model& out, const Model& a, const Model& b, const std::string& both) {
    const std::set<int> fullA = codeSet(a), fullB = codeSet(b);
    const std::set<int> y420A = y420Codes(a), y420B = y420Codes(b);
    const auto in420 = [&](int vic) { return y420A.count(vic) && y420B.count(vic); };
    std::vector<int> gone, only420;
    for (int vic : fullA)
        if (!fullB.count(vic))
            (in420(vic) ? only420 : gone).push_back(vic);
    for (int vic : y420A)
        if (!fullA.count(vic) && !in420(vic))
            gone.push_back(vic);
    if (!removeVics(out, gone).ok || (!only420.empty() && !makeY420Only(out, only420).ok))
        return false;
    for (BlockKind k : {BlockKind::Video, BlockKind::Y420Video, BlockKind::Y420CapabilityMap})
        for (DataBlock* db : blocksOf(out, k))
            db->source = both;
    const std::set<int> nativeB = nativeCodes(b);
    std::set<int> seen; // a code listed twice is taken once
    for (std::size_t i = 0; i < out.extensions.size(); ++i)
        if (out.extensions[i].isCta && alignVideo(out.extensions[i].cta, in420, nativeB, seen))
            markEdited(out, static_cast<int>(i + 1));
    return true;
}

bool sameAudioKind(const AudioFormat& x, const AudioFormat& y) {
    // Extended formats (code 15) name their kind in the top bits of byte 3.
    return x.code == y.code && (x.code != 15 || (x.byte3 >> 3) == (y.byte3 >> 3));
}

bool bitRateByte(const AudioFormat& f) {
    return f.code >= kAudioAc3 && f.code <= 8;
}

AudioFormat bothTake(const AudioFormat& x, const AudioFormat& y) {
    AudioFormat f = x;
    f.channels = std::min(x.channels, y.channels);
    f.rates = x.rates & y.rates;
    f.byte3 = bitRateByte(x) ? std::min(x.byte3, y.byte3) : x.byte3 & y.byte3;
    return f;
}

bool covers(const AudioFormat& big, const AudioFormat& small) {
    return sameAudioKind(big, small) && big.channels >= small.channels &&
           (big.rates & small.rates) == small.rates &&
           (bitRateByte(big) ? big.byte3 >= small.byte3 : (big.byte3 & small.byte3) == small.byte3);
}

// Every pair of descriptors of one format gives what both take; those another
// one covers are left out.
bool commonAudio(Model& out, const Model& b, const std::string& both) {
    const std::vector<AudioFormat> mine = audioFormats(out), theirs = audioFormats(b);
    std::vector<AudioFormat> common;
    for (const AudioFormat& x : mine)
        for (const AudioFormat& y : theirs) {
            if (!sameAudioKind(x, y))
                continue;
            const AudioFormat c = bothTake(x, y);
            if (c.rates != 0 && std::find(common.begin(), common.end(), c) == common.end())
                common.push_back(c);
        }
    std::vector<std::uint8_t> sads;
    for (const AudioFormat& f : common) {
        const bool covered = std::any_of(common.begin(), common.end(), [&](const AudioFormat& g) {
            return !(g == f) && covers(g, f);
        });
        if (covered)
            continue;
        const auto bytes = encodeSad(f);
        sads.insert(sads.end(), bytes.begin(), bytes.end());
    }
    dropKind(out, BlockKind::Audio);
    if (sads.empty())
        return true;
    std::string why;
    DataBlock* audio = findOrAdd(out, BlockKind::Audio, why);
    if (!audio)
        return false;
    audio->payload = sads;
    audio->source = both;
    markCta(out, audio);
    return true;
}

// A block both have keeps the bytes both share; from `first` on they are
// flags both must have. A block the other lacks goes.
void andBytes(Model& out, const Model& b, BlockKind kind, std::size_t first,
              const std::string& label) {
    const std::vector<const DataBlock*> theirs = blocksOf(b, kind);
    if (theirs.empty()) {
        dropKind(out, kind);
        return;
    }
    const std::vector<std::uint8_t>& other = theirs.front()->payload;
    for (DataBlock* mine : blocksOf(out, kind)) {
        std::vector<std::uint8_t> p = mine->payload;
        p.resize(std::min(p.size(), other.size()));
        for (std::size_t i = first; i < p.size(); ++i)
            p[i] &= other[i];
        if (p != mine->payload) {
            mine->payload = p;
            mine->source = label;
            markCta(out, mine);
        }
    }
}

// The HDMI vendor block's video fields after the latencies: the 3D byte,
// the lengths, the HDMI VICs and the 3D entries. `at` is npos without them.
struct HdmiVideo {
    std::size_t at = std::string::npos;
    std::vector<std::uint8_t> vics, threeD;
    std::uint8_t flags = 0; // 3D present, 3D multi, image size
};

HdmiVideo hdmiVideoOf(const std::vector<std::uint8_t>& p) {
    HdmiVideo v;
    if (p.size() < 8 || !(p[7] & 0x20))
        return v;
    std::size_t at = 8 + ((p[7] & 0x80) ? 2 : 0) + ((p[7] & 0x40) ? 2 : 0);
    if (at + 2 > p.size())
        return v;
    const std::size_t vicLength = p[at + 1] >> 5, threeDLength = p[at + 1] & 0x1F;
    if (at + 2 + vicLength + threeDLength > p.size())
        return v;
    v.at = at;
    v.flags = p[at];
    v.vics.assign(p.begin() + at + 2, p.begin() + at + 2 + vicLength);
    v.threeD.assign(p.begin() + at + 2 + vicLength, p.begin() + at + 2 + vicLength + threeDLength);
    return v;
}

// HDMI VICs both list; 3D beyond the mandatory formats points into the video
// list, so it stays only when both say the same of the same list.
void commonHdmiVideo(std::vector<std::uint8_t>& p, const std::vector<std::uint8_t>& other,
                     bool sameVideoList) {
    if (p.size() < 8)
        return;
    p[7] = static_cast<std::uint8_t>((p[7] & 0xF0) |
                                     (p[7] & (other.size() > 7 ? other[7] : 0) & 0x0F));
    const HdmiVideo mine = hdmiVideoOf(p), theirs = hdmiVideoOf(other);
    if (mine.at == std::string::npos)
        return;
    p.resize(mine.at);
    if (theirs.at == std::string::npos) {
        p[7] &= ~0x20;
        return;
    }
    std::vector<std::uint8_t> vics;
    for (std::uint8_t vic : mine.vics)
        if (std::count(theirs.vics.begin(), theirs.vics.end(), vic))
            vics.push_back(vic);
    const bool keep3d = sameVideoList && mine.threeD == theirs.threeD &&
                        (mine.flags & 0x60) == (theirs.flags & 0x60);
    std::uint8_t flags =
        static_cast<std::uint8_t>((mine.flags & 0x18) | (mine.flags & theirs.flags & 0x80));
    if (keep3d)
        flags |= mine.flags & 0x60;
    const std::vector<std::uint8_t> threeD = keep3d ? mine.threeD : std::vector<std::uint8_t>{};
    if (vics.empty() && threeD.empty() && !(flags & 0x80)) {
        p[7] &= ~0x20;
        return;
    }
    p.push_back(flags);
    p.push_back(static_cast<std::uint8_t>((vics.size() << 5) | threeD.size()));
    p.insert(p.end(), vics.begin(), vics.end());
    p.insert(p.end(), threeD.begin(), threeD.end());
}

// The lower of two clocks in 5 MHz units; 0 ("not given") only when neither gives one.
std::uint8_t lowerClock(std::uint8_t x, std::uint8_t y) {
    return x == 0 ? y : y == 0 ? x : std::min(x, y);
}

void commonHdmiVendor(Model& out, const DataBlock& theirs, bool sameVideoList,
                      const std::string& label) {
    const std::vector<std::uint8_t>& other = theirs.payload;
    for (DataBlock* mine : blocksOf(out, BlockKind::HdmiVendor)) {
        std::vector<std::uint8_t> p = mine->payload;
        if (other.size() < 8)
            p.resize(std::min(p.size(), other.size()));
        if (p.size() > 5)
            p[5] &= other[5]; // deep colour, AI, dual link
        if (p.size() > 6)
            p[6] = lowerClock(p[6], other[6]);
        commonHdmiVideo(p, other, sameVideoList);
        if (p != mine->payload) {
            mine->payload = p;
            mine->source = label;
            markCta(out, mine);
        }
    }
}

void commonHdmiForum(Model& out, const Model& b, const std::string& label) {
    const std::vector<const DataBlock*> theirs = blocksOf(b, BlockKind::HdmiForum);
    if (theirs.empty()) {
        dropKind(out, BlockKind::HdmiForum);
        return;
    }
    const std::vector<std::uint8_t>& other = theirs.front()->payload;
    for (DataBlock* mine : blocksOf(out, BlockKind::HdmiForum)) {
        std::vector<std::uint8_t> p = mine->payload;
        // VRR ranges and DSC fields past byte 8 are not flags: kept when alike.
        constexpr std::size_t kFlagBytes = 8;
        const bool sameTail = p.size() == other.size() &&
                              std::equal(p.begin() + std::min(p.size(), kFlagBytes), p.end(),
                                         other.begin() + std::min(other.size(), kFlagBytes));
        p.resize(std::min({p.size(), other.size(), sameTail ? p.size() : kFlagBytes}));
        if (p.size() > 4)
            p[4] = std::min(p[4], other[4]); // 0: 340 MHz or less
        if (p.size() > 5)
            p[5] &= other[5];
        if (p.size() > 6) {
            const int frl = std::min(p[6] >> 4, other[6] >> 4);
            p[6] = static_cast<std::uint8_t>((frl << 4) | (p[6] & other[6] & 0x0F));
        }
        if (p.size() > 7)
            p[7] &= other[7];
        if (p != mine->payload) {
            mine->payload = p;
            mine->source = label;
            markCta(out, mine);
        }
    }
}

// HDMI: the lower clocks, deep colour, SCDC and HDMI VICs both take.
void commonHdmi(Model& out, const Model& a, const Model& b, const std::string& label) {
    const std::vector<const DataBlock*> theirs = blocksOf(b, BlockKind::HdmiVendor);
    if (theirs.empty()) {
        dropKind(out, BlockKind::HdmiVendor);
        dropKind(out, BlockKind::HdmiForum);
        return;
    }
    commonHdmiVendor(out, *theirs.front(), videoCodes(a) == videoCodes(b), label);
    commonHdmiForum(out, b, label);
}

// HDR: transfer functions and metadata both take, the dimmer display's luminance.
void commonHdr(Model& out, const Model& b, const std::string& label) {
    const std::vector<const DataBlock*> theirs = blocksOf(b, BlockKind::HdrStatic);
    if (theirs.empty()) {
        dropKind(out, BlockKind::HdrStatic);
        return;
    }
    const std::vector<std::uint8_t>& other = theirs.front()->payload;
    bool none = false;
    for (DataBlock* mine : blocksOf(out, BlockKind::HdrStatic)) {
        std::vector<std::uint8_t> p = mine->payload;
        p.resize(std::min(p.size(), other.size()));
        for (std::size_t i = 1; i < 3 && i < p.size(); ++i)
            p[i] &= other[i];
        for (std::size_t i = 3; i < 5 && i < p.size(); ++i)
            p[i] = std::min(p[i], other[i]);
        if (p.size() > 5) {
            const double darkest = std::max(minLuminanceOf(p[5], luminanceOf(mine->payload[3])),
                                            minLuminanceOf(other[5], luminanceOf(other[3])));
            p[5] = minLuminanceCode(darkest, luminanceOf(p[3]));
        }
        none = none || p.size() < 2 || (p[1] & 0x3F) == 0;
        if (p != mine->payload) {
            mine->payload = p;
            mine->source = label;
            markCta(out, mine);
        }
    }
    if (none)
        dropKind(out, BlockKind::HdrStatic);
}

// Underscan, basic audio and YCbCr flags both set; the fewer native timings.
void commonCtaFlags(Model& out, const Model& b) {
    const CtaExtension* theirs = firstCta(b);
    const std::uint8_t flagsB = theirs ? theirs->flags : 0;
    for (std::size_t i = 0; i < out.extensions.size(); ++i) {
        CtaExtension& c = out.extensions[i].cta;
        if (!out.extensions[i].isCta)
            continue;
        const int native = std::min(c.flags & 0x0F, flagsB & 0x0F);
        const auto flags = static_cast<std::uint8_t>((c.flags & flagsB & 0xF0) | native);
        if (flags != c.flags) {
            c.flags = flags;
            markEdited(out, static_cast<int>(i + 1));
        }
    }
}

} // namespace

MergeResult mergeVideoAudio(const Model& video, const std::string& videoLabel, const Model& audio,
                            const std::string& audioLabel) {
    Model out = video;
    labelAll(out, videoLabel);
    dropKind(out, BlockKind::Audio);
    dropKind(out, BlockKind::SpeakerAllocation);
    Extension* cta = editableCta(out, true);
    if (!cta)
        return {false, "the video source's CTA extension cannot be edited", {}};
    auto pos = cta->cta.dataBlocks.begin();
    for (auto it = cta->cta.dataBlocks.begin(); it != cta->cta.dataBlocks.end(); ++it)
        if (kindOf(*it) == BlockKind::Video)
            pos = it + 1;
    std::vector<DataBlock> taken;
    for (BlockKind kind : {BlockKind::Audio, BlockKind::SpeakerAllocation})
        for (const DataBlock* db : blocksOf(audio, kind)) {
            taken.push_back(*db);
            taken.back().source = audioLabel;
        }
    cta->cta.dataBlocks.insert(pos, taken.begin(), taken.end());
    bool basicAudio = false;
    for (const Extension& e : audio.extensions)
        if (e.isCta) {
            basicAudio = e.cta.flags & kCtaBasicAudio;
            break;
        }
    cta->cta.flags = static_cast<std::uint8_t>((cta->cta.flags & ~kCtaBasicAudio) |
                                               (basicAudio ? kCtaBasicAudio : 0));
    cta->dirty = true;
    return done(out);
}

MergeResult commonSubset(const Model& a, const std::string& labelA, const Model& b,
                         const std::string& labelB) {
    Model out = a;
    labelAll(out, labelA);
    const std::string both = labelA + " and " + labelB;
    commonBaseTimings(out, b);
    commonFeatures(out, b);
    if (!commonVideo(out, a, b, both))
        return {false, "the video codes could not be reduced", {}};
    commonTimings(out, b);
    keepSharedExtensions(out, b);
    if (!commonAudio(out, b, both))
        return {false, "the common audio formats do not fit in the CTA extension", {}};
    andBytes(out, b, BlockKind::SpeakerAllocation, 0, both);
    commonHdmi(out, a, b, both);
    commonHdr(out, b, both);
    andBytes(out, b, BlockKind::Colorimetry, 1, both);
    andBytes(out, b, BlockKind::VideoCapability, 1, both);
    keepSharedOtherBlocks(out, b);
    commonCtaFlags(out, b);
    return done(out);
}

} // namespace edid
