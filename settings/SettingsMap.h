#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

// Setting indexes (the index byte of a setting write) and the positions of the
// same settings in the 40-byte settings block: two different numberings. The
// table below ties each one to the controls that show and change it; the
// setting slots, the configuration readback and the simulated device all go
// through it.
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

// A word the command line accepts for a value, and the value it stands for.
struct ValueName {
    int value;
    const char* name;
};

enum class Kind {
    CheckBox,    // one box: 1 checked, 0 not
    RadioPair,   // two buttons; the first decides: 1 checked, 0 not
    RadioChoice, // up to three buttons with a value each; nothing when none is checked
    List,        // current entry + listOffset, sent only once the program is ready
    Command,     // a device command, not kept in the block
    Offered,     // read-only byte: enables the gated controls when 1
};

struct Setting {
    int index = -1;    // setting index of the write; -1: never written
    int position = -1; // block position; -1: not kept in the block
    Kind kind = Kind::Command;
    // CheckBox, List: [0]. RadioPair: [0] the "on" button, [1] the other.
    // RadioChoice: the buttons, each standing for values[i].
    std::array<const char*, 3> controls{};
    std::array<int, 3> values{};
    // RadioChoice: the byte the device reports when no button is chosen.
    int noneValue = -1;
    // List: the value sent is the entry index plus this.
    int listOffset = 0;
    // RadioPair: the readback ignores bytes other than 0 and 1 instead of
    // treating them as "off".
    bool strictPair = false;
    // Controls enabled when the byte equals gateValue and disabled otherwise,
    // each time the readback applies this byte at all.
    std::array<const char*, 4> gated{};
    int gateValue = 1;
    // The command line's name for the setting, what it does, and the words
    // for its values; nullptr / empty for the ones it does not offer.
    const char* name = nullptr;
    const char* summary = nullptr;
    std::span<const ValueName> valueNames;
};

std::span<const Setting> allSettings();

// The entry for a setting index or a block position; nullptr when none.
const Setting* byIndex(int settingIndex);
const Setting* byPosition(int position);

// Block position of a setting index, or -1 for one the block does not hold.
int blockPosition(int settingIndex);

// The value a button-driven setting sends, from the checked states of its
// buttons. False when nothing is to be sent (a choice with no button checked,
// or a setting that is not button-driven).
// The entry for a command-line name, in any letter case; nullptr when none.
const Setting* byName(std::string_view name);

// The value a word stands for, in any letter case. The code that is sent is
// accepted as "raw:N", and as a bare number where no value name is a number
// itself. False when the setting does not accept it.
constexpr std::string_view kRawPrefix = "raw:";
bool parseValue(const Setting& setting, std::string_view word, int* value);

// The word for a value the device reports: its name, "none" for the byte of
// a choice with nothing chosen, else the number.
std::string valueWord(const Setting& setting, int value);

// "a, b, matrix-thru, matrix-swap": the words a setting accepts.
std::string acceptedWords(const Setting& setting);

bool buttonValue(const Setting& setting, const std::function<bool(const char*)>& isChecked,
                 int* value);

} // namespace settings
