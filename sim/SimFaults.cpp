#include "sim/SimFaults.h"

#include "link/UsbLibrary.h"
#include "sim/SimUsbLibrary.h"

#include <charconv>

const char* const kSimFaultKnobs =
    "silent, short-reply, wrong-ack, busy=N, refuse=CODE, refuse-register=R, fail-write, "
    "fail-read, fail-queue-check, fail-open, fail-close, fail-count, extra-device=SERIAL, "
    "after=N";

namespace {

// Large enough for any test, small enough to stay an int.
constexpr int kMaxCount = 1000000;
// Cutting every reply to its acknowledge byte fails every length check.
constexpr int kShortReplyBytes = 1;

enum class Arg { None, Count, Code, Register, Serial };

struct Knob {
    std::string_view name;
    Arg arg;
    void (*set)(SimFaults&, int number, std::string_view text);
};

const Knob kKnobs[] = {
    {"silent", Arg::None, [](SimFaults& f, int, std::string_view) { f.silent = true; }},
    {"short-reply", Arg::None, [](SimFaults& f, int, std::string_view) { f.shortReply = true; }},
    {"wrong-ack", Arg::None, [](SimFaults& f, int, std::string_view) { f.wrongAck = true; }},
    {"busy", Arg::Count, [](SimFaults& f, int n, std::string_view) { f.busyReads = n; }},
    {"refuse", Arg::Code,
     [](SimFaults& f, int n, std::string_view) {
         f.refusedCommands.insert(static_cast<std::uint8_t>(n));
     }},
    {"refuse-register", Arg::Register,
     [](SimFaults& f, int n, std::string_view) { f.refusedRegister = n; }},
    {"fail-write", Arg::None, [](SimFaults& f, int, std::string_view) { f.failWrite = true; }},
    {"fail-read", Arg::None, [](SimFaults& f, int, std::string_view) { f.failRead = true; }},
    {"fail-queue-check", Arg::None,
     [](SimFaults& f, int, std::string_view) { f.failQueueCheck = true; }},
    {"fail-open", Arg::None, [](SimFaults& f, int, std::string_view) { f.failOpen = true; }},
    {"fail-close", Arg::None, [](SimFaults& f, int, std::string_view) { f.failClose = true; }},
    {"fail-count", Arg::None, [](SimFaults& f, int, std::string_view) { f.failCount = true; }},
    {"extra-device", Arg::Serial,
     [](SimFaults& f, int, std::string_view s) { f.extraDevices.emplace_back(s); }},
    {"after", Arg::Count, [](SimFaults& f, int n, std::string_view) { f.after = n; }},
};

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

bool parseNumber(std::string_view text, int base, int low, int high, int* value) {
    if (base == 16 && (text.starts_with("0x") || text.starts_with("0X")))
        text.remove_prefix(2);
    int v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, base);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || v < low ||
        v > high)
        return false;
    *value = v;
    return true;
}

// Reads a knob's value; the text says what a good one looks like.
bool parseArgument(Arg arg, std::string_view value, int* number, std::string* wanted) {
    switch (arg) {
    case Arg::None:
        *wanted = "takes no value";
        return value.empty();
    case Arg::Count:
        *wanted = "needs a whole number from 0 to " + std::to_string(kMaxCount);
        return parseNumber(value, 10, 0, kMaxCount, number);
    case Arg::Code:
        *wanted = "needs a command code as two hex digits, like E0";
        return parseNumber(value, 16, 0, 0xFF, number);
    case Arg::Register:
        *wanted = "needs a register number from 0 to 255 (0x for hex)";
        return value.starts_with("0x") || value.starts_with("0X")
                   ? parseNumber(value, 16, 0, 0xFF, number)
                   : parseNumber(value, 10, 0, 0xFF, number);
    case Arg::Serial:
        *wanted = "needs a serial string";
        return !value.empty() && value.size() < UsbLibrary::kStringBufferSize;
    }
    return false;
}

bool parseKnob(std::string_view item, SimFaults* faults, std::string* problem) {
    const std::size_t equals = item.find('=');
    const std::string_view name = item.substr(0, equals);
    const bool hasValue = equals != std::string_view::npos;
    const std::string_view value = hasValue ? item.substr(equals + 1) : std::string_view{};
    for (const Knob& knob : kKnobs) {
        if (knob.name != name)
            continue;
        int number = 0;
        std::string wanted;
        // "silent=" is as wrong as "busy": a flag has no "=", a value needs one.
        if (!parseArgument(knob.arg, value, &number, &wanted) ||
            hasValue != (knob.arg != Arg::None)) {
            *problem = "\"" + std::string(item) + "\": " + std::string(name) + " " + wanted;
            return false;
        }
        knob.set(*faults, number, value);
        return true;
    }
    *problem = "\"" + std::string(item) + "\" is not a knob";
    return false;
}

} // namespace

bool parseSimFaults(std::string_view text, SimFaults* faults, std::string* complaint) {
    SimFaults parsed;
    if (!trimmed(text).empty()) {
        std::size_t start = 0;
        while (start <= text.size()) {
            std::size_t comma = text.find(',', start);
            if (comma == std::string_view::npos)
                comma = text.size();
            std::string problem;
            if (!parseKnob(trimmed(text.substr(start, comma - start)), &parsed, &problem)) {
                if (complaint)
                    *complaint = "KORVANTA_SIM_FAULTS: " + problem +
                                 ". Accepted: " + kSimFaultKnobs +
                                 " (comma-separated). The simulated device runs without faults.";
                return false;
            }
            start = comma + 1;
        }
    }
    *faults = parsed;
    return true;
}

namespace {

void applyDeviceFaults(const SimFaults& faults, SimulatedDevice& device) {
    device.silent = device.silent || faults.silent;
    if (faults.shortReply)
        device.shortReply = kShortReplyBytes;
    device.wrongAck = device.wrongAck || faults.wrongAck;
    device.stickyBusy += faults.busyReads;
    device.refusedCommands.insert(faults.refusedCommands.begin(), faults.refusedCommands.end());
    if (faults.refusedRegister >= 0)
        device.refusedRegister = faults.refusedRegister;
}

void applyDeviceAndCallFaults(const SimFaults& faults, SimUsbLibrary& usb) {
    applyDeviceFaults(faults, usb.device);
    for (auto& unit : usb.moreUnits)
        applyDeviceFaults(faults, *unit);
    usb.failWrite = usb.failWrite || faults.failWrite;
    usb.failRead = usb.failRead || faults.failRead;
    if (faults.failQueueCheck)
        usb.failQueueChecks = -1;
    usb.failOpen = usb.failOpen || faults.failOpen;
    usb.failClose = usb.failClose || faults.failClose;
    usb.failDeviceCount = usb.failDeviceCount || faults.failCount;
}

} // namespace

void applySimFaults(const SimFaults& faults, SimUsbLibrary* usb) {
    // Other gadgets answering to a serial string are there from the start,
    // ahead of the device, so that a same-named one is found first.
    usb->serials.insert(usb->serials.begin(), faults.extraDevices.begin(),
                        faults.extraDevices.end());
    usb->modelIndex += static_cast<std::uint32_t>(faults.extraDevices.size());
    if (faults.after <= 0) {
        applyDeviceAndCallFaults(faults, *usb);
        return;
    }
    usb->heldFaultsAfter = faults.after;
    usb->heldFaults = [faults](SimUsbLibrary& lib) { applyDeviceAndCallFaults(faults, lib); };
}
