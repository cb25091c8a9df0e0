#include "ops/BackupOps.h"

#include "cec/ColonHex.h"
#include "decode/ColonHexInput.h"
#include "decode/Words.h"
#include "edid/DeviceImage.h"
#include "edid/EdidRequests.h"
#include "link/DeviceHold.h"
#include "link/Protocol.h"
#include "ops/DryRun.h"
#include "session/CecSession.h"
#include "session/DeviceOps.h"
#include "settings/SettingsMap.h"

#include <QDateTime>
#include <QJsonValue>

#include <algorithm>
#include <tuple>

namespace ops {

namespace {

constexpr std::uint8_t kStoredHdrLength = 2 + session::kStoredHdrBytes;
constexpr std::uint8_t kStoredAviLength = 2 + session::kStoredAviBytes;
constexpr const char* kEdidUnchanged = "EDID: unchanged";

// Exactly `count` bytes of plain hex, or false.
bool unhex(const QJsonValue& value, std::uint8_t* bytes, int count) {
    const QString text = value.toString();
    if (text.size() != 2 * count)
        return false;
    for (int i = 0; i < count; ++i) {
        bool ok = false;
        bytes[i] = static_cast<std::uint8_t>(text.mid(2 * i, 2).toUInt(&ok, 16));
        if (!ok)
            return false;
    }
    return true;
}

bool customEdidInUse(const std::uint8_t* block) {
    return block[settings::blockPosition(settings::kEdidMode)] == kEdidModeCustom &&
           block[settings::blockPosition(settings::kEdidPreset)] == 0;
}

Error readState(Reporter& reporter, DeviceState* state) {
    if (!readSettingsBlock(reporter, state->block.data()) ||
        !session::readConfig(reporter, proto::kRegCustomHdr, state->hdr, kStoredHdrLength) ||
        !session::readConfig(reporter, proto::kRegCustomAvi, state->avi, kStoredAviLength))
        return reporter.deviceError();
    state->customEdid = customEdidInUse(state->block.data());
    return {};
}

Error parseSettings(const QJsonObject& named, const std::string& name, Reporter& reporter,
                    Backup* backup) {
    for (auto it = named.begin(); it != named.end(); ++it) {
        const std::string key = it.key().toStdString();
        const std::string word = it.value().toString().toStdString();
        const settings::Setting* s = settings::byName(key);
        int value = 0;
        if (!s)
            return reporter.usage(name + ": no setting is called \"" + key + "\"");
        if (!settings::parseValue(*s, word, &value))
            return reporter.usage(name + ": \"" + word + "\" is not a value of " + key +
                                  "; accepted: " + settings::acceptedWords(*s));
    }
    // Written in the table's order, whatever the document's: the EDID mode before its preset.
    for (const settings::Setting& s : settings::allSettings()) {
        int value = 0;
        if (s.name && named.contains(s.name) &&
            settings::parseValue(s, named[s.name].toString().toStdString(), &value))
            backup->settings.emplace_back(&s, value);
    }
    return {};
}

Error parseButtons(const QJsonObject& buttons, const std::string& name, Reporter& reporter,
                   Backup* backup) {
    for (const auto& [key, text] : {std::pair{"sp", &backup->cecSp}, {"lp", &backup->cecLp}}) {
        if (!buttons.contains(key))
            continue;
        *text = buttons[key].toString().toStdString();
        const decode::ColonHexInput read = decode::readColonHexInput(*text);
        if (!read.problem.empty() ||
            session::fieldError(session::Field::CecStore, QString::fromStdString(*text)))
            return reporter.usage(name + ": cecButtons." + key +
                                  " is not a CEC message as colon-hex of 2 to 20 bytes, e.g. "
                                  "\"40:04\"");
    }
    return {};
}

// A step's failure, said by the flow.
Error stepFailed(Reporter& reporter) {
    Error e = reporter.deviceError();
    if (!e)
        e.code = ErrorCode::device;
    return e;
}

Error restoreSettings(const Backup& backup, const DeviceState& state, Reporter& reporter,
                      RestoreResult& r, SettingsBlock* restored) {
    *restored = state.block;
    for (const auto& [s, value] : backup.settings) {
        const int was = state.block[s->position];
        if (was == value)
            continue;
        if (!session::writeSetting(reporter, static_cast<std::uint8_t>(s->index), value))
            return stepFailed(reporter);
        (*restored)[s->position] = static_cast<std::uint8_t>(value);
        r.changed.push_back({s, was, value});
        r.plan.push_back(std::string(s->name) + ": " + settings::valueWord(*s, was) + " → " +
                         settings::valueWord(*s, value));
    }
    r.settingsDone = true;
    return {};
}

Error restoreInfoFrames(const Backup& backup, const DeviceState& state, Reporter& reporter,
                        RestoreResult& r) {
    if (!backup.hdr.empty() && backup.hdr != storedHdrText(state)) {
        if (!session::sendHdrInfoFrame(reporter, QString::fromStdString(backup.hdr)))
            return stepFailed(reporter);
        r.plan.push_back("HDR InfoFrame: " + storedHdrText(state) + " → " + backup.hdr);
    }
    if (backup.avi.empty() || backup.avi == storedAviText(state))
        return {};
    if (!session::sendAviInfoFrame(reporter, QString::fromStdString(backup.avi)))
        return stepFailed(reporter);
    r.plan.push_back("AVI InfoFrame: " + storedAviText(state) + " → " + backup.avi);
    // The replacement setting follows the frame, as the window sends it.
    for (const auto& [s, value] : backup.settings)
        if (s->index == settings::kReplaceAvi &&
            !session::writeSetting(reporter, settings::kReplaceAvi, value))
            return stepFailed(reporter);
    return {};
}

Error restoreCecButtons(const Backup& backup, Reporter& reporter, RestoreResult& r) {
    // Stored messages cannot be read back, so they are always written.
    for (const auto& [name, command, text] :
         {std::tuple{"SP", proto::kCmdStoreCecSp, &backup.cecSp},
          {"LP", proto::kCmdStoreCecLp, &backup.cecLp}}) {
        if (text->empty())
            continue;
        if (!session::storeCecCommand(reporter, command, QString::fromStdString(*text)))
            return stepFailed(reporter);
        r.plan.push_back(std::string(name) + " button: store " + *text);
    }
    return {};
}

// Bytes that differ, and in how many of the two 128-byte blocks.
std::string edidChange(const EdidImage& from, const EdidImage& to) {
    int blocks = 0;
    for (int b = 0; b < kEdidSize / kEdidBlockSize; ++b)
        blocks +=
            !std::equal(from.begin() + b * kEdidBlockSize, from.begin() + (b + 1) * kEdidBlockSize,
                        to.begin() + b * kEdidBlockSize);
    return "EDID: " + decode::counted(blocks, "block differs", "blocks differ") + ", " +
           std::to_string(kEdidSize) + " bytes to write";
}

// One that fails the check is refused unless forced, and only when it would
// be written: the device already holding it is no reason to refuse.
Error restoreEdid(const EdidImage& edid, bool customInUse, const RestoreParams& params,
                  Reporter& reporter, RestoreResult& r) {
    // An EDID-mode change above keeps the device busy for a while.
    if (!session::waitWhileBusy(reporter))
        return stepFailed(reporter);
    // Only a custom table in use can already be the one in the backup.
    EdidImage current{};
    if (customInUse)
        if (Error e = readEdidFrom(session::EdidSource::Device, reporter, &current))
            return e;
    RestoreEdid& done = r.edid.emplace();
    if (customInUse && current == edid) {
        r.plan.push_back(kEdidUnchanged);
        return {};
    }
    done.checked = true;
    done.failures = edidCheckFailures(edid);
    done.refused = !done.failures.empty() && !params.force;
    std::string listed;
    for (const std::string& f : done.failures)
        listed += "\n  " + f;
    if (done.refused) {
        r.plan.push_back("EDID: not restored, it fails the check");
        reporter.complain(std::string("the backup's EDID fails the check, so it ") +
                          (params.dryRun ? "would not be" : "was not") +
                          " restored (everything else " + (params.dryRun ? "would be" : "was") +
                          "); give --force to write it anyway:" + listed);
        return {};
    }
    if (!done.failures.empty())
        reporter.warn("restoring the EDID despite the check's failures (--force):" + listed);
    done.unreadBlocks = edid::namedBlocks(edid).unread;
    done.written = true;
    r.plan.push_back(edidChange(current, edid));
    return writeEdidTable(edid, !params.dryRun, reporter, &done.verify);
}

Error restoreAll(const RestoreParams& params, const DeviceState& state, Reporter& reporter,
                 RestoreResult& r) {
    const Backup& backup = params.backup;
    SettingsBlock restored{};
    if (Error e = restoreSettings(backup, state, reporter, r, &restored))
        return e;
    if (Error e = restoreInfoFrames(backup, state, reporter, r))
        return e;
    if (Error e = restoreCecButtons(backup, reporter, r))
        return e;
    // A dry run sent no mode change, so the device still shows its old table.
    const bool customInUse = params.dryRun ? state.customEdid : customEdidInUse(restored.data());
    if (backup.edid)
        if (Error e = restoreEdid(*backup.edid, customInUse, params, reporter, r))
            return e;
    return {};
}

} // namespace

std::string storedHdrText(const DeviceState& s) {
    return formatColonHex(s.hdr + proto::kRegisterDataOffset, session::kStoredHdrBytes);
}

std::string storedAviText(const DeviceState& s) {
    return formatColonHex(s.avi + proto::kRegisterDataOffset, session::kStoredAviBytes);
}

BackupResult backup(Device& device, Reporter& reporter) {
    BackupResult r;
    if ((r.error = device.open(reporter)))
        return r;
    // One picture of the device, not settings from before another's write
    // and an EDID from after it.
    const DeviceHold hold;
    if ((r.error = readState(reporter, &r.state)))
        return r;
    r.date = QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toStdString();
    if (r.state.customEdid) {
        EdidImage edid{};
        if ((r.error = readEdidFrom(session::EdidSource::Device, reporter, &edid)))
            return r;
        r.edid = edid;
    }
    return r;
}

Error parseBackup(const QJsonObject& root, const std::string& name, Reporter& reporter,
                  Backup* backup) {
    if (root["format"].toString() != kBackupFormatName ||
        root["formatVersion"].toInt(-1) != kBackupFormatVersion)
        return reporter.usage(name +
                              " is not a backup this program reads: it wants \"format\": \"" +
                              kBackupFormatName +
                              "\" and \"formatVersion\": " + std::to_string(kBackupFormatVersion));
    if (Error e = parseSettings(root["settings"].toObject(), name, reporter, backup))
        return e;
    // A document without a frame (a scene of some settings) leaves it alone.
    const QJsonObject frames = root["infoFrames"].toObject();
    backup->hdr = frames["hdr"].toString().toStdString();
    backup->avi = frames["avi"].toString().toStdString();
    if ((frames.contains("hdr") &&
         session::fieldError(session::Field::HdrInfoFrame, QString::fromStdString(backup->hdr))) ||
        (frames.contains("avi") &&
         session::fieldError(session::Field::AviInfoFrame, QString::fromStdString(backup->avi))))
        return reporter.usage(name + ": the stored InfoFrames are not colon-hex of 2 to 31 (HDR) "
                                     "and 2 to 13 (AVI) bytes");
    if (Error e = parseButtons(root["cecButtons"].toObject(), name, reporter, backup))
        return e;
    if (root.contains("edid")) {
        EdidImage edid{};
        if (!unhex(root["edid"], edid.data(), kEdidSize))
            return reporter.usage(name + ": \"edid\" is not 256 bytes of hex");
        backup->edid = edid;
    }
    return {};
}

bool RestoreResult::nothingChanged() const {
    return std::all_of(plan.begin(), plan.end(),
                       [](const std::string& l) { return l == kEdidUnchanged; });
}

RestoreResult restore(const RestoreParams& params, Device& device, Reporter& reporter) {
    RestoreResult r;
    r.dryRun = params.dryRun;
    if ((r.error = device.open(reporter)))
        return r;
    // What differs is found and written in one flow, so it stays true.
    const DeviceHold hold;
    DeviceState state;
    if ((r.error = readState(reporter, &state)))
        return r;
    const int errorsBefore = reporter.errors;
    std::optional<DryRun> dryRun;
    if (params.dryRun)
        dryRun.emplace();
    if ((r.error = restoreAll(params, state, reporter, r)))
        return r;
    r.finished = true;
    if (dryRun)
        r.requests = dryRun->plannedRequests();
    if (reporter.errors != errorsBefore)
        r.error = stepFailed(reporter);
    return r;
}

} // namespace ops
