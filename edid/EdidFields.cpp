#include "edid/EdidFields.h"

#include <cmath>

namespace edid {
namespace {

constexpr int kHdmiMinimum = 5; // OUI and physical address
constexpr int kForumMinimum = 7;
constexpr int kTmdsUnitMhz = 5;
constexpr double kLuminanceBase = 50.0; // cd/m² at code 0; doubles every 32 codes

// Reads the fields after the byte of flags at payload[7]; stops, noting
// where, when the block ends before a field it announces.
void readHdmiExtras(const std::vector<std::uint8_t>& p, HdmiVendorFields& f) {
    const int size = static_cast<int>(p.size());
    int i = 8;
    const auto fits = [&](int n) {
        if (i + n <= size)
            return true;
        f.cutAt = i;
        return false;
    };
    const auto at = [&](int k) { return static_cast<int>(p[static_cast<std::size_t>(k)]); };
    if (f.latencyPresent) {
        if (!fits(2))
            return;
        f.videoLatency = at(i);
        f.audioLatency = at(i + 1);
        i += 2;
    }
    if (f.interlacedLatencyPresent) {
        if (!fits(2))
            return;
        f.interlacedVideoLatency = at(i);
        f.interlacedAudioLatency = at(i + 1);
        i += 2;
    }
    if (!f.videoPresent || !fits(2))
        return;
    f.hasVideoFields = true;
    f.threeD = at(i) & 0x80;
    f.threeDMulti = (at(i) >> 5) & 3;
    f.imageSize = (at(i) >> 3) & 3;
    const int vicLength = at(i + 1) >> 5, threeDLength = at(i + 1) & 0x1F;
    i += 2;
    for (int k = 0; k < vicLength; ++k, ++i) {
        if (!fits(1))
            return;
        f.hdmiVics.push_back(at(i));
    }
    const int end = i + threeDLength;
    if (end > size)
        f.cutAt = size;
    const auto word = [&](std::uint16_t& out) {
        if (i + 2 > std::min(end, size))
            return false;
        out = static_cast<std::uint16_t>((at(i) << 8) | at(i + 1));
        i += 2;
        return true;
    };
    if (f.threeDMulti == 1 || f.threeDMulti == 2)
        f.hasStructureAll = word(f.structureAll);
    if (f.threeDMulti == 2)
        f.hasMask = word(f.mask);
    while (i < std::min(end, size)) {
        Hdmi3dFormat t{at(i) >> 4, at(i) & 0x0F, -1};
        ++i;
        if (t.structure >= 8) { // side-by-side (half) and up carry a byte of detail
            if (i >= std::min(end, size))
                break;
            t.detail = at(i) >> 4;
            ++i;
        }
        f.threeDFormats.push_back(t);
    }
}

} // namespace

HdmiVendorFields readHdmiVendor(const DataBlock& b) {
    HdmiVendorFields f;
    const std::vector<std::uint8_t>& p = b.payload;
    if (p.size() < kHdmiMinimum)
        return f;
    f.ok = true;
    f.addressHigh = p[3];
    f.addressLow = p[4];
    if (p.size() > 5) {
        f.hasFlags = true;
        f.flags = p[5];
    }
    if (p.size() > 6)
        f.maxTmdsMhz = p[6] * kTmdsUnitMhz;
    if (p.size() > 7) {
        f.hasCapabilities = true;
        f.latencyPresent = p[7] & 0x80;
        f.interlacedLatencyPresent = p[7] & 0x40;
        f.videoPresent = p[7] & 0x20;
        f.contentTypes = p[7] & 0x0F;
        readHdmiExtras(p, f);
    }
    return f;
}

int latencyMs(int code) {
    return code <= 0 || code == 255 ? -1 : 2 * (code - 1);
}

HdmiForumFields readHdmiForum(const DataBlock& b) {
    HdmiForumFields f;
    const std::vector<std::uint8_t>& p = b.payload;
    // Both blocks carry three bytes before the version: the OUI, or the
    // extended tag and two reserved bytes.
    if (p.size() < kForumMinimum)
        return f;
    f.ok = true;
    f.version = p[3];
    f.maxTmdsRateMhz = p[4] * kTmdsUnitMhz;
    f.flags = p[5];
    f.deepColour420 = p[6] & 0x07;
    f.maxFrlRate = p[6] >> 4;
    return f;
}

HdrStaticFields readHdrStatic(const DataBlock& b) {
    HdrStaticFields f;
    const std::vector<std::uint8_t>& p = b.payload; // p[0] is the extended tag
    if (p.size() < 3)
        return f;
    f.ok = true;
    f.eotfs = p[1] & 0x3F;
    f.metadataTypes = p[2];
    if (p.size() > 3)
        f.maxLuminanceCode = p[3];
    if (p.size() > 4)
        f.maxFrameAverageCode = p[4];
    if (p.size() > 5)
        f.minLuminanceCode = p[5];
    return f;
}

double luminanceOf(int code) {
    return kLuminanceBase * std::pow(2.0, code / 32.0);
}

double minLuminanceOf(double maxLuminance, int code) {
    const double ratio = code / 255.0;
    return maxLuminance * ratio * ratio / 100.0;
}

ColorimetryFields readColorimetry(const DataBlock& b) {
    ColorimetryFields f;
    if (b.payload.size() < 3)
        return f;
    f.ok = true;
    f.colorimetry = b.payload[1];
    f.extra = b.payload[2];
    return f;
}

} // namespace edid
