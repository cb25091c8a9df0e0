// The checks, output by output: what reaches each display and why not.
#include "chain/DisplayCaps.h"
#include "chain/SignalChain.h"

#include "edid/EdidCheck.h"
#include "edid/EdidEdits.h"
#include "settings/SettingsMap.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace chain {

namespace {

constexpr int kTop = 0, kBot = 1;
// Past this pixel clock a format needs more than HDMI 1.4's 340 MHz unless
// sent as 4:2:0: 3840x2160 and 4096x2160 at 50 and 60 Hz.
constexpr double k4k60PixelMhz = 590.0;
constexpr double kHdmi14MaxMhz = edid::kHdmi14MaxMhz;
constexpr double kLuminanceStepsPerDoubling = 32.0;

// The colorimetry data block's bit a colorimetry needs; 0: none needed.
std::uint16_t colorimetryBit(Colorimetry c) {
    switch (c) {
    case Colorimetry::XvYcc601:
        return 0x0001;
    case Colorimetry::XvYcc709:
        return 0x0002;
    case Colorimetry::SYcc601:
        return 0x0004;
    case Colorimetry::OpYcc601:
        return 0x0008;
    case Colorimetry::OpRgb:
        return 0x0010;
    case Colorimetry::Bt2020cYcc:
        return 0x0020;
    case Colorimetry::Bt2020Ycc:
        return 0x0040;
    case Colorimetry::Bt2020Rgb:
        return 0x0080;
    default:
        return 0;
    }
}

std::string mhz(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g MHz", std::round(value * 100) / 100);
    return text;
}

int rank(Verdict v) {
    switch (v) {
    case Verdict::Fine:
        return 0;
    case Verdict::Unknown:
        return 1;
    case Verdict::Degraded:
        return 2;
    case Verdict::WontShow:
        return 3;
    case Verdict::NoDisplay:
        return 4;
    }
    return 0;
}

struct Settings {
    const ChainData& data;
    // The block holds `value` for this setting index.
    bool is(int index, int value) const {
        const int position = settings::blockPosition(index);
        return data.settingsKnown && position >= 0 &&
               data.settings[static_cast<std::size_t>(position)] == value;
    }
    int input() const {
        return data.settingsKnown ? data.settings[static_cast<std::size_t>(
                                        settings::blockPosition(settings::kActiveInput))]
                                  : 0;
    }
};

// What goes out on one output.
struct Signal {
    std::string name;
    double pixelMhz = 0; // 0: the program does not know it
    Encoding encoding = Encoding::Rgb;
    int bits = 8;
    bool converted420 = false; // TOP: the device's 4:2:0 output made it 4:2:0
};

Signal signalFor(const Input& in, int output, const Settings& s) {
    Signal sig;
    sig.name = in.formatName;
    if (const auto t = edid::vicTiming(in.vic))
        sig.pixelMhz = t->pixelKhz / 1000.0;
    sig.encoding = in.encoding;
    sig.bits = in.linkMode == 1 ? 10 : 8;
    if (output == kTop && s.is(settings::kOut420, 1) && sig.pixelMhz >= k4k60PixelMhz &&
        sig.encoding != Encoding::Ycc420) {
        sig.encoding = Encoding::Ycc420;
        sig.bits = 8;
        sig.converted420 = true;
    }
    return sig;
}

double tmds(double pixelMhz, Encoding e, int bits) {
    switch (e) {
    case Encoding::Ycc422:
        return edid::tmdsMhz(pixelMhz, edid::Encoding::Ycc422, bits);
    case Encoding::Ycc420:
        return edid::tmdsMhz(pixelMhz, edid::Encoding::Ycc420, bits);
    default:
        return edid::tmdsMhz(pixelMhz, edid::Encoding::Rgb444, bits);
    }
}

// One output's checks against its display.
class OutputCheck {
public:
    OutputCheck(const ChainData& data, int output, OutputReport& report, const DisplayCaps& caps)
        : data_(data), s_{data}, output_(output), r_(report), caps_(caps),
          sig_(signalFor(data.input, output, s_)), listing_(listingOf(caps, data.input.vic)) {}

    void formatChecks() {
        format();
        bandwidth();
        colour();
        colorimetry();
        hdr();
    }

private:
    void add(const char* check, Verdict v, std::string sentence, const char* setting = "",
             const char* value = "") {
        r_.findings.push_back({check, v, std::move(sentence), setting, value, ""});
    }
    // Advice for a setting only when the device is not known to hold that value already.
    bool worthSetting(int index, int value) const { return !s_.is(index, value); }
    const std::string& who() const { return caps_.name; }
    std::string notSeen() const {
        const int missing = caps_.blocksSaid - caps_.blocksSeen;
        return "; " + std::to_string(missing) + (missing == 1 ? " block" : " blocks") +
               " of its EDID after the first 256 bytes were not seen";
    }
    bool out420Helps() const {
        return output_ == kTop && !sig_.converted420 && sig_.encoding != Encoding::Ycc420 &&
               sig_.pixelMhz >= k4k60PixelMhz && listing_.y420 &&
               fits(tmds(sig_.pixelMhz, Encoding::Ycc420, 8)) && worthSetting(settings::kOut420, 1);
    }
    double limit() const { return caps_.limit.mhz; }
    bool fits(double rate) const { return edid::withinLimit(rate, caps_.limit); }

    void format() {
        if (sig_.name.empty()) {
            add("format", Verdict::Unknown,
                "The input's format code " + std::to_string(data_.input.statusCode) +
                    " is not in the program's table, so whether " + who() +
                    " takes it is not known.");
            return;
        }
        if (listing_.plain || (listing_.y420 && sig_.encoding == Encoding::Ycc420)) {
            add("format", Verdict::Fine, who() + " lists " + sig_.name + ".");
            return;
        }
        if (listing_.y420) {
            const std::string sentence = who() + " takes " + sig_.name + " only as YCbCr 4:2:0.";
            if (out420Helps())
                add("format", Verdict::WontShow, sentence, "out-420", "on");
            else
                add("format", Verdict::WontShow, sentence);
            return;
        }
        if (caps_.cut)
            add("format", Verdict::Unknown,
                sig_.name + " is not in the part of " + who() + "'s EDID the device handed over" +
                    notSeen() + ".");
        else
            add("format", Verdict::WontShow, who() + " does not list " + sig_.name + ".");
    }

    void bandwidth() {
        if (sig_.name.empty() || sig_.pixelMhz <= 0) {
            add("bandwidth", Verdict::Unknown,
                "The program does not know the pixel clock of " +
                    (sig_.name.empty() ? "the input's format" : sig_.name) +
                    ", so the TMDS rate it needs is not known.");
            return;
        }
        const double rate = tmds(sig_.pixelMhz, sig_.encoding, sig_.bits);
        const std::string takes = who() + " takes up to " + mhz(limit());
        if (data_.input.linkMode == 2 && !sig_.converted420 && rate <= kHdmi14MaxMhz) {
            // Above 340 MHz at a colour depth the status does not give.
            if (limit() <= kHdmi14MaxMhz)
                add("bandwidth", Verdict::WontShow,
                    "The link runs above " + mhz(kHdmi14MaxMhz) + " for " + sig_.name + " and " +
                        takes + ".");
            else if (limit() >= edid::kHdmi20MaxMhz)
                add("bandwidth", Verdict::Fine,
                    "The link runs above " + mhz(kHdmi14MaxMhz) + " for " + sig_.name + " and " +
                        takes + ".");
            else
                add("bandwidth", Verdict::Unknown,
                    "The link runs above " + mhz(kHdmi14MaxMhz) + " for " + sig_.name +
                        " at a colour depth the device does not report, and " + takes + ".");
            return;
        }
        const std::string needs = sig_.name + " in " + encodingName(sig_.encoding) + " at " +
                                  std::to_string(sig_.bits) + " bits needs " + mhz(rate);
        if (fits(rate)) {
            add("bandwidth", Verdict::Fine, needs + " and " + takes + ".");
            return;
        }
        if (caps_.cut && !caps_.maxTmdsSaid) {
            add("bandwidth", Verdict::Unknown,
                needs + " and " + who() + " gives no higher limit in what was seen" + notSeen() +
                    ".");
            return;
        }
        const std::string sentence =
            needs + ", more than the " + mhz(limit()) + " " + who() + " takes.";
        if (out420Helps())
            add("bandwidth", Verdict::WontShow, sentence, "out-420", "on");
        else
            add("bandwidth", Verdict::WontShow, sentence);
    }

    void colour() {
        const char* name = encodingName(sig_.encoding);
        switch (sig_.encoding) {
        case Encoding::Rgb:
            add("colour", Verdict::Fine, who() + " takes RGB, as every display does.");
            return;
        case Encoding::Ycc420:
            colour420();
            return;
        default:
            break;
        }
        const bool takes = sig_.encoding == Encoding::Ycc444 ? caps_.ycc444 : caps_.ycc422;
        if (takes) {
            add("colour", Verdict::Fine, who() + " takes " + name + ".");
        } else if (caps_.cut && !caps_.cta) {
            add("colour", Verdict::Unknown,
                who() + " declares no " + name + " in what was seen" + notSeen() + ".");
        } else {
            const std::string sentence =
                who() + " does not declare " + name + ", so its colours may be wrong.";
            if (worthSetting(settings::kYcbcr, 0))
                add("colour", Verdict::Degraded, sentence, "ycbcr", "off");
            else
                add("colour", Verdict::Degraded, sentence);
        }
    }

    void colour420() {
        if (sig_.name.empty()) {
            add("colour", Verdict::Unknown,
                "Whether " + who() + " takes the input's format as YCbCr 4:2:0 is not known.");
            return;
        }
        const std::string sent =
            sig_.converted420 ? "The device's 4:2:0 output sends " + sig_.name + " to TOP as "
                              : "The source sends " + sig_.name + " as ";
        if (listing_.y420) {
            add("colour", Verdict::Fine, sent + "YCbCr 4:2:0, which " + who() + " takes.");
            return;
        }
        if (caps_.cut) {
            add("colour", Verdict::Unknown,
                sent + "YCbCr 4:2:0, which " + who() + " does not list in what was seen" +
                    notSeen() + ".");
            return;
        }
        const std::string sentence = sent + "YCbCr 4:2:0, which " + who() + " does not take.";
        // Turning the conversion off helps only where the unconverted signal fits.
        const Encoding sent444 = data_.input.encoding;
        const int bits = data_.input.linkMode == 1 ? 10 : 8;
        if (sig_.converted420 && listing_.plain && fits(tmds(sig_.pixelMhz, sent444, bits)))
            add("colour", Verdict::WontShow, sentence, "out-420", "off");
        else
            add("colour", Verdict::WontShow, sentence);
    }

    // The device's 4:2:0 output sends YCbCr, and BT.2020 RGB as BT.2020 YCbCr.
    Colorimetry sentColorimetry() const {
        const Colorimetry c = data_.input.colorimetry;
        return sig_.converted420 && c == Colorimetry::Bt2020Rgb ? Colorimetry::Bt2020Ycc : c;
    }

    void colorimetry() {
        const Colorimetry c = sentColorimetry();
        const std::uint16_t bit = colorimetryBit(c);
        if (c == Colorimetry::Other) {
            add("colorimetry", Verdict::Unknown,
                "The source sends a reserved colorimetry code, which no display can list.");
            return;
        }
        if (bit == 0) {
            add("colorimetry", Verdict::Fine,
                c == Colorimetry::None
                    ? "The source gives no colorimetry, so " + who() + " uses its default."
                    : std::string(colorimetryName(c)) +
                          " needs no declaration: every display takes it.");
            return;
        }
        const std::string name = colorimetryName(c);
        if (colorimetryBits(caps_) & bit) {
            add("colorimetry", Verdict::Fine, who() + " lists " + name + " colorimetry.");
            return;
        }
        if (caps_.cut && !hasColorimetryBlock(caps_)) {
            add("colorimetry", Verdict::Unknown,
                who() + " lists no " + name + " colorimetry in what was seen" + notSeen() + ".");
            return;
        }
        const std::string sentence = who() + " does not list " + name +
                                     " colorimetry, so the colours are not shown as sent.";
        const bool bt2020 = c == Colorimetry::Bt2020Rgb || c == Colorimetry::Bt2020Ycc ||
                            c == Colorimetry::Bt2020cYcc;
        if (bt2020 && worthSetting(settings::kBt2020, 0))
            add("colorimetry", Verdict::Degraded, sentence, "bt2020", "off");
        else
            add("colorimetry", Verdict::Degraded, sentence);
    }

    static std::uint8_t eotfBit(Eotf e) {
        switch (e) {
        case Eotf::HdrGamma:
            return edid::kEotfHdrGamma;
        case Eotf::Pq:
            return edid::kEotfPq;
        case Eotf::Hlg:
            return edid::kEotfHlg;
        default:
            return 0;
        }
    }

    void hdr() {
        const Eotf e = data_.input.eotf;
        if (e == Eotf::None || e == Eotf::Sdr) {
            add("hdr", Verdict::Fine,
                std::string("The source sends SDR") +
                    (e == Eotf::None ? " (no HDR InfoFrame)" : "") +
                    ", which needs no declaration.");
            return;
        }
        const std::string name = eotfName(e);
        if (eotfBits(caps_) & eotfBit(e)) {
            add("hdr", Verdict::Fine, who() + " takes " + name + ".");
            luminance();
            return;
        }
        if (caps_.cut && !hasHdrBlock(caps_)) {
            add("hdr", Verdict::Unknown,
                who() + " lists no " + name + " in what was seen" + notSeen() + ".");
            return;
        }
        const std::string sentence =
            who() + " does not take " + name + ", so it shows the HDR picture as SDR.";
        if (worthSetting(settings::kHdr, 0))
            add("hdr", Verdict::Degraded, sentence, "hdr", "off");
        else
            add("hdr", Verdict::Degraded, sentence);
    }

    void luminance() {
        const int maxCll = data_.input.maxCll;
        const std::uint8_t code = maxLuminanceCode(caps_);
        if (maxCll <= 0)
            return; // the content gives no level: nothing to compare
        const std::string content =
            "The content reaches " + std::to_string(maxCll) + " cd/m² (MaxCLL)";
        if (code == 0) {
            add("luminance", Verdict::Unknown,
                content + " and " + who() +
                    "'s EDID gives no maximum light level, so whether it shows the highlights "
                    "is not known.");
            return;
        }
        const long shown = std::lround(edid::luminanceOf(code));
        // The code is the nearest of steps 2.2 % apart: a panel of 1000 cd/m²
        // says 993. Half a step above is still what it said.
        const double reach = edid::luminanceOf(code) * std::exp2(0.5 / kLuminanceStepsPerDoubling);
        if (maxCll > reach)
            add("luminance", Verdict::Degraded,
                content + " and " + who() + " shows at most " + std::to_string(shown) +
                    " cd/m², so it tone-maps or clips the highlights.");
        else if (maxCll > shown)
            add("luminance", Verdict::Fine,
                content + ", as much as " + who() + " shows (" + std::to_string(shown) +
                    " cd/m² is the nearest its EDID can say).");
        else
            add("luminance", Verdict::Fine,
                content + ", within the " + std::to_string(shown) + " cd/m² " + who() + " shows.");
    }

    const ChainData& data_;
    Settings s_;
    int output_;
    OutputReport& r_;
    const DisplayCaps& caps_;
    Signal sig_;
    Listing listing_;
};

char portLetter(int input, int output) {
    switch (input) {
    case 1:
        return 'A';
    case 2:
        return 'B';
    case 3:
        return output == kTop ? 'A' : 'B';
    case 4:
        return output == kTop ? 'B' : 'A';
    default:
        return 0;
    }
}

std::string inputWords(char port) {
    return port ? std::string("input ") + port : std::string("the input");
}

// Fills the output's name, link, port and whether the status speaks for it.
void placeOutputs(const ChainData& data, ChainReport& report) {
    const Settings s{data};
    const int input = s.input();
    // In matrix modes, and when the setting is not known, the status speaks
    // for TOP while TX A is active, else for BOT.
    const int described = data.input.txA ? kTop : kBot;
    for (int o : {kTop, kBot}) {
        OutputReport& r = report.outputs[o];
        r.name = o == kTop ? "TOP" : "BOT";
        r.link = o == kTop ? "TX A" : "TX B";
        r.active = o == kTop ? data.input.txA : data.input.txB;
        r.port = portLetter(input, o);
        r.described = (input == 1 || input == 2) || o == described;
        r.to420 = signalFor(data.input, o, s).converted420;
    }
}

std::string describeInput(const Input& in, char port) {
    std::string s = "The source on " + inputWords(port) + " sends " + in.formatName + " over " +
                    (in.hdmi ? "HDMI" : "DVI");
    if (in.linkMode == 2)
        s += " at 600 MHz";
    s += std::string(" in ") + encodingName(in.encoding);
    if (in.linkMode == 1)
        s += " at 10 bits";
    if (in.colorimetry != Colorimetry::None)
        s += std::string(" with ") + colorimetryName(in.colorimetry) + " colorimetry";
    s += std::string(", ") +
         (in.eotf == Eotf::None || in.eotf == Eotf::Sdr ? "SDR" : eotfName(in.eotf));
    if (in.maxCll > 0)
        s += ", MaxCLL " + std::to_string(in.maxCll) + " cd/m²";
    return s + ".";
}

bool noSignal(const Input& in) {
    return in.vic == 0;
}

void inputFindings(const ChainData& data, char port, ChainReport& report) {
    const Input& in = data.input;
    auto add = [&](Verdict v, std::string sentence) {
        report.inputFindings.push_back({"input", v, std::move(sentence), "", "", ""});
    };
    if (noSignal(in)) {
        add(Verdict::WontShow, "No signal comes in on " + inputWords(port) + ".");
        return;
    }
    if (in.formatName.empty()) {
        add(Verdict::Unknown, "The input's format code " + std::to_string(in.statusCode) +
                                  " is not in the program's table.");
        return;
    }
    add(Verdict::Fine, describeInput(in, port));
    if (!in.hdmi)
        add(Verdict::Fine, "A DVI source sends no audio and no InfoFrames, so the check "
                           "takes its picture as RGB and SDR.");
}

void displayFinding(const Display& d, const DisplayCaps& caps, OutputReport& r) {
    auto add = [&](const char* check, Verdict v, std::string sentence) {
        r.findings.push_back({check, v, std::move(sentence), "", "", ""});
    };
    switch (d.state) {
    case DisplayState::NoDisplay:
        add("display", Verdict::NoDisplay,
            "No display answers on " + r.name + ": the device found no EDID there.");
        return;
    case DisplayState::ReadFailed:
        add("display", Verdict::Unknown,
            "The device did not hand over the EDID of the display on " + r.name + ".");
        return;
    case DisplayState::NotRead:
        add("display", Verdict::Unknown,
            "The EDID of the display on " + r.name + " has not been read.");
        return;
    case DisplayState::Read:
        break;
    }
    if (!caps.ok) {
        add("edid", Verdict::Unknown,
            "What the display on " + r.name + " handed over is not an EDID: " + caps.error + ".");
        return;
    }
    std::string sentence = caps.name + " is connected to " + r.name;
    if (caps.cut) {
        const int missing = caps.blocksSaid - caps.blocksSeen;
        sentence += "; its EDID announces " + std::to_string(caps.blocksSaid) +
                    " extension blocks and the device hands over 256 bytes, so " +
                    std::to_string(missing) + (missing == 1 ? " block was" : " blocks were") +
                    " not seen";
    }
    add("display", Verdict::Fine, sentence + ".");
}

// Where one display takes what the other does not, a mixed EDID that keeps
// only what both take makes the source send that.
void adviseMinMixed(const ChainData& data, ChainReport& report) {
    const Settings s{data};
    const int input = s.input();
    if (!data.settingsKnown || (input != 1 && input != 2) || !s.is(settings::kEdidMode, 1) ||
        s.is(settings::kEdidAlgorithm, 0))
        return;
    for (int o : {kTop, kBot}) {
        const OutputReport& other = report.outputs[1 - o];
        for (Finding& f : report.outputs[o].findings) {
            if (!f.setting.empty() || f.check == "luminance" ||
                (f.verdict != Verdict::Degraded && f.verdict != Verdict::WontShow))
                continue;
            const auto same = std::find_if(other.findings.begin(), other.findings.end(),
                                           [&](const Finding& g) { return g.check == f.check; });
            if (same != other.findings.end() && same->verdict == Verdict::Fine &&
                (f.check == "format" || f.check == "bandwidth" || f.check == "colour" ||
                 f.check == "colorimetry" || f.check == "hdr")) {
                f.setting = "edid-algorithm";
                f.value = "min-mixed";
            }
        }
    }
}

// What the other output loses when a setting of the device's EDID, which
// both outputs share, is changed for this one; empty: nothing it takes now.
std::string costOn(const Finding& f, const Input& in, const OutputReport& other) {
    const auto fine = [&](const char* check) {
        return std::any_of(other.findings.begin(), other.findings.end(), [&](const Finding& g) {
            return g.check == check && g.verdict == Verdict::Fine;
        });
    };
    if (!other.active || other.display.empty())
        return {};
    const std::string whose = other.name + "'s " + other.display;
    const bool hdr = in.eotf != Eotf::None && in.eotf != Eotf::Sdr;
    const bool bt2020 = in.colorimetry == Colorimetry::Bt2020Rgb ||
                        in.colorimetry == Colorimetry::Bt2020Ycc ||
                        in.colorimetry == Colorimetry::Bt2020cYcc;
    if (f.setting == "hdr" && hdr && fine("hdr"))
        return "also takes HDR from " + whose;
    if (f.setting == "bt2020" && bt2020 && fine("colorimetry"))
        return "also takes BT.2020 colour from " + whose;
    if (f.setting == "ycbcr" && in.encoding != Encoding::Rgb && fine("colour"))
        return "also makes the source send RGB to " + whose;
    if (f.setting == "edid-algorithm" && fine(f.check.c_str()))
        return "also keeps " + whose + " to what both displays take";
    return {};
}

void adviceCosts(const ChainData& data, ChainReport& report) {
    for (int o : {kTop, kBot})
        for (Finding& f : report.outputs[o].findings)
            if (!f.setting.empty())
                f.also = costOn(f, data.input, report.outputs[1 - o]);
}

} // namespace

ChainReport checkChain(const ChainData& data) {
    ChainReport report;
    report.input = data.input;
    placeOutputs(data, report);
    const int described = data.input.txA ? kTop : kBot;
    inputFindings(data, report.outputs[described].port, report);

    for (int o : {kTop, kBot}) {
        OutputReport& r = report.outputs[o];
        const Display& d = data.displays[o];
        DisplayCaps caps;
        if (d.state == DisplayState::Read)
            caps = displayCaps(d.edid);
        if (caps.ok)
            r.display = caps.name;

        r.findings.push_back(
            {"output", r.active ? Verdict::Fine : Verdict::WontShow,
             r.active ? r.name + " is active (" + r.link + ")."
                      : r.name + " (" + r.link + ") is not active: the device sends nothing on it.",
             "", "", ""});
        displayFinding(d, caps, r);

        if (!r.described) {
            const OutputReport& other = report.outputs[described];
            r.findings.push_back(
                {"format", Verdict::Unknown,
                 data.settingsKnown
                     ? r.name + " is fed by " + inputWords(r.port) +
                           ", whose signal the device does not report: it reports only " +
                           inputWords(other.port) + ", the one on " + other.name + "."
                     : "The device's input setting was not read, so what feeds " + r.name +
                           " is not known.",
                 "", "", ""});
        } else if (noSignal(data.input)) {
            r.findings.push_back({"input", Verdict::WontShow,
                                  "No signal comes in on " + inputWords(r.port) + ", so " + r.name +
                                      " has nothing to show.",
                                  "", "", ""});
        } else if (caps.ok) {
            OutputCheck(data, o, r, caps).formatChecks();
        }

        r.verdict = Verdict::Fine;
        for (const Finding& f : r.findings)
            if (rank(f.verdict) > rank(r.verdict))
                r.verdict = f.verdict;
    }
    adviseMinMixed(data, report);
    adviceCosts(data, report);
    return report;
}

} // namespace chain
