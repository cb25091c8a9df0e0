// CEC messages and InfoFrame injection.
#include "app/MainWindow.h"

#include "app/AppState.h"
#include "cec/CecRequests.h"
#include "cec/ColonHex.h"
#include "link/Clock.h"
#include "link/Platform.h"
#include "link/Protocol.h"
#include "link/UsbLink.h"
#include "settings/SettingsMap.h"
#include "ui_KorvantaForm.h"

#include <cstdio>
#include <string_view>

namespace {

// Field buffers and the largest count each sender accepts (text length + 1).
constexpr int kSendFieldCapacity = 200;
constexpr int kStoreFieldCapacity = 100;
constexpr int kCecSendMaxCount = 93;  // 31 bytes
constexpr int kCecStoreMaxCount = 60; // 20 bytes
constexpr int kHdrMaxCount = 93;      // 31 bytes
constexpr int kAviMaxCount = 39;      // 13 bytes

// The device needs a moment between a request and the populate that activates it.
constexpr std::uint32_t kPopulateDelayMs = 100;
constexpr int kAckReplyLength = 2;

constexpr int kErrorMs = 4000;
constexpr int kDoneMs = 2000;

// Accepted: the transaction ran and the device acknowledged this command.
bool sendAccepted(const DeviceRequest& request) {
    std::uint8_t reply[kReplyBufferSize] = {};
    return transact(reply, request.bytes.data(), kAckReplyLength, request.length) &&
           reply[0] == request.command();
}

bool populateAccepted(const DeviceRequest& before, std::uint8_t selector) {
    platform().clock->sleepMs(kPopulateDelayMs);
    return sendAccepted(populateRequest(before.lengthByte(), selector));
}

// These go to standard output only; the window shows nothing of them.
void diagnostic(const char* text) {
    std::fputs(text, stdout);
    std::fflush(stdout);
}

} // namespace

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
    char field[kSendFieldCapacity];
    std::uint8_t count = 0;
    if (!readHexField(ui->CECtext->toPlainText(), field, kCecSendMaxCount, &count)) {
        showStatus("Error: min 2, max 31 data bytes", kDoneMs);
        return false;
    }
    const DeviceRequest send = cecSendRequest(std::string_view(field, count), count);
    if (sendAccepted(send))
        showStatus("CEC values written...", kDoneMs);
    else
        showStatus("Error Writing CEC command.", kErrorMs);
    // The populate goes out whether or not the message was taken.
    if (!populateAccepted(send, proto::kPopulateCec)) {
        diagnostic("\nError Populating CEC values.\n");
        return false;
    }
    return true;
}

bool MainWindow::storeCecCommand(std::uint8_t command) {
    char field[kStoreFieldCapacity];
    std::uint8_t count = 0;
    DeviceRequest store;
    // The device keeps the text itself, so it is not parsed.
    if (!readHexField(ui->CECtext->toPlainText(), field, kCecStoreMaxCount, &count) ||
        !cecStoreRequest(command, std::string_view(field, count), &store)) {
        showStatus("CEC values not correct", kDoneMs);
        return false;
    }
    if (!sendAccepted(store)) {
        showStatus("Error Writing CEC values.", kErrorMs);
        return false;
    }
    showStatus("CEC values written...", kDoneMs);
    return true;
}

bool MainWindow::sendHdrInfoFrame() {
    char field[kSendFieldCapacity];
    std::uint8_t count = 0;
    if (!readHexField(ui->IFtext->toPlainText(), field, kHdrMaxCount, &count)) {
        showStatus("Error: min 2, max 31 data bytes", kDoneMs);
        return false;
    }
    const DeviceRequest send =
        infoFrameRequest(proto::kCmdHdrInfoFrame, std::string_view(field, count), count);
    if (sendAccepted(send))
        showStatus("Infoframe values written...", kDoneMs);
    else
        showStatus("Error Writing Infoframe values.", kErrorMs);
    if (!populateAccepted(send, proto::kPopulateHdr)) {
        diagnostic("\nError Populating IF values.\n");
        return false;
    }
    return true;
}

bool MainWindow::sendAVI() {
    noteSlot("sendAVI");
    char field[kSendFieldCapacity];
    std::uint8_t count = 0;
    if (!readHexField(ui->AVItext->toPlainText(), field, kAviMaxCount, &count)) {
        showStatus("Error: min 2, max 13 data bytes", kDoneMs);
        return false;
    }
    const DeviceRequest send =
        infoFrameRequest(proto::kCmdAviInfoFrame, std::string_view(field, count), count);
    if (!sendAccepted(send)) {
        showStatus("Error Writing AVI command.", kErrorMs);
        return false;
    }
    showStatus("AVI values written...", kDoneMs);
    if (!populateAccepted(send, proto::kPopulateAvi)) {
        diagnostic("\nError Activating AVI values.\n");
        return false;
    }
    // Whether the replacement outlives this frame follows "REPLACE AVI".
    writeSettingFromControls(settings::kReplaceAvi);
    return true;
}
