#include "session/Backend.h"

#include "link/ReplayUsbLibrary.h"
#include "link/Trace.h"
#include "sim/SimFaults.h"
#include "sim/SimState.h"
#include "sim/SimUsbLibrary.h"

#include <QDateTime>

#include <cstdlib>

#ifndef KORVANTA_VERSION
#define KORVANTA_VERSION "unknown"
#endif

namespace {

constexpr std::string_view kReplayPrefix = "replay:";

std::unique_ptr<SimUsbLibrary> makeSimulator() {
    auto sim = std::make_unique<SimUsbLibrary>();
    // A long session must not grow the test logs without end.
    sim->recordCalls = false;
    sim->device.logRequests = false;
    return sim;
}

void addLine(std::string* lines, const std::string& line) {
    if (lines)
        *lines += line + '\n';
}

// The knobs KORVANTA_SIM_STATE and KORVANTA_SIM_FAULTS ask for.
void applySimEnvironment(SimUsbLibrary* sim, std::string* warnings) {
    std::string complaint;
    if (const char* path = std::getenv("KORVANTA_SIM_STATE"); path && *path)
        if (!keepSimState(path, &sim->device, &complaint))
            addLine(warnings, complaint);
    if (const char* path = std::getenv("KORVANTA_SIM_UNPLUGGED"); path && *path)
        sim->unplugFile = path;
    const char* knobs = std::getenv("KORVANTA_SIM_FAULTS");
    SimFaults faults;
    if (parseSimFaults(knobs ? knobs : "", &faults, &complaint))
        applySimFaults(faults, sim);
    else
        addLine(warnings, complaint);
}

} // namespace

bool parseLinkName(std::string_view name, LinkChoice* choice, std::string* complaint) {
    LinkChoice parsed;
    if (name == "usb") {
        parsed.kind = LinkKind::Usb;
    } else if (name == "simulator") {
        parsed.kind = LinkKind::Simulator;
    } else if (name.starts_with(kReplayPrefix) && name.size() > kReplayPrefix.size()) {
        parsed.kind = LinkKind::Replay;
        parsed.replayPath = std::string(name.substr(kReplayPrefix.size()));
    } else {
        if (complaint)
            *complaint = "\"" + std::string(name) +
                         "\" is not a link; use \"usb\" (the real device), \"simulator\" or "
                         "\"replay:FILE\" (a trace recorded with KORVANTA_TRACE).";
        return false;
    }
    *choice = parsed;
    return true;
}

std::string linkName(const LinkChoice& choice) {
    switch (choice.kind) {
    case LinkKind::Simulator:
        return "simulator";
    case LinkKind::Replay:
        return std::string(kReplayPrefix) + choice.replayPath;
    case LinkKind::Usb:
        break;
    }
    return "usb";
}

LinkChoice linkChoiceFromEnvironment(const char* value, std::string* complaint) {
    LinkChoice choice;
    std::string why;
    if (value && *value && !parseLinkName(value, &choice, &why) && complaint)
        *complaint = "KORVANTA_LINK: " + why + " Going on with \"usb\".";
    return choice;
}

LinkKind linkKindFromEnvironment(const char* value, std::string* complaint) {
    return linkChoiceFromEnvironment(value, complaint).kind;
}

std::unique_ptr<UsbLibrary> makeUsbLibrary(const LinkChoice& choice, std::string* warnings,
                                           std::string* error) {
    switch (choice.kind) {
    case LinkKind::Simulator: {
        auto sim = makeSimulator();
        applySimEnvironment(sim.get(), warnings);
        return sim;
    }
    case LinkKind::Replay: {
        std::vector<TraceEntry> entries;
        if (!readTraceFile(choice.replayPath, &entries, error))
            return nullptr;
        return std::make_unique<ReplayUsbLibrary>(entries);
    }
    case LinkKind::Usb:
        break;
    }
    return makeHardwareUsbLibrary();
}

std::unique_ptr<UsbLibrary> makeUsbLibrary(LinkKind kind) {
    switch (kind) {
    case LinkKind::Simulator:
        return makeSimulator();
    case LinkKind::Replay:
        return std::make_unique<NoDeviceUsbLibrary>();
    case LinkKind::Usb:
        break;
    }
    return makeHardwareUsbLibrary();
}

std::string traceHeader(const std::string& program, const std::string& build,
                        const std::string& link) {
    const QString date = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
    return "# " + program + " " + KORVANTA_VERSION + " (" + build + ") link=" + link + " " +
           date.toStdString();
}
