#include "window/EdidComparison.h"

#include "edid/EdidFile.h"
#include "link/Dialogs.h"
#include "link/Platform.h"
#include "session/EdidTransfer.h"
#include "window/DecodeWindow.h"
#include "window/FieldDecode.h"

#include <QFileInfo>
#include <QPushButton>
#include <QTextEdit>

namespace {

struct DeviceSide {
    session::EdidSource source;
    const char* button;
    const char* name; // the side's name in the comparison
};

constexpr DeviceSide kDeviceSides[] = {
    {session::EdidSource::Device, "Device's EDID", "Device"},
    {session::EdidSource::Top, "TOP display", "TOP display"},
    {session::EdidSource::Bottom, "BOT display", "BOT display"},
};

constexpr char kOriginProperty[] = "edidOrigin";
constexpr char kOriginTextProperty[] = "edidOriginText";

QString tr(const char* text) {
    return DecodeWindow::tr(text);
}

void compareWith(DecodeWindow* window, QTextEdit* editor, const EdidImage& other,
                 const QString& name) {
    window->follow(editor, [editor, other, name = name.toStdString()](const QString& text) {
        return compareEditorEdid(text, editorSideName(editor).toStdString(), other, name);
    });
    window->showNote(
        tr("The EDID editor against %1, compared again as the editor changes.").arg(name));
}

void compareWithDevice(DecodeWindow* window, QTextEdit* editor, const DeviceSide& side) {
    window->showNote(tr("Reading %1's EDID...").arg(side.name));
    const session::EdidReadResult read =
        session::readEdid(window->reporter(), session::stageCommand(side.source));
    // Unstaged, the chunks would hold whatever table the device staged last.
    if (!read.staged || !read.complete) {
        window->showNote(
            tr("Could not read %1's EDID from the device. %2").arg(side.name, window->lastReport()),
            true);
        return;
    }
    compareWith(window, editor, read.image, side.name);
}

void compareWithFile(DecodeWindow* window, QTextEdit* editor) {
    // The same file types as the editor's own Load button.
    const QString path = platform().dialogs->openFileName(
        window, tr("Open file"), QString(), tr("Binary Files (*.bin);;All files (*.*)"));
    if (path.isEmpty())
        return;
    EdidImage image{};
    QString error;
    if (!loadEdidFile(path, &image, &error)) {
        window->showNote(error, true);
        return;
    }
    compareWith(window, editor, image, tr("file %1").arg(QFileInfo(path).fileName()));
}

} // namespace

void noteEditorOrigin(QTextEdit* editor, const QString& origin) {
    editor->setProperty(kOriginProperty, origin);
    editor->setProperty(kOriginTextProperty, editor->toPlainText());
}

QString editorSideName(const QTextEdit* editor) {
    const QString origin = editor->property(kOriginProperty).toString();
    if (origin.isEmpty())
        return tr("EDID editor");
    if (editor->property(kOriginTextProperty).toString() != editor->toPlainText())
        return tr("%1 (edited)").arg(origin);
    return origin;
}

DecodeWindow* openEdidComparison(QTextEdit* editor) {
    QWidget* owner = editor->window();
    const QString name = QStringLiteral("comparison-") + editor->objectName();
    DecodeWindow* window = DecodeWindow::findOpen(owner, name);
    if (!window) {
        window = new DecodeWindow(owner, tr("Compare EDIDs"));
        window->setObjectName(name);
        window->showWholeLabels();
        window->showNote(tr("Compare the EDID editor with:"));
        for (const DeviceSide& side : kDeviceSides)
            QObject::connect(window->addChoice(tr(side.button)), &QPushButton::clicked, window,
                             [window, editor, &side] { compareWithDevice(window, editor, side); });
        QObject::connect(window->addChoice(tr("File\u2026")), &QPushButton::clicked, window,
                         [window, editor] { compareWithFile(window, editor); });
    }
    window->present();
    return window;
}
