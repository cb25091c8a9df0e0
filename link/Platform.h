#pragma once

class UsbLibrary;
class Clock;
class Dialogs;
class Trace;
class Forwarder;

// The seams the program reaches the outside world through. main() installs
// the real ones; tests install scripted ones.
struct Platform {
    UsbLibrary* usb = nullptr;
    Clock* clock = nullptr;
    Dialogs* dialogs = nullptr;
    Trace* trace = nullptr; // optional
    // Set when a service owns the device: transactions go to it instead.
    Forwarder* forwarder = nullptr;
};

Platform& platform();

// A backend with nothing queued pauses this long before it says so, as the
// bus does for real hardware: the reply loop polls without sleeping, and a
// silent simulated or replayed device would otherwise keep a core busy.
constexpr unsigned kEmptyQueuePauseMs = 1;
void pauseOnEmptyQueue();
