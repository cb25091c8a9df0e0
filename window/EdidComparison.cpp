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

#include <algorithm>

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

QString jsonText(const decode::Node& n, const char* key) {
    for (const decode::Node& c : n.children)
        if (c.key == key)
            return c.json.toString();
    return {};
}

bool hasJson(const decode::Node& n, const char* key) {
    return std::any_of(n.children.begin(), n.children.end(),
                       [&](const decode::Node& c) { return c.key == key; });
}

QString orDash(const QString& value) {
    return value.isEmpty() ? QStringLiteral("-") : value;
}

// A difference: each side's value, or which side has the part.
DecodeWindow::SideRow differenceRow(const decode::Node& n, const QString& nameA) {
    DecodeWindow::SideRow row{
        QString::fromStdString(n.label), {}, QString::fromStdString(n.text), {}};
    if (hasJson(n, "onlyIn")) {
        const bool inA = jsonText(n, "onlyIn") == nameA;
        row.values = {inA ? tr("present") : QStringLiteral("-"),
                      inA ? QStringLiteral("-") : tr("present")};
    } else {
        row.values = {orDash(jsonText(n, "a")), orDash(jsonText(n, "b"))};
    }
    if (hasJson(n, "reordered"))
        row.label = tr("%1 (the same timings in another order)").arg(row.label);
    return row;
}

// The comparison's nodes as rows of one value a side; empty lists are left out.
DecodeWindow::SideBySide sideBySide(const decode::Decoded& d) {
    DecodeWindow::SideBySide view;
    QString nameA, nameB;
    bool identical = false;
    for (const decode::Node& n : d.nodes) {
        if (n.key == "nameA")
            nameA = n.json.toString();
        else if (n.key == "nameB")
            nameB = n.json.toString();
        else if (n.key == "identical")
            identical = n.json.toBool();
    }
    view.heading = tr("%1 compared with %2").arg(nameA, nameB);
    view.sides = {nameA, nameB};
    for (const decode::Node& n : d.nodes) {
        if (n.label.empty() || n.children.empty() || n.key == "compared" || n.key == "identical")
            continue;
        DecodeWindow::SideRow group{QString::fromStdString(n.label), {}, {}, {}};
        const bool sideB = n.key.ends_with('B');
        for (const decode::Node& c : n.children) {
            if (n.key == "differences") {
                group.children.push_back(differenceRow(c, nameA));
                continue;
            }
            const QString text = QString::fromStdString(c.text);
            group.children.push_back({QString::fromStdString(c.label),
                                      sideB ? QStringList{"-", text} : QStringList{text, "-"},
                                      {},
                                      {}});
        }
        view.rows.push_back(std::move(group));
    }
    view.problems = d.problems;
    if (identical)
        view.verdict = tr("The two EDIDs are the same.");
    return view;
}

void compareWith(DecodeWindow* window, QTextEdit* editor, const EdidImage& other,
                 const QString& name) {
    window->followSideBySide(
        editor, [editor, other, name = name.toStdString()](const QString& text) {
            return sideBySide(
                compareEditorEdid(text, editorSideName(editor).toStdString(), other, name));
        });
    window->showNote(tr("The EDID editor's side is compared again as its text changes."));
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
