// Settings controls: each writes one setting to the device and the mirror;
// the readback brings the controls in line with what the device reports.
#include "window/MainWindow.h"

#include "link/AppState.h"
#include "session/Readback.h"
#include "settings/ConfigReadback.h"
#include "settings/FactoryReset.h"
#include "settings/SettingsMap.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>

#include <cstring>

void MainWindow::writeSettingFromControls(int settingIndex) {
    const settings::Setting* s = settings::byIndex(settingIndex);
    if (!s)
        return;
    if (s->kind == settings::Kind::List) {
        // Filling the lists during start-up changes their entries; that is
        // not the user asking for anything.
        if (!appState.ready)
            return;
        const auto* list = findChild<QComboBox*>(QLatin1String(s->controls[0]));
        if (list)
            writeSetting(static_cast<std::uint8_t>(s->index), list->currentIndex() + s->listOffset);
        return;
    }
    const auto isChecked = [this](const char* name) {
        const auto* button = findChild<QAbstractButton*>(QLatin1String(name));
        return button && button->isChecked();
    };
    int value = 0;
    if (!settings::buttonValue(*s, isChecked, &value))
        return;
    writeSetting(static_cast<std::uint8_t>(s->index), value);
    // Kept even when the write failed: the mirror holds what was asked for.
    if (s->position >= 0 && s->position < kSettingsBlockSize)
        appState.settingsMirror[s->position] = static_cast<std::uint8_t>(value);
}

void MainWindow::SetActivePort() {
    noteSlot("SetActivePort");
    writeSettingFromControls(settings::kActiveInput);
}

void MainWindow::SetAutoSwitch() {
    noteSlot("SetAutoSwitch");
    writeSettingFromControls(settings::kAutoSwitch);
}

void MainWindow::SetAudioSource() {
    noteSlot("SetAudioSource");
    writeSettingFromControls(settings::kAudioSource);
}

void MainWindow::SetHDCP_Version() {
    noteSlot("SetHDCP_Version");
    writeSettingFromControls(settings::kHdcpVersion);
}

void MainWindow::SetOut_420() {
    noteSlot("SetOut_420");
    writeSettingFromControls(settings::kOut420);
}

void MainWindow::SetEPState() {
    noteSlot("SetEPState");
    writeSettingsBlock(appState.settingsMirror);
}

void MainWindow::force2c() {
    noteSlot("force2c");
    writeSettingFromControls(settings::kForce2ch);
}

void MainWindow::force51() {
    noteSlot("force51");
    writeSettingFromControls(settings::kForce51);
}

void MainWindow::forceHdr() {
    noteSlot("forceHdr");
    writeSettingFromControls(settings::kHdr);
}

void MainWindow::forceFullAudio() {
    noteSlot("forceFullAudio");
    writeSettingFromControls(settings::kFullAudio);
}

void MainWindow::setSwPriority() {
    noteSlot("setSwPriority");
    writeSettingFromControls(settings::kSwitchPriority);
}

void MainWindow::changeCustomEdid() {
    noteSlot("changeCustomEdid");
    writeSettingFromControls(settings::kEdidPreset);
}

void MainWindow::CecLpRepurp() {
    noteSlot("CecLpRepurp");
    writeSettingFromControls(settings::kCecHdrHotkey);
}

void MainWindow::hdrForceActivate() {
    noteSlot("hdrForceActivate");
    // Forcing HDR puts the custom InfoFrame on the output first; the setting
    // is written whatever became of it.
    const auto* box = findChild<QAbstractButton*>(QStringLiteral("cbHdrForceMode"));
    if (box && box->isChecked())
        sendHdrInfoFrame();
    writeSettingFromControls(settings::kForceHdrActive);
}

void MainWindow::hdrSamsung() {
    noteSlot("hdrSamsung");
    writeSettingFromControls(settings::kHdrMode);
}

void MainWindow::setLogoLed() {
    noteSlot("setLogoLed");
    writeSettingFromControls(settings::kGreenLed);
}

void MainWindow::setBt2020() {
    noteSlot("setBt2020");
    writeSettingFromControls(settings::kBt2020);
}

void MainWindow::setBlueLed() {
    noteSlot("setBlueLed");
    writeSettingFromControls(settings::kBlueLeds);
}

void MainWindow::factoryReset() {
    noteSlot("factoryReset");
    auto* typed = findChild<QLineEdit*>(QStringLiteral("leReset"));
    auto* clearSettings = findChild<QAbstractButton*>(QStringLiteral("cbClearSettings"));
    auto* clearEdid = findChild<QAbstractButton*>(QStringLiteral("cbClearEdid"));
    if (!typed || !clearSettings || !clearEdid)
        return;
    if (!settings::resetConfirmed(typed->text())) {
        showStatus("Type RESET into the text box and click OK", 2000);
        return;
    }
    const int what =
        settings::factoryResetValue(clearSettings->isChecked(), clearEdid->isChecked());
    if (what)
        writeSetting(settings::kFactoryReset, what);
    else
        showStatus("Choose the reset from the checkboxes", 2000);
    // Whatever happened, the next reset has to be asked for afresh.
    typed->clear();
    clearSettings->setChecked(false);
    clearEdid->setChecked(false);
}

void MainWindow::setYUV() {
    noteSlot("setYUV");
    writeSettingFromControls(settings::kYcbcr);
}

void MainWindow::setCEC() {
    noteSlot("setCEC");
    writeSettingFromControls(settings::kCecProcessing);
}

void MainWindow::setCecLa() {
    noteSlot("setCecLa");
    writeSettingFromControls(settings::kCecDeviceType);
}

void MainWindow::setAVR() {
    noteSlot("setAVR");
    writeSettingFromControls(settings::kAvrAudio);
}

void MainWindow::set3D() {
    noteSlot("set3D");
    writeSettingFromControls(settings::kNo3D);
}

void MainWindow::setEdidAlgo() {
    noteSlot("setEdidAlgo");
    writeSettingFromControls(settings::kEdidAlgorithm);
}

void MainWindow::setAviPers() {
    noteSlot("setAviPers");
    // Making the replacement persistent sends the AVI InfoFrame first; the
    // setting is written again whatever became of it.
    const auto* box = findChild<QAbstractButton*>(QStringLiteral("cbAviPersistent"));
    if (box && box->isChecked())
        sendAVI();
    writeSettingFromControls(settings::kReplaceAvi);
}

void MainWindow::readbackConfiguration() {
    std::uint8_t block[kSettingsBlockSize] = {};
    if (session::readSettingsBlock(reporter(), block) != session::BlockRead::Ok)
        return;
    std::memcpy(appState.settingsMirror, block, kSettingsBlockSize);

    // The same calls a user's action makes: boxes and lists whose state
    // changes run their slots and send the value straight back.
    for (const settings::ControlAction& action : settings::readbackActions(block)) {
        const QLatin1String name(action.control);
        switch (action.op) {
        case settings::ControlAction::Op::Check:
            if (auto* button = findChild<QAbstractButton*>(name))
                button->setChecked(action.value != 0);
            break;
        case settings::ControlAction::Op::Select:
            if (auto* list = findChild<QComboBox*>(name)) {
                // Qt 6 may announce a move from "no entry" to "no entry" as a
                // change; a list already showing the value must stay quiet,
                // or every tick would send it again.
                const bool inRange = action.value >= 0 && action.value < list->count();
                if (list->currentIndex() != (inRange ? action.value : -1))
                    list->setCurrentIndex(action.value);
            }
            break;
        case settings::ControlAction::Op::Enable:
            if (auto* widget = findChild<QWidget*>(name))
                widget->setEnabled(action.value != 0);
            break;
        }
    }
}
