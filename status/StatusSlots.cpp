// The live status header.
#include "app/MainWindow.h"

#include "app/AppState.h"
#include "ui_KorvantaForm.h"

void MainWindow::decodeStatus() {}
