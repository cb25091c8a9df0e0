// Colorimetry, video capability and HDR static metadata edits.
#include "edid/EdidEdits.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace edid {
namespace {

struct Word {
    const char* name;
    unsigned bit;
};

constexpr Word kColorimetry[] = {
    {"xvycc601", 0x0001},  {"xvycc709", 0x0002},  {"sycc601", 0x0004},
    {"opycc601", 0x0008},  {"oprgb", 0x0010},     {"bt2020cycc", 0x0020},
    {"bt2020ycc", 0x0040}, {"bt2020rgb", 0x0080}, {"dcip3", 0x8000},
};
constexpr Word kEotfs[] = {
    {"sdr", kEotfSdr}, {"hdrgamma", kEotfHdrGamma}, {"pq", kEotfPq}, {"hlg", kEotfHlg}};

template <std::size_t N>
std::optional<unsigned> parseWords(std::string_view text, const Word (&table)[N]) {
    unsigned bits = 0;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view word = text.substr(0, comma);
        const auto it = std::find_if(std::begin(table), std::end(table),
                                     [&](const Word& w) { return word == w.name; });
        if (it == std::end(table))
            return std::nullopt;
        bits |= it->bit;
        text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
    }
    return bits;
}

template <std::size_t N> std::string wordsOf(const Word (&table)[N]) {
    std::string out;
    for (const Word& w : table)
        out += (out.empty() ? "" : ", ") + std::string(w.name);
    return out;
}

constexpr double kLuminanceBase = 50.0;
constexpr std::uint8_t kTopCode = 255;

// As the messages show a luminance: 4 figures, tenths above 10000.
std::string shown(double cd) {
    char text[32];
    std::snprintf(text, sizeof text, cd >= 1e4 ? "%.1f" : "%.4g", cd);
    std::string s = text;
    if (s.ends_with(".0"))
        s.resize(s.size() - 2);
    return s;
}

double asShown(double cd) {
    return std::strtod(shown(cd).c_str(), nullptr);
}

const char* nameOf(Luminance which) {
    return which == Luminance::Max            ? "max luminance"
           : which == Luminance::FrameAverage ? "max frame-average luminance"
                                              : "min luminance";
}

// What the code of `which` decodes to, the maximum being `max`.
double storedAs(Luminance which, std::uint8_t code, double max) {
    return which == Luminance::Min ? minLuminanceOf(code, max) : luminanceOf(code);
}

// The HDR block with at least its EOTFs and descriptor types; one added here,
// or one too short to say, takes SDR and PQ with static metadata type 1.
DataBlock* hdrBlock(Model& m, std::string& why) {
    DataBlock* h = findOrAdd(m, BlockKind::HdrStatic, why);
    if (h && h->payload.size() < 3) {
        h->payload = {kExtHdrStatic, kEotfSdr | kEotfPq, 0x01};
    } else if (h && h->payload[1] == 0) {
        h->payload[1] = kEotfSdr | kEotfPq;
    }
    return h;
}

} // namespace

std::optional<std::uint16_t> parseColorimetry(std::string_view words) {
    const auto bits = parseWords(words, kColorimetry);
    if (!bits)
        return std::nullopt;
    return static_cast<std::uint16_t>(*bits);
}

std::string colorimetryWords() {
    return wordsOf(kColorimetry);
}

std::string eotfWords() {
    return wordsOf(kEotfs);
}

double largestLuminance() {
    return luminanceOf(kTopCode);
}

std::optional<std::uint8_t> parseEotfs(std::string_view words) {
    const auto bits = parseWords(words, kEotfs);
    if (!bits || *bits == 0)
        return std::nullopt;
    return static_cast<std::uint8_t>(*bits);
}

EditResult setColorimetry(Model& m, std::uint16_t bits) {
    Model n = m;
    std::string why;
    DataBlock* c = findOrAdd(n, BlockKind::Colorimetry, why);
    if (!c)
        return fail(why);
    c->payload.resize(3);
    c->payload[1] = static_cast<std::uint8_t>(bits & 0xFF);
    c->payload[2] = static_cast<std::uint8_t>(bits >> 8);
    markCta(n, c);
    if (EditResult room = checkRoom(n); !room.ok)
        return room;
    m = std::move(n);
    return {};
}

EditResult setQuantization(Model& m, bool rgbSelectable, bool yccSelectable) {
    Model n = m;
    std::string why;
    DataBlock* v = findOrAdd(n, BlockKind::VideoCapability, why);
    if (!v)
        return fail(why);
    v->payload.resize(std::max<std::size_t>(v->payload.size(), 2));
    v->payload[1] = static_cast<std::uint8_t>((v->payload[1] & 0x3F) | (yccSelectable ? 0x80 : 0) |
                                              (rgbSelectable ? 0x40 : 0));
    markCta(n, v);
    if (EditResult room = checkRoom(n); !room.ok)
        return room;
    m = std::move(n);
    return {};
}

EditResult setHdrEotfs(Model& m, std::uint8_t eotfs) {
    if (eotfs == 0 || eotfs > 0x3F)
        return fail("name at least one EOTF: sdr, hdrgamma, pq, hlg");
    Model n = m;
    std::string why;
    DataBlock* h = hdrBlock(n, why);
    if (!h)
        return fail(why);
    h->payload[1] = eotfs;
    markCta(n, h);
    if (EditResult room = checkRoom(n); !room.ok)
        return room;
    m = std::move(n);
    return {};
}

std::uint8_t luminanceCode(double cd) {
    if (!(cd > kLuminanceBase))
        return 0;
    return static_cast<std::uint8_t>(
        std::clamp(std::lround(32.0 * std::log2(cd / kLuminanceBase)), 0L, 255L));
}

double luminanceOf(std::uint8_t code) {
    return kLuminanceBase * std::exp2(code / 32.0);
}

std::uint8_t minLuminanceCode(double cd, double max) {
    if (!(cd > 0) || !(max > 0))
        return 0;
    return static_cast<std::uint8_t>(
        std::clamp(std::lround(255.0 * std::sqrt(cd * 100.0 / max)), 0L, 255L));
}

double minLuminanceOf(std::uint8_t code, double max) {
    const double r = code / 255.0;
    return max * r * r / 100.0;
}

EditResult setLuminance(Model& m, Luminance which, double cd) {
    const std::string what = nameOf(which);
    // Typed as shown, the top code's value is still taken.
    const double top = asShown(largestLuminance());
    if (!(cd >= 0))
        return fail("a luminance is 0 cd/m² or more");
    if (which != Luminance::Min && cd > top)
        return fail(what + " of " + shown(cd) + " cd/m² cannot be stored: the EDID holds at most " +
                    shown(top) + " cd/m²");
    Model n = m;
    std::string why;
    DataBlock* h = hdrBlock(n, why);
    if (!h)
        return fail(why);
    std::vector<std::uint8_t>& p = h->payload;
    if (which != Luminance::Max && p.size() < 4)
        return fail("set the maximum luminance first (--max-luminance)");
    const double max = p.size() < 4 ? 0 : luminanceOf(p[3]);
    std::uint8_t code = 0;
    std::string lowered;
    if (which == Luminance::Max) {
        code = luminanceCode(cd);
        // The frame-average never stands above the maximum: it comes down with it.
        if (p.size() > 4 && p[4] > code) {
            p[4] = code;
            lowered = "; the max frame-average luminance came down to it";
        }
        p.resize(std::max<std::size_t>(p.size(), 4));
        p[3] = code;
    } else if (which == Luminance::FrameAverage) {
        code = luminanceCode(cd);
        if (code > p[3])
            return fail("the max frame-average luminance cannot be above the max luminance of " +
                        shown(max) + " cd/m²");
        p.resize(std::max<std::size_t>(p.size(), 5));
        p[4] = code;
    } else {
        if (cd > asShown(max / 100))
            return fail("the min luminance can be at most a hundredth of the max luminance, " +
                        shown(max / 100) + " cd/m²");
        const std::uint8_t average = p.size() < 5 ? p[3] : p[4]; // defaults to the maximum
        p.resize(6, average);
        code = minLuminanceCode(cd, max);
        p[5] = code;
    }
    markCta(n, h);
    if (EditResult room = checkRoom(n); !room.ok)
        return room;
    m = std::move(n);
    const std::string stored = shown(storedAs(which, code, max));
    if (stored == shown(cd))
        return {true, lowered.empty() ? "" : what + " " + stored + " cd/m²" + lowered};
    return {true,
            what + " stored as " + stored + " cd/m², the nearest the EDID can hold" + lowered};
}

} // namespace edid
