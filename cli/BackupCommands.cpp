// backup and restore: settings, stored InfoFrames and the custom EDID in one file.
#include "cli/Commands.h"

#include "ops/OpsJson.h"

#include <CLI/CLI.hpp>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

#include <memory>

namespace cli {

namespace {

int runBackup(const GlobalOptions& options, const std::string& file, Output& out) {
    DeviceSession device(options);
    const ops::BackupResult r = ops::backup(device, device.reporter);
    if (r.error)
        return ops::exitCode(r.error);
    QSaveFile saved(QString::fromStdString(file));
    const QByteArray bytes = QJsonDocument(ops::backupDocument(r)).toJson(QJsonDocument::Indented);
    if (!saved.open(QIODevice::WriteOnly) || saved.write(bytes) != bytes.size() ||
        !saved.commit()) {
        complain("cannot write " + file + ": " + saved.errorString().toStdString());
        return kUsage;
    }
    const bool withEdid = r.edid.has_value();
    out.note("backup saved to " + file + (withEdid ? " (with the custom EDID)" : ""));
    out.json["file"] = QString::fromStdString(file);
    out.json["withEdid"] = withEdid;
    return kDone;
}

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

int runRestoreFile(const GlobalOptions& options, const std::string& file, bool dryRun, bool verbose,
                   bool force, Output& out) {
    QJsonObject root;
    if (!readBackupFile(file, &root))
        return kUsage;
    return runRestore(options, root, file, dryRun, verbose, force, out);
}

} // namespace

int runRestore(const GlobalOptions& options, const QJsonObject& root, const std::string& file,
               bool dryRun, bool verbose, bool force, Output& out) {
    DeviceSession device(options);
    ops::RestoreParams params;
    params.dryRun = dryRun;
    params.force = force;
    if (ops::parseBackup(root, file, device.reporter, &params.backup))
        return kUsage;
    return printRestore(ops::restore(params, device, device.reporter), file, verbose, out);
}

int printRestore(const ops::RestoreResult& r, const std::string& file, bool verbose, Output& out) {
    if (r.edid) {
        for (const std::string& text : r.edid->unreadBlocks)
            out.note(text);
        if (r.edid->verify && r.edid->verify->verified())
            out.note("EDID written and verified");
    }
    out.json = ops::toJson(r);
    if (!r.finished)
        return ops::exitCode(r.error);
    if (r.nothingChanged())
        out.note(r.dryRun ? "nothing to change: the device already matches " + file
                          : "nothing changed: the device already matched " + file);
    else
        for (const std::string& line : r.plan)
            r.dryRun ? out.line(line) : out.note(line);
    if (verbose)
        for (const auto& request : r.requests)
            out.line("  " + hexBytes(request));
    if (r.error)
        return ops::exitCode(r.error);
    return r.findings() ? kFindings : kDone;
}

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
