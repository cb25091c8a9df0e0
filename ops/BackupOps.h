#pragma once

#include "edid/EdidText.h"
#include "link/UsbLink.h"
#include "ops/EdidOps.h"
#include "ops/SettingsOps.h"

#include <QJsonObject>

#include <optional>
#include <string>
#include <vector>

// backup and restore: the settings, the stored InfoFrames and the custom
// EDID, read as one picture and brought back writing only what differs.
namespace ops {

constexpr const char* kBackupFormatName = "korvanta-backup";
constexpr int kBackupFormatVersion = 1;

// What a backup holds of the device.
struct DeviceState {
    SettingsBlock block{};
    std::uint8_t hdr[kReplyBufferSize] = {};
    std::uint8_t avi[kReplyBufferSize] = {};
    bool customEdid = false; // custom mode, preset 0: the table is the one in use
};
std::string storedHdrText(const DeviceState& state);
std::string storedAviText(const DeviceState& state);

struct BackupResult {
    Error error;
    DeviceState state;
    std::optional<EdidImage> edid; // the custom table, when it is in use
    std::string date;              // UTC, ISO 8601
};
BackupResult backup(Device& device, Reporter& reporter);

// A backup document as read, every part checked before anything is sent.
struct Backup {
    std::vector<std::pair<const settings::Setting*, int>> settings; // in the table's order
    std::string hdr;
    std::string avi;
    std::string cecSp, cecLp; // empty: not in the document
    std::optional<EdidImage> edid;
};
// `name` stands for the document in messages (the file's path on the command line).
Error parseBackup(const QJsonObject& document, const std::string& name, Reporter& reporter,
                  Backup* backup);

struct SettingChange {
    const settings::Setting* setting = nullptr;
    int from = 0;
    int to = 0;
};
struct RestoreEdid {
    bool written = false; // it differed and is (or, in a dry run, would be) written
    bool checked = false; // it differed, so the check ran
    std::vector<std::string> failures;
    bool refused = false;                  // it fails the check and was not forced
    std::vector<std::string> unreadBlocks; // said before it is written
    std::optional<EdidVerify> verify;
};
struct RestoreParams {
    Backup backup;
    bool dryRun = false; // send no write, say what would change
    bool force = false;  // write an EDID that fails the check
};
struct RestoreResult {
    Error error;
    bool settingsDone = false;
    std::vector<SettingChange> changed;
    std::optional<RestoreEdid> edid;
    bool finished = false;
    std::vector<std::string> plan;                   // one line a change, as made (or planned)
    std::vector<std::vector<std::uint8_t>> requests; // a dry run's, as they would go
    bool dryRun = false;
    // Everything but an EDID that fails the check was restored: exit 3.
    bool findings() const { return !error && edid && edid->refused; }
    // Nothing differed (an unchanged EDID aside).
    bool nothingChanged() const;
};
// Settings first, then the InfoFrames and CEC buttons, the EDID last: the
// settings never wait on the EDID, and only an EDID that would be written is
// refused by its check.
RestoreResult restore(const RestoreParams& params, Device& device, Reporter& reporter);

} // namespace ops
