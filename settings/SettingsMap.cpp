#include "settings/SettingsMap.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace settings {

namespace {

constexpr ValueName kOffOn[] = {{0, "off"}, {1, "on"}};
constexpr ValueName kInputs[] = {{1, "a"}, {2, "b"}, {3, "matrix-thru"}, {4, "matrix-swap"}};
constexpr ValueName kAudioSources[] = {{1, "hdmi"}, {3, "jack"}};
constexpr ValueName kHdcpVersions[] = {{2, "1.4"}, {3, "2.2"}};
constexpr ValueName kEdidModes[] = {{1, "automix"}, {2, "fixed"}, {3, "custom"}};
constexpr ValueName kPriorities[] = {{0, "normal"}, {1, "forced"}};
constexpr ValueName kEdidPresets[] = {{0, "0"}, {1, "1"}, {2, "2"}, {3, "3"}, {4, "4"},
                                      {5, "5"}, {6, "6"}, {7, "7"}, {8, "8"}};
constexpr ValueName kHdrModes[] = {{0, "full"}, {1, "samsung"}};
constexpr ValueName kCecDeviceTypes[] = {{0, "video-processor"}, {1, "audio-system"}};
constexpr ValueName kEdidAlgorithms[] = {
    {0, "min-mixed"}, {1, "max-audio-min-video"}, {2, "top-priority"}, {3, "max-audio-max-video"}};

Setting named(Setting s, const char* name, const char* summary,
              std::span<const ValueName> values = kOffOn) {
    s.name = name;
    s.summary = summary;
    s.valueNames = values;
    return s;
}

Setting make(int index, int position, Kind kind, std::array<const char*, 3> controls) {
    Setting s;
    s.index = index;
    s.position = position;
    s.kind = kind;
    s.controls = controls;
    return s;
}

Setting checkBox(int index, int position, const char* box) {
    return make(index, position, Kind::CheckBox, {box});
}

// A pair whose readback shows "off" for any byte but 1.
Setting radioPair(int index, int position, const char* on, const char* off) {
    return make(index, position, Kind::RadioPair, {on, off});
}

Setting list(int index, int position, const char* combo, int offset = 0) {
    Setting s = make(index, position, Kind::List, {combo});
    s.listOffset = offset;
    return s;
}

Setting offered(int position, std::array<const char*, 4> gated) {
    Setting s = make(-1, position, Kind::Offered, {});
    s.gated = gated;
    return s;
}

Setting autoSwitch() {
    Setting s = radioPair(kAutoSwitch, 6, "autoSwEn", "autoSwDis");
    s.strictPair = true;
    // Priority only means something while the device switches on its own.
    s.gated = {"pPrioForce", "bPrioNorm"};
    return s;
}

Setting out420() {
    Setting s = radioPair(kOut420, 4, "enable420", "disable420");
    s.strictPair = true;
    return s;
}

Setting audioSource() {
    Setting s = make(kAudioSource, 1, Kind::RadioChoice, {"audioHdmi", "audioJack"});
    s.values = {1, 3};
    s.noneValue = 2;
    return s;
}

Setting hdcpVersion() {
    Setting s = make(kHdcpVersion, 3, Kind::RadioChoice, {"hdcp14", "hdcp22"});
    s.values = {2, 3};
    s.noneValue = 1;
    return s;
}

Setting edidMode() {
    Setting s = make(kEdidMode, 2, Kind::RadioChoice, {"automixEDID", "fixedEDID", "customEDID"});
    s.values = {1, 2, 3};
    // Only a custom EDID is edited by hand.
    s.gated = {"EDIDtext"};
    s.gateValue = 3;
    return s;
}

const std::array<Setting, 29> kSettings = {
    named(list(kActiveInput, 0, "cmbInputSel", 1), "input", "active input (a, b) or matrix mode",
          kInputs),
    named(autoSwitch(), "auto-switch", "switch to the input that comes alive"),
    named(audioSource(), "audio-source", "audio from HDMI or the analogue jack", kAudioSources),
    named(hdcpVersion(), "hdcp", "HDCP version offered to the sources", kHdcpVersions),
    named(out420(), "out-420", "4:2:0 output"),
    named(edidMode(), "edid-mode", "which EDID the sources see", kEdidModes),
    named(checkBox(kForce2ch, 13, "cb2cForce"), "force-2ch", "force 2-channel audio in the EDID"),
    named(checkBox(kForce51, 14, "cb51"), "force-51", "force 5.1 audio in the EDID"),
    named(checkBox(kNo3D, 15, "cb3D"), "no-3d", "remove 3D from the EDID"),
    named(checkBox(kHdr, 16, "cbHdr"), "hdr", "HDR in the EDID"),
    named(checkBox(kFullAudio, 17, "cbFull"), "full-audio", "full audio capabilities in the EDID"),
    named(radioPair(kSwitchPriority, 18, "pPrioForce", "bPrioNorm"), "switch-priority",
          "auto-switch priority", kPriorities),
    named(list(kEdidPreset, 19, "cmBEdid"), "edid-preset", "built-in EDID preset", kEdidPresets),
    named(radioPair(kCecHdrHotkey, 21, "bHdrRepurpEn", "bHdrRepurpDis"), "cec-hdr-hotkey",
          "a CEC remote key toggles HDR"),
    named(checkBox(kForceHdrActive, 22, "cbHdrForceMode"), "force-hdr",
          "force the custom HDR InfoFrame on the output (the setting only; no InfoFrame is "
          "sent)"),
    named(radioPair(kHdrMode, 24, "bSamHdr", "bFullHdr"), "hdr-mode", "HDR InfoFrame handling",
          kHdrModes),
    named(radioPair(kGreenLed, 26, "enableLed", "disableLed"), "green-led", "the green logo LED"),
    named(radioPair(kBlueLeds, 27, "enableBLed", "disableBLed"), "blue-leds", "the blue LEDs"),
    named(checkBox(kBt2020, 28, "cbBt2020"), "bt2020", "BT.2020 colorimetry in the EDID"),
    make(kFactoryReset, -1, Kind::Command, {"pbReset"}),
    named(checkBox(kYcbcr, 29, "cbYUV"), "ycbcr", "YCbCr in the EDID"),
    named(checkBox(kCecProcessing, 5, "cbCec"), "cec", "CEC processing"),
    named(list(kCecDeviceType, 30, "cmbLa"), "cec-device-type", "CEC logical device type",
          kCecDeviceTypes),
    named(radioPair(kAvrAudio, 31, "enableAVR", "disableAVR"), "avr-audio", "AVR audio mode"),
    named(list(kEdidAlgorithm, 32, "cmbEdidAlgo"), "edid-algorithm", "how automix mixes the EDIDs",
          kEdidAlgorithms),
    named(checkBox(kReplaceAvi, 33, "cbAviPersistent"), "replace-avi",
          "keep replacing the AVI InfoFrame (the setting only; no InfoFrame is sent)"),
    offered(kPosEdidChoiceOffered, {"automixEDID", "customEDID", "fixedEDID", "EDIDtext"}),
    offered(kPosHdcpChoiceOffered, {"hdcp22", "hdcp14"}),
    offered(kPosAudioChoiceOffered, {"audioHdmi", "audioJack"}),
};

} // namespace

std::span<const Setting> allSettings() {
    return kSettings;
}

const Setting* byIndex(int settingIndex) {
    if (settingIndex < 0)
        return nullptr;
    for (const Setting& s : kSettings)
        if (s.index == settingIndex)
            return &s;
    return nullptr;
}

const Setting* byPosition(int position) {
    if (position < 0)
        return nullptr;
    for (const Setting& s : kSettings)
        if (s.position == position)
            return &s;
    return nullptr;
}

int blockPosition(int settingIndex) {
    const Setting* s = byIndex(settingIndex);
    return s ? s->position : -1;
}

namespace {

bool sameWord(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

bool wholeNumber(std::string_view word, int* number) {
    const char* end = word.data() + word.size();
    return !word.empty() && std::from_chars(word.data(), end, *number).ptr == end;
}

// "1.4" is a value name that reads as a number: for such a setting a bare
// number must be one of its names, or "2" would quietly mean HDCP 1.4.
bool namesAreNumbers(const Setting& setting) {
    return std::any_of(
        setting.valueNames.begin(), setting.valueNames.end(),
        [](const ValueName& v) { return std::isdigit(static_cast<unsigned char>(*v.name)); });
}

} // namespace

const Setting* byName(std::string_view name) {
    for (const Setting& s : kSettings)
        if (s.name && sameWord(name, s.name))
            return &s;
    return nullptr;
}

bool parseValue(const Setting& setting, std::string_view word, int* value) {
    for (const ValueName& v : setting.valueNames) {
        if (sameWord(word, v.name)) {
            *value = v.value;
            return true;
        }
    }
    int number = -1;
    const bool raw = sameWord(word.substr(0, 4), kRawPrefix);
    if (raw)
        word.remove_prefix(4);
    if (!wholeNumber(word, &number) || (!raw && namesAreNumbers(setting)))
        return false;
    for (const ValueName& v : setting.valueNames) {
        if (number == v.value) {
            *value = v.value;
            return true;
        }
    }
    return false;
}

std::string valueWord(const Setting& setting, int value) {
    for (const ValueName& v : setting.valueNames)
        if (v.value == value)
            return v.name;
    if (setting.kind == Kind::RadioChoice && value == setting.noneValue)
        return "none";
    return std::to_string(value);
}

std::string acceptedWords(const Setting& setting) {
    std::string words;
    for (const ValueName& v : setting.valueNames) {
        if (!words.empty())
            words += ", ";
        words += v.name;
    }
    return words;
}

bool buttonValue(const Setting& setting, const std::function<bool(const char*)>& isChecked,
                 int* value) {
    switch (setting.kind) {
    case Kind::CheckBox:
    case Kind::RadioPair:
        *value = isChecked(setting.controls[0]) ? 1 : 0;
        return true;
    case Kind::RadioChoice:
        for (std::size_t i = 0; i < setting.controls.size(); ++i) {
            if (setting.controls[i] && isChecked(setting.controls[i])) {
                *value = setting.values[i];
                return true;
            }
        }
        return false;
    default:
        return false;
    }
}

} // namespace settings
