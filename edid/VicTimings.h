#pragma once

#include <cstdint>
#include <optional>
#include <string>

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

// The codes the program knows by name: 1 to this.
constexpr int kLastNamedVic = 107;

// Why the timing cannot be stored in an 18-byte detailed timing (12-bit active
// and blanking, 10-bit horizontal and 6-bit vertical porch and sync, a clock
// in 10 kHz up to 655.35 MHz), as a sentence naming it; empty when it fits.
std::string dtdProblem(const VicTiming& t);

// "3840x2160p60" from the status table; empty past it.
const char* vicName(int vic);

} // namespace edid
