// The status registers the simulated device reports for the source it shows.
#include "sim/SimulatedDevice.h"

#include <algorithm>

SimSource makeHdrSource() {
    SimSource s;
    s.videoFormat = 97; // 3840x2160p60
    s.hdmi = true;
    s.linkMode = 2;      // 600 MHz
    s.aviByte1 = 0x40;   // YCbCr 4:4:4
    s.aviByte2 = 0xC0;   // extended colorimetry follows
    s.aviByte3 = 0x60;   // BT.2020 RGB
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
    s.aviByte1 = 0x00;  // RGB
    s.aviByte2 = 0x80;  // BT.709
    s.vendor = "GAMECO";
    s.product = "Console X";
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
