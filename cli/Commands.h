#pragma once

#include "cli/Cli.h"
#include "edid/EdidText.h"
#include "ops/BackupOps.h"

#include <QJsonObject>

#include <cstdint>
#include <string>
#include <vector>

// What the subcommands run once their words are parsed, each returning the
// exit code: the operation of ops/, printed. The service's methods run the
// same operations and render the same documents.
namespace cli {

int runGet(const GlobalOptions& options, const std::vector<std::string>& names, Output& out);
int runSet(const GlobalOptions& options, const std::vector<std::string>& pairs, Output& out);
int runReset(const GlobalOptions& options, const std::string& what, bool yes, Output& out);
int runStatus(const GlobalOptions& options, double watchSeconds, bool withChain, Output& out);
// kFindings when an output does not show the input fine.
int runChain(const GlobalOptions& options, Output& out);

// `from` is device, top or bot; no file: the hex goes to stdout (or the JSON).
int runEdidRead(const GlobalOptions& options, const std::string& from, const std::string& file,
                const std::string& format, Output& out);
// From the checksums on: the EDID was loaded and fits the device's table.
int runEdidWrite(const GlobalOptions& options, const EdidImage& image, bool custom, bool force,
                 const std::string& backup, Output& out);
// The check's findings on loaded bytes; kFindings when something fails.
// `deviceImage`: the bytes are a 256-byte table read from the device.
int runEdidCheck(const std::vector<std::uint8_t>& bytes, bool forDevice, Output& out,
                 bool deviceImage = false);

int runCecSend(const GlobalOptions& options, const std::string& text, Output& out);
// `button` is sp or lp.
int runCecStore(const GlobalOptions& options, const std::string& button, const std::string& text,
                Output& out);
int runInfoFrameHdr(const GlobalOptions& options, const std::string& text, bool force, Output& out);
// `persist` is on, off, or empty for as the device has it.
int runInfoFrameAvi(const GlobalOptions& options, const std::string& text,
                    const std::string& persist, bool force, Output& out);

// Restores a backup document; `name` stands for it in messages (the file's
// path, or "scene NAME").
int runRestore(const GlobalOptions& options, const QJsonObject& document, const std::string& name,
               bool dryRun, bool verbose, bool force, Output& out);
// A restore's result as korvanta prints it; the exit code.
int printRestore(const ops::RestoreResult& r, const std::string& name, bool verbose, Output& out);

} // namespace cli
