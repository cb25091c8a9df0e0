#pragma once

// Where a device flow tells what happened. The window puts the texts in its
// status bar and moves its progress bar; the command line prints them.
namespace session {

enum class Level {
    Done,       // the operation went through
    Error,      // the device failed or refused
    InputError, // what the user gave was not acceptable; nothing was sent for it
};

class Reporter {
public:
    virtual ~Reporter() = default;
    // A text of the program's own, shown for `timeoutMs` in the window.
    virtual void status(Level level, const char* text, int timeoutMs) = 0;
    // 0 of 0 ends the progress display.
    virtual void progress(int value, int maximum) { (void)value, (void)maximum; }
    // Texts that only ever go to standard output.
    virtual void diagnostic(const char* text) = 0;
};

// Shown for this long in the window: success and input checks, and device errors.
constexpr int kShortMs = 2000;
constexpr int kErrorMs = 4000;

} // namespace session
