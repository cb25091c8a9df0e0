#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

class SimUsbLibrary;

// The misbehaviour asked for in KORVANTA_SIM_FAULTS: a comma-separated list
// of knobs such as "silent", "busy=5" or "refuse=E0,after=20".
struct SimFaults {
    bool silent = false;
    bool shortReply = false;
    bool wrongAck = false;
    int busyReads = 0;
    std::set<std::uint8_t> refusedCommands;
    int refusedRegister = -1;
    bool failWrite = false;
    bool failRead = false;
    bool failQueueCheck = false;
    bool failOpen = false;
    bool failClose = false;
    bool failCount = false;
    std::vector<std::string> extraDevices; // serial strings, on the bus before the device
    int after = 0;                         // requests that go through before the faults start
};

// The knobs as the user writes them, for messages and help.
extern const char* const kSimFaultKnobs;

// Reads the list; an empty text means no faults. False, with a complaint that
// names the accepted knobs, for anything it does not know.
bool parseSimFaults(std::string_view text, SimFaults* faults, std::string* complaint);

// Puts the faults on the library and its device; those that only start after
// `after` requests are held back until then. The bus is set up at once.
void applySimFaults(const SimFaults& faults, SimUsbLibrary* usb);
