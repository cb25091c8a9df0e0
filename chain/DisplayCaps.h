#pragma once

#include "edid/EdidModel.h"
#include "edid/FormatNeeds.h"

#include <cstdint>
#include <string>
#include <vector>

// What a display says it takes, from the part of its EDID the device handed
// over. The check asks these; a cut EDID may say more in blocks not seen.
namespace chain {

struct DisplayCaps {
    bool ok = false;
    std::string error;  // why the bytes are not an EDID
    std::string name;   // its name descriptor, else maker and product code
    int blocksSaid = 0; // extension blocks the base block announces
    int blocksSeen = 0; // of those, handed over
    bool cut = false;   // blocksSaid > blocksSeen
    edid::Model model;
    bool cta = false; // a readable CTA-861 extension was seen
    bool ycc444 = false, ycc422 = false;
    edid::TmdsLimit limit; // as the EDID check measures against it
    bool maxTmdsSaid = false;
};

// Reads up to 256 bytes: the base block and as many extensions as it
// announces and were handed over.
DisplayCaps displayCaps(const std::vector<std::uint8_t>& edid);

// Where a display lists a video format: as the EDID check reads it.
using Listing = edid::Listing;
Listing listingOf(const DisplayCaps& caps, int vic);

// The colorimetry data block's bits (0 when there is none) and the HDR static
// metadata block's EOTF bits and maximum luminance code (0 when not given).
std::uint16_t colorimetryBits(const DisplayCaps& caps);
bool hasColorimetryBlock(const DisplayCaps& caps);
bool hasHdrBlock(const DisplayCaps& caps);
std::uint8_t eotfBits(const DisplayCaps& caps);
std::uint8_t maxLuminanceCode(const DisplayCaps& caps);

} // namespace chain
