#include "edid/FormatNeeds.h"

#include "edid/EdidEdits.h"

#include <algorithm>
#include <cstdlib>

namespace edid {

namespace {

constexpr int kBaseTimings = 54;
constexpr int kBaseDescriptors = 4;
constexpr int kEstablishedTimings = 35;
constexpr std::uint8_t kEstablished640x480 = 0x20;
// Half the 10 kHz step a detailed timing's clock is stored in.
constexpr double kRateSlackMhz = 0.005;

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

TmdsLimit tmdsLimit(const Model& m) {
    TmdsLimit l;
    l.ownMhz = maxTmdsMhz(m);
    l.mhz = std::min<double>(l.ownMhz, kHdmi20MaxMhz);
    return l;
}

bool withinLimit(double needMhz, const TmdsLimit& limit) {
    return needMhz <= limit.mhz + kRateSlackMhz;
}

bool timingMatches(const Timing& t, const VicTiming& v) {
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

Listing listingOf(const Model& m, int vic) {
    Listing l;
    const auto timing = vicTiming(vic);
    for (const Extension& e : m.extensions) {
        if (!e.isCta)
            continue;
        const DataBlock* map = y420Map(e.cta);
        int position = 0;
        for (const DataBlock& db : e.cta.dataBlocks) {
            const BlockKind kind = kindOf(db);
            if (kind == BlockKind::Video) {
                for (std::uint8_t svd : db.payload) {
                    if (vicOf(svd) == vic) {
                        l.plain = true;
                        l.y420 = l.y420 || y420Mapped(map, position);
                    }
                    ++position;
                }
            } else if (kind == BlockKind::Y420Video) {
                for (std::size_t i = 1; i < db.payload.size(); ++i)
                    l.y420 = l.y420 || vicOf(db.payload[i]) == vic;
            }
        }
        if (timing)
            for (const Timing& t : e.cta.timings)
                l.plain = l.plain || timingMatches(t, *timing);
    }
    if (timing)
        for (int i = 0; i < kBaseDescriptors; ++i) {
            Timing t{};
            std::copy_n(m.base.begin() + kBaseTimings + i * kTimingSize, kTimingSize, t.begin());
            l.plain = l.plain || timingMatches(t, *timing);
        }
    if (vic == 1 && (m.base[kEstablishedTimings] & kEstablished640x480))
        l.plain = true;
    return l;
}

FormatFit formatFit(double pixelMhz, Listing listing, const TmdsLimit& limit) {
    FormatFit f;
    f.rgbMhz = tmdsMhz(pixelMhz, Encoding::Rgb444, 8);
    f.y420Mhz = tmdsMhz(pixelMhz, Encoding::Ycc420, 8);
    f.rgb = listing.plain && withinLimit(f.rgbMhz, limit);
    f.y420 = listing.y420 && withinLimit(f.y420Mhz, limit);
    return f;
}

} // namespace edid
