// The EDID editor: its text to and from an image, and the checksum check.
#include "window/MainWindow.h"

#include "edid/EdidText.h"
#include "link/AppState.h"
#include "link/Dialogs.h"
#include "link/Platform.h"
#include "ui_KorvantaForm.h"
#include "window/Variant.h"

#include <QBrush>
#include <QFont>
#include <QTextCharFormat>
#include <QTextCursor>

#include <algorithm>

namespace {

constexpr double kEdidPointSize = 8.0;

} // namespace

bool MainWindow::editorEdidImage(std::uint8_t* image) {
    EdidImage parsed{};
    if (parseEdidText(ui->EDIDtext->toPlainText(), parsed) < 0) {
        platform().dialogs->message(this, Dialogs::Icon::Warning, tr("KORVANTA Utility"),
                                    tr("Hex Format Error"), Dialogs::Ok, Dialogs::Ok);
        return false;
    }
    std::copy(parsed.begin(), parsed.end(), image);
    return true;
}

void MainWindow::formatEdidText(const std::uint8_t* image) {
    QTextCharFormat byteFormat;
    byteFormat.setForeground(QBrush(Qt::black));
    QTextCharFormat lineEndFormat = byteFormat;
    if (kDpi200Build) {
        // The scale is set once the window exists; until then treat it as 1.
        const double scale = appState.dpiScale > 0.0f ? appState.dpiScale : 1.0;
        byteFormat.setFontPointSize(kEdidPointSize / scale);
        lineEndFormat.setFontPointSize(kEdidPointSize / scale);
    }

    ui->EDIDtext->clear();
    QTextCursor cursor = ui->EDIDtext->textCursor();
    cursor.clearSelection();
    cursor.movePosition(QTextCursor::Start);
    for (int i = 0; i < kEdidSize; ++i) {
        if (i % kEdidBytesPerLine != kEdidBytesPerLine - 1) {
            cursor.insertText(QString::asprintf("%02X ", image[i]), byteFormat);
            continue;
        }
        // The two checksum bytes close lines 8 and 16; they stand out in bold.
        const bool checksum = i == kEdidBlockSize - 1 || i == kEdidSize - 1;
        lineEndFormat.setFontWeight(checksum ? QFont::Bold : QFont::Normal);
        cursor.insertText(QString::asprintf("%02X", image[i]), lineEndFormat);
        cursor.insertText(QStringLiteral("\n"));
    }
}

void MainWindow::showEdidText(const QString& text, bool fromTextFile) {
    QTextEdit* editor = ui->EDIDtext;
    if (!kDpi200Build)
        editor->setFontPointSize(kEdidPointSize);
    // Text loaded from a file stands out until the editor is rendered again.
    editor->setTextColor(fromTextFile ? QColor(0, 0, 255, 255) : QColor(Qt::black));
    editor->setFontWeight(fromTextFile ? QFont::Bold : QFont::Normal);
    // Plain text: a file that happens to look like HTML is shown as it is.
    editor->setPlainText(text);
}

void MainWindow::CalculateChkSum() {
    noteSlot("CalculateChkSum");
    clearEdidTextBuffer();
    EdidImage image{};
    if (!editorEdidImage(image.data()))
        return;
    if (!edidChecksumsCorrect(image)) {
        const int answer = platform().dialogs->question(
            nullptr, QString(), tr("The EDID Checksum is not correct."),
            tr("Do you want to calculate a new checksum?"), Dialogs::Yes | Dialogs::No, 0);
        if (answer != Dialogs::Yes)
            return;
        setEdidChecksums(image);
    }
    formatEdidText(image.data());
}
