#pragma once

#include "edid/EdidModel.h"

#include <cstdint>
#include <vector>

// Typed readers of the CTA-861 data blocks whose fields the decoder, the
// check and the chain all read: each takes the block as the model holds it
// and reads only as far as its length goes.
namespace edid {

// Byte 6 of the HDMI vendor block.
constexpr std::uint8_t kHdmiAi = 0x80, kHdmiDc48 = 0x40, kHdmiDc36 = 0x20, kHdmiDc30 = 0x10,
                       kHdmiDcY444 = 0x08, kHdmiDviDual = 0x01;

struct Hdmi3dFormat {
    int index = 0;     // position in the video data blocks' list
    int structure = 0; // 0 frame packing .. 8 side-by-side (half)
    int detail = -1;   // side-by-side (half) sub-sampling; -1 when not given
};

struct HdmiVendorFields {
    bool ok = false; // OUI and physical address are there
    std::uint8_t addressHigh = 0, addressLow = 0;
    bool hasFlags = false;
    std::uint8_t flags = 0;
    int maxTmdsMhz = -1;           // -1: not in the block; 0: not given
    bool hasCapabilities = false;  // the byte of latency, video and content type flags
    std::uint8_t contentTypes = 0; // bit 0 graphics, 1 photo, 2 cinema, 3 game
    bool latencyPresent = false, interlacedLatencyPresent = false, videoPresent = false;
    // Latency codes as stored: 0 not given, 255 no output, else 2*(v-1) ms.
    int videoLatency = -1, audioLatency = -1, interlacedVideoLatency = -1,
        interlacedAudioLatency = -1;
    bool hasVideoFields = false;
    bool threeD = false;
    int threeDMulti = 0; // 1: structures for all formats, 2: and a mask of formats
    int imageSize = 0;
    std::vector<int> hdmiVics;
    bool hasStructureAll = false, hasMask = false;
    std::uint16_t structureAll = 0, mask = 0;
    std::vector<Hdmi3dFormat> threeDFormats;
    int cutAt = -1; // payload index where announced fields run past the block
};
HdmiVendorFields readHdmiVendor(const DataBlock& b);

// Milliseconds of a latency code; -1 for 0 (not given) and 255 (no output).
int latencyMs(int code);

// The HDMI Forum fields, from the vendor block or the sink capability block.
struct HdmiForumFields {
    bool ok = false;
    int version = 0;
    int maxTmdsRateMhz = 0;         // 0: 340 MHz or less
    std::uint8_t flags = 0;         // bit 7 SCDC, then read request, cable status, ...
    std::uint8_t deepColour420 = 0; // bit 0 30, 1 36, 2 48 bit
    int maxFrlRate = 0;
};
constexpr std::uint8_t kForumScdc = 0x80;
HdmiForumFields readHdmiForum(const DataBlock& b);

struct HdrStaticFields {
    bool ok = false;
    std::uint8_t eotfs = 0; // bit 0 SDR, 1 HDR gamma, 2 PQ, 3 HLG
    std::uint8_t metadataTypes = 0;
    int maxLuminanceCode = -1, maxFrameAverageCode = -1, minLuminanceCode = -1; // -1: absent
};
HdrStaticFields readHdrStatic(const DataBlock& b);
// cd/m² of a max luminance code, and of a min code under that maximum.
double luminanceOf(int code);
double minLuminanceOf(double maxLuminance, int code);

struct ColorimetryFields {
    bool ok = false;
    std::uint8_t colorimetry = 0; // xvYCC601 .. BT2020RGB
    std::uint8_t extra = 0;       // bit 7 DCI-P3, bits 0-3 gamut metadata profiles
};
ColorimetryFields readColorimetry(const DataBlock& b);

} // namespace edid
