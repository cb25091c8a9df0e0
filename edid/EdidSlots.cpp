// EDID editor, transfers and files.
#include "app/MainWindow.h"

#include "app/AppState.h"
#include "ui_KorvantaForm.h"

void MainWindow::SaveEDIDtoFile() {
    noteSlot("SaveEDIDtoFile");
    clearEdidTextBuffer();
}

void MainWindow::LoadEDIDfromFile() {
    noteSlot("LoadEDIDfromFile");
    clearEdidTextBuffer();
}

void MainWindow::ReadEDID() {
    noteSlot("ReadEDID");
    clearEdidTextBuffer();
}

void MainWindow::WriteEDID() {
    noteSlot("WriteEDID");
    clearEdidTextBuffer();
}

void MainWindow::CalculateChkSum() {
    noteSlot("CalculateChkSum");
    clearEdidTextBuffer();
}

void MainWindow::SetEDID_Mode() {
    noteSlot("SetEDID_Mode");
}

void MainWindow::readTvEdidA() {
    noteSlot("readTvEdidA");
    clearEdidTextBuffer();
    readTvEdid(0);
}

void MainWindow::readTvEdidB() {
    noteSlot("readTvEdidB");
    clearEdidTextBuffer();
    readTvEdid(1);
}

void MainWindow::readTvEdid(int) {}

void MainWindow::pollEdidBusy() {}
