#pragma once

#include "link/AppState.h"

#include <QJsonObject>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// Does what the source sends reach each display, and if not, why: the input
// as the status registers describe it, checked against the settings and the
// EDIDs of the displays on TOP and BOT. Pure: the reads are session's.
namespace chain {

// A finding's verdict, and an output's (the worst of its findings, or
// NoDisplay when nothing answers on it). From better to worse: Fine,
// Unknown, Degraded, WontShow, NoDisplay.
enum class Verdict { Fine, Degraded, WontShow, Unknown, NoDisplay };
// "fine", "degraded", "won't show", "unknown", "no display"
const char* verdictText(Verdict verdict);
// The same for JSON: "fine", "degraded", "wont-show", "unknown", "no-display"
const char* verdictKey(Verdict verdict);

enum class Encoding { Rgb, Ycc422, Ycc444, Ycc420 };
// The AVI InfoFrame's colorimetry. The extended ones need the display's
// colorimetry data block to list them; Other is a reserved code.
enum class Colorimetry {
    None,
    Bt601,
    Bt709,
    Bt2020Rgb,
    Bt2020Ycc,
    Other,
    XvYcc601,
    XvYcc709,
    SYcc601,
    OpYcc601,
    OpRgb,
    Bt2020cYcc,
};
enum class Eotf { None, Sdr, HdrGamma, Pq, Hlg };
// "YCbCr 4:4:4", "BT.2020 RGB", "SMPTE ST 2084": the names the sentences use.
const char* encodingName(Encoding encoding);
const char* colorimetryName(Colorimetry colorimetry);
const char* eotfName(Eotf eotf);

// What comes in, as the status registers report it.
struct Input {
    int vic = 0;            // 0: no signal (or a format without a code)
    int statusCode = 0;     // the format code as reported; vic differs for a 4K HDMI format
    std::string formatName; // "3840x2160p60"; empty when the table does not know the code
    bool hdmi = false;      // false: a DVI source, no audio and no InfoFrames
    int linkMode = 0;       // 0 normal, 1 4:2:0 10-bit at 300 MHz, 2 600 MHz
    bool txA = false;       // output TOP is active
    bool txB = false;       // output BOT is active
    Encoding encoding = Encoding::Rgb;
    Colorimetry colorimetry = Colorimetry::None;
    Eotf eotf = Eotf::None; // from the captured HDR InfoFrame; None: the source sends none
    int maxCll = 0;         // cd/m², 0: not given
    int maxFall = 0;
    std::string vendor;
    std::string product;
};

// From the 64-byte replies of registers 6 (input status), 21 (source
// product) and 30 (captured HDR InfoFrame). A 4K format signalled through
// the HDMI vendor block (no video code) is given its code. A DVI source
// sends no InfoFrames: its encoding, colorimetry and EOTF stay at RGB, None.
Input inputFromStatus(const std::uint8_t* inputReply, const std::uint8_t* productReply,
                      const std::uint8_t* hdrReply);

enum class DisplayState {
    Read,       // `edid` holds what the device handed over
    NoDisplay,  // the device answered, nothing is connected (no EDID header)
    ReadFailed, // the device did not answer or refused the read
    NotRead,    // not asked (the status-only refresh)
};

struct Display {
    DisplayState state = DisplayState::NotRead;
    std::vector<std::uint8_t> edid; // at most 256 bytes, as handed over
};

struct ChainData {
    Input input;
    bool settingsKnown = false;
    std::array<std::uint8_t, kSettingsBlockSize> settings{};
    Display displays[2]; // TOP, BOT
};

struct Finding {
    std::string check; // "format", "bandwidth", "colour", "colorimetry", "hdr",
                       // "luminance", "output", "display", "input", "edid"
    Verdict verdict = Verdict::Fine;
    std::string sentence; // one plain sentence
    std::string setting;  // a `korvanta set` name that addresses it; empty: none
    std::string value;    // the value to try
    std::string also;     // what else the setting changes: "also takes HDR from TOP's TV"
};

struct OutputReport {
    std::string name; // "TOP", "BOT"
    std::string link; // "TX A", "TX B"
    bool active = false;
    char port = 0;         // 'A' or 'B': the input that feeds it; 0: not known
    bool described = true; // false: fed by the input the status does not describe
    bool to420 = false;    // TOP: the device's 4:2:0 output converts what it sends
    std::string display;   // the display's name from its EDID; empty: none known
    Verdict verdict = Verdict::Fine;
    std::vector<Finding> findings;
};

struct ChainReport {
    Input input;
    std::vector<Finding> inputFindings; // no signal, DVI, unknown format
    OutputReport outputs[2];            // TOP, BOT
};

// Every check gives a finding, the fine ones too, so the report says what
// was checked.
ChainReport checkChain(const ChainData& data);

// Neither output is degraded, won't show or has no display. Unknown (a check
// the data cannot decide) does not count against it.
bool chainFine(const ChainReport& report);

// The report as `korvanta chain --json` and the service give it.
QJsonObject chainJson(const ChainReport& report);

// The report as lines of text, per output: its display and each finding with
// verdict, sentence and suggested setting.
std::vector<std::string> chainLines(const ChainReport& report);
// One line per output with its verdict, for `status --chain`.
std::vector<std::string> chainSummaryLines(const ChainReport& report);

} // namespace chain
