// The live status header.
#include "window/MainWindow.h"

#include "link/AppState.h"
#include "session/Readback.h"
#include "ui_KorvantaForm.h"
#include "window/StatusRelay.h"

namespace {

// The lines hold bytes the source sent (its names), so they are Latin-1.
QString latin1(const std::string& text) {
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

} // namespace

void MainWindow::decodeStatus() {
    session::StatusReplies replies;
    // Only the last read decides whether the header is rewritten.
    if (!session::readStatus(reporter(), &replies))
        return;
    const session::StatusHeader header = session::statusHeader(replies);
    ui->label_video_format->setText(latin1(header.videoFormat));
    ui->lblCsc->setText(latin1(header.colour));
    ui->lblVideoSource->setText(latin1(header.source));
    ui->lblHdrInput->setText(latin1(header.hdrInput));
    if (header.infoFrame.empty())
        ui->txtHdrIf->clear();
    else
        ui->txtHdrIf->setText(latin1(header.infoFrame));
    emit statusRelay().statusRead(this, replies);
}

void MainWindow::clearStatusHeader() {
    ui->label_video_format->clear();
    ui->lblCsc->clear();
    ui->lblVideoSource->clear();
    ui->lblHdrInput->clear();
    ui->txtHdrIf->clear();
}
