#pragma once

#include "cli/Cli.h"
#include "edid/EdidText.h"

#include <cstdint>
#include <vector>

namespace cli {

// The settings block, waiting out the busy bit once if the device is busy.
bool readSettingsBlock(DeviceSession& session, std::uint8_t* block);

// Writes `image` as the device's custom EDID, waits for the busy bit and
// reads the table back; a difference is a failure naming the offsets.
// `verify` off: the table is written and committed only (a dry run).
int writeEdidChecked(DeviceSession& session, const EdidImage& image, bool verify, Output& out);

// The device's own EDID as it reads now.
bool readDeviceEdid(DeviceSession& session, EdidImage* image);
// Loads an EDID file by the window's rules; false (said on stderr) when it cannot.
bool loadEdid(const std::string& path, EdidImage* image);

} // namespace cli
