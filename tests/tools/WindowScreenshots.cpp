// Renders each tab of the main window, the decode window on some of its hex
// fields and the windows of the Tools menu, to PNGs without a display, so that the layout can be
// looked at on any machine:
//
//   QT_QPA_PLATFORM=offscreen KORVANTA_LINK=simulator korvanta_screenshots_<variant> <dir>
//
// The device is the simulator unless KORVANTA_LINK says otherwise. Dialogs are
// answered with their default button and echoed to stderr, because a modal box
// would wait forever with nobody to click it.

#include "link/AppState.h"
#include "link/Clock.h"
#include "link/Dialogs.h"
#include "link/Platform.h"
#include "session/Backend.h"
#include "sim/SimState.h"
#include "sim/SimUsbLibrary.h"
#include "window/DecodeMenus.h"
#include "window/DecodeWindow.h"
#include "window/EdidComparison.h"
#include "window/EdidEditorWindow.h"
#include "window/MainWindow.h"
#include "window/ScenesWindow.h"
#include "window/SignalChainWindow.h"
#include "window/Variant.h"

#include "window/FormFont.h"
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextEdit>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

class EchoDialogs : public Dialogs {
public:
    void usbWarning(const QString& text) override { echo("usb warning", text); }
    int message(QWidget*, Icon, const QString& title, const QString& text, int,
                int defaultButton) override {
        echo(title, text);
        return defaultButton;
    }
    void about(QWidget*, const QString& title, const QString& text) override { echo(title, text); }
    QString openFileName(QWidget*, const QString& caption, const QString&,
                         const QString&) override {
        echo(caption, QStringLiteral("(cancelled)"));
        return {};
    }
    QString saveFileName(QWidget*, const QString& caption, const QString&,
                         const QString&) override {
        echo(caption, QStringLiteral("(cancelled)"));
        return {};
    }

private:
    static void echo(const QString& title, const QString& text) {
        std::fprintf(stderr, "dialog: %s: %s\n", qPrintable(title), qPrintable(text));
    }
};

// File names follow the tab's object name so they stay stable when titles change.
QString fileNameFor(int index, const QWidget* page) {
    const char* variant = kDpi200Build ? "dpi200" : "standard";
    return QStringLiteral("%1-%2-%3.png").arg(variant).arg(index + 1).arg(page->objectName());
}

bool save(QWidget* widget, const QString& path) {
    if (widget->grab().save(path)) {
        std::printf("%s\n", qPrintable(path));
        return true;
    }
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}

// The EDID editing window on TOP's display, one picture a panel.
int saveEditorWindow(MainWindow& window, const QDir& out, int& number) {
    const char* variant = kDpi200Build ? "dpi200" : "standard";
    EdidEditorWindow* editor = openEdidEditor(window.findChild<QTextEdit*>("EDIDtext"));
    editor->merge(EdidEditorWindow::Source::Top, EdidEditorWindow::Source::Top, false);
    auto* tabs = editor->findChild<QTabWidget*>();
    int failures = 0;
    for (int i = 0; i < tabs->count(); ++i) {
        tabs->setCurrentIndex(i);
        QApplication::processEvents();
        const QString file = QStringLiteral("%1-%2-edit-EDID-%3.png")
                                 .arg(variant)
                                 .arg(number++)
                                 .arg(tabs->tabText(i).toLower());
        if (!save(editor, out.filePath(file)))
            ++failures;
    }
    return failures;
}

// The signal chain window on the device as it is, then on each staged chain of
// examples/ when the device is the simulator.
int saveChainWindows(MainWindow& window, UsbLibrary* usb, const QDir& out, int& number) {
    const char* variant = kDpi200Build ? "dpi200" : "standard";
    SignalChainWindow* chain = openSignalChain(&window);
    int failures = 0;
    const auto shoot = [&](const QString& name) {
        QApplication::processEvents();
        const QString file =
            QStringLiteral("%1-%2-chain-%3.png").arg(variant).arg(number++).arg(name);
        if (!save(chain, out.filePath(file)))
            ++failures;
    };
    shoot(QStringLiteral("device"));
    auto* sim = dynamic_cast<SimUsbLibrary*>(usb);
    const QDir examples(QStringLiteral(KORVANTA_EXAMPLES));
    const QStringList files =
        examples.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name);
    for (const QString& name : sim ? files : QStringList{}) {
        std::string complaint;
        const std::string path = examples.filePath(name).toStdString();
        if (loadSimState(path, &sim->device, &complaint) != SimStateLoad::Loaded) {
            std::fprintf(stderr, "%s: %s\n", path.c_str(), complaint.c_str());
            ++failures;
            continue;
        }
        chain->readDisplays();
        shoot(QFileInfo(name).completeBaseName());
    }
    chain->close();
    return failures;
}

// The scenes window on a folder of its own (never the user's scenes): two
// scenes saved from the device, one recalled, and a damaged file.
int saveScenesWindow(MainWindow& window, const QDir& out, int& number) {
    const char* variant = kDpi200Build ? "dpi200" : "standard";
    QTemporaryDir folder;
    qputenv("KORVANTA_SCENES", folder.path().toLocal8Bit());
    ScenesWindow* scenes = openScenes(&window);
    ops::SceneSaveParams movie{"Movie night", {"input", "hdr"}, false, {"STRMBOX*", "", "", ""}};
    ops::SceneSaveParams game{
        "Game", {"input", "out-420", "auto-switch"}, false, {"GAMECO*", "", "", ""}};
    int failures = !scenes->saveCurrent(movie) + !scenes->saveCurrent(game);
    QFile damaged(folder.filePath(QStringLiteral("Old.json")));
    if (damaged.open(QIODevice::WriteOnly))
        damaged.write("{\"format\": \"korvanta-backup\"");
    damaged.close();
    scenes->refresh();
    scenes->select(QStringLiteral("Movie night"));
    failures += !scenes->recall(QStringLiteral("Movie night"));
    QApplication::processEvents();
    const QString file = QStringLiteral("%1-%2-scenes.png").arg(variant).arg(number++);
    failures += !save(scenes, out.filePath(file));
    scenes->close();
    qunsetenv("KORVANTA_SCENES");
    return failures;
}

// The decode window as the context menus open it: the EDID editor's and the HDR
// InfoFrame's decodes, and the editor compared with TOP's display.
int saveDecodeWindows(MainWindow& window, const QDir& out, int& number) {
    const char* variant = kDpi200Build ? "dpi200" : "standard";
    int failures = 0;
    for (const char* name : {"EDIDtext", "IFtext"}) {
        DecodeWindow* decodeWindow = openDecodeWindow(window.findChild<QTextEdit*>(name));
        QApplication::processEvents();
        const QString file =
            QStringLiteral("%1-%2-decode-%3.png").arg(variant).arg(number++).arg(name);
        if (!decodeWindow || !save(decodeWindow, out.filePath(file)))
            ++failures;
    }
    DecodeWindow* comparison = openEdidComparison(window.findChild<QTextEdit*>("EDIDtext"));
    for (QPushButton* button : comparison->findChildren<QPushButton*>())
        if (button->text() == QStringLiteral("TOP display"))
            button->click();
    QApplication::processEvents();
    const QString file = QStringLiteral("%1-%2-compare-EDIDtext.png").arg(variant).arg(number++);
    if (!save(comparison, out.filePath(file)))
        ++failures;
    return failures + saveEditorWindow(window, out, number);
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }

    // The same face the program itself asks for; KORVANTA_SCREENSHOT_NATIVE_FONT keeps the
    // platform default instead.
    if (!std::getenv("KORVANTA_SCREENSHOT_NATIVE_FONT"))
        applyFormFont();

    const char* link = std::getenv("KORVANTA_LINK");
    std::string complaint;
    const LinkKind kind = linkKindFromEnvironment(link ? link : "simulator", &complaint);
    if (!complaint.empty())
        std::fprintf(stderr, "%s\n", complaint.c_str());

    SystemClock clock;
    EchoDialogs dialogs;
    std::unique_ptr<UsbLibrary> usb = makeUsbLibrary(kind);
    platform() = Platform{usb.get(), &clock, &dialogs, nullptr};

    auto* window = new MainWindow;
    installDecodeMenus(*window);
    // The same steps as the program's main() after the window exists.
    if (kDpi200Build) {
        const QScreen* screen = QGuiApplication::primaryScreen();
        appState.dpiScale =
            static_cast<float>((screen ? screen->logicalDotsPerInchX() : 96.0) / 96.0);
        app.setStyleSheet(QStringLiteral("QTextEdit#EDIDtext { font: 11px }"));
    }
    window->show();
    QApplication::processEvents();

    auto* tabs = window->findChild<QTabWidget*>(QStringLiteral("tabWidget"));
    if (!tabs) {
        std::fprintf(stderr, "the window has no tabWidget\n");
        return 1;
    }
    int failures = 0;
    for (int i = 0; i < tabs->count(); ++i) {
        tabs->setCurrentIndex(i);
        QApplication::processEvents();
        if (!save(window, out.filePath(fileNameFor(i, tabs->widget(i)))))
            ++failures;
    }
    int number = tabs->count() + 1;
    failures += saveDecodeWindows(*window, out, number);
    failures += saveChainWindows(*window, usb.get(), out, number);
    failures += saveScenesWindow(*window, out, number);

    delete window;
    platform() = Platform{};
    return failures == 0 ? 0 : 1;
}
