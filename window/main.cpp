#include "link/AppState.h"
#include "link/Clock.h"
#include "link/Platform.h"
#include "link/Trace.h"
#include "service/ServiceClient.h"
#include "session/Backend.h"
#include "window/DecodeMenus.h"
#include "window/FormFont.h"
#include "window/MainWindow.h"
#include "window/QtDialogs.h"
#include "window/Variant.h"

#include <QApplication>
#include <QScreen>

#include <cstdio>
#include <cstdlib>
#include <memory>

#ifdef _WIN32
#include <windows.h>
#endif

// Logical DPI of the screen over the 96 DPI that counts as 100 %.
float probeDpiScale() {
#ifdef _WIN32
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return static_cast<float>(dpi) / 96.0f;
#else
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchX() : 96.0;
    return static_cast<float>(dpi / 96.0);
#endif
}

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    applyFormFont();

    // --device ID picks a unit as KORVANTA_DEVICE does, and wins over it.
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); ++i)
        if (args[i] == QLatin1String("--device"))
            qputenv("KORVANTA_DEVICE", args[i + 1].toLocal8Bit());

    std::string complaint;
    const LinkChoice link = linkChoiceFromEnvironment(std::getenv("KORVANTA_LINK"), &complaint);
    if (!complaint.empty())
        std::fprintf(stderr, "%s\n", complaint.c_str());

    SystemClock clock;
    QtDialogs dialogs;
    std::string warnings, error;
    std::unique_ptr<UsbLibrary> usb = makeUsbLibrary(link, &warnings, &error);
    std::fputs(warnings.c_str(), stderr);
    if (!usb) {
        // The window still opens, showing that no device is there.
        std::fprintf(stderr, "KORVANTA_LINK: %s\n", error.c_str());
        usb = std::make_unique<NoDeviceUsbLibrary>();
    }
    std::unique_ptr<Trace> trace;
    if (const char* path = std::getenv("KORVANTA_TRACE"); path && *path)
        trace = std::make_unique<Trace>(
            path, clock.tickCount(),
            traceHeader(kDpi200Build ? "KORVANTA_GUI_200DPI" : "KORVANTA_GUI",
                        kDpi200Build ? "200% DPI" : "standard", linkName(link)));

    platform().usb = usb.get();
    platform().clock = &clock;
    platform().dialogs = &dialogs;
    platform().trace = trace && trace->isOpen() ? trace.get() : nullptr;

    // With a service running for the unit the window picks, it owns it; the
    // window's transactions go there.
    service::ServiceClient serviceClient;
    if (link.kind != LinkKind::Replay) {
        MainWindow::devicePicked = [&serviceClient](const std::string& id) {
            std::string why;
            switch (service::connectToService(&serviceClient, id, &why)) {
            case service::ServiceClient::Connect::Connected:
                platform().forwarder = &serviceClient;
                break;
            case service::ServiceClient::Connect::Failed:
                std::fprintf(stderr, "%s; opening the device directly\n", why.c_str());
                break;
            case service::ServiceClient::Connect::NoService:
                break;
            }
        };
    }

    auto* window = new MainWindow;
    installDecodeMenus(*window);

    if (kDpi200Build) {
        appState.dpiScale = probeDpiScale();
        app.setStyleSheet(QStringLiteral("QTextEdit#EDIDtext { font: 11px }"));
    }

    window->show();
    const int status = app.exec();
    delete window;
    platform() = Platform{};
    return status;
}
