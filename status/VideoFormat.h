#pragma once

#include <array>
#include <cstdint>

// Names of the input's video format codes (the CTA-861 video identification
// codes, 0 for a format without one).

constexpr int kVideoFormatCount = 108;
constexpr int kVideoFormatNameSize = 20; // room for the longest name and more

struct VideoFormat {
    const char* shortName;
    const char* longName;
    int code; // equal to the row's index
};

const std::array<VideoFormat, kVideoFormatCount>& videoFormatTable();

// Copies the code's short and long names; codes past the table give two
// empty names.
void lookupVideoFormat(std::uint16_t code, char (&shortName)[kVideoFormatNameSize],
                       char (&longName)[kVideoFormatNameSize]);
