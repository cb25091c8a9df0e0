#pragma once

#include <array>

// The entries of the four lists of the window, in the order of the values
// they send. The command line's help shows them too.
namespace settings {

inline constexpr std::array<const char*, 4> kInputEntries = {"PORT A [TOP]", "PORT B [BOT]",
                                                             "MATRIX THRU", "MATRIX SWAP"};

inline constexpr std::array<const char*, 9> kEdidPresetEntries = {
    "Custom Uploaded/Default EDID",
    "4k30-444 300MHz All Sound",
    "4k30-RGB 300MHz All Sound",
    "4k60-420 8-bit 300MHz All Sound",
    "4k60-420 10-bit HDR BT.2020 All Sound",
    "4k60-444 600MHz All Sound",
    "4k60-444 600MHz HDR BT.2020 All Sound",
    "1080p-444 148MHz All Sound",
    "4k60-420 10-bit BT.2020 All Sound"};

inline constexpr std::array<const char*, 2> kCecDeviceTypeEntries = {"Video Processor [Default]",
                                                                     "Audio System w/ARC"};

inline constexpr std::array<const char*, 4> kEdidAlgorithmEntries = {
    "Min Mixed Capabilities [Default]", "Max Audio, Min Video", "TOP Output Priority",
    "Max Audio, Max Video"};
// The 200 % build's narrower list has a shorter first entry.
inline constexpr const char* kEdidAlgorithmFirstEntryShort = "Min Mixed [Default]";

} // namespace settings
