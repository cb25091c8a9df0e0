// EDID tables to and from the device, the EDID mode and its busy poll.
#include "window/MainWindow.h"

#include "edid/EdidRequests.h"
#include "link/AppState.h"
#include "link/Dialogs.h"
#include "link/Platform.h"
#include "link/Protocol.h"
#include "link/UsbLink.h"
#include "session/EdidTransfer.h"
#include "settings/SettingsMap.h"
#include "ui_KorvantaForm.h"
#include "window/EdidComparison.h"

#include <QProgressBar>
#include <QStatusBar>

void MainWindow::installProgressBar() {
    // The bar of an earlier transfer that ended early would otherwise stay on.
    if (progress) {
        statusBar()->removeWidget(progress);
        progress->deleteLater();
    }
    progress = new QProgressBar(statusBar());
    progress->setTextVisible(false);
    progress->hide();
    statusBar()->addPermanentWidget(progress);
}

void MainWindow::ReadEDID() {
    noteSlot("ReadEDID");
    clearEdidTextBuffer();
    readEdid(proto::kCmdStageDeviceEdid, "EDID values read.", "Error reading Korvanta EDID");
}

void MainWindow::readTvEdidA() {
    noteSlot("readTvEdidA");
    clearEdidTextBuffer();
    readTvEdid(0);
}

void MainWindow::readTvEdidB() {
    noteSlot("readTvEdidB");
    clearEdidTextBuffer();
    readTvEdid(1);
}

bool MainWindow::readTvEdid(int output) {
    if (output == 0)
        return readEdid(proto::kCmdStageTopEdid, "TV EDID values read.",
                        "Error reading TV [TOP] EDID");
    return readEdid(proto::kCmdStageBotEdid, "TV EDID values read.", "Error reading TV [BOT] EDID");
}

bool MainWindow::readEdid(std::uint8_t prepareCommand, const char* doneText,
                          const char* failedText) {
    installProgressBar();
    int length = 0;
    const session::EdidReadResult read = session::readEdid(
        reporter(), prepareCommand, appState.edidTextBuffer, kEdidTextBufferSize, &length);
    if (!read.complete) {
        // The editor keeps the table it had; it must not pass for this one.
        reporter().status(session::Level::Error, failedText, session::kErrorMs);
        on_ProgressChange(0, 0);
        return false;
    }
    showStatus(doneText, 2000);
    showEdidText(QString::fromLatin1(appState.edidTextBuffer, length), false);
    noteEditorOrigin(ui->EDIDtext, prepareCommand == proto::kCmdStageTopEdid   ? tr("TOP display")
                                   : prepareCommand == proto::kCmdStageBotEdid ? tr("BOT display")
                                                                               : tr("Device"));
    return true;
}

void MainWindow::WriteEDID() {
    noteSlot("WriteEDID");
    clearEdidTextBuffer();
    // Only the custom table can be replaced; a preset or another mode would
    // ignore the upload.
    if (ui->automixEDID->isChecked() || ui->fixedEDID->isChecked() ||
        ui->cmBEdid->currentIndex() != 0) {
        platform().dialogs->message(this, Dialogs::Icon::Warning, tr("KORVANTA Utility"),
                                    tr("\nSelect CUSTOM EDID TABLE mode to upload an EDID table\n"),
                                    Dialogs::Ok, Dialogs::Ok);
        return;
    }
    writeEdidImage();
}

bool MainWindow::writeEdidImage() {
    installProgressBar();
    EdidImage image{};
    if (!editorEdidImage(image.data()))
        return false;
    if (!edidChecksumsCorrect(image)) {
        const int answer = platform().dialogs->question(
            nullptr, tr("KORVANTA Utility"), tr("The EDID Checksum is not correct."),
            tr("Write anyway?"), Dialogs::Yes | Dialogs::No, 0);
        if (answer != Dialogs::Yes)
            return false;
    }

    return session::writeEdid(reporter(), image);
}

void MainWindow::SetEDID_Mode() {
    noteSlot("SetEDID_Mode");
    int mode = 0;
    if (ui->automixEDID->isChecked())
        mode = kEdidModeAutomix;
    else if (ui->fixedEDID->isChecked())
        mode = kEdidModeFixed;
    else if (ui->customEDID->isChecked())
        mode = kEdidModeCustom;
    if (mode != 0) {
        writeSetting(settings::kEdidMode, mode);
        const int position = settings::blockPosition(settings::kEdidMode);
        if (position >= 0)
            appState.settingsMirror[position] = static_cast<std::uint8_t>(mode);
        // Only the custom table is the user's to edit.
        ui->EDIDtext->setEnabled(mode == kEdidModeCustom);
    }
    showStatus("EDID Writing Busy", 2000);
    appState.edidBusy = 1;
}

void MainWindow::pollEdidBusy() {
    if (!appState.edidBusy)
        return;
    std::uint8_t values[kReplyBufferSize] = {};
    // A failed read leaves the device's state unknown: ask again next tick.
    if (!readValues(values, kEdidBusyReadLength) || edidDeviceBusy(values))
        return;
    appState.edidBusy = 0;
    ReadEDID();
}
