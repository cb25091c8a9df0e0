#include "window/DecodeMenus.h"

#include "window/DecodeWindow.h"
#include "window/EdidComparison.h"
#include "window/EdidEditorWindow.h"
#include "window/FieldDecode.h"
#include "window/ScenesWindow.h"
#include "window/SignalChainWindow.h"

#include <QContextMenuEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTextEdit>

#include <memory>

namespace {

struct DecodedField {
    const char* objectName;
    HexField kind;
    const char* title; // "the ..." in the decode window's texts
};

constexpr DecodedField kDecodedFields[] = {
    {"EDIDtext", HexField::Edid, "EDID editor"},
    {"CECtext", HexField::Cec, "CEC command"},
    {"IFtext", HexField::HdrInfoFrame, "custom HDR InfoFrame"},
    {"AVItext", HexField::AviInfoFrame, "custom AVI InfoFrame"},
    {"txtHdrIf", HexField::CapturedHdr, "source's HDR InfoFrame"},
};

// The status header's format line: the input whose way to the displays the
// signal chain window follows.
constexpr const char* kStatusHeaderName = "label_video_format";

const DecodedField* decodedField(const QTextEdit* field) {
    for (const DecodedField& entry : kDecodedFields)
        if (field && field->objectName() == QLatin1String(entry.objectName))
            return &entry;
    return nullptr;
}

// A text edit's right click lands on its viewport, the menu key on the edit
// itself: the filter watches both and puts up our menu in place of its own.
class DecodeMenuFilter final : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::ContextMenu)
            return false;
        const QPoint at = static_cast<QContextMenuEvent*>(event)->globalPos();
        if (auto* label = qobject_cast<QLabel*>(watched)) {
            const std::unique_ptr<QMenu> menu(statusHeaderContextMenu(label));
            showDecodeMenu(*menu, at);
            return true;
        }
        auto* field = qobject_cast<QTextEdit*>(watched);
        if (!field)
            field = qobject_cast<QTextEdit*>(watched->parent());
        if (!decodedField(field))
            return false;
        const std::unique_ptr<QMenu> menu(decodeContextMenu(field));
        showDecodeMenu(*menu, at);
        return true;
    }
};

} // namespace

std::function<void(QMenu&, const QPoint&)> showDecodeMenu = [](QMenu& menu, const QPoint& at) {
    menu.exec(at);
};

void installDecodeMenus(QWidget& window) {
    auto* filter = new DecodeMenuFilter(&window);
    for (const DecodedField& entry : kDecodedFields) {
        if (auto* field = window.findChild<QTextEdit*>(QLatin1String(entry.objectName))) {
            field->installEventFilter(filter);
            field->viewport()->installEventFilter(filter);
        }
    }
    if (auto* header = window.findChild<QLabel*>(QLatin1String(kStatusHeaderName)))
        header->installEventFilter(filter);
    installToolsMenu(window);
}

void installToolsMenu(QWidget& window) {
    auto* main = qobject_cast<QMainWindow*>(&window);
    auto* editor = window.findChild<QTextEdit*>(QStringLiteral("EDIDtext"));
    if (!main || !editor || main->menuBar()->findChild<QMenu*>(QStringLiteral("menuTools")))
        return;
    auto* tools = new QMenu(DecodeWindow::tr("Tools"), main->menuBar());
    tools->setObjectName(QStringLiteral("menuTools"));
    QObject::connect(tools->addAction(DecodeWindow::tr("Decode\u2026")), &QAction::triggered,
                     editor, [editor] { openDecodeWindow(editor); });
    QObject::connect(tools->addAction(DecodeWindow::tr("Compare EDIDs\u2026")), &QAction::triggered,
                     editor, [editor] { openEdidComparison(editor); });
    QObject::connect(tools->addAction(DecodeWindow::tr("Edit EDID\u2026")), &QAction::triggered,
                     editor, [editor] { openEdidEditor(editor); });
    tools->addSeparator();
    QObject::connect(tools->addAction(DecodeWindow::tr("Signal chain\u2026")), &QAction::triggered,
                     main, [main] { openSignalChain(main); });
    QObject::connect(tools->addAction(DecodeWindow::tr("Scenes\u2026")), &QAction::triggered, main,
                     [main] { openScenes(main); });
    // Between File and Help, where the form's menus leave room for it.
    auto* help = main->menuBar()->findChild<QMenu*>(QStringLiteral("menuHelp"));
    main->menuBar()->insertMenu(help ? help->menuAction() : nullptr, tools);
}

QMenu* decodeContextMenu(QTextEdit* field) {
    QMenu* menu = field->createStandardContextMenu();
    const DecodedField* entry = decodedField(field);
    if (!entry)
        return menu;
    menu->addSeparator();
    QObject::connect(menu->addAction(DecodeWindow::tr("Decode\u2026")), &QAction::triggered, field,
                     [field] { openDecodeWindow(field); });
    if (entry->kind == HexField::Edid) {
        QObject::connect(menu->addAction(DecodeWindow::tr("Edit\u2026")), &QAction::triggered,
                         field, [field] { openEdidEditor(field); });
        QObject::connect(menu->addAction(DecodeWindow::tr("Compare EDIDs\u2026")),
                         &QAction::triggered, field, [field] { openEdidComparison(field); });
    }
    return menu;
}

QMenu* statusHeaderContextMenu(QLabel* label) {
    auto* menu = new QMenu(label);
    QWidget* owner = label->window();
    QObject::connect(menu->addAction(DecodeWindow::tr("Signal chain\u2026")), &QAction::triggered,
                     owner, [owner] { openSignalChain(owner); });
    return menu;
}

DecodeWindow* openDecodeWindow(QTextEdit* field) {
    const DecodedField* entry = decodedField(field);
    if (!entry)
        return nullptr;
    QWidget* owner = field->window();
    const QString name = QStringLiteral("decode-") + field->objectName();
    DecodeWindow* decodeWindow = DecodeWindow::findOpen(owner, name);
    if (!decodeWindow) {
        const QString title = DecodeWindow::tr(entry->title);
        decodeWindow = new DecodeWindow(owner, DecodeWindow::tr("Decode of the %1").arg(title));
        decodeWindow->setObjectName(name);
        decodeWindow->showNote(DecodeWindow::tr("The %1, decoded as it changes.").arg(title));
        const HexField kind = entry->kind;
        decodeWindow->follow(field,
                             [kind](const QString& text) { return decodeHexField(kind, text); });
    }
    decodeWindow->present();
    return decodeWindow;
}
