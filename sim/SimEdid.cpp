// EDIDs the simulated device serves: its own and those of the two displays.
#include "sim/SimulatedDevice.h"

#include <cstring>
#include <initializer_list>

namespace {

// Bytes 0-11 of a detailed timing: clock, active and blanking sizes, sync.
using TimingCore = std::initializer_list<std::uint8_t>;
constexpr TimingCore k1080p60 = {0x02, 0x3A, 0x80, 0x18, 0x71, 0x38,
                                 0x2D, 0x40, 0x58, 0x2C, 0x45, 0x00};
constexpr TimingCore k720p60 = {0x01, 0x1D, 0x00, 0x72, 0x51, 0xD0,
                                0x1E, 0x20, 0x6E, 0x28, 0x55, 0x00};

// Video formats a 4:2:0 capable sink takes as 4:2:0 only above 340 MHz:
// 3840x2160p50/60 and 4096x2160p50/60.
constexpr std::uint8_t kVics420[] = {96, 97, 101, 102};

constexpr int kDescriptorSize = 18;
constexpr std::uint8_t kFeaturesSrgbPreferredNative = 0x0E; // RGB + YCbCr, sRGB, preferred
// Underscan, basic audio, YCbCr 4:4:4 and 4:2:2; the first detailed timing is native.
constexpr std::uint8_t kCtaFlags = 0xF1;

struct EdidProfile {
    char maker[4];
    std::uint16_t productCode;
    std::uint32_t serial;   // 0 when the serial descriptor carries it
    const char* name;       // up to 13 characters
    const char* serialText; // up to 13 characters; none: a 1280x720 timing instead
    std::uint8_t widthCm, heightCm;
    std::uint8_t maxTmdsDiv5; // 0: no HDMI Forum block
    bool hdr;
    std::initializer_list<std::uint8_t> hdrLuminance; // max, max frame-average, min; or none
    std::uint8_t videoCapability;                     // quantization selectable, overscan behaviour
    std::initializer_list<std::uint8_t> vics;
    std::initializer_list<std::uint8_t> audio; // 3-byte short audio descriptors
};

void put(EdidImage& e, int at, std::initializer_list<std::uint8_t> bytes) {
    for (std::uint8_t b : bytes)
        e[static_cast<std::size_t>(at++)] = b;
}

void putTiming(EdidImage& e, int at, TimingCore core, std::uint8_t widthCm, std::uint8_t heightCm) {
    put(e, at, core);
    const int wmm = widthCm * 10, hmm = heightCm * 10;
    put(e, at + 12,
        {static_cast<std::uint8_t>(wmm & 0xFF), static_cast<std::uint8_t>(hmm & 0xFF),
         static_cast<std::uint8_t>(((wmm >> 4) & 0xF0) | ((hmm >> 8) & 0x0F)), 0x00, 0x00, 0x1E});
}

void putTextDescriptor(EdidImage& e, int at, std::uint8_t tag, const char* text) {
    put(e, at, {0x00, 0x00, 0x00, tag, 0x00});
    const std::size_t len = std::strlen(text);
    for (std::size_t i = 0; i < 13; ++i) {
        std::uint8_t c = 0x20;
        if (i < len)
            c = static_cast<std::uint8_t>(text[i]);
        else if (i == len)
            c = 0x0A;
        e[static_cast<std::size_t>(at + 5) + i] = c;
    }
}

bool takes420Only(std::uint8_t vicByte) {
    for (std::uint8_t v : kVics420)
        if (v == vicByte)
            return true;
    return false;
}

// YCbCr 4:2:0 capability map over the video data block's formats; returns the
// position after it.
int put420Map(EdidImage& e, int at, std::initializer_list<std::uint8_t> vics) {
    std::uint8_t map[4] = {};
    int used = 0, index = 0;
    for (std::uint8_t vic : vics) {
        if (takes420Only(vic)) {
            map[index / 8] |= static_cast<std::uint8_t>(1u << (index % 8));
            used = index / 8 + 1;
        }
        ++index;
    }
    if (used == 0)
        return at;
    put(e, at, {static_cast<std::uint8_t>(0xE0 | (used + 1)), 0x0F});
    for (int i = 0; i < used; ++i)
        e[static_cast<std::size_t>(at + 2 + i)] = map[i];
    return at + 2 + used;
}

EdidImage build(const EdidProfile& p) {
    EdidImage e{};
    put(e, 0, {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00});
    const std::uint16_t maker = static_cast<std::uint16_t>(
        ((p.maker[0] - '@') << 10) | ((p.maker[1] - '@') << 5) | (p.maker[2] - '@'));
    put(e, 8,
        {static_cast<std::uint8_t>(maker >> 8), static_cast<std::uint8_t>(maker & 0xFF),
         static_cast<std::uint8_t>(p.productCode & 0xFF),
         static_cast<std::uint8_t>(p.productCode >> 8), static_cast<std::uint8_t>(p.serial),
         static_cast<std::uint8_t>(p.serial >> 8), static_cast<std::uint8_t>(p.serial >> 16),
         static_cast<std::uint8_t>(p.serial >> 24), 12, 2023 - 1990, 0x01, 0x03});
    // Digital input, screen size, gamma 2.2, features.
    put(e, 20, {0x80, p.widthCm, p.heightCm, 0x78, kFeaturesSrgbPreferredNative});
    // Chromaticity: BT.709 primaries, D65 white (the sRGB ones, as signalled above).
    put(e, 25, {0xEE, 0x91, 0xA3, 0x54, 0x4C, 0x99, 0x26, 0x0F, 0x50, 0x54});
    put(e, 35, {0x21, 0x08, 0x00}); // 640x480, 800x600, 1024x768 @60
    put(e, 38,
        {0xD1, 0xC0, 0x81, 0xC0, 0x81, 0x80, 0x95, 0x00, 0xB3, 0x00, 0x01, 0x01, 0x01, 0x01, 0x01,
         0x01});
    // Detailed timings come before the display descriptors.
    putTiming(e, 54, k1080p60, p.widthCm, p.heightCm);
    int descriptor = 72;
    if (!p.serialText) {
        putTiming(e, descriptor, k720p60, p.widthCm, p.heightCm);
        descriptor += kDescriptorSize;
    }
    const std::uint8_t maxClock10Mhz =
        p.maxTmdsDiv5 ? static_cast<std::uint8_t>(p.maxTmdsDiv5 / 2) : 0x0F;
    put(e, descriptor,
        {0x00, 0x00, 0x00, 0xFD, 0x00, 0x18, 0x4B, 0x0F, 0x87, maxClock10Mhz, 0x00, 0x0A, 0x20,
         0x20, 0x20, 0x20, 0x20, 0x20});
    descriptor += kDescriptorSize;
    putTextDescriptor(e, descriptor, 0xFC, p.name);
    if (p.serialText)
        putTextDescriptor(e, descriptor + kDescriptorSize, 0xFF, p.serialText);
    e[126] = 1; // one CTA-861 extension

    // CTA-861 extension.
    int at = 128;
    put(e, at, {0x02, 0x03, 0x00, kCtaFlags}); // offset filled in below
    at += 4;
    e[static_cast<std::size_t>(at++)] = static_cast<std::uint8_t>(0x40 | p.vics.size());
    for (std::uint8_t vic : p.vics)
        e[static_cast<std::size_t>(at++)] = vic;
    e[static_cast<std::size_t>(at++)] = static_cast<std::uint8_t>(0x20 | p.audio.size());
    for (std::uint8_t b : p.audio)
        e[static_cast<std::size_t>(at++)] = b;
    put(e, at, {0x83, 0x4F, 0x00, 0x00}); // speakers: FL/FR, LFE, FC, RL/RR, ...
    at += 4;
    put(e, at, {0x67, 0x03, 0x0C, 0x00, 0x10, 0x00, 0xB8, 0x3C}); // HDMI 1.4 VSDB, address 1.0.0.0
    at += 8;
    if (p.maxTmdsDiv5) {
        put(e, at, {0x67, 0xD8, 0x5D, 0xC4, 0x01, p.maxTmdsDiv5, 0x80, 0x03});
        at += 8;
    }
    put(e, at, {0xE2, 0x00, p.videoCapability});
    at += 3;
    if (p.hdr) {
        put(e, at, {0xE3, 0x05, 0xC0, 0x00}); // BT.2020 colorimetry
        at += 4;
        // HDR: SDR, ST 2084, HLG; type 1; then the luminance the panel reaches.
        put(e, at, {static_cast<std::uint8_t>(0xE3 + p.hdrLuminance.size()), 0x06, 0x0D, 0x01});
        at += 4;
        put(e, at, p.hdrLuminance);
        at += static_cast<int>(p.hdrLuminance.size());
        at = put420Map(e, at, p.vics);
    }
    e[130] = static_cast<std::uint8_t>(at - 128);
    putTiming(e, at, k1080p60, p.widthCm, p.heightCm);
    fixEdidChecksums(e);
    return e;
}

} // namespace

void fixEdidChecksums(EdidImage& edid) {
    for (int block = 0; block < 2; ++block) {
        unsigned sum = 0;
        for (int i = 0; i < 127; ++i)
            sum += edid[static_cast<std::size_t>(block * 128 + i)];
        edid[static_cast<std::size_t>(block * 128 + 127)] = static_cast<std::uint8_t>(-sum & 0xFF);
    }
}

EdidImage makeDeviceEdid() {
    return build({"KVT",
                  0x2023,
                  0,
                  "KORVANTA",
                  "KV0000000001",
                  160,
                  90,
                  120,
                  true,
                  {},
                  0xCA,
                  {0x10, 0x04, 0x1F, 0x03, 0x5F, 0x60, 0x61, 0x5D, 0x5E, 0x65, 0x66},
                  {0x09, 0x7F, 0x07, 0x15, 0x07, 0x50, 0x3D, 0x07, 0xC0, 0x57, 0x06, 0x03}});
}

EdidImage makeDisplayEdid(int output) {
    if (output == 0)
        return build({"LMV",
                      0x6550,
                      0,
                      "LUMAVIEW 65",
                      "LV65A1B2C3",
                      143,
                      80,
                      120,
                      true,
                      {0x78, 0x60, 0x10}, // about 673, 400 and 0.027 cd/m2
                      0xC9,
                      {0x10, 0x04, 0x1F, 0x13, 0x5F, 0x60, 0x61, 0x5D, 0x5E},
                      {0x09, 0x07, 0x07, 0x15, 0x07, 0x50}});
    return build({"BRQ",
                  0x2401,
                  0x00000457,
                  "BRIQ PJ-1080",
                  nullptr,
                  200,
                  112,
                  0,
                  false,
                  {},
                  0xCA,
                  {0x10, 0x04, 0x1F, 0x05, 0x22},
                  {0x09, 0x07, 0x07}});
}
