// CEC messages and InfoFrame injection.
#include "app/MainWindow.h"

#include "app/AppState.h"
#include "ui_KorvantaForm.h"

void MainWindow::WriteCEC() {
    noteSlot("WriteCEC");
    clearEdidTextBuffer();
}

void MainWindow::SaveCEC_1() {
    noteSlot("SaveCEC_1");
    clearEdidTextBuffer();
}

void MainWindow::SaveCEC_2() {
    noteSlot("SaveCEC_2");
    clearEdidTextBuffer();
}

void MainWindow::WriteIF() {
    noteSlot("WriteIF");
    clearEdidTextBuffer();
}

bool MainWindow::sendAVI() {
    noteSlot("sendAVI");
    return false;
}

bool MainWindow::sendHdrInfoFrame() { return false; }
