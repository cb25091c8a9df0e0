#pragma once

#include "edid/EdidEdits.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Short audio descriptors and the speaker allocation, by meaning.
namespace edid {

// CTA-861 audio format codes the options name.
constexpr int kAudioLpcm = 1, kAudioAc3 = 2, kAudioDts = 7, kAudioEac3 = 10, kAudioDtsHd = 11,
              kAudioMat = 12;

// Sample rate bits: 32, 44.1, 48, 88.2, 96, 176.4, 192 kHz from bit 0.
constexpr std::uint8_t kRates48 = 0x07, kRatesAll = 0x7F;

struct AudioFormat {
    int code = kAudioLpcm; // 1..14
    int channels = 2;      // 1..8
    std::uint8_t rates = kRates48;
    // LPCM: sizes (16/20/24 bit from bit 0); AC-3 to ATRAC: maximum bit rate
    // / 8 kb/s; others: the format's own flags (E-AC-3 and MAT bit 0: Atmos).
    std::uint8_t byte3 = 0x07;

    bool atmos() const { return (code == kAudioEac3 || code == kAudioMat) && (byte3 & 1); }
    friend bool operator==(const AudioFormat&, const AudioFormat&) = default;
};

// "lpcm:8", "lpcm:2:96khz:24bit", "ac3:6:640kbps", "eac3:8:atmos",
// "dts:6", "dtshd:8", "truehd:8:atmos". Channels default to 2 (LPCM) or 6
// (AC-3, DTS) or 8 (the others); rates and bit rates to common values.
std::optional<AudioFormat> parseAudioFormat(std::string_view text);
// Format names alone: "dts" -> 7, "truehd"/"mat" -> 12.
std::optional<int> parseAudioCodec(std::string_view name);
std::string audioCodecWords();                     // "lpcm, ac3, ..."
std::string audioFormatText(const AudioFormat& f); // "truehd:8:atmos" form, round-trips

std::array<std::uint8_t, 3> encodeSad(const AudioFormat& f);
AudioFormat decodeSad(const std::uint8_t* sad);

std::vector<AudioFormat> audioFormats(const Model& m);
// Adds a descriptor or replaces the one of the same format (LPCM: of the same
// channel count) and says so; turns on basic audio (LPCM 2 channels is then
// required and added).
EditResult addAudio(Model& m, const AudioFormat& f);
// Removes every descriptor of the format; no audio left clears basic audio.
EditResult removeAudio(Model& m, int code);

// Speaker allocation bits: byte 1 in bits 0-7, byte 2 in 8-15, byte 3 in 16-23.
// Words: FL/FR LFE FC BL/BR(RL/RR) BC FLC/FRC BLC/BRC FLW/FRW TpFL/TpFR TpC
// TpFC LS/RS LFE2 TpBC SiL/SiR TpSiL/TpSiR TpBL/TpBR BtFC BtFL/BtFR TpLS/TpRS.
std::optional<std::uint32_t> parseSpeakers(std::string_view words); // "FL/FR,LFE,FC"
std::string speakerWords();                                         // "fl/fr, lfe, ..."
std::uint32_t speakersOf(const Model& m);
EditResult setSpeakers(Model& m, std::uint32_t mask); // 0 removes the block

} // namespace edid
