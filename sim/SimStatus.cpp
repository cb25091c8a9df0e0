// The status registers the simulated device reports for the source it shows.
#include "sim/SimulatedDevice.h"

#include <algorithm>

SimSource makeHdrSource() {
    SimSource s;
    s.videoFormat = 97; // 3840x2160p60
    s.hdmi = true;
    s.linkMode = 2;    // 600 MHz
    s.aviByte1 = 0x40; // YCbCr 4:4:4
    s.aviByte2 = 0xC0; // extended colorimetry follows
    s.aviByte3 = 0x60; // BT.2020 RGB
    s.vendor = "STRMBOX";
    s.product = "4K Media Player";
    // ST 2084 with mastering data (type, version, length stripped: payload only).
    s.hdrInfoFrame = {0x02, 0x00, 0xC2, 0x33, 0xC4, 0x86, 0x4C, 0x1D, 0xB8, 0x0B, 0xD0, 0x84, 0x80,
                      0x3E, 0x13, 0x3D, 0x42, 0x40, 0xE8, 0x03, 0x32, 0x00, 0xE8, 0x03, 0x90, 0x01};
    return s;
}

SimSource makeSdrSource() {
    SimSource s;
    s.videoFormat = 16; // 1920x1080p60
    s.hdmi = true;
    s.aviByte1 = 0x00; // RGB
    s.aviByte2 = 0x80; // BT.709
    s.vendor = "GAMECO";
    s.product = "Console X";
    return s;
}

namespace {

// HDR InfoFrame payload: EOTF first, MaxCLL and MaxFALL at the end, little-endian.
constexpr std::size_t kHdrPayloadSize = 26;
constexpr std::size_t kPosMaxCll = 22;
constexpr std::size_t kPosMaxFall = 24;

void putLe16(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint16_t value) {
    bytes[at] = static_cast<std::uint8_t>(value & 0xFF);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void setColorimetry(SimSource& s, SimColorimetry c) {
    // C1 C0 in AVI byte 2; EC2..EC0 in byte 3 when C1 C0 say "extended".
    static constexpr std::uint8_t kC[] = {0x00, 0x40, 0x80, 0xC0, 0xC0};
    static constexpr std::uint8_t kEc[] = {0x00, 0x00, 0x00, 0x60, 0x50};
    const auto i = static_cast<std::size_t>(c);
    s.aviByte2 = static_cast<std::uint8_t>((s.aviByte2 & 0x3F) | kC[i]);
    s.aviByte3 = static_cast<std::uint8_t>((s.aviByte3 & 0x8F) | kEc[i]);
}

void setEotf(SimSource& s, SimEotf eotf) {
    if (eotf == SimEotf::None) {
        s.hdrInfoFrame.clear();
        return;
    }
    if (s.hdrInfoFrame.size() < kHdrPayloadSize)
        s.hdrInfoFrame.resize(kHdrPayloadSize, 0);
    s.hdrInfoFrame[0] = static_cast<std::uint8_t>(static_cast<int>(eotf) - 1);
}

} // namespace

SimSource stagedSource(const SimStagedInput& in) {
    SimSource s = makeHdrSource();
    if (in.hdmi)
        s.hdmi = *in.hdmi;
    if (!s.hdmi) {
        // A DVI source sends no InfoFrames: what they carry is what was staged, or nothing.
        s.aviByte1 = s.aviByte2 = s.aviByte3 = 0;
        s.hdrInfoFrame.clear();
    }
    if (in.vic)
        s.videoFormat = *in.vic;
    if (in.encoding)
        s.aviByte1 = static_cast<std::uint8_t>((s.aviByte1 & 0x9F) |
                                               (static_cast<unsigned>(*in.encoding) << 5));
    if (in.linkMode)
        s.linkMode = *in.linkMode;
    if (in.colorimetry)
        setColorimetry(s, *in.colorimetry);
    if (in.eotf)
        setEotf(s, *in.eotf);
    if (in.maxCll && s.hdrInfoFrame.size() >= kHdrPayloadSize)
        putLe16(s.hdrInfoFrame, kPosMaxCll, *in.maxCll);
    if (in.maxFall && s.hdrInfoFrame.size() >= kHdrPayloadSize)
        putLe16(s.hdrInfoFrame, kPosMaxFall, *in.maxFall);
    if (in.vendor)
        s.vendor = *in.vendor;
    if (in.product)
        s.product = *in.product;
    return s;
}

std::vector<std::uint8_t> buildInputStatusRegister(const SimSource& source, std::uint8_t outputs) {
    std::vector<std::uint8_t> d(13, 0); // reply positions 2..14
    d[0] = source.videoFormat;
    d[1] = source.hdmi ? 0x10 : 0x00;
    d[2] = source.linkMode;
    d[3] = outputs;
    d[7] = source.hdmiVsByte;
    d[8] = source.aviByte1;
    d[9] = source.aviByte2;
    d[10] = source.aviByte3;
    d[12] = source.hdmiVideoFormat;
    return d;
}

std::vector<std::uint8_t> buildSourceProductRegister(const SimSource& source) {
    std::vector<std::uint8_t> d(29, 0); // reply positions 2..30
    for (std::size_t i = 0; i < source.vendor.size() && i < 8; ++i)
        d[2 + i] = static_cast<std::uint8_t>(source.vendor[i]);
    for (std::size_t i = 0; i < source.product.size() && i < 16; ++i)
        d[10 + i] = static_cast<std::uint8_t>(source.product[i]);
    return d;
}

std::vector<std::uint8_t> buildSourceHdrRegister(const SimSource& source) {
    std::vector<std::uint8_t> d(29, 0);
    if (source.hdrInfoFrame.empty())
        return d;
    d[0] = 0x87;
    d[1] = static_cast<std::uint8_t>(source.hdrInfoFrame.size());
    std::copy_n(source.hdrInfoFrame.begin(), std::min<std::size_t>(source.hdrInfoFrame.size(), 27),
                d.begin() + 2);
    return d;
}
