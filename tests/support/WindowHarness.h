#pragma once

#include "TestPlatform.h"
#include "ui_KorvantaForm.h"
#include "window/MainWindow.h"

#include <QCoreApplication>
#include <QStatusBar>
#include <QTimerEvent>

#include <memory>

// The window on a simulated device, virtual time and scripted dialogs.
struct WindowHarness : TestPlatform {
    std::unique_ptr<MainWindow> window;

    MainWindow& start() {
        window = std::make_unique<MainWindow>();
        return *window;
    }
    Ui::MainWindow* ui() const { return window->form(); }
    // One poll tick, as the window's timer would deliver it.
    void tick() {
        QTimerEvent event(appState.pollTimerId);
        QCoreApplication::sendEvent(window.get(), &event);
    }
    QString status() const { return window->statusBar()->currentMessage(); }
    // Forget the traffic so far; the next checks see only what follows.
    void clearTraffic() {
        usb.device.requests.clear();
        usb.calls.clear();
        dialogs.shown.clear();
    }
    ~WindowHarness() { window.reset(); }
};
