#pragma once

#include <cstdint>
#include <optional>

// Timings of the CTA-861 video formats the editor can write as detailed
// timings and the check can measure. The status table names the codes but
// carries no timings, so the common ones are kept here.
namespace edid {

struct VicTiming {
    int vic;
    int pixelKhz; // pixel clock of the format as sent (repeated pixels counted)
    int hActive, hFront, hSync, hBack;
    int vActive, vFront, vSync, vBack; // per field when interlaced
    bool interlaced, positiveSync;
    int aspectW, aspectH;
};

std::optional<VicTiming> vicTiming(int vic);

// "3840x2160p60" from the status table; empty past it.
const char* vicName(int vic);

} // namespace edid
