// CEC messages and InfoFrame injection.
#include "window/MainWindow.h"

#include "link/Protocol.h"
#include "session/CecSession.h"
#include "settings/SettingsMap.h"
#include "ui_KorvantaForm.h"

void MainWindow::WriteCEC() {
    noteSlot("WriteCEC");
    clearEdidTextBuffer();
    sendCecCommand();
}

void MainWindow::SaveCEC_1() {
    noteSlot("SaveCEC_1");
    clearEdidTextBuffer();
    storeCecCommand(proto::kCmdStoreCecSp);
}

void MainWindow::SaveCEC_2() {
    noteSlot("SaveCEC_2");
    clearEdidTextBuffer();
    storeCecCommand(proto::kCmdStoreCecLp);
}

void MainWindow::WriteIF() {
    noteSlot("WriteIF");
    clearEdidTextBuffer();
    sendHdrInfoFrame();
}

bool MainWindow::sendCecCommand() {
    return session::sendCecCommand(reporter(), ui->CECtext->toPlainText());
}

bool MainWindow::storeCecCommand(std::uint8_t command) {
    return session::storeCecCommand(reporter(), command, ui->CECtext->toPlainText());
}

bool MainWindow::sendHdrInfoFrame() {
    return session::sendHdrInfoFrame(reporter(), ui->IFtext->toPlainText());
}

bool MainWindow::sendAVI() {
    noteSlot("sendAVI");
    if (!session::sendAviInfoFrame(reporter(), ui->AVItext->toPlainText()))
        return false;
    // Whether the replacement outlives this frame follows "REPLACE AVI".
    writeSettingFromControls(settings::kReplaceAvi);
    return true;
}
