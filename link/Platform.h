#pragma once

class UsbLibrary;
class Clock;
class Dialogs;
class Trace;

// The seams the program reaches the outside world through. main() installs
// the real ones; tests install scripted ones.
struct Platform {
    UsbLibrary* usb = nullptr;
    Clock* clock = nullptr;
    Dialogs* dialogs = nullptr;
    Trace* trace = nullptr; // optional
};

Platform& platform();
