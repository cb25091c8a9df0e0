// EDID tables to and from the device, the EDID mode and its busy poll.
#include "app/MainWindow.h"

#include "app/AppState.h"
#include "edid/EdidRequests.h"
#include "link/Clock.h"
#include "link/Dialogs.h"
#include "link/Platform.h"
#include "link/Protocol.h"
#include "link/UsbLink.h"
#include "settings/SettingsMap.h"
#include "ui_KorvantaForm.h"

#include <QProgressBar>
#include <QStatusBar>

namespace {

// Pauses the device needs between requests.
constexpr std::uint32_t kAfterPrepareReadMs = 100;
constexpr std::uint32_t kAfterBusyReadMs = 10;
constexpr std::uint32_t kAfterWriteChunkMs = 30;
constexpr int kBusyWaitMaxReads = 501;
// A device that cannot answer a values read this often in a row will not
// answer the chunk reads either; waiting out all 501 reads, each up to a full
// reply window, would freeze the window for half an hour.
constexpr int kBusyWaitMaxFailedReads = 3;
constexpr int kReadProgressMaximum = 255;

void sleepMs(std::uint32_t ms) {
    platform().clock->sleepMs(ms);
}

} // namespace

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
    readEdid(proto::kCmdStageDeviceEdid, "EDID values read.");
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
    return readEdid(output == 0 ? proto::kCmdStageTopEdid : proto::kCmdStageBotEdid,
                    "TV EDID values read.");
}

bool MainWindow::readEdid(std::uint8_t prepareCommand, const char* doneText) {
    installProgressBar();

    std::uint8_t reply[kReplyBufferSize] = {};
    const auto prepare = edidPrepareReadRequest(prepareCommand);
    if (!transact(reply, prepare.data(), proto::kWriteReplyLength,
                  static_cast<int>(prepare.size())) ||
        reply[0] != prepareCommand)
        showStatus("Error Writing values", 4000);
    sleepMs(kAfterPrepareReadMs);

    // A failed values read tells nothing about the busy bit: count it as busy.
    int failedInARow = 0;
    for (int reads = 0; reads < kBusyWaitMaxReads; ++reads) {
        std::uint8_t values[kReplyBufferSize] = {};
        const bool ok = readValues(values, kEdidBusyReadLength);
        sleepMs(kAfterBusyReadMs);
        if (ok && !edidDeviceBusy(values))
            break;
        failedInARow = ok ? 0 : failedInARow + 1;
        if (failedInARow >= kBusyWaitMaxFailedReads)
            break;
    }

    clearEdidTextBuffer();
    int length = 0;
    for (int chunk = 0; chunk < kEdidReadChunks; ++chunk) {
        on_ProgressChange(chunk * kEdidReadChunkSize, kReadProgressMaximum);
        std::uint8_t data[kReplyBufferSize] = {};
        const auto request = edidReadChunkRequest(chunk);
        int received = 0;
        // The chunk has no acknowledge byte: a reply of no bytes at all would
        // pass for 16 zeros, so it ends the read like a failed one.
        if (!transact(data, request.data(), kEdidReadChunkSize, static_cast<int>(request.size()),
                      &received) ||
            received == 0)
            return false;
        length = appendEdidTextLine(appState.edidTextBuffer, kEdidTextBufferSize, length, data,
                                    kEdidReadChunkSize);
    }
    on_ProgressChange(0, 0);
    showStatus(doneText, 2000);
    showEdidText(QString::fromLatin1(appState.edidTextBuffer, length), false);
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

    bool chunkFailed = false;
    for (int chunk = 0; chunk < kEdidWriteChunks; ++chunk) {
        on_ProgressChange(chunk, kEdidWriteChunks);
        std::uint8_t reply[kReplyBufferSize] = {};
        const auto request = edidWriteChunkRequest(image, chunk);
        if (!transact(reply, request.data(), proto::kWriteReplyLength,
                      static_cast<int>(request.size())) ||
            reply[0] != proto::kCmdEdidChunk) {
            showStatus("Error Writing EDID values.", 2000);
            chunkFailed = true;
        }
        sleepMs(kAfterWriteChunkMs);
    }

    std::uint8_t reply[kReplyBufferSize] = {};
    const auto commit = edidCommitRequest();
    const bool committed =
        transact(reply, commit.data(), proto::kWriteReplyLength, static_cast<int>(commit.size())) &&
        reply[0] == proto::kCmdEdidCommit;
    if (!committed)
        showStatus("Error Populating EDID values.", 2000);
    else if (chunkFailed)
        // The device took a table with a gap in it: do not call that written.
        showStatus("Error Writing EDID values.", 2000);
    else
        showStatus("EDID values written...", 2000);
    on_ProgressChange(0, 0);
    return committed && !chunkFailed;
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
