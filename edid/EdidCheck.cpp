#include "edid/EdidCheck.h"

#include "decode/EdidConformity.h"
#include "edid/EdidEdits.h"
#include "edid/VicTimings.h"

#include <algorithm>
#include <cstdio>

namespace edid {
namespace {

constexpr int kDeviceEdidBytes = 256;

std::string mhzText(double mhz) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", mhz);
    return std::string(buf) + " MHz";
}

struct Claims {
    bool ycc444 = false, ycc422 = false;
    int rgbDepths[3] = {0, 0, 0}; // 10, 12, 16 when claimed
    int y420Depths[3] = {0, 0, 0};
    bool y444DeepColour = false;
};

Claims claimsOf(const Model& m) {
    Claims c;
    for (const Extension& e : m.extensions)
        if (e.isCta) {
            c.ycc444 = c.ycc444 || (e.cta.flags & kCtaYcc444);
            c.ycc422 = c.ycc422 || (e.cta.flags & kCtaYcc422);
        }
    for (const DataBlock* v : blocksOf(m, BlockKind::HdmiVendor))
        if (v->payload.size() > 5) {
            const std::uint8_t f = v->payload[5];
            c.rgbDepths[0] = (f & 0x10) ? 10 : 0;
            c.rgbDepths[1] = (f & 0x20) ? 12 : 0;
            c.rgbDepths[2] = (f & 0x40) ? 16 : 0;
            c.y444DeepColour = f & 0x08;
        }
    for (const DataBlock* h : blocksOf(m, BlockKind::HdmiForum))
        if (h->payload.size() > 6) {
            const std::uint8_t f = h->payload[6];
            c.y420Depths[0] = (f & 1) ? 10 : 0;
            c.y420Depths[1] = (f & 2) ? 12 : 0;
            c.y420Depths[2] = (f & 4) ? 16 : 0;
        }
    return c;
}

std::string hexByte(unsigned value) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", value & 0xFF);
    return buf;
}

std::string limitText(const TmdsLimit& limit) {
    return limit.ownMhz > kHdmi20MaxMhz ? "HDMI 2.0 carries " + mhzText(kHdmi20MaxMhz)
                                        : "the EDID allows " + mhzText(limit.ownMhz);
}

struct Measured {
    std::string name;
    int vic = 0; // 0: a detailed timing
    double pixelMhz = 0;
    Listing listing;
};

// One format against the limit: a failure when no listed encoding fits at
// 8 bit, else a note where RGB does not fit at all, or per deep-colour
// combination that does not.
void measure(const Measured& f, const Claims& c, const TmdsLimit& limit,
             std::vector<Finding>& out) {
    const FormatFit fit = formatFit(f.pixelMhz, f.listing, limit);
    const auto add = [&](FindingKind kind, std::string text) {
        out.push_back({kind, std::move(text), f.vic});
    };
    if (!fit.reaches()) {
        std::string text = f.name + " needs ";
        if (f.listing.plain)
            text += mhzText(fit.rgbMhz) + " in RGB";
        if (f.listing.y420)
            text +=
                std::string(f.listing.plain ? " and " : "") + mhzText(fit.y420Mhz) + " in 4:2:0";
        text += " and " + limitText(limit) + (f.listing.y420 ? "" : ", with no 4:2:0 for it");
        add(FindingKind::Failure, text);
        return;
    }
    if (f.listing.plain && !fit.rgb) {
        add(FindingKind::Note, f.name + " needs " + mhzText(fit.rgbMhz) + " in RGB and " +
                                   limitText(limit) +
                                   ", so RGB does not fit at any depth; sources will use 4:2:0");
    } else if (f.listing.plain) {
        const std::string fallback =
            fit.y420 ? "sources will use 8 bit or 4:2:0" : "sources will use 8 bit";
        for (int depth : c.rgbDepths) {
            const double need = tmdsMhz(f.pixelMhz, Encoding::Rgb444, depth);
            if (depth && !withinLimit(need, limit))
                add(FindingKind::Note, f.name + " RGB " + std::to_string(depth) + "-bit needs " +
                                           mhzText(need) + "; " + fallback);
        }
    }
    if (fit.y420)
        for (int depth : c.y420Depths) {
            const double need = tmdsMhz(f.pixelMhz, Encoding::Ycc420, depth);
            if (depth && !withinLimit(need, limit))
                add(FindingKind::Note, f.name + " 4:2:0 " + std::to_string(depth) + "-bit needs " +
                                           mhzText(need) + "; sources will use a lower depth");
        }
}

std::string blockName(std::span<const std::uint8_t> bytes, std::size_t block) {
    if (block == 0)
        return "base block";
    switch (const std::uint8_t tag = bytes[block * kBlockSize]) {
    case kCtaTag:
        return "CTA-861 extension";
    case 0x70:
        return "DisplayID extension";
    case 0xF0:
        return "block map";
    default:
        return "extension " + hexByte(tag);
    }
}

void structure(std::span<const std::uint8_t> bytes, const Model& m, CheckOptions options,
               std::vector<Finding>& out) {
    const std::size_t blocks = 1 + m.extensions.size();
    if (!m.trailing.empty())
        out.push_back({FindingKind::Note, std::to_string(m.trailing.size()) +
                                              " bytes after the last extension repeat the EDID"});
    for (std::size_t b = 0; b < blocks; ++b) {
        unsigned sum = 0;
        for (std::size_t i = 0; i + 1 < kBlockSize; ++i)
            sum += bytes[b * kBlockSize + i];
        const unsigned want = (256 - sum % 256) % 256;
        if (bytes[b * kBlockSize + kBlockSize - 1] != want)
            out.push_back({FindingKind::Failure,
                           "block " + std::to_string(b) + " (" + blockName(bytes, b) +
                               "): the checksum is wrong; it should be " + hexByte(want)});
    }
    if (m.base[126] != blocks - 1)
        out.push_back({FindingKind::Failure,
                       "the extension count says " + std::to_string(m.base[126]) + " but " +
                           std::to_string(blocks - 1) + " extension blocks follow"});
    for (std::size_t i = 0; i < m.extensions.size(); ++i)
        if (!m.extensions[i].unreadable.empty())
            out.push_back({FindingKind::Failure,
                           "block " + std::to_string(i + 1) + ": " + m.extensions[i].unreadable});
    if (options.forDevice && bytes.size() > kDeviceEdidBytes)
        out.push_back({FindingKind::Failure, "the device stores 256 bytes; this EDID has " +
                                                 std::to_string(bytes.size())});
}

std::string timingName(const Timing& t) {
    const int h = t[2] | ((t[4] & 0xF0) << 4), v = t[5] | ((t[7] & 0xF0) << 4);
    const bool interlaced = t[17] & 0x80;
    return "detailed timing " + std::to_string(h) + "x" + std::to_string(interlaced ? 2 * v : v) +
           (interlaced ? "i" : "p") + " (" + mhzText((t[0] | (t[1] << 8)) / 100.0) + ")";
}

// A timing's numbers that no signal can have; empty when it is well formed.
std::string malformed(const Timing& t) {
    const int hActive = t[2] | ((t[4] & 0xF0) << 4), hBlank = t[3] | ((t[4] & 0x0F) << 8);
    const int vActive = t[5] | ((t[7] & 0xF0) << 4), vBlank = t[6] | ((t[7] & 0x0F) << 8);
    const int hFront = t[8] | ((t[11] & 0xC0) << 2), hSync = t[9] | ((t[11] & 0x30) << 4);
    const int vFront = (t[10] >> 4) | ((t[11] & 0x0C) << 2),
              vSync = (t[10] & 0x0F) | ((t[11] & 0x03) << 4);
    // 12 bits hold up to 4095: 4096 written into them comes out as 0.
    if (hActive == 0)
        return "its active width is 0, as a width of 4096 comes out in its 12 bits";
    if (vActive == 0)
        return "its active height is 0, as a height of 4096 comes out in its 12 bits";
    if (hBlank == 0)
        return "its horizontal blanking is 0";
    if (vBlank == 0)
        return "its vertical blanking is 0";
    if (hFront + hSync > hBlank)
        return "its horizontal sync offset and width (" + std::to_string(hFront) + " + " +
               std::to_string(hSync) + ") run past its blanking of " + std::to_string(hBlank);
    if (vFront + vSync > vBlank)
        return "its vertical sync offset and width (" + std::to_string(vFront) + " + " +
               std::to_string(vSync) + ") run past its blanking of " + std::to_string(vBlank);
    return {};
}

constexpr int kBaseTimings = 54;
constexpr int kBaseDescriptors = 4;
constexpr int kCtaTimingOffset = 2;
constexpr std::size_t kChecksumByte = kBlockSize - 1;

Timing timingAt(std::span<const std::uint8_t> bytes, std::size_t at) {
    Timing t{};
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), kTimingSize, t.begin());
    return t;
}

// A slot without a pixel clock whose other bytes are a timing's, not a
// display descriptor's (those keep byte 2 and byte 4's high bits at 0).
bool unclockedTiming(const Timing& t) {
    return !t[0] && !t[1] && (t[2] != 0 || (t[4] & 0xF0) != 0);
}

const char* kFix = ": correct the timing or remove it";

// The detailed timings in the order edid-decode numbers them, the malformed
// ones reported and left out; the base block's first slot must be a timing.
std::vector<Timing> detailedTimings(std::span<const std::uint8_t> bytes, const Model& m,
                                    std::vector<Finding>& out) {
    std::vector<Timing> timings;
    int number = 0;
    const auto take = [&](const Timing& t, std::size_t block) {
        const std::string why = malformed(t);
        ++number;
        if (why.empty())
            timings.push_back(t);
        else
            out.push_back({FindingKind::Failure, "detailed timing " + std::to_string(number) +
                                                     " (block " + std::to_string(block) +
                                                     "): " + why + kFix});
    };
    const bool wantsPreferred = m.base[18] == 1 && m.base[19] >= 3;
    for (int i = 0; i < kBaseDescriptors; ++i) {
        const Timing t = timingAt(bytes, static_cast<std::size_t>(kBaseTimings + i * kTimingSize));
        if (t[0] || t[1])
            take(t, 0);
        else if (unclockedTiming(t))
            out.push_back({FindingKind::Failure, "descriptor " + std::to_string(i + 1) +
                                                     " of the base block is a detailed timing "
                                                     "with a pixel clock of 0" +
                                                     kFix});
        else if (i == 0 && wantsPreferred)
            out.push_back({FindingKind::Failure,
                           "the base block's first descriptor is not a detailed timing, but EDID "
                           "1.3 and 1.4 want the preferred timing there: give the EDID a "
                           "preferred timing (preferred=16 for 1920x1080p60)"});
    }
    for (std::size_t i = 0; i < m.extensions.size(); ++i) {
        const Extension& e = m.extensions[i];
        if (!e.isCta)
            continue;
        for (const Timing& t : e.cta.timings)
            take(t, i + 1);
        // Past the timings: display descriptors or padding, or a timing that lost its clock.
        const std::size_t block = (i + 1) * kBlockSize;
        const std::size_t offset = bytes[block + kCtaTimingOffset];
        for (std::size_t at = offset + e.cta.timings.size() * kTimingSize;
             offset && at + kTimingSize <= kChecksumByte; at += kTimingSize)
            if (unclockedTiming(timingAt(bytes, block + at)))
                out.push_back({FindingKind::Failure,
                               "block " + std::to_string(i + 1) + ": the detailed timing at byte " +
                                   std::to_string(at) + " has a pixel clock of 0" + kFix});
    }
    return timings;
}

// Above 340 MHz HDMI 2.0 sources scramble, and they do that only with SCDC.
void scdc(const Model& m, std::vector<Finding>& out) {
    for (const DataBlock* h : blocksOf(m, BlockKind::HdmiForum)) {
        const int rate = h->payload.size() > 4 ? h->payload[4] * 5 : 0;
        const bool present = h->payload.size() > 5 && (h->payload[5] & 0x80);
        if (rate > kHdmi14MaxMhz && !present)
            out.push_back({FindingKind::Failure,
                           "the HDMI Forum block allows " + mhzText(rate) +
                               " but does not say SCDC Present, so HDMI 2.0 sources send nothing "
                               "above " +
                               mhzText(kHdmi14MaxMhz) + " (no 4K60 in RGB): set scdc=on"});
    }
}

// The video codes of the video and 4:2:0 video blocks, each once, in order.
std::vector<int> listedVics(const Model& m) {
    std::vector<int> vics;
    for (const Extension& e : m.extensions) {
        if (!e.isCta)
            continue;
        for (const DataBlock& db : e.cta.dataBlocks) {
            const BlockKind kind = kindOf(db);
            if (kind != BlockKind::Video && kind != BlockKind::Y420Video)
                continue;
            for (std::size_t i = kind == BlockKind::Video ? 0 : 1; i < db.payload.size(); ++i)
                if (std::find(vics.begin(), vics.end(), vicOf(db.payload[i])) == vics.end())
                    vics.push_back(vicOf(db.payload[i]));
        }
    }
    return vics;
}

// 4:2:0 map bits past the video block's formats.
void mapPastTheFormats(const Model& m, std::vector<Finding>& out) {
    for (const Extension& e : m.extensions) {
        if (!e.isCta)
            continue;
        const DataBlock* map = y420Map(e.cta);
        std::size_t formats = 0;
        for (const DataBlock& db : e.cta.dataBlocks)
            if (kindOf(db) == BlockKind::Video)
                formats += db.payload.size();
        if (map && map->payload.size() > 1)
            for (std::size_t bit = formats; bit < (map->payload.size() - 1) * 8; ++bit)
                if ((map->payload[1 + bit / 8] >> (bit % 8)) & 1)
                    out.push_back({FindingKind::Note, "4:2:0 map entry " + std::to_string(bit) +
                                                          " has no video format at that position"});
    }
}

} // namespace

bool hasFailure(const std::vector<Finding>& findings) {
    return std::any_of(findings.begin(), findings.end(),
                       [](const Finding& f) { return f.kind == FindingKind::Failure; });
}

std::vector<Finding> checkEdid(std::span<const std::uint8_t> bytes, CheckOptions options) {
    std::vector<Finding> out;
    Model m;
    const ParseResult parsed = parse(bytes, m);
    if (!parsed.ok) {
        out.push_back({FindingKind::Failure, parsed.error});
        return out;
    }
    structure(bytes, m, options, out);
    const std::vector<Timing> timings = detailedTimings(bytes, m, out);
    for (const Extension& e : m.extensions)
        if (!e.unreadable.empty()) {
            // Without its blocks the limit itself is unknown.
            out.push_back(
                {FindingKind::Note, "video formats not measured: a CTA block cannot be read"});
            return out;
        }
    scdc(m, out);

    const Claims claims = claimsOf(m);
    const TmdsLimit limit = tmdsLimit(m);
    std::vector<VicTiming> y420Formats; // a detailed timing of one of them has 4:2:0 too
    for (int vic : listedVics(m)) {
        const auto t = vicTiming(vic);
        if (!t) {
            out.push_back({FindingKind::Note,
                           "VIC " + std::to_string(vic) + ": its timing is not known to the check",
                           vic});
            continue;
        }
        const Measured f{vicName(vic), vic, t->pixelKhz / 1000.0, listingOf(m, vic)};
        if (f.listing.y420)
            y420Formats.push_back(*t);
        measure(f, claims, limit, out);
    }
    mapPastTheFormats(m, out);

    for (const Timing& t : timings) {
        const int hActive = t[2] | ((t[4] & 0xF0) << 4);
        const int clock10k = t[0] | (t[1] << 8);
        const bool y420 =
            std::any_of(y420Formats.begin(), y420Formats.end(), [&](const VicTiming& v) {
                return v.hActive == hActive && v.pixelKhz / 10 == clock10k;
            });
        measure({timingName(t), 0, clock10k / 100.0, {true, y420}}, claims, limit, out);
    }
    return out;
}
ReferenceCheck referenceCheck(std::span<const std::uint8_t> bytes) {
    ReferenceCheck r;
    const decode::ConformityCheck c = decode::runEdidDecodeCheck(bytes);
    r.available = c.available;
    r.ran = c.ran;
    r.output = c.output;
    const std::string findings = decode::conformityFindings(c.output);
    std::size_t start = 0;
    while (start < findings.size()) {
        std::size_t end = findings.find('\n', start);
        if (end == std::string::npos)
            end = findings.size();
        std::string line = findings.substr(start, end - start);
        const std::size_t first = line.find_first_not_of(' ');
        // Section and block headings end in ':'; the verdict is not a finding.
        if (first != std::string::npos && line.back() != ':' &&
            line.rfind("EDID conformity:", 0) != 0)
            r.findings.push_back(line.substr(first));
        start = end + 1;
    }
    return r;
}

} // namespace edid
