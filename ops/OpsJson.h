#pragma once

#include "ops/BackupOps.h"
#include "ops/CecOps.h"
#include "ops/EdidOps.h"
#include "ops/SettingsOps.h"
#include "ops/StatusOps.h"

#include <QJsonArray>
#include <QJsonObject>

// The documents `korvanta --json` prints and the service's methods answer,
// one rendering per result, so that every front end gives the same one.
namespace ops {

// "settings" (words) and "values" (numbers) of every named setting; the
// service's settingsChanged says the same.
QJsonObject settingsJson(const std::uint8_t* block);
// The "status" object (with "hdrInfoFrameDecoded" when a frame was captured);
// the service's statusChanged says the same.
QJsonObject statusJson(const StatusReading& status);

QJsonObject toJson(const GetResult& r);
QJsonObject toJson(const SetResult& r);
QJsonObject toJson(const ResetResult& r);
QJsonObject toJson(const StatusResult& r);
QJsonObject toJson(const ChainResult& r);
QJsonObject toJson(const EdidReadResult& r);
// "unreadBlocks", and "verified" with "differingOffsets" once read back.
QJsonObject toJson(const EdidWriteResult& r);
QJsonObject toJson(const EdidCheckResult& r);
QJsonObject toJson(const SentResult& r);
// The document korvanta backup writes to its file.
QJsonObject backupDocument(const BackupResult& r);
// "backup" (that document) and "withEdid".
QJsonObject toJson(const BackupResult& r);
QJsonObject toJson(const RestoreResult& r);
// Of a verify, when there was one: "verified", "differingOffsets".
void addVerify(const std::optional<EdidVerify>& verify, QJsonObject* json);
QJsonArray jsonStrings(const std::vector<std::string>& texts);

// The whole document for a run that ended with `exitCode`: the result's
// keys, "ok" and "errors" (what was said, as complaints). None (empty) for a
// usage error, which sends nothing and has no document.
QJsonObject document(const QJsonObject& body, int exitCode, const Reporter& reporter);

} // namespace ops
