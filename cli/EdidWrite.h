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

// The write path's checks, before anything is sent: nothing longer than the
// device's table, and no EDID whose check finds a failure unless forced.
// The check reads the table as a sink does: only the blocks the extension
// count names; a block past them is said as a note.
bool edidFitsDevice(const std::vector<std::uint8_t>& bytes);
bool edidPassesCheck(const EdidImage& image, bool force, Output& out);
// The failures of that check, one a line; empty when it passes.
std::vector<std::string> edidCheckFailures(const EdidImage& image);
// What writing `next` over `current` changes, field by field, as notes.
void sayEdidChanges(const EdidImage& current, const EdidImage& next, Output& out);

// The device's own EDID as it reads now.
bool readDeviceEdid(DeviceSession& session, EdidImage* image);
// "device", "top" or "bot"; false for any other name.
bool isEdidSourceName(const std::string& name);
bool readEdidNamed(DeviceSession& session, const std::string& name, EdidImage* image);
// Loads an EDID file by the window's rules; false (said on stderr) when it cannot.
bool loadEdid(const std::string& path, EdidImage* image);

} // namespace cli
