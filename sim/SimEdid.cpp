// EDIDs the simulated device serves: its own and those of the two displays.
#include "sim/SimulatedDevice.h"

#include <cstring>
#include <initializer_list>

namespace {

struct EdidProfile {
    char maker[4];
    std::uint16_t productCode;
    std::uint32_t serial;
    const char* name;       // up to 13 characters
    const char* serialText; // up to 13 characters
    std::uint8_t widthCm, heightCm;
    std::uint8_t maxTmdsDiv5; // 0: no HDMI Forum block
    bool hdr;
    std::initializer_list<std::uint8_t> vics;
    std::initializer_list<std::uint8_t> audio; // 3-byte short audio descriptors
};

void put(EdidImage& e, int at, std::initializer_list<std::uint8_t> bytes) {
    for (std::uint8_t b : bytes)
        e[static_cast<std::size_t>(at++)] = b;
}

// Detailed timing for 1920x1080p60, the one every HDMI sink lists.
void put1080p60Timing(EdidImage& e, int at, std::uint8_t widthCm, std::uint8_t heightCm) {
    const int wmm = widthCm * 10, hmm = heightCm * 10;
    put(e, at,
        {0x02, 0x3A, 0x80, 0x18, 0x71, 0x38, 0x2D, 0x40, 0x58, 0x2C, 0x45, 0x00,
         static_cast<std::uint8_t>(wmm & 0xFF), static_cast<std::uint8_t>(hmm & 0xFF),
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
    // Digital input, screen size, gamma 2.2, RGB 4:4:4 + YCbCr, preferred timing native.
    put(e, 20, {0x80, p.widthCm, p.heightCm, 0x78, 0x0A});
    // Chromaticity: BT.709 primaries, D65 white.
    put(e, 25, {0xEE, 0x91, 0xA3, 0x54, 0x4C, 0x99, 0x26, 0x0F, 0x50, 0x54});
    put(e, 35, {0x21, 0x08, 0x00}); // 640x480, 800x600, 1024x768 @60
    put(e, 38,
        {0xD1, 0xC0, 0x81, 0xC0, 0x81, 0x80, 0x95, 0x00, 0xB3, 0x00, 0x01, 0x01, 0x01, 0x01, 0x01,
         0x01});
    put1080p60Timing(e, 54, p.widthCm, p.heightCm);
    const std::uint8_t maxClock10Mhz =
        p.maxTmdsDiv5 ? static_cast<std::uint8_t>(p.maxTmdsDiv5 / 2) : 0x0F;
    put(e, 72,
        {0x00, 0x00, 0x00, 0xFD, 0x00, 0x18, 0x4B, 0x0F, 0x87, maxClock10Mhz, 0x00, 0x0A, 0x20,
         0x20, 0x20, 0x20, 0x20, 0x20});
    putTextDescriptor(e, 90, 0xFC, p.name);
    putTextDescriptor(e, 108, 0xFF, p.serialText);
    e[126] = 1; // one CTA-861 extension

    // CTA-861 extension.
    int at = 128;
    put(e, at, {0x02, 0x03, 0x00, 0xF1}); // offset filled in below; underscan, audio, YCbCr
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
    if (p.hdr) {
        put(e, at, {0xE3, 0x05, 0xC0, 0x00}); // BT.2020 colorimetry
        at += 4;
        put(e, at, {0xE3, 0x06, 0x0D, 0x01}); // HDR: SDR, ST 2084, HLG; type 1
        at += 4;
        put(e, at, {0xE2, 0x0F, 0x33}); // YCbCr 4:2:0 capability map
        at += 3;
    }
    e[130] = static_cast<std::uint8_t>(at - 128);
    put1080p60Timing(e, at, p.widthCm, p.heightCm);
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
                  1,
                  "KORVANTA",
                  "KV0000000001",
                  160,
                  90,
                  120,
                  true,
                  {0x90, 0x04, 0x1F, 0x10, 0x5F, 0x60, 0x61, 0x5D, 0x5E, 0x65, 0x66},
                  {0x09, 0x7F, 0x07, 0x15, 0x07, 0x50, 0x3D, 0x07, 0xC0, 0x57, 0x06, 0x03}});
}

EdidImage makeDisplayEdid(int output) {
    if (output == 0)
        return build({"LMV",
                      0x6550,
                      0x00A1B2C3,
                      "LUMAVIEW 65",
                      "LV65A1B2C3",
                      143,
                      80,
                      120,
                      true,
                      {0x90, 0x04, 0x1F, 0x10, 0x5F, 0x60, 0x61, 0x5D, 0x5E},
                      {0x09, 0x07, 0x07, 0x15, 0x07, 0x50}});
    return build({"BRQ",
                  0x2401,
                  0x00000457,
                  "BRIQ PJ-1080",
                  "BQ2401000457",
                  200,
                  112,
                  0,
                  false,
                  {0x90, 0x04, 0x1F, 0x05, 0x22},
                  {0x09, 0x07, 0x07}});
}
