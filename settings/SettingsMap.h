#pragma once

#include <cstdint>

// Setting indexes (the index byte of a setting write) and the positions of the
// same settings in the 40-byte settings block: two different numberings.
namespace settings {

constexpr int kActiveInput = 0;
constexpr int kAutoSwitch = 1;
constexpr int kAudioSource = 2;
constexpr int kHdcpVersion = 3;
constexpr int kOut420 = 4;
constexpr int kEdidMode = 5;
constexpr int kForce2ch = 8;
constexpr int kForce51 = 9;
constexpr int kNo3D = 10;
constexpr int kHdr = 11;
constexpr int kFullAudio = 12;
constexpr int kSwitchPriority = 13;
constexpr int kEdidPreset = 14;
constexpr int kCecHdrHotkey = 16;
constexpr int kForceHdrActive = 17;
constexpr int kHdrMode = 19;
constexpr int kGreenLed = 22;
constexpr int kBlueLeds = 23;
constexpr int kBt2020 = 24;
constexpr int kFactoryReset = 25;
constexpr int kYcbcr = 26;
constexpr int kCecProcessing = 27;
constexpr int kCecDeviceType = 28;
constexpr int kAvrAudio = 29;
constexpr int kEdidAlgorithm = 32;
constexpr int kReplaceAvi = 33;

// Block positions the program reads without ever writing them.
constexpr int kPosEdidChoiceOffered = 9;
constexpr int kPosHdcpChoiceOffered = 10;
constexpr int kPosAudioChoiceOffered = 11;

// Factory reset values of setting 25.
constexpr int kResetEdidOnly = 1;
constexpr int kResetSettingsOnly = 2;
constexpr int kResetBoth = 3;

// Block position of a setting index, or -1 for one the block does not hold.
int blockPosition(int settingIndex);

} // namespace settings
