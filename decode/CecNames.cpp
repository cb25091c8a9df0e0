#include "decode/CecNames.h"

namespace decode {
namespace {

constexpr CodeName kUiCommands[] = {
    {0x00, "Select"},
    {0x01, "Up"},
    {0x02, "Down"},
    {0x03, "Left"},
    {0x04, "Right"},
    {0x05, "Right-Up"},
    {0x06, "Right-Down"},
    {0x07, "Left-Up"},
    {0x08, "Left-Down"},
    {0x09, "Device Root Menu"},
    {0x0A, "Device Setup Menu"},
    {0x0B, "Contents Menu"},
    {0x0C, "Favorite Menu"},
    {0x0D, "Back"},
    {0x10, "Media Top Menu"},
    {0x11, "Media Context-sensitive Menu"},
    {0x1D, "Number Entry Mode"},
    {0x1E, "Number 11"},
    {0x1F, "Number 12"},
    {0x20, "Number 0 or Number 10"},
    {0x21, "Number 1"},
    {0x22, "Number 2"},
    {0x23, "Number 3"},
    {0x24, "Number 4"},
    {0x25, "Number 5"},
    {0x26, "Number 6"},
    {0x27, "Number 7"},
    {0x28, "Number 8"},
    {0x29, "Number 9"},
    {0x2A, "Dot"},
    {0x2B, "Enter"},
    {0x2C, "Clear"},
    {0x2F, "Next Favorite"},
    {0x30, "Channel Up"},
    {0x31, "Channel Down"},
    {0x32, "Previous Channel"},
    {0x33, "Sound Select"},
    {0x34, "Input Select"},
    {0x35, "Display Information"},
    {0x36, "Help"},
    {0x37, "Page Up"},
    {0x38, "Page Down"},
    {0x40, "Power"},
    {0x41, "Volume Up"},
    {0x42, "Volume Down"},
    {0x43, "Mute"},
    {0x44, "Play"},
    {0x45, "Stop"},
    {0x46, "Pause"},
    {0x47, "Record"},
    {0x48, "Rewind"},
    {0x49, "Fast Forward"},
    {0x4A, "Eject"},
    {0x4B, "Skip Forward"},
    {0x4C, "Skip Backward"},
    {0x4D, "Stop-Record"},
    {0x4E, "Pause-Record"},
    {0x50, "Angle"},
    {0x51, "Sub Picture"},
    {0x52, "Video on Demand"},
    {0x53, "Electronic Program Guide"},
    {0x54, "Timer Programming"},
    {0x55, "Initial Configuration"},
    {0x56, "Select Broadcast Type"},
    {0x57, "Select Sound Presentation"},
    {0x58, "Audio Description"},
    {0x59, "Internet"},
    {0x5A, "3D Mode"},
    {0x60, "Play Function"},
    {0x61, "Pause-Play Function"},
    {0x62, "Record Function"},
    {0x63, "Pause-Record Function"},
    {0x64, "Stop Function"},
    {0x65, "Mute Function"},
    {0x66, "Restore Volume Function"},
    {0x67, "Tune Function"},
    {0x68, "Select Media Function"},
    {0x69, "Select A/V Input Function"},
    {0x6A, "Select Audio Input Function"},
    {0x6B, "Power Toggle Function"},
    {0x6C, "Power Off Function"},
    {0x6D, "Power On Function"},
    {0x71, "F1 (Blue)"},
    {0x72, "F2 (Red)"},
    {0x73, "F3 (Green)"},
    {0x74, "F4 (Yellow)"},
    {0x75, "F5"},
    {0x76, "Data"},
};

constexpr const char* kAbortReasons[] = {"unrecognized opcode",
                                         "not in a mode to respond",
                                         "cannot provide source",
                                         "invalid operand",
                                         "refused",
                                         "unable to determine"};

constexpr const char* kDeviceTypes[] = {
    "TV",           "Recording Device", nullptr,          "Tuner", "Playback Device",
    "Audio System", "Pure CEC Switch",  "Video Processor"};

constexpr const char* kPowerStatuses[] = {"on", "standby", "in transition standby to on",
                                          "in transition on to standby"};

constexpr const char* kMenuRequests[] = {"activate", "deactivate", "query"};
constexpr const char* kMenuStates[] = {"activated", "deactivated"};

constexpr CodeName kDeckControls[] = {
    {1, "Skip Forward / Wind"}, {2, "Skip Reverse / Rewind"}, {3, "Stop"}, {4, "Eject"}};

constexpr CodeName kDeckInfos[] = {{0x11, "Play"},
                                   {0x12, "Record"},
                                   {0x13, "Play Reverse"},
                                   {0x14, "Still"},
                                   {0x15, "Slow"},
                                   {0x16, "Slow Reverse"},
                                   {0x17, "Fast Forward"},
                                   {0x18, "Fast Reverse"},
                                   {0x19, "No Media"},
                                   {0x1A, "Stop"},
                                   {0x1B, "Skip Forward / Wind"},
                                   {0x1C, "Skip Reverse / Rewind"},
                                   {0x1D, "Index Search Forward"},
                                   {0x1E, "Index Search Reverse"},
                                   {0x1F, "Other Status"}};

constexpr CodeName kStatusRequests[] = {{1, "on"}, {2, "off"}, {3, "once"}};

constexpr CodeName kPlayModes[] = {{0x05, "Fast Forward, minimum speed"},
                                   {0x06, "Fast Forward, medium speed"},
                                   {0x07, "Fast Forward, maximum speed"},
                                   {0x09, "Fast Reverse, minimum speed"},
                                   {0x0A, "Fast Reverse, medium speed"},
                                   {0x0B, "Fast Reverse, maximum speed"},
                                   {0x15, "Slow Forward, minimum speed"},
                                   {0x16, "Slow Forward, medium speed"},
                                   {0x17, "Slow Forward, maximum speed"},
                                   {0x19, "Slow Reverse, minimum speed"},
                                   {0x1A, "Slow Reverse, medium speed"},
                                   {0x1B, "Slow Reverse, maximum speed"},
                                   {0x20, "Play Reverse"},
                                   {0x24, "Play Forward"},
                                   {0x25, "Play Still"}};

constexpr const char* kVersions[] = {"1.1", "1.2", "1.2a", "1.3", "1.3a", "1.4", "2.0"};
constexpr const char* kOnOff[] = {"off", "on"};

constexpr const char* kAudioRates[] = {"rate control off",
                                       "standard rate, 100 % (wide)",
                                       "fast, up to 101 % (wide)",
                                       "slow, down to 99 % (wide)",
                                       "standard rate, 100 % (narrow)",
                                       "fast, up to 100.1 % (narrow)",
                                       "slow, down to 99.9 % (narrow)"};

constexpr CodeName kRecordStatuses[] = {{0x01, "recording the selected source"},
                                        {0x02, "recording a digital service"},
                                        {0x03, "recording an analogue service"},
                                        {0x04, "recording an external input"},
                                        {0x05, "not recording: cannot record the digital service"},
                                        {0x06, "not recording: cannot record the analogue service"},
                                        {0x07, "not recording: cannot select the service"},
                                        {0x09, "not recording: invalid external plug number"},
                                        {0x0A, "not recording: invalid external physical address"},
                                        {0x0B, "not recording: CA system not supported"},
                                        {0x0C, "not recording: no or insufficient CA entitlements"},
                                        {0x0D, "not recording: not allowed to copy the source"},
                                        {0x0E, "not recording: no further copies allowed"},
                                        {0x10, "not recording: no media"},
                                        {0x11, "not recording: playing"},
                                        {0x12, "not recording: already recording"},
                                        {0x13, "not recording: media protected"},
                                        {0x14, "not recording: no source signal"},
                                        {0x15, "not recording: media problem"},
                                        {0x16, "not recording: not enough space"},
                                        {0x17, "not recording: parental lock on"},
                                        {0x1A, "recording ended normally"},
                                        {0x1B, "recording had already ended"},
                                        {0x1F, "not recording: other reason"}};

constexpr CodeName kTimerClearedStatuses[] = {{0x00, "not cleared: recording"},
                                              {0x01, "not cleared: no matching timer"},
                                              {0x02, "not cleared: no information"},
                                              {0x80, "cleared"}};

constexpr CodeName kDisplayControls[] = {
    {0x00, "for the default time"}, {0x40, "until cleared"}, {0x80, "clear the previous message"}};

// Bits 0..7 of the all-device-types operand.
constexpr const char* kAllDeviceTypeBits[] = {
    nullptr,           nullptr, "CEC Switch",       "Audio System",
    "Playback Device", "Tuner", "Recording Device", "TV"};

constexpr const char* kSourceRcBits[] = {"media context-sensitive menu", "media top menu",
                                         "contents menu", "device setup menu", "device root menu"};

constexpr const char* kTvRcProfiles[] = {
    "none",  nullptr, "profile 1", nullptr, nullptr, nullptr, "profile 2", nullptr,
    nullptr, nullptr, "profile 3", nullptr, nullptr, nullptr, "profile 4"};

constexpr const char* kDeviceFeatureBits[] = {
    "Set Audio Volume Level", "ARC receiver (source)", "ARC transmitter (sink)", "Set Audio Rate",
    "Deck Control",           "Set OSD String",        "Record TV Screen"};

constexpr const char* kAudioCompensation[] = {"not applicable", "delay added", "no delay added",
                                              "partial delay added"};

} // namespace

CodeTable cecUiCommands() {
    return kUiCommands;
}
NameTable cecAbortReasons() {
    return kAbortReasons;
}
NameTable cecDeviceTypes() {
    return kDeviceTypes;
}
NameTable cecPowerStatuses() {
    return kPowerStatuses;
}
NameTable cecMenuRequests() {
    return kMenuRequests;
}
NameTable cecMenuStates() {
    return kMenuStates;
}
CodeTable cecDeckControls() {
    return kDeckControls;
}
CodeTable cecDeckInfos() {
    return kDeckInfos;
}
CodeTable cecStatusRequests() {
    return kStatusRequests;
}
CodeTable cecPlayModes() {
    return kPlayModes;
}
NameTable cecVersions() {
    return kVersions;
}
NameTable cecOnOff() {
    return kOnOff;
}
NameTable cecAudioRates() {
    return kAudioRates;
}
CodeTable cecRecordStatuses() {
    return kRecordStatuses;
}
CodeTable cecTimerClearedStatuses() {
    return kTimerClearedStatuses;
}
CodeTable cecDisplayControls() {
    return kDisplayControls;
}
NameTable cecAllDeviceTypeBits() {
    return kAllDeviceTypeBits;
}
NameTable cecSourceRcBits() {
    return kSourceRcBits;
}
NameTable cecTvRcProfiles() {
    return kTvRcProfiles;
}
NameTable cecDeviceFeatureBits() {
    return kDeviceFeatureBits;
}
NameTable cecAudioCompensation() {
    return kAudioCompensation;
}

} // namespace decode
