// EDID tables to and from files.
#include "window/MainWindow.h"

#include "edid/EdidFile.h"
#include "link/AppState.h"
#include "link/Dialogs.h"
#include "link/Platform.h"
#include "ui_KorvantaForm.h"
#include "window/EdidComparison.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

void MainWindow::LoadEDIDfromFile() {
    noteSlot("LoadEDIDfromFile");
    clearEdidTextBuffer();
    const QString name = platform().dialogs->openFileName(
        this, tr("Open file"), QString(), tr("Binary Files (*.bin);;All files (*.*)"));
    if (name.isEmpty())
        return;

    QFile file(name);
    QByteArray buffer;
    // A name that opens but cannot be read (a directory) is as unreadable as a missing file.
    if (!file.open(QIODevice::ReadOnly) || !readEdidFileBuffer(file, buffer)) {
        platform().dialogs->message(this, Dialogs::Icon::Warning, tr("KORVANTA Utility"),
                                    tr("Cannot read file %1:\n%2.").arg(name, file.errorString()),
                                    Dialogs::Ok, Dialogs::Ok);
        return;
    }
    if (isBinaryEdidFile(buffer))
        formatEdidText(edidImageFromFile(buffer).data());
    else
        showEdidText(QString::fromLatin1(convertEdidDumpLineEnds(buffer)), true);
    noteEditorOrigin(ui->EDIDtext, tr("file %1").arg(QFileInfo(name).fileName()));
    showStatus("File loaded", 2000);
}

void MainWindow::SaveEDIDtoFile() {
    noteSlot("SaveEDIDtoFile");
    clearEdidTextBuffer();
    EdidImage image{};
    if (!editorEdidImage(image.data()))
        return;
    const QString name = platform().dialogs->saveFileName(
        this, tr("Save File"), QStringLiteral("KORVANTA_edid0.bin"), tr("Binary file (*.bin)"));
    if (name.isEmpty())
        return;

    const auto cannotWrite = [&](const QString& reason) {
        platform().dialogs->message(this, Dialogs::Icon::Warning, tr("KORVANTA Utility"),
                                    tr("Cannot write file %1:\n%2.").arg(name, reason), Dialogs::Ok,
                                    Dialogs::Ok);
    };
    // Written beside the target and renamed over it only when complete, so a
    // failed save never leaves an existing file truncated or half-written.
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        cannotWrite(file.errorString());
        return;
    }
    showStatus("Saving file...", 2000);
    if (!writeEdidBytes(file, image) || !file.commit()) {
        cannotWrite(file.errorString());
        return;
    }
    showStatus("File saved", 2000);
}
