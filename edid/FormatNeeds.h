#pragma once

#include "edid/EdidModel.h"
#include "edid/VicTimings.h"

// What a video format needs on the link and whether a display's EDID lets it
// through. The EDID check and the signal chain both decide from these, so
// the two never disagree about a format.
namespace edid {

constexpr double kHdmi14MaxMhz = 340.0;
constexpr double kHdmi20MaxMhz = 600.0;

enum class Encoding { Rgb444, Ycc422, Ycc420 };

// TMDS character rate in MHz: RGB and 4:4:4 scale with depth; 4:2:2 always
// runs at the 8-bit rate; 4:2:0 carries half the pixels, scaled by depth.
double tmdsMhz(double pixelMhz, Encoding encoding, int bitsPerComponent);

// The most a display takes: its own maximum (HDMI Forum rate, else HDMI
// vendor clock, else 165 MHz), never more than HDMI 2.0 carries.
struct TmdsLimit {
    int ownMhz = 165;
    double mhz = 165;
};
TmdsLimit tmdsLimit(const Model& m);

// A rate within the limit; detailed timings' 10 kHz rounding is no excess.
bool withinLimit(double needMhz, const TmdsLimit& limit);

// Where a display lists a video format.
struct Listing {
    bool plain = false; // video data block, a detailed timing, or 640x480 established
    bool y420 = false;  // 4:2:0 video data block, or a 4:2:0 map bit
};
Listing listingOf(const Model& m, int vic);

// A detailed timing that is this format's (59.94 Hz and 60 Hz alike).
bool timingMatches(const Timing& t, const VicTiming& v);

// One format on one display at 8 bits, the depth every source can fall
// back to: what RGB and 4:2:0 need, and whether each is listed and fits.
struct FormatFit {
    double rgbMhz = 0, y420Mhz = 0;
    bool rgb = false, y420 = false;
    bool reaches() const { return rgb || y420; }
};
FormatFit formatFit(double pixelMhz, Listing listing, const TmdsLimit& limit);

} // namespace edid
