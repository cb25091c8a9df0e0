#include "settings/SettingsMap.h"

namespace settings {

namespace {
struct IndexPosition {
    int index;
    int position;
};

constexpr IndexPosition kIndexMap[] = {
    {kActiveInput, 0},    {kAutoSwitch, 6},      {kAudioSource, 1},     {kHdcpVersion, 3},
    {kOut420, 4},         {kEdidMode, 2},        {kForce2ch, 13},       {kForce51, 14},
    {kNo3D, 15},          {kHdr, 16},            {kFullAudio, 17},      {kSwitchPriority, 18},
    {kEdidPreset, 19},    {kCecHdrHotkey, 21},   {kForceHdrActive, 22}, {kHdrMode, 24},
    {kGreenLed, 26},      {kBlueLeds, 27},       {kBt2020, 28},         {kYcbcr, 29},
    {kCecProcessing, 5},  {kCecDeviceType, 30},  {kAvrAudio, 31},       {kEdidAlgorithm, 32},
    {kReplaceAvi, 33},
};
} // namespace

int blockPosition(int settingIndex) {
    for (const auto& entry : kIndexMap)
        if (entry.index == settingIndex)
            return entry.position;
    return -1;
}

} // namespace settings
