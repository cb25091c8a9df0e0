// Settings controls: each writes one setting to the device and the mirror.
#include "app/MainWindow.h"

#include "app/AppState.h"
#include "ui_KorvantaForm.h"

void MainWindow::SetActivePort() {
    noteSlot("SetActivePort");
}

void MainWindow::SetAutoSwitch() {
    noteSlot("SetAutoSwitch");
}

void MainWindow::SetAudioSource() {
    noteSlot("SetAudioSource");
}

void MainWindow::SetHDCP_Version() {
    noteSlot("SetHDCP_Version");
}

void MainWindow::SetOut_420() {
    noteSlot("SetOut_420");
}

void MainWindow::SetEPState() {
    noteSlot("SetEPState");
}

void MainWindow::force2c() {
    noteSlot("force2c");
}

void MainWindow::force51() {
    noteSlot("force51");
}

void MainWindow::forceHdr() {
    noteSlot("forceHdr");
}

void MainWindow::forceFullAudio() {
    noteSlot("forceFullAudio");
}

void MainWindow::setSwPriority() {
    noteSlot("setSwPriority");
}

void MainWindow::changeCustomEdid() {
    noteSlot("changeCustomEdid");
}

void MainWindow::CecLpRepurp() {
    noteSlot("CecLpRepurp");
}

void MainWindow::hdrForceActivate() {
    noteSlot("hdrForceActivate");
}

void MainWindow::hdrSamsung() {
    noteSlot("hdrSamsung");
}

void MainWindow::setLogoLed() {
    noteSlot("setLogoLed");
}

void MainWindow::setBt2020() {
    noteSlot("setBt2020");
}

void MainWindow::setBlueLed() {
    noteSlot("setBlueLed");
}

void MainWindow::factoryReset() {
    noteSlot("factoryReset");
}

void MainWindow::setYUV() {
    noteSlot("setYUV");
}

void MainWindow::setCEC() {
    noteSlot("setCEC");
}

void MainWindow::setCecLa() {
    noteSlot("setCecLa");
}

void MainWindow::setAVR() {
    noteSlot("setAVR");
}

void MainWindow::set3D() {
    noteSlot("set3D");
}

void MainWindow::setEdidAlgo() {
    noteSlot("setEdidAlgo");
}

void MainWindow::setAviPers() {
    noteSlot("setAviPers");
}

void MainWindow::readbackConfiguration() {}
