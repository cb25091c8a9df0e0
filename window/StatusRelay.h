#pragma once

#include "session/Readback.h"

#include <QObject>

class MainWindow;

// Tells the windows that follow the input about each status read of a main
// window (start-up and every poll tick), so they never ask the device
// themselves. A relay of its own keeps MainWindow's slot table as it is.
class StatusRelay : public QObject {
    Q_OBJECT

signals:
    void statusRead(const MainWindow* from, const session::StatusReplies& replies);
};

StatusRelay& statusRelay();
