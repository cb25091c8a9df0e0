#include "edid/EdidOptions.h"

#include "edid/EdidAudio.h"

#include <algorithm>
#include <charconv>
#include <string>

namespace edid {
namespace {

bool integer(std::string_view s, long long& v) {
    int base = 10;
    if (s.starts_with("0x") || s.starts_with("0X")) {
        s.remove_prefix(2);
        base = 16;
    }
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v, base);
    return !s.empty() && r.ec == std::errc() && r.ptr == s.data() + s.size();
}

bool decimal(std::string_view s, double& v) {
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    return !s.empty() && r.ec == std::errc() && r.ptr == s.data() + s.size();
}

// Comma-separated words each of which must be one of `allowed`.
bool words(std::string_view s, std::initializer_list<std::string_view> allowed,
           std::vector<std::string_view>& out) {
    while (!s.empty()) {
        const std::size_t comma = s.find(',');
        const std::string_view w = s.substr(0, comma);
        if (std::find(allowed.begin(), allowed.end(), w) == allowed.end())
            return false;
        out.push_back(w);
        s = comma == std::string_view::npos ? std::string_view{} : s.substr(comma + 1);
    }
    return true;
}

bool has(const std::vector<std::string_view>& list, std::string_view w) {
    return std::find(list.begin(), list.end(), w) != list.end();
}

// `accepted` says what the option takes, to follow "give".
EditResult bad(std::string_view name, std::string_view value, const std::string& accepted) {
    return fail("--" + std::string(name) + ": cannot read \"" + std::string(value) + "\"; give " +
                accepted);
}

std::string oneOrMore(const std::string& words) {
    return "one or more of " + words + ", separated by commas";
}

EditResult setYcc(Model& m, bool y444, bool y422) {
    Extension* e = editableCta(m, true);
    if (!e)
        return fail("no CTA extension that can be edited");
    e->cta.flags = static_cast<std::uint8_t>((e->cta.flags & ~(kCtaYcc444 | kCtaYcc422)) |
                                             (y444 ? kCtaYcc444 : 0) | (y422 ? kCtaYcc422 : 0));
    e->dirty = true;
    return {};
}

} // namespace

Model blankEdid() {
    Model m;
    Block& b = m.base;
    const std::uint8_t start[] = {
        0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, // header
        0x2E, 0xD4, 0x00, 0x00, 0,    0,    0,    0,    1,    36,
        1,    3,    0x80, 160,  90,   120,  0x0E, // digital, 160x90 cm, gamma 2.2, sRGB
        0xEE, 0x91, 0xA3, 0x54, 0x4C, 0x99, 0x26, 0x0F, 0x50, 0x54, // sRGB
        0x20, 0x00, 0x00};                                          // 640x480p60
    std::copy(std::begin(start), std::end(start), b.begin());
    std::fill(b.begin() + 38, b.begin() + 54, 0x01); // no standard timings
    const std::uint8_t range[] = {0,  0,    0,    0xFD, 0,    23,   76,   15,   160,
                                  60, 0x00, 0x0A, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20};
    for (int d = 0; d < 4; ++d)
        b[static_cast<std::size_t>(54 + 18 * d + 3)] = 0x10; // unused
    std::copy(std::begin(range), std::end(range), b.begin() + 90);
    markEdited(m, 0);
    return m;
}

EditResult applyOption(Model& m, std::string_view name, std::string_view value) {
    long long n = 0;
    double x = 0;
    std::vector<std::string_view> w;
    if (name == "manufacturer")
        return setManufacturer(m, value);
    if (name == "product")
        return integer(value, n) ? setProductCode(m, static_cast<int>(n))
                                 : bad(name, value, "a number 0 to 65535, as 4660 or 0x1234");
    if (name == "serial")
        return integer(value, n) && n >= 0 && n <= 0xFFFFFFFFLL
                   ? setSerialNumber(m, static_cast<std::uint32_t>(n))
                   : bad(name, value, "a number 0 to 4294967295");
    if (name == "date") {
        const std::size_t slash = value.find('/');
        long long week = 0, year = 0;
        if (slash == std::string_view::npos || !integer(value.substr(0, slash), week) ||
            !integer(value.substr(slash + 1), year))
            return bad(name, value, "WEEK/YEAR, as 12/2026");
        return setManufactureDate(m, static_cast<int>(week), static_cast<int>(year));
    }
    if (name == "name")
        return setDisplayName(m, value);
    if (name == "serial-text")
        return setSerialText(m, value);
    if (name == "add-vic" || name == "remove-vic" || name == "y420" || name == "y420-only") {
        const auto vics = parseVicList(value);
        if (!vics)
            return bad(name, value, "codes 1 to 255 separated by commas, as 97,96");
        if (name == "add-vic")
            return addVics(m, *vics);
        if (name == "remove-vic")
            return removeVics(m, *vics);
        return name == "y420" ? addY420(m, *vics) : makeY420Only(m, *vics);
    }
    if (name == "native" || name == "preferred" || name == "max-tmds") {
        if (!integer(value, n) || n < 0 || n > 1000)
            return bad(name, value,
                       name == "max-tmds" ? "a clock in MHz, 25 to 600" : "a VIC, as 16");
        const int v = static_cast<int>(n);
        return name == "native"      ? setNativeVic(m, v)
               : name == "preferred" ? setPreferredVic(m, v)
                                     : setMaxTmds(m, v);
    }
    if (name == "physical-address")
        return setPhysicalAddress(m, value);
    if (name == "deep-color") {
        if (!words(value, {"30", "36", "48", "y444"}, w))
            return bad(name, value, oneOrMore("30, 36, 48, y444"));
        return setDeepColor(m, {has(w, "30"), has(w, "36"), has(w, "48"), has(w, "y444")});
    }
    if (name == "deep-color-420") {
        if (!words(value, {"30", "36", "48"}, w))
            return bad(name, value, oneOrMore("30, 36, 48"));
        return setDeepColor420(m, has(w, "30"), has(w, "36"), has(w, "48"));
    }
    if (name == "scdc") {
        if (value != "on" && value != "off")
            return bad(name, value, "on or off");
        return setScdc(m, value == "on");
    }
    if (name == "colorimetry") {
        const auto bits = parseColorimetry(value);
        return bits ? setColorimetry(m, *bits) : bad(name, value, oneOrMore(colorimetryWords()));
    }
    if (name == "quantization") {
        if (!words(value, {"rgb", "ycc"}, w))
            return bad(name, value, oneOrMore("rgb, ycc"));
        return setQuantization(m, has(w, "rgb"), has(w, "ycc"));
    }
    if (name == "ycc") {
        if (!words(value, {"444", "422"}, w))
            return bad(name, value, oneOrMore("444, 422"));
        return setYcc(m, has(w, "444"), has(w, "422"));
    }
    if (name == "hdr") {
        const auto eotfs = parseEotfs(value);
        return eotfs ? setHdrEotfs(m, *eotfs) : bad(name, value, oneOrMore(eotfWords()));
    }
    // The frame-average has its HDR name, max-fall, too.
    if (name == "max-luminance" || name == "avg-luminance" || name == "max-fall" ||
        name == "min-luminance") {
        if (!decimal(value, x))
            return bad(name, value, "a luminance in cd/m², as 1000");
        const Luminance which = name == "max-luminance"   ? Luminance::Max
                                : name == "min-luminance" ? Luminance::Min
                                                          : Luminance::FrameAverage;
        return setLuminance(m, which, x);
    }
    if (name == "audio-add") {
        const auto f = parseAudioFormat(value);
        return f ? addAudio(m, *f)
                 : bad(name, value,
                       "FORMAT[:CHANNELS][:atmos][:RATEkhz][:BITSbit][:KBPSkbps], as "
                       "truehd:8:atmos, with CHANNELS 1 to 8 and FORMAT one of " +
                           audioCodecWords());
    }
    if (name == "audio-remove") {
        const auto code = parseAudioCodec(value);
        return code ? removeAudio(m, *code) : bad(name, value, "one of " + audioCodecWords());
    }
    if (name == "speakers") {
        const auto mask = parseSpeakers(value);
        return mask ? setSpeakers(m, *mask) : bad(name, value, oneOrMore(speakerWords()));
    }
    return fail("unknown option --" + std::string(name));
}

} // namespace edid
