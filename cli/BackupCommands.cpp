// backup and restore: settings, stored InfoFrames and the custom EDID in one file.
#include "cli/Commands.h"
#include "cli/EdidWrite.h"

#include "cec/ColonHex.h"
#include "decode/ColonHexInput.h"
#include "decode/Words.h"
#include "edid/DeviceImage.h"
#include "edid/EdidRequests.h"
#include "link/DeviceHold.h"
#include "link/Protocol.h"
#include "link/UsbLink.h"
#include "ops/EdidOps.h"
#include "session/CecSession.h"
#include "session/DeviceOps.h"
#include "session/EdidTransfer.h"
#include "settings/SettingsMap.h"

#include <CLI/CLI.hpp>
#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

#include <algorithm>
#include <memory>
#include <tuple>

namespace cli {

namespace {

constexpr const char* kFormatName = "korvanta-backup";
constexpr int kFormatVersion = 1;
constexpr std::uint8_t kStoredHdrLength = 2 + session::kStoredHdrBytes;
constexpr std::uint8_t kStoredAviLength = 2 + session::kStoredAviBytes;

constexpr const char* kCecButtonsNote =
    "The device cannot report the CEC messages stored on its SP and LP buttons, so a backup "
    "cannot hold them. Add them here as \"sp\": \"40:04\" and \"lp\": \"...\" (colon-hex) and "
    "restore stores them, as korvanta cec store does.";

QString hex(const std::uint8_t* bytes, int count) {
    return QByteArray(reinterpret_cast<const char*>(bytes), count).toHex().toUpper();
}

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

struct DeviceState {
    std::uint8_t block[kSettingsBlockSize] = {};
    std::uint8_t hdr[kReplyBufferSize] = {};
    std::uint8_t avi[kReplyBufferSize] = {};
    bool customEdid = false;
};

bool customEdidInUse(const std::uint8_t* block) {
    return block[settings::blockPosition(settings::kEdidMode)] == kEdidModeCustom &&
           block[settings::blockPosition(settings::kEdidPreset)] == 0;
}

bool readState(DeviceSession& session, DeviceState* state) {
    if (!readSettingsBlock(session, state->block) ||
        !session::readConfig(session.reporter, proto::kRegCustomHdr, state->hdr,
                             kStoredHdrLength) ||
        !session::readConfig(session.reporter, proto::kRegCustomAvi, state->avi, kStoredAviLength))
        return false;
    state->customEdid = customEdidInUse(state->block);
    return true;
}

int openWithState(DeviceSession& session, DeviceState* state) {
    if (const int code = session.open())
        return code;
    return readState(session, state) ? kDone : kDeviceFailed;
}

std::string storedHdrText(const DeviceState& s) {
    return formatColonHex(s.hdr + proto::kRegisterDataOffset, session::kStoredHdrBytes);
}

std::string storedAviText(const DeviceState& s) {
    return formatColonHex(s.avi + proto::kRegisterDataOffset, session::kStoredAviBytes);
}

} // namespace

int readBackup(const GlobalOptions& options, QJsonObject* document, bool* withEdid) {
    DeviceSession session(options);
    DeviceState state;
    if (const int code = openWithState(session, &state))
        return code;
    // One picture of the device, not settings from before another's write
    // and an EDID from after it.
    const DeviceHold hold;

    QJsonObject named;
    for (const settings::Setting& s : settings::allSettings())
        if (s.name)
            named[s.name] = QString::fromStdString(settings::valueWord(s, state.block[s.position]));
    QJsonObject doc{
        {"format", kFormatName},
        {"formatVersion", kFormatVersion},
        {"program", QStringLiteral("korvanta " KORVANTA_VERSION)},
        {"date", QDateTime::currentDateTimeUtc().toString(Qt::ISODate)},
        {"settings", named},
        {"block", hex(state.block, kSettingsBlockSize)},
        {"infoFrames", QJsonObject{{"hdr", QString::fromStdString(storedHdrText(state))},
                                   {"avi", QString::fromStdString(storedAviText(state))}}},
        {"cecButtons", QJsonObject{{"note", kCecButtonsNote}}},
    };
    if (state.customEdid) {
        EdidImage edid{};
        if (!readDeviceEdid(session, &edid))
            return kDeviceFailed;
        doc["edid"] = hex(edid.data(), kEdidSize);
    }
    *document = doc;
    *withEdid = state.customEdid;
    return kDone;
}

namespace {

int runBackup(const GlobalOptions& options, const std::string& file, Output& out) {
    QJsonObject doc;
    bool withEdid = false;
    if (const int code = readBackup(options, &doc, &withEdid))
        return code;
    QSaveFile saved(QString::fromStdString(file));
    const QByteArray bytes = QJsonDocument(doc).toJson(QJsonDocument::Indented);
    if (!saved.open(QIODevice::WriteOnly) || saved.write(bytes) != bytes.size() ||
        !saved.commit()) {
        complain("cannot write " + file + ": " + saved.errorString().toStdString());
        return kUsage;
    }
    out.note("backup saved to " + file + (withEdid ? " (with the custom EDID)" : ""));
    out.json["file"] = QString::fromStdString(file);
    out.json["withEdid"] = withEdid;
    return kDone;
}

struct Backup {
    std::vector<std::pair<const settings::Setting*, int>> settings;
    std::string hdr;
    std::string avi;
    std::string cecSp, cecLp; // empty: not in the file
    bool hasEdid = false;
    EdidImage edid{};
};

// The file as a JSON object; false (said on stderr) when it is not one.
bool readBackupFile(const std::string& file, QJsonObject* root) {
    QFile in(QString::fromStdString(file));
    if (!in.open(QIODevice::ReadOnly)) {
        complain("cannot read " + file + ": " + in.errorString().toStdString());
        return false;
    }
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(in.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        complain(file + " is not a backup: not JSON (" + error.errorString().toStdString() +
                 " at character " + std::to_string(error.offset) + ")");
        return false;
    }
    *root = doc.object();
    return true;
}

// The whole document is checked before anything is sent; `file` names it.
bool loadBackup(const QJsonObject& root, const std::string& file, Backup* backup) {
    if (root["format"].toString() != kFormatName ||
        root["formatVersion"].toInt(-1) != kFormatVersion) {
        complain(file + " is not a backup this program reads: it wants \"format\": \"" +
                 kFormatName + "\" and \"formatVersion\": " + std::to_string(kFormatVersion));
        return false;
    }
    const QJsonObject named = root["settings"].toObject();
    for (auto it = named.begin(); it != named.end(); ++it) {
        const std::string name = it.key().toStdString();
        const std::string word = it.value().toString().toStdString();
        const settings::Setting* s = settings::byName(name);
        int value = 0;
        if (!s) {
            complain(file + ": no setting is called \"" + name + "\"");
            return false;
        }
        if (!settings::parseValue(*s, word, &value)) {
            complain(file + ": \"" + word + "\" is not a value of " + name +
                     "; accepted: " + settings::acceptedWords(*s));
            return false;
        }
    }
    // Written in the table's order, whatever the file's: the EDID mode before its preset.
    for (const settings::Setting& s : settings::allSettings()) {
        int value = 0;
        if (s.name && named.contains(s.name) &&
            settings::parseValue(s, named[s.name].toString().toStdString(), &value))
            backup->settings.emplace_back(&s, value);
    }
    const QJsonObject frames = root["infoFrames"].toObject();
    backup->hdr = frames["hdr"].toString().toStdString();
    backup->avi = frames["avi"].toString().toStdString();
    if (session::fieldError(session::Field::HdrInfoFrame, QString::fromStdString(backup->hdr)) ||
        session::fieldError(session::Field::AviInfoFrame, QString::fromStdString(backup->avi))) {
        complain(file + ": the stored InfoFrames are not colon-hex of 2 to 31 (HDR) and 2 to 13 "
                        "(AVI) bytes");
        return false;
    }
    const QJsonObject buttons = root["cecButtons"].toObject();
    for (const auto& [key, text] : {std::pair{"sp", &backup->cecSp}, {"lp", &backup->cecLp}}) {
        if (!buttons.contains(key))
            continue;
        *text = buttons[key].toString().toStdString();
        const decode::ColonHexInput read = decode::readColonHexInput(*text);
        if (!read.problem.empty() ||
            session::fieldError(session::Field::CecStore, QString::fromStdString(*text))) {
            complain(file + ": cecButtons." + key +
                     " is not a CEC message as colon-hex of 2 to 20 bytes, e.g. \"40:04\"");
            return false;
        }
    }
    backup->hasEdid = root.contains("edid");
    if (backup->hasEdid && !unhex(root["edid"], backup->edid.data(), kEdidSize)) {
        complain(file + ": \"edid\" is not 256 bytes of hex");
        return false;
    }
    return true;
}

// What a restore changes, in words: one line a change, as it is made (or,
// in a dry run, would be).
struct Plan {
    std::vector<std::string> lines;
    QJsonArray changed; // settings: {"name", "from", "value"}
};

int restoreInfoFrames(DeviceSession& session, const Backup& backup, const DeviceState& state,
                      Plan& plan) {
    if (backup.hdr != storedHdrText(state)) {
        if (!session::sendHdrInfoFrame(session.reporter, QString::fromStdString(backup.hdr)))
            return kDeviceFailed;
        plan.lines.push_back("HDR InfoFrame: " + storedHdrText(state) + " → " + backup.hdr);
    }
    if (backup.avi == storedAviText(state))
        return kDone;
    if (!session::sendAviInfoFrame(session.reporter, QString::fromStdString(backup.avi)))
        return kDeviceFailed;
    plan.lines.push_back("AVI InfoFrame: " + storedAviText(state) + " → " + backup.avi);
    // The replacement setting follows the frame, as the window sends it.
    for (const auto& [s, value] : backup.settings)
        if (s->index == settings::kReplaceAvi &&
            !session::writeSetting(session.reporter, settings::kReplaceAvi, value))
            return kDeviceFailed;
    return kDone;
}

int restoreCecButtons(DeviceSession& session, const Backup& backup, Plan& plan) {
    // Stored messages cannot be read back, so they are always written.
    for (const auto& [name, command, text] :
         {std::tuple{"SP", proto::kCmdStoreCecSp, &backup.cecSp},
          {"LP", proto::kCmdStoreCecLp, &backup.cecLp}}) {
        if (text->empty())
            continue;
        if (!session::storeCecCommand(session.reporter, command, QString::fromStdString(*text)))
            return kDeviceFailed;
        plan.lines.push_back(std::string(name) + " button: store " + *text);
    }
    return kDone;
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

// The EDID goes last, after the settings it never holds back. One that fails
// the check is refused unless forced, and only when it would be written: the
// device already holding it is no reason to refuse.
int restoreEdid(DeviceSession& session, const Backup& backup, bool customInUse, bool dryRun,
                bool force, Plan& plan, Output& out, bool* refused) {
    // An EDID-mode change above keeps the device busy for a while.
    if (!session::waitWhileBusy(session.reporter))
        return kDeviceFailed;
    // Only a custom table in use can already be the one in the backup.
    EdidImage current{};
    if (customInUse && !readDeviceEdid(session, &current))
        return kDeviceFailed;
    out.json["edidWritten"] = false;
    if (customInUse && current == backup.edid) {
        plan.lines.push_back("EDID: unchanged");
        return kDone;
    }
    const std::vector<std::string> failures = ops::edidCheckFailures(backup.edid);
    QJsonArray failed;
    std::string listed;
    for (const std::string& f : failures) {
        failed.append(QString::fromStdString(f));
        listed += "\n  " + f;
    }
    out.json["edidFailures"] = failed;
    *refused = !failures.empty() && !force;
    out.json["edidRefused"] = *refused;
    if (*refused) {
        plan.lines.push_back("EDID: not restored, it fails the check");
        complain(std::string("the backup's EDID fails the check, so it ") +
                 (dryRun ? "would not be" : "was not") + " restored (everything else " +
                 (dryRun ? "would be" : "was") + "); give --force to write it anyway:" + listed);
        return kDone;
    }
    if (!failures.empty())
        toStderr("korvanta: restoring the EDID despite the check's failures (--force):" + listed +
                 "\n");
    for (const std::string& text : edid::namedBlocks(backup.edid).unread)
        out.note(text);
    out.json["edidWritten"] = true;
    plan.lines.push_back(edidChange(current, backup.edid));
    return writeEdidChecked(session, backup.edid, !dryRun, out);
}

} // namespace

int runRestore(const GlobalOptions& options, const QJsonObject& document, const std::string& file,
               bool dryRun, bool verbose, bool force, Output& out) {
    Backup backup;
    if (!loadBackup(document, file, &backup))
        return kUsage;
    DeviceSession session(options);
    DeviceState state;
    if (const int code = openWithState(session, &state))
        return code;
    // What differs is found and written in one flow, so it stays true.
    const DeviceHold hold;
    if (dryRun)
        session.startDryRun();

    Plan plan;
    std::uint8_t restored[kSettingsBlockSize];
    std::copy(std::begin(state.block), std::end(state.block), std::begin(restored));
    for (const auto& [s, value] : backup.settings) {
        if (state.block[s->position] == value)
            continue;
        if (!session::writeSetting(session.reporter, static_cast<std::uint8_t>(s->index), value))
            return kDeviceFailed;
        restored[s->position] = static_cast<std::uint8_t>(value);
        const std::string was = settings::valueWord(*s, state.block[s->position]);
        const std::string word = settings::valueWord(*s, value);
        plan.changed.append(QJsonObject{{"name", s->name},
                                        {"from", QString::fromStdString(was)},
                                        {"value", QString::fromStdString(word)}});
        plan.lines.push_back(std::string(s->name) + ": " + was + " → " + word);
    }
    out.json["changed"] = plan.changed;
    if (const int code = restoreInfoFrames(session, backup, state, plan))
        return code;
    if (const int code = restoreCecButtons(session, backup, plan))
        return code;
    bool refused = false;
    // A dry run sent no mode change, so the device still shows its old table.
    const bool customInUse = dryRun ? state.customEdid : customEdidInUse(restored);
    if (backup.hasEdid)
        if (const int code =
                restoreEdid(session, backup, customInUse, dryRun, force, plan, out, &refused))
            return code;

    const bool nothing = std::all_of(plan.lines.begin(), plan.lines.end(),
                                     [](const std::string& l) { return l == "EDID: unchanged"; });
    if (nothing)
        out.note(dryRun ? "nothing to change: the device already matches " + file
                        : "nothing changed: the device already matched " + file);
    else
        for (const std::string& line : plan.lines)
            dryRun ? out.line(line) : out.note(line);
    QJsonArray planned;
    for (const std::string& line : plan.lines)
        planned.append(QString::fromStdString(line));
    out.json["plan"] = planned;
    if (dryRun) {
        QJsonArray requests;
        for (const auto& r : session.plannedRequests()) {
            if (verbose)
                out.line("  " + hexBytes(r));
            requests.append(QString::fromStdString(hexBytes(r)));
        }
        out.json["requests"] = requests;
    }
    if (session.reporter.errors)
        return kDeviceFailed;
    return refused ? kFindings : kDone;
}

namespace {

int runRestoreFile(const GlobalOptions& options, const std::string& file, bool dryRun, bool verbose,
                   bool force, Output& out) {
    QJsonObject root;
    if (!readBackupFile(file, &root))
        return kUsage;
    return runRestore(options, root, file, dryRun, verbose, force, out);
}

} // namespace

void addBackupCommands(CLI::App& app, GlobalOptions& options, Action* run) {
    auto file = std::make_shared<std::string>();
    auto dryRun = std::make_shared<bool>(false);
    CLI::App* backup = app.add_subcommand(
        "backup", "Save the settings, stored InfoFrames and custom EDID to a JSON file");
    backup->add_option("FILE", *file, "The backup file")->required();
    backup->callback([&options, file, run] {
        *run = [&options, file](Output& out) { return runBackup(options, *file, out); };
    });
    CLI::App* restore = app.add_subcommand(
        "restore", "Bring the device back to a backup: only what differs is written");
    restore->add_option("FILE", *file, "The backup file")->required();
    auto verbose = std::make_shared<bool>(false);
    auto force = std::make_shared<bool>(false);
    restore->add_flag("--force", *force,
                      "Also write the backup's EDID when its check finds a failure (the settings "
                      "are restored either way, and an EDID the device already holds is not "
                      "written again); the file's \"edid\" must be 256 bytes of hex all the same");
    restore->footer("Exit status 3: everything but the EDID was restored; the EDID fails the "
                    "check (said on stderr) and --force writes it too.");
    restore->add_flag("--dry-run", *dryRun, "Say what it would change, send nothing");
    restore->add_flag("--verbose", *verbose,
                      "With --dry-run, also print the requests it would send");
    restore->callback([&options, file, dryRun, verbose, force, run] {
        *run = [&options, file, dryRun, verbose, force](Output& out) {
            return runRestoreFile(options, *file, *dryRun, *verbose, *force, out);
        };
    });
}

} // namespace cli
