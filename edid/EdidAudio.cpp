#include "edid/EdidAudio.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace edid {
namespace {

struct Name {
    const char* word;
    int code;
};
constexpr Name kCodecs[] = {{"lpcm", 1},   {"ac3", 2},   {"mpeg1", 3},  {"mp3", 4},
                            {"mpeg2", 5},  {"aac", 6},   {"dts", 7},    {"atrac", 8},
                            {"onebit", 9}, {"eac3", 10}, {"dtshd", 11}, {"truehd", 12},
                            {"mat", 12},   {"dst", 13},  {"wmapro", 14}};
constexpr int kLastBitRateCode = 8;
constexpr int kKbpsUnit = 8;
constexpr double kRateKhz[] = {32, 44.1, 48, 88.2, 96, 176.4, 192};

struct Speaker {
    const char* word;
    std::uint32_t bit;
};
constexpr Speaker kSpeakers[] = {
    {"fl/fr", 1u << 0},     {"lfe", 1u << 1},          {"lfe1", 1u << 1},
    {"fc", 1u << 2},        {"bl/br", 1u << 3},        {"rl/rr", 1u << 3},
    {"bc", 1u << 4},        {"rc", 1u << 4},           {"flc/frc", 1u << 5},
    {"blc/brc", 1u << 6},   {"rlc/rrc", 1u << 6},      {"flw/frw", 1u << 7},
    {"tpfl/tpfr", 1u << 8}, {"tpc", 1u << 9},          {"tpfc", 1u << 10},
    {"ls/rs", 1u << 11},    {"lfe2", 1u << 12},        {"tpbc", 1u << 13},
    {"sil/sir", 1u << 14},  {"tpsil/tpsir", 1u << 15}, {"tpbl/tpbr", 1u << 16},
    {"btfc", 1u << 17},     {"btfl/btfr", 1u << 18},   {"tpls/tprs", 1u << 19},
};

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool number(std::string_view s, int& v) {
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

bool endsWith(std::string_view s, std::string_view tail) {
    return s.size() > tail.size() && s.substr(s.size() - tail.size()) == tail;
}

AudioFormat defaults(int code) {
    AudioFormat f;
    f.code = code;
    f.channels = code == kAudioLpcm ? 2 : (code == kAudioAc3 || code == kAudioDts) ? 6 : 8;
    f.rates = (code == kAudioDtsHd || code == kAudioMat) ? kRatesAll : kRates48;
    f.byte3 = 0;
    if (code == kAudioLpcm)
        f.byte3 = 0x07;
    else if (code == kAudioAc3)
        f.byte3 = 640 / kKbpsUnit;
    else if (code == kAudioDts)
        f.byte3 = 1536 / kKbpsUnit;
    return f;
}

} // namespace

std::string audioCodecWords() {
    std::string out;
    for (const Name& n : kCodecs)
        out += (out.empty() ? "" : ", ") + std::string(n.word);
    return out;
}

std::string speakerWords() {
    std::string out;
    for (const Speaker& s : kSpeakers)
        out += (out.empty() ? "" : ", ") + std::string(s.word);
    return out;
}

std::optional<int> parseAudioCodec(std::string_view name) {
    const std::string w = lower(name);
    for (const Name& n : kCodecs)
        if (w == n.word)
            return n.code;
    return std::nullopt;
}

std::optional<AudioFormat> parseAudioFormat(std::string_view text) {
    std::vector<std::string> parts;
    std::string t = lower(text);
    for (std::size_t start = 0;;) {
        const std::size_t colon = t.find(':', start);
        parts.push_back(t.substr(start, colon - start));
        if (colon == std::string::npos)
            break;
        start = colon + 1;
    }
    const std::optional<int> code = parseAudioCodec(parts[0]);
    if (!code)
        return std::nullopt;
    AudioFormat f = defaults(*code);
    for (std::size_t i = 1; i < parts.size(); ++i) {
        const std::string& p = parts[i];
        int v = 0;
        if (i == 1 && number(p, v) && v >= 1 && v <= 8) {
            f.channels = v;
        } else if (p == "atmos" && (f.code == kAudioEac3 || f.code == kAudioMat)) {
            f.byte3 |= 1;
        } else if (endsWith(p, "khz")) {
            const std::string_view num = std::string_view(p).substr(0, p.size() - 3);
            f.rates = 0;
            for (int k = 0; k < 7; ++k)
                if (std::string_view(std::to_string(static_cast<int>(kRateKhz[k]))) == num ||
                    (num == "44.1" && k == 1) || (num == "88.2" && k == 3) ||
                    (num == "176.4" && k == 5))
                    f.rates = static_cast<std::uint8_t>((2u << k) - 1); // all rates up to it
            if (f.rates == 0)
                return std::nullopt;
        } else if (endsWith(p, "bit") && f.code == kAudioLpcm &&
                   number(std::string_view(p).substr(0, p.size() - 3), v) &&
                   (v == 16 || v == 20 || v == 24)) {
            f.byte3 = v == 16 ? 0x01 : v == 20 ? 0x03 : 0x07;
        } else if (endsWith(p, "kbps") && f.code >= kAudioAc3 && f.code <= kLastBitRateCode &&
                   number(std::string_view(p).substr(0, p.size() - 4), v) && v >= 8 &&
                   v <= 255 * kKbpsUnit) {
            f.byte3 = static_cast<std::uint8_t>(v / kKbpsUnit);
        } else {
            return std::nullopt;
        }
    }
    return f;
}

std::string audioFormatText(const AudioFormat& f) {
    std::string name = "format" + std::to_string(f.code);
    for (const Name& n : kCodecs)
        if (n.code == f.code) {
            name = n.word;
            break;
        }
    std::string s = name + ":" + std::to_string(f.channels);
    if (f.atmos())
        s += ":atmos";
    return s;
}

std::array<std::uint8_t, 3> encodeSad(const AudioFormat& f) {
    return {static_cast<std::uint8_t>(((f.code & 0x0F) << 3) | ((f.channels - 1) & 0x07)),
            static_cast<std::uint8_t>(f.rates & 0x7F), f.byte3};
}

AudioFormat decodeSad(const std::uint8_t* sad) {
    return {(sad[0] >> 3) & 0x0F, (sad[0] & 0x07) + 1, static_cast<std::uint8_t>(sad[1] & 0x7F),
            sad[2]};
}

std::vector<AudioFormat> audioFormats(const Model& m) {
    std::vector<AudioFormat> out;
    for (const DataBlock* db : blocksOf(m, BlockKind::Audio))
        for (std::size_t i = 0; i + 3 <= db->payload.size(); i += 3)
            out.push_back(decodeSad(&db->payload[i]));
    return out;
}

EditResult addAudio(Model& m, const AudioFormat& f) {
    if (f.code < 1 || f.code > 14 || f.channels < 1 || f.channels > 8 || f.rates == 0)
        return fail("not an audio format a descriptor can carry");
    Model n = m;
    std::string why;
    DataBlock* a = findOrAdd(n, BlockKind::Audio, why);
    if (!a)
        return fail(why);
    // Basic audio promises 2-channel LPCM; keep that promise true.
    if (f.code != kAudioLpcm && audioFormats(n).empty()) {
        const auto lpcm = encodeSad(defaults(kAudioLpcm));
        a->payload.insert(a->payload.end(), lpcm.begin(), lpcm.end());
    }
    // One entry a format; LPCM keeps one a channel count, 2 channels being basic audio.
    const auto same = [&](const AudioFormat& old) {
        return old.code == f.code && (f.code != kAudioLpcm || old.channels == f.channels);
    };
    const auto sad = encodeSad(f);
    std::string replaced;
    for (DataBlock* db : blocksOf(n, BlockKind::Audio)) {
        std::vector<std::uint8_t> kept;
        for (std::size_t i = 0; i + 3 <= db->payload.size(); i += 3) {
            const std::uint8_t* old = &db->payload[i];
            if (!same(decodeSad(old))) {
                kept.insert(kept.end(), old, old + 3);
            } else if (replaced.empty()) {
                replaced = audioFormatText(decodeSad(old));
                kept.insert(kept.end(), sad.begin(), sad.end());
            }
        }
        if (kept != db->payload) {
            db->payload = std::move(kept);
            markCta(n, db);
        }
    }
    if (replaced.empty()) {
        if (a->payload.size() + 3 > 31)
            return fail("the audio data block is full");
        a->payload.insert(a->payload.end(), sad.begin(), sad.end());
    }
    ctaOf(n, a)->cta.flags |= kCtaBasicAudio;
    markCta(n, a);
    if (EditResult room = checkRoom(n); !room.ok)
        return room;
    m = std::move(n);
    if (replaced.empty())
        return {};
    return {true, "the " + replaced + " entry replaced by " + audioFormatText(f)};
}

EditResult removeAudio(Model& m, int code) {
    Model n = m;
    for (std::size_t e = 0; e < n.extensions.size(); ++e) {
        Extension& ext = n.extensions[e];
        if (!ext.isCta)
            continue;
        bool changed = false;
        for (DataBlock& db : ext.cta.dataBlocks) {
            if (kindOf(db) != BlockKind::Audio)
                continue;
            std::vector<std::uint8_t> kept;
            for (std::size_t i = 0; i + 3 <= db.payload.size(); i += 3)
                if (decodeSad(&db.payload[i]).code != code)
                    kept.insert(kept.end(), db.payload.begin() + static_cast<std::ptrdiff_t>(i),
                                db.payload.begin() + static_cast<std::ptrdiff_t>(i) + 3);
            changed = changed || kept != db.payload;
            db.payload = std::move(kept);
        }
        if (!changed)
            continue;
        std::erase_if(ext.cta.dataBlocks, [](const DataBlock& db) {
            return kindOf(db) == BlockKind::Audio && db.payload.empty();
        });
        markEdited(n, static_cast<int>(e + 1));
    }
    if (audioFormats(n).empty())
        for (std::size_t e = 0; e < n.extensions.size(); ++e)
            if (n.extensions[e].isCta && (n.extensions[e].cta.flags & kCtaBasicAudio)) {
                n.extensions[e].cta.flags &= static_cast<std::uint8_t>(~kCtaBasicAudio);
                markEdited(n, static_cast<int>(e + 1));
            }
    markEdited(n, 0); // even with nothing to remove, the result is written whole
    m = std::move(n);
    return {};
}

std::optional<std::uint32_t> parseSpeakers(std::string_view words) {
    std::uint32_t mask = 0;
    const std::string t = lower(words);
    for (std::size_t start = 0; start <= t.size();) {
        const std::size_t comma = t.find(',', start);
        const std::string w = t.substr(start, comma - start);
        const auto it = std::find_if(std::begin(kSpeakers), std::end(kSpeakers),
                                     [&](const Speaker& s) { return w == s.word; });
        if (it == std::end(kSpeakers))
            return std::nullopt;
        mask |= it->bit;
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return mask;
}

std::uint32_t speakersOf(const Model& m) {
    for (const DataBlock* db : blocksOf(m, BlockKind::SpeakerAllocation))
        if (db->payload.size() >= 3)
            return db->payload[0] | (db->payload[1] << 8) | (db->payload[2] << 16);
    return 0;
}

EditResult setSpeakers(Model& m, std::uint32_t mask) {
    if (mask > 0xFFFFFF)
        return fail("unknown speaker bits");
    Model n = m;
    std::string why;
    if (mask == 0) {
        for (std::size_t e = 0; e < n.extensions.size(); ++e)
            if (n.extensions[e].isCta &&
                std::erase_if(n.extensions[e].cta.dataBlocks, [](const DataBlock& db) {
                    return kindOf(db) == BlockKind::SpeakerAllocation;
                }) > 0)
                markEdited(n, static_cast<int>(e + 1));
        markEdited(n, 0);
        m = std::move(n);
        return {};
    }
    DataBlock* s = findOrAdd(n, BlockKind::SpeakerAllocation, why);
    if (!s)
        return fail(why);
    s->payload.resize(3);
    for (int i = 0; i < 3; ++i)
        s->payload[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(mask >> (8 * i));
    markCta(n, s);
    if (EditResult room = checkRoom(n); !room.ok)
        return room;
    m = std::move(n);
    return {};
}

} // namespace edid
