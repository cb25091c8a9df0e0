#pragma once

#include "edid/EdidModel.h"

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Edits by meaning on an EDID model. Each either changes the model and marks
// what it touched, or leaves it as it was and says why in `message`. One
// edit a command-line option: --name, --add-vic, --max-tmds, ...
namespace edid {

struct EditResult {
    bool ok = true;
    std::string message;
};

// Identity, read from the base block.
struct Identity {
    std::string manufacturer; // three letters
    int productCode = 0;
    std::uint32_t serial = 0;
    int week = 0, year = 0; // year in full, 1990 + byte 17
    std::string name, serialText;
};
Identity identityOf(const Model& m);

EditResult setManufacturer(Model& m, std::string_view letters); // "KVT"
EditResult setProductCode(Model& m, int code);                  // 0..65535
EditResult setSerialNumber(Model& m, std::uint32_t serial);
EditResult setManufactureDate(Model& m, int week, int year); // week 0..54 (255: model year)
EditResult setDisplayName(Model& m, std::string_view text);  // up to 13 characters
EditResult setSerialText(Model& m, std::string_view text);

// Video formats. Adding puts a code in the video data block; removing takes it
// out of every block that lists it and keeps the 4:2:0 map aligned.
std::vector<int> videoCodes(const Model& m); // the video data blocks' codes in order
EditResult addVics(Model& m, std::span<const int> vics);
EditResult removeVics(Model& m, std::span<const int> vics);
EditResult setNativeVic(Model& m, int vic); // 1..64, listed
// 4:2:0 for these codes: a map bit when listed in the video block, else an
// entry of the 4:2:0 video block.
EditResult addY420(Model& m, std::span<const int> vics);
// Takes the codes out of the video block and lists them as 4:2:0 only.
EditResult makeY420Only(Model& m, std::span<const int> vics);
// The first detailed timing of the base block becomes this code's timing.
EditResult setPreferredVic(Model& m, int vic);

// HDMI vendor block (created when missing).
EditResult setPhysicalAddress(Model& m, std::string_view dotted); // "1.0.0.0"
struct DeepColor {
    bool dc30 = false, dc36 = false, dc48 = false, y444 = false;
};
EditResult setDeepColor(Model& m, DeepColor dc);
// The vendor block's clock (at most 340) and the HDMI Forum block's rate
// (added above 340, zeroed at or below) agree. 25..600 MHz; above 340 it
// sets SCDC Present too.
EditResult setMaxTmds(Model& m, int mhz);
int maxTmdsMhz(const Model& m); // Forum rate, else vendor clock, else 165

// HDMI Forum block (created when missing). Off is refused above 340 MHz.
EditResult setScdc(Model& m, bool present);
bool scdcPresent(const Model& m);
EditResult setDeepColor420(Model& m, bool dc30, bool dc36, bool dc48);

// Colorimetry block byte 1 (low 8 bits) and byte 2 (high 8 bits).
EditResult setColorimetry(Model& m, std::uint16_t bits);
std::optional<std::uint16_t> parseColorimetry(std::string_view words); // "bt2020rgb,bt2020ycc"
std::string colorimetryWords();                                        // "xvycc601, xvycc709, ..."
EditResult setQuantization(Model& m, bool rgbSelectable, bool yccSelectable);

// HDR static metadata. EOTF bits: SDR 0x01, HDR gamma 0x02, PQ 0x04, HLG 0x08.
constexpr std::uint8_t kEotfSdr = 0x01, kEotfHdrGamma = 0x02, kEotfPq = 0x04, kEotfHlg = 0x08;
std::optional<std::uint8_t> parseEotfs(std::string_view words); // "sdr,pq,hlg"
std::string eotfWords();                                        // "sdr, hdrgamma, pq, hlg"
EditResult setHdrEotfs(Model& m, std::uint8_t eotfs);
enum class Luminance { Max, FrameAverage, Min };
// Nearest code of max = 50·2^(code/32); min = max·(code/255)²/100. A block
// added here gets SDR and PQ. The others need the maximum set first; the
// frame-average stays at or below it (a lower maximum takes it down too), the
// minimum at or below a hundredth of it. The message says the value stored when it is not the one
// asked for.
EditResult setLuminance(Model& m, Luminance which, double cdPerM2);
double largestLuminance();                                 // of code 255, 12525.7 cd/m²
std::uint8_t luminanceCode(double cdPerM2);                // max and frame-average
std::uint8_t minLuminanceCode(double cdPerM2, double max); // max as decoded from its code
double luminanceOf(std::uint8_t code);
double minLuminanceOf(std::uint8_t code, double max);

// Text forms of the options.
std::optional<std::vector<int>> parseVicList(std::string_view text); // "97,96"

// Internal helpers the other edit files share.
EditResult fail(std::string message);
DataBlock* findOrAdd(Model& m, BlockKind kind, std::string& why);
void markCta(Model& m, const DataBlock* block);
Extension* ctaOf(Model& m, const DataBlock* block); // the extension holding it
EditResult checkRoom(const Model& m);               // every CTA extension still fits
// Applies `change` to a copy and keeps it only when it worked and fits.
EditResult editCopy(Model& m, const std::function<EditResult(Model&)>& change);

} // namespace edid
