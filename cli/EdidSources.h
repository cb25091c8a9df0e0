#pragma once

#include "cli/Cli.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace cli {

using EdidBlocks = std::vector<std::uint8_t>;

// EDIDs named on the command line: `device`, `top` or `bot` (read from the
// device, opened once and only when one is named), `preset:NAME`, or a file
// of any number of 128-byte blocks. Files and presets are loaded before the
// device is asked, so a bad name sends nothing.
class EdidSources {
public:
    explicit EdidSources(const GlobalOptions& options) : options_(options) {}

    // Files and presets; false (said on stderr) at the first that fails.
    bool loadFiles(const std::vector<std::string>& names, std::vector<EdidBlocks>* images);
    // The device's and the displays' EDIDs; kDone or the exit code.
    int readDevice(const std::vector<std::string>& names, std::vector<EdidBlocks>* images);
    // Both, in that order; kDone or the exit code.
    int load(const std::vector<std::string>& names, std::vector<EdidBlocks>* images);
    // The open device, when a device source was read (else nullptr).
    DeviceSession* session() const { return session_.get(); }
    // Opens the device if no source did yet; kDone or the exit code.
    int openDevice();

private:
    const GlobalOptions& options_;
    std::unique_ptr<DeviceSession> session_;
};

constexpr const char* kPresetPrefix = "preset:";

// Hex text, 16 bytes a line, as the window's EDID field shows it.
std::string edidHexLines(const EdidBlocks& bytes);
// Saves `bytes` to `path`: binary when `format` is "bin" (empty: when the
// name ends in .bin), else hex text; in one step, never half-written.
bool saveEdidBytes(const std::string& path, const EdidBlocks& bytes, const std::string& format,
                   bool* binary);

} // namespace cli
