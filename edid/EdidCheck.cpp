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

struct Format {
    std::string name;
    double pixelMhz;
    bool rgb, y420;
};

// One format against the limit: a failure when no claimed encoding fits at
// 8 bit, else a note per deep-colour combination that does not.
void measure(const Format& f, const Claims& c, double limit, const std::string& limitText,
             std::vector<Finding>& out) {
    const bool rgbFits = f.rgb && tmdsMhz(f.pixelMhz, Encoding::Rgb444, 8) <= limit;
    const bool y420Fits = f.y420 && tmdsMhz(f.pixelMhz, Encoding::Ycc420, 8) <= limit;
    if (!rgbFits && !y420Fits) {
        std::string text = f.name + " needs ";
        if (f.rgb)
            text += mhzText(tmdsMhz(f.pixelMhz, Encoding::Rgb444, 8)) + " in RGB";
        if (f.y420)
            text += std::string(f.rgb ? " and " : "") +
                    mhzText(tmdsMhz(f.pixelMhz, Encoding::Ycc420, 8)) + " in 4:2:0";
        text += " and " + limitText + (f.y420 ? "" : ", with no 4:2:0 for it");
        out.push_back({FindingKind::Failure, text});
        return;
    }
    const std::string fallback =
        f.y420 ? "sources will use 8 bit or 4:2:0" : "sources will use 8 bit";
    if (f.rgb)
        for (int depth : c.rgbDepths) {
            const double need = tmdsMhz(f.pixelMhz, Encoding::Rgb444, depth);
            if (depth && need > limit)
                out.push_back({FindingKind::Note, f.name + " RGB " + std::to_string(depth) +
                                                      "-bit needs " + mhzText(need) + "; " +
                                                      fallback});
        }
    if (f.y420)
        for (int depth : c.y420Depths) {
            const double need = tmdsMhz(f.pixelMhz, Encoding::Ycc420, depth);
            if (depth && need > limit)
                out.push_back({FindingKind::Note, f.name + " 4:2:0 " + std::to_string(depth) +
                                                      "-bit needs " + mhzText(need) +
                                                      "; sources will use a lower depth"});
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
        for (std::size_t i = 0; i < kBlockSize; ++i)
            sum += bytes[b * kBlockSize + i];
        if (sum % 256 != 0)
            out.push_back(
                {FindingKind::Failure, "block " + std::to_string(b) + ": the checksum is wrong"});
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

} // namespace

double tmdsMhz(double pixelMhz, Encoding encoding, int bits) {
    switch (encoding) {
    case Encoding::Ycc422:
        return pixelMhz;
    case Encoding::Ycc420:
        return pixelMhz / 2 * bits / 8;
    case Encoding::Rgb444:
        break;
    }
    return pixelMhz * bits / 8;
}

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
    for (const Extension& e : m.extensions)
        if (!e.unreadable.empty()) {
            // Without its blocks the limit itself is unknown.
            out.push_back(
                {FindingKind::Note, "video formats not measured: a CTA block cannot be read"});
            return out;
        }

    const Claims claims = claimsOf(m);
    const int own = maxTmdsMhz(m);
    const double limit = std::min<double>(own, kHdmi20MaxMhz);
    const std::string limitText = own > kHdmi20MaxMhz ? "HDMI 2.0 carries " + mhzText(kHdmi20MaxMhz)
                                                      : "the EDID allows " + mhzText(own);

    std::vector<VicTiming> y420Formats; // a detailed timing of one of them has 4:2:0 too
    for (const Extension& e : m.extensions) {
        if (!e.isCta)
            continue;
        const DataBlock* map = y420Map(e.cta);
        int position = 0;
        for (const DataBlock& db : e.cta.dataBlocks) {
            const BlockKind kind = kindOf(db);
            if (kind != BlockKind::Video && kind != BlockKind::Y420Video)
                continue;
            for (std::size_t i = kind == BlockKind::Video ? 0 : 1; i < db.payload.size(); ++i) {
                const int vic = vicOf(db.payload[i]);
                bool inMap = false;
                if (kind == BlockKind::Video)
                    inMap = y420Mapped(map, position++);
                const auto t = vicTiming(vic);
                if (!t) {
                    out.push_back({FindingKind::Note, "VIC " + std::to_string(vic) +
                                                          ": its timing is not known to the "
                                                          "check"});
                    continue;
                }
                const Format f{vicName(vic), t->pixelKhz / 1000.0, kind == BlockKind::Video,
                               kind == BlockKind::Y420Video || inMap};
                if (f.y420)
                    y420Formats.push_back(*t);
                measure(f, claims, limit, limitText, out);
            }
        }
        if (map && map->payload.size() > 1)
            for (std::size_t bit = static_cast<std::size_t>(position);
                 bit < (map->payload.size() - 1) * 8; ++bit)
                if ((map->payload[1 + bit / 8] >> (bit % 8)) & 1)
                    out.push_back({FindingKind::Note, "4:2:0 map entry " + std::to_string(bit) +
                                                          " has no video format at that position"});
    }

    std::vector<Timing> timings;
    for (int i = 0; i < 4; ++i) {
        Timing t{};
        std::copy_n(m.base.begin() + 54 + i * kTimingSize, kTimingSize, t.begin());
        if (t[0] || t[1])
            timings.push_back(t);
    }
    for (const Extension& e : m.extensions)
        if (e.isCta)
            timings.insert(timings.end(), e.cta.timings.begin(), e.cta.timings.end());
    for (const Timing& t : timings) {
        const int hActive = t[2] | ((t[4] & 0xF0) << 4);
        const int clock10k = t[0] | (t[1] << 8);
        const bool y420 =
            std::any_of(y420Formats.begin(), y420Formats.end(), [&](const VicTiming& v) {
                return v.hActive == hActive && v.pixelKhz / 10 == clock10k;
            });
        measure({timingName(t), clock10k / 100.0, true, y420}, claims, limit, limitText, out);
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
