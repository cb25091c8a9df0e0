#pragma once

#include "link/HardwareUsb.h"
#include "link/UsbLibrary.h"

#include <memory>
#include <string>
#include <string_view>

// Which library stands behind the link: the real device over USB, the
// simulated device, or a recorded trace played back.
enum class LinkKind { Usb, Simulator, Replay };

struct LinkChoice {
    LinkKind kind = LinkKind::Usb;
    std::string replayPath;
};

// "usb", "simulator", "replay:FILE". False, with a complaint naming the
// accepted values, for anything else.
bool parseLinkName(std::string_view name, LinkChoice* choice, std::string* complaint);
// The name that parses back into `choice`.
std::string linkName(const LinkChoice& choice);

// KORVANTA_LINK's value (null or empty: "usb"). A value parseLinkName refuses
// gives "usb", with a complaint for stderr.
LinkChoice linkChoiceFromEnvironment(const char* value, std::string* complaint);
LinkKind linkKindFromEnvironment(const char* value, std::string* complaint);

// Builds the backend. Simulator: applies KORVANTA_SIM_STATE and
// KORVANTA_SIM_FAULTS from the environment (complaints go to *warnings, one per
// line, the caller prints them). Replay: loads the file; returns nullptr with
// *error set when it is missing or malformed.
std::unique_ptr<UsbLibrary> makeUsbLibrary(const LinkChoice& choice, std::string* warnings,
                                           std::string* error);
// The plain backend of a kind, without the environment's state and faults (a
// replay without its file sees no device).
std::unique_ptr<UsbLibrary> makeUsbLibrary(LinkKind kind);

// The trace's first line, "# <program> <version> (<build>) link=<link> <ISO date>".
std::string traceHeader(const std::string& program, const std::string& build,
                        const std::string& link);
