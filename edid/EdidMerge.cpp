#include "edid/EdidMerge.h"

#include "edid/EdidAudio.h"
#include "edid/EdidEdits.h"

#include <algorithm>
#include <set>

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

// Intersects one byte of the first block of `kind` with b's; drops the block
// from `out` when b has none.
void intersectByte(Model& out, const Model& b, BlockKind kind, std::size_t index,
                   const std::string& label) {
    const std::vector<const DataBlock*> theirs = blocksOf(b, kind);
    if (theirs.empty()) {
        dropKind(out, kind);
        return;
    }
    for (DataBlock* mine : blocksOf(out, kind)) {
        const std::uint8_t other =
            index < theirs.front()->payload.size() ? theirs.front()->payload[index] : 0;
        if (index < mine->payload.size() &&
            (mine->payload[index] & other) != mine->payload[index]) {
            mine->payload[index] &= other;
            mine->source = label;
            markCta(out, mine);
        }
    }
}

AudioFormat commonAudio(const AudioFormat& x, const AudioFormat& y) {
    AudioFormat f = x;
    f.channels = std::min(x.channels, y.channels);
    f.rates = x.rates & y.rates;
    if (x.code >= kAudioAc3 && x.code <= 8)
        f.byte3 = std::min(x.byte3, y.byte3);
    else
        f.byte3 = x.byte3 & y.byte3;
    return f;
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

    const std::vector<int> theirs = videoCodes(b);
    std::vector<int> drop;
    for (int vic : videoCodes(a))
        if (std::find(theirs.begin(), theirs.end(), vic) == theirs.end())
            drop.push_back(vic);
    const std::set<int> y420Theirs = y420Codes(b);
    std::vector<int> y420Drop;
    for (int vic : y420Codes(a))
        if (!y420Theirs.count(vic))
            y420Drop.push_back(vic);
    // 4:2:0 only where both take it: drop 4:2:0-only codes, clear map bits.
    std::vector<int> gone = drop;
    for (int vic : y420Drop) {
        const std::vector<int> codes = videoCodes(out);
        if (std::find(codes.begin(), codes.end(), vic) == codes.end())
            gone.push_back(vic);
    }
    if (!removeVics(out, gone).ok)
        return {false, "the video codes could not be reduced", {}};
    if (!y420Drop.empty()) {
        const std::vector<int> codes = videoCodes(out);
        for (DataBlock* map : blocksOf(out, BlockKind::Y420CapabilityMap)) {
            std::vector<std::uint8_t> bits(1 + (codes.size() + 7) / 8, 0);
            bits[0] = kExtY420Map;
            const std::set<int> mine = y420Codes(out);
            for (std::size_t i = 0; i < codes.size(); ++i)
                if (mine.count(codes[i]) && !std::count(y420Drop.begin(), y420Drop.end(), codes[i]))
                    bits[1 + i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
            map->payload = bits;
            map->source = both;
            markCta(out, map);
        }
    }
    for (BlockKind k : {BlockKind::Video, BlockKind::Y420Video, BlockKind::Y420CapabilityMap})
        for (DataBlock* db : blocksOf(out, k))
            db->source = both;

    // Audio: formats both list, each at what both take.
    const std::vector<AudioFormat> other = audioFormats(b);
    std::vector<std::uint8_t> sads;
    for (const AudioFormat& f : audioFormats(a)) {
        const auto it = std::find_if(other.begin(), other.end(),
                                     [&](const AudioFormat& o) { return o.code == f.code; });
        if (it == other.end())
            continue;
        const AudioFormat c = commonAudio(f, *it);
        if (c.rates == 0)
            continue;
        const auto bytes = encodeSad(c);
        sads.insert(sads.end(), bytes.begin(), bytes.end());
    }
    dropKind(out, BlockKind::Audio);
    if (!sads.empty()) {
        std::string why;
        DataBlock* audio = findOrAdd(out, BlockKind::Audio, why);
        if (!audio)
            return {false, why, {}};
        audio->payload = sads;
        audio->source = both;
        markCta(out, audio);
    }
    intersectByte(out, b, BlockKind::SpeakerAllocation, 0, both);
    intersectByte(out, b, BlockKind::SpeakerAllocation, 1, both);
    intersectByte(out, b, BlockKind::SpeakerAllocation, 2, both);

    // HDMI: the lower clock, deep colour both take.
    if (blocksOf(b, BlockKind::HdmiVendor).empty()) {
        dropKind(out, BlockKind::HdmiVendor);
        dropKind(out, BlockKind::HdmiForum);
    } else {
        intersectByte(out, b, BlockKind::HdmiVendor, 5, both);
        intersectByte(out, b, BlockKind::HdmiForum, 5, both);
        intersectByte(out, b, BlockKind::HdmiForum, 6, both);
        const int clock = std::min(maxTmdsMhz(a), maxTmdsMhz(b));
        if (!blocksOf(out, BlockKind::HdmiVendor).empty() && clock != maxTmdsMhz(out)) {
            if (!setMaxTmds(out, std::clamp(clock, 25, 600)).ok)
                return {false, "the TMDS clock could not be set", {}};
            for (BlockKind k : {BlockKind::HdmiVendor, BlockKind::HdmiForum})
                for (DataBlock* db : blocksOf(out, k))
                    db->source = both;
        }
    }

    // HDR: EOTFs both take, the dimmer display's luminance.
    intersectByte(out, b, BlockKind::HdrStatic, 1, both);
    const std::vector<const DataBlock*> hdrB = blocksOf(b, BlockKind::HdrStatic);
    for (DataBlock* h : blocksOf(out, BlockKind::HdrStatic)) {
        const std::vector<std::uint8_t>& p = hdrB.front()->payload;
        for (std::size_t i = 3; i < 5 && i < h->payload.size(); ++i)
            if (i < p.size())
                h->payload[i] = std::min(h->payload[i], p[i]);
        if (h->payload.size() > 5 && p.size() > 5)
            h->payload[5] = std::max(h->payload[5], p[5]);
        markCta(out, h);
    }
    for (const DataBlock* h : blocksOf(out, BlockKind::HdrStatic))
        if (h->payload.size() > 1 && (h->payload[1] & 0x3F) == 0)
            dropKind(out, BlockKind::HdrStatic);
    intersectByte(out, b, BlockKind::Colorimetry, 1, both);
    intersectByte(out, b, BlockKind::Colorimetry, 2, both);
    intersectByte(out, b, BlockKind::VideoCapability, 1, both);

    std::uint8_t flagsB = 0;
    for (const Extension& e : b.extensions)
        if (e.isCta) {
            flagsB = e.cta.flags;
            break;
        }
    for (std::size_t i = 0; i < out.extensions.size(); ++i) {
        CtaExtension& c = out.extensions[i].cta;
        if (!out.extensions[i].isCta)
            continue;
        const std::uint8_t keep = kCtaBasicAudio | kCtaYcc444 | kCtaYcc422;
        const std::uint8_t flags = static_cast<std::uint8_t>(c.flags & (~keep | (flagsB & keep)));
        if (flags != c.flags) {
            c.flags = flags;
            markEdited(out, static_cast<int>(i + 1));
        }
    }
    return done(out);
}

} // namespace edid
