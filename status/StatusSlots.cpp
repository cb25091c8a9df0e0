// The live status header.
#include "app/MainWindow.h"

#include "app/AppState.h"
#include "link/Protocol.h"
#include "link/UsbLink.h"
#include "status/StatusLines.h"
#include "ui_KorvantaForm.h"

namespace {

constexpr std::uint8_t kInputStatusLength = 15;
constexpr std::uint8_t kStatusRegisterLength = 31;

// The lines hold bytes the source sent (its names), so they are Latin-1.
QString latin1(const std::string& text) {
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

} // namespace

void MainWindow::decodeStatus() {
    std::uint8_t input[kReplyBufferSize] = {};
    std::uint8_t product[kReplyBufferSize] = {};
    std::uint8_t hdr[kReplyBufferSize] = {};
    std::uint8_t last[kReplyBufferSize] = {};
    readConfig(proto::kRegInputStatus, input, kInputStatusLength);
    readConfig(proto::kRegSourceProduct, product, kStatusRegisterLength);
    readConfig(proto::kRegSourceHdr, hdr, kStatusRegisterLength);
    // Only the last read decides whether the header is rewritten.
    if (!readConfig(proto::kRegStatus31, last, kStatusRegisterLength))
        return;

    ui->label_video_format->setText(latin1(videoFormatLine(input)));
    ui->lblCsc->setText(latin1(colourLine(input)));
    ui->lblVideoSource->setText(latin1(sourceInfoLine(product)));
    ui->lblHdrInput->setText(latin1(hdrInputLine(hdr)));
    const std::string infoFrame = capturedHdrInfoFrameText(hdr);
    if (infoFrame.empty())
        ui->txtHdrIf->clear();
    else
        ui->txtHdrIf->setText(latin1(infoFrame));
}
