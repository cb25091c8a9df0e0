#include "settings/SettingsMap.h"

namespace settings {

namespace {

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
    list(kActiveInput, 0, "cmbInputSel", 1),
    autoSwitch(),
    audioSource(),
    hdcpVersion(),
    out420(),
    edidMode(),
    checkBox(kForce2ch, 13, "cb2cForce"),
    checkBox(kForce51, 14, "cb51"),
    checkBox(kNo3D, 15, "cb3D"),
    checkBox(kHdr, 16, "cbHdr"),
    checkBox(kFullAudio, 17, "cbFull"),
    radioPair(kSwitchPriority, 18, "pPrioForce", "bPrioNorm"),
    list(kEdidPreset, 19, "cmBEdid"),
    radioPair(kCecHdrHotkey, 21, "bHdrRepurpEn", "bHdrRepurpDis"),
    checkBox(kForceHdrActive, 22, "cbHdrForceMode"),
    radioPair(kHdrMode, 24, "bSamHdr", "bFullHdr"),
    radioPair(kGreenLed, 26, "enableLed", "disableLed"),
    radioPair(kBlueLeds, 27, "enableBLed", "disableBLed"),
    checkBox(kBt2020, 28, "cbBt2020"),
    make(kFactoryReset, -1, Kind::Command, {"pbReset"}),
    checkBox(kYcbcr, 29, "cbYUV"),
    checkBox(kCecProcessing, 5, "cbCec"),
    list(kCecDeviceType, 30, "cmbLa"),
    radioPair(kAvrAudio, 31, "enableAVR", "disableAVR"),
    list(kEdidAlgorithm, 32, "cmbEdidAlgo"),
    checkBox(kReplaceAvi, 33, "cbAviPersistent"),
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
