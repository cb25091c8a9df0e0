#pragma once

#include "edid/EdidCheck.h"
#include "edid/EdidText.h"
#include "ops/Device.h"
#include "session/EdidTransfer.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// EDID read, write and check: the device's table, the displays' EDIDs, and
// the check an EDID passes before it is written.
namespace ops {

// "device", "top" or "bot", in any letter case.
bool isEdidSourceName(const std::string& name);
session::EdidSource edidSourceNamed(const std::string& name);

// A preset's bytes, built-in or the user's; a usage error naming it when it
// does not build.
Error presetEdid(const std::string& id, Reporter& reporter, std::vector<std::uint8_t>* bytes);

// An EDID longer than the device's table is refused, forced or not.
Error edidFitsDevice(std::size_t size, Reporter& reporter);
// The check's failures on the blocks a sink reads; empty when it passes.
std::vector<std::string> edidCheckFailures(const EdidImage& image);

struct EdidReadParams {
    std::string source; // device, top or bot
};
struct EdidReadResult {
    Error error;
    std::string source;
    EdidImage edid{};
};
EdidReadResult readEdid(const EdidReadParams& params, Device& device, Reporter& reporter);
// One read on a device already open, as a step of a longer flow.
Error readEdidFrom(session::EdidSource source, Reporter& reporter, EdidImage* image);

struct EdidVerify {
    std::vector<int> differingOffsets; // empty: verified
    bool verified() const { return differingOffsets.empty(); }
};
// Writes and commits `image` as the custom table; with `verify` also waits
// for the device and reads the table back (a mismatch names the offsets).
Error writeEdidTable(const EdidImage& image, bool verify, Reporter& reporter,
                     std::optional<EdidVerify>* verified);

struct EdidWriteParams {
    EdidImage image{};
    bool custom = false; // switch to custom mode, preset 0 first
    bool force = false;  // write despite wrong checksums or the check's failures
    // Runs with the device's table as read just before the write, inside the
    // flow; an error stops it (korvanta's --backup saves the table here).
    std::function<Error(const EdidImage& current)> beforeWrite;
};
struct EdidWriteResult {
    Error error;
    std::vector<std::string> unreadBlocks;  // the blocks past the extension count, said
    std::vector<std::string> checkFailures; // refused for them unless forced
    bool switchedToCustom = false;
    std::optional<EdidImage> previous; // the device's table before, once read
    std::optional<EdidVerify> verify;  // once read back
};
// Mode switch, read, write and verify are one flow under one hold.
EdidWriteResult writeEdid(const EdidWriteParams& params, Device& device, Reporter& reporter);

struct EdidCheckParams {
    std::vector<std::uint8_t> bytes;
    bool forDevice = false;   // as the device would store it: longer is a failure
    bool deviceImage = false; // the bytes are the device's or a display's 256-byte table
};
struct EdidCheckResult {
    Error error;
    std::vector<edid::Finding> findings;
    edid::ReferenceCheck reference; // edid-decode's own, never counted
    bool failed() const { return edid::hasFailure(findings); }
};
EdidCheckResult checkEdid(const EdidCheckParams& params);

} // namespace ops
