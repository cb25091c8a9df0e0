// edid read and edid write.
#include "cli/Commands.h"
#include "cli/EdidWrite.h"

#include "decode/EdidDecode.h"
#include "decode/Words.h"
#include "edid/DeviceImage.h"
#include "edid/EdidFile.h"
#include "edid/EdidRequests.h"
#include "link/DeviceHold.h"
#include "ops/SettingsOps.h"
#include "session/DeviceOps.h"
#include "session/EdidTransfer.h"
#include "session/Readback.h"
#include "settings/SettingsMap.h"

#include <CLI/CLI.hpp>
#include <QJsonArray>

#include <cstdio>
#include <memory>

namespace cli {

namespace {

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

std::string hexText(const EdidImage& image) {
    return edidHexText(image).toStdString();
}

bool endsWithBin(const std::string& path) {
    return path.size() >= 4 && QString::fromStdString(path).endsWith(".bin", Qt::CaseInsensitive);
}

// `format` is "bin" or "hex"; empty: binary when the name ends in .bin.
bool binaryFormat(const std::string& path, const std::string& format) {
    return format.empty() ? endsWithBin(path) : format == "bin";
}

bool save(const std::string& path, const EdidImage& image, bool binary) {
    QString error;
    if (saveEdidFile(qs(path), image, binary, &error))
        return true;
    complain(error.simplified().toStdString());
    return false;
}

std::string lowered(const std::string& name) {
    return QString::fromStdString(name).toLower().toStdString();
}

session::EdidSource sourceNamed(const std::string& name) {
    if (lowered(name) == "top")
        return session::EdidSource::Top;
    if (lowered(name) == "bot")
        return session::EdidSource::Bottom;
    return session::EdidSource::Device;
}

bool readEdidFrom(DeviceSession& session, session::EdidSource source, EdidImage* image) {
    const session::EdidReadResult read =
        session::readEdid(session.reporter, session::stageCommand(source));
    if (!read.staged || !read.complete) {
        if (read.staged) {
            const std::string cause = lastTransactionCause();
            complain("the EDID was not read completely" + (cause.empty() ? "" : ": " + cause));
        }
        return false;
    }
    *image = read.image;
    return true;
}

} // namespace

int runEdidRead(const GlobalOptions& options, const std::string& from, const std::string& file,
                const std::string& format, Output& out) {
    DeviceSession session(options);
    if (const int code = session.open())
        return code;
    EdidImage image{};
    if (!readEdidFrom(session, sourceNamed(from), &image))
        return kDeviceFailed;
    out.json["source"] = qs(from);
    out.json["edid"] = qs(hexText(image)).remove('\n').remove(' ');
    if (!file.empty()) {
        const bool binary = binaryFormat(file, format);
        if (!save(file, image, binary))
            return kUsage;
        out.json["file"] = qs(file);
        out.json["format"] = binary ? "bin" : "hex";
        out.note("EDID of " + from + " saved to " + file +
                 (binary ? " as 256 bytes of binary" : " as hex text"));
    } else if (!options.json) {
        std::fputs(hexText(image).c_str(), stdout);
    }
    return kDone;
}

namespace {

std::string edidModeWord(int mode) {
    return settings::valueWord(*settings::byIndex(settings::kEdidMode), mode);
}

// The custom table only counts in custom mode with no preset chosen.
int ensureCustomMode(DeviceSession& session, bool switchToCustom, Output& out) {
    std::uint8_t block[kSettingsBlockSize] = {};
    if (!readSettingsBlock(session, block))
        return kDeviceFailed;
    const int mode = block[settings::blockPosition(settings::kEdidMode)];
    const int preset = block[settings::blockPosition(settings::kEdidPreset)];
    if (mode == kEdidModeCustom && preset == 0)
        return kDone;
    if (!switchToCustom) {
        complain("the device is in " + edidModeWord(mode) + " EDID mode with preset " +
                 std::to_string(preset) +
                 "; an uploaded EDID is used only in custom mode with preset 0. Nothing was "
                 "written; give --custom to switch first.");
        return kUsage;
    }
    if ((mode != kEdidModeCustom &&
         !session::writeSetting(session.reporter, settings::kEdidMode, kEdidModeCustom)) ||
        (preset != 0 && !session::writeSetting(session.reporter, settings::kEdidPreset, 0)))
        return kDeviceFailed;
    out.note("switched to custom EDID mode, preset 0");
    if (!session::waitWhileBusy(session.reporter)) {
        complain("the device stayed busy after the switch to custom EDID mode");
        return kDeviceFailed;
    }
    return kDone;
}

int runWrite(const GlobalOptions& options, const std::string& file, bool custom, bool force,
             const std::string& backup, Output& out) {
    // Longer than the table: refused whatever --force says, before the
    // window's reader would call it a format error.
    std::vector<std::uint8_t> blocks;
    QString error;
    if (loadEdidBlocks(qs(file), &blocks, &error) && !edidFitsDevice(blocks))
        return kUsage;
    EdidImage image{};
    if (!loadEdid(file, &image))
        return kUsage;
    return runEdidWrite(options, image, custom, force, backup, out);
}

} // namespace

int runEdidWrite(const GlobalOptions& options, const EdidImage& image, bool custom, bool force,
                 const std::string& backup, Output& out) {
    if (!edidChecksumsCorrect(image) && !force) {
        complain("The EDID Checksum is not correct. Nothing was written; fix bytes 127 and 255, "
                 "or give --force to write it anyway.");
        return kUsage;
    }
    if (!edidPassesCheck(image, force, out))
        return kUsage;

    DeviceSession session(options);
    if (const int code = session.open())
        return code;
    // The mode switch, the read, the write and its verify are one flow: nobody
    // else's EDID or setting may land between the commit and the verify.
    const DeviceHold hold;
    if (const int code = ensureCustomMode(session, custom, out))
        return code;
    EdidImage current{};
    if (!readDeviceEdid(session, &current))
        return kDeviceFailed;
    if (!backup.empty()) {
        if (!save(backup, current, binaryFormat(backup, {})))
            return kUsage;
        out.note("device EDID saved to " + backup);
        out.json["backup"] = qs(backup);
    }
    sayEdidChanges(current, image, out);
    return writeEdidChecked(session, image, true, out);
}

bool readSettingsBlock(DeviceSession& session, std::uint8_t* block) {
    return ops::readSettingsBlock(session.reporter, block);
}

bool isEdidSourceName(const std::string& name) {
    const std::string n = lowered(name);
    return n == "device" || n == "top" || n == "bot";
}

bool readEdidNamed(DeviceSession& session, const std::string& name, EdidImage* image) {
    return readEdidFrom(session, sourceNamed(name), image);
}

bool loadEdid(const std::string& path, EdidImage* image) {
    QString error;
    if (loadEdidFile(qs(path), image, &error))
        return true;
    complain(error.simplified().toStdString() +
             " (an EDID file is 256 bytes of binary, or their hex text)");
    return false;
}

bool readDeviceEdid(DeviceSession& session, EdidImage* image) {
    return readEdidFrom(session, session::EdidSource::Device, image);
}

bool edidFitsDevice(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() <= std::size_t(kEdidSize))
        return true;
    complain("the EDID is " + std::to_string(bytes.size()) +
             " bytes and the device's table holds " + std::to_string(kEdidSize) +
             "; nothing was written (--force does not change that)");
    return false;
}

std::vector<std::string> edidCheckFailures(const EdidImage& image) {
    std::vector<std::string> failures;
    for (const edid::Finding& f : edid::checkNamedBlocks(image))
        if (f.kind == edid::FindingKind::Failure)
            failures.push_back(f.text);
    return failures;
}

bool edidPassesCheck(const EdidImage& image, bool force, Output& out) {
    QJsonArray unread;
    for (const std::string& text : edid::namedBlocks(image).unread) {
        out.note(text);
        unread.append(qs(text));
    }
    out.json["unreadBlocks"] = unread;
    const std::vector<std::string> failures = edidCheckFailures(image);
    if (failures.empty())
        return true;
    std::string said = force ? "writing despite the check's failures (--force):"
                             : "the EDID fails the check; nothing was written (--force writes it "
                               "anyway):";
    for (const std::string& f : failures)
        said += "\n  " + f;
    if (force) {
        toStderr("korvanta: " + said + "\n");
        return true;
    }
    complain(said);
    return false;
}

void sayEdidChanges(const EdidImage& current, const EdidImage& next, Output& out) {
    if (current == next) {
        out.note("the device already has this EDID; it is written again");
        return;
    }
    // The comparison without its heading lines (title, what was compared, same or not).
    const std::string text =
        decode::renderText(decode::compareEdids(current, next, "device", "new"));
    std::size_t at = 0;
    for (int skip = 0; skip < 3 && at != std::string::npos; ++skip)
        at = text.find('\n', at) + 1;
    out.note("what changes on the device:");
    if (at != 0 && at < text.size())
        out.note(text.substr(at, text.size() - at - 1));
}

int writeEdidChecked(DeviceSession& session, const EdidImage& image, bool verify, Output& out) {
    if (!session::writeEdid(session.reporter, image))
        return kDeviceFailed;
    if (!verify)
        return kDone;
    if (!session::waitWhileBusy(session.reporter)) {
        complain("the device stayed busy after the EDID was committed");
        return kDeviceFailed;
    }
    EdidImage back{};
    if (!readDeviceEdid(session, &back))
        return kDeviceFailed;
    QJsonArray differing;
    std::string offsets;
    for (int i = 0; i < kEdidSize; ++i) {
        if (back[std::size_t(i)] == image[std::size_t(i)])
            continue;
        differing.append(i);
        if (differing.size() <= 16)
            offsets += (offsets.empty() ? "" : ", ") + std::to_string(i);
    }
    out.json["verified"] = differing.isEmpty();
    out.json["differingOffsets"] = differing;
    if (!differing.isEmpty()) {
        complain("the device's EDID differs from what was written at " +
                 decode::counted(differing.size(), "offset", "offsets") + ": " + offsets +
                 (differing.size() > 16 ? ", ..." : ""));
        return kDeviceFailed;
    }
    out.note("EDID written and verified");
    return kDone;
}

void addEdidCommands(CLI::App& app, GlobalOptions& options, Action* run) {
    CLI::App* edid = app.add_subcommand("edid", "Read, write, decode and compare EDIDs");
    edid->require_subcommand(1);
    addEdidDecodeCommands(*edid, options, run);
    addEdidWorkshopCommands(*edid, options, run);

    struct ReadArgs {
        std::string from;
        std::string file;
        std::string format;
    };
    auto r = std::make_shared<ReadArgs>();
    CLI::App* read = edid->add_subcommand(
        "read", "Read an EDID: the device's own (device) or a display's (top, bot)");
    read->add_option("FROM", r->from, "device, top or bot")
        ->required()
        ->transform(CLI::IsMember({"device", "top", "bot"}, CLI::ignore_case));
    read->add_option("-o,--output", r->file,
                     "Save to FILE: binary when it ends in .bin, else hex text (default: hex "
                     "text on stdout)");
    read->add_option("--format", r->format, "The file's format, whatever its name: bin or hex")
        ->transform(CLI::IsMember({"bin", "hex"}, CLI::ignore_case));
    read->callback([&options, r, run] {
        *run = [&options, r](Output& out) {
            return runEdidRead(options, r->from, r->file, r->format, out);
        };
    });

    struct WriteArgs {
        std::string file;
        std::string backup;
        bool custom = false;
        bool force = false;
    };
    auto w = std::make_shared<WriteArgs>();
    CLI::App* write = edid->add_subcommand(
        "write", "Write FILE (binary or hex text) as the device's custom EDID, then verify it");
    write->add_option("FILE", w->file, "The EDID file")->required();
    write->add_flag("--custom", w->custom,
                    "First switch to custom EDID mode and preset 0, and wait for the device");
    write->add_flag("--force", w->force,
                    "Write even when the checksums are wrong or the check finds failures; an "
                    "EDID longer than the device's 256-byte table is refused all the same");
    write->add_option("--backup", w->backup, "Save the device's current EDID to FILE first");
    write->callback([&options, w, run] {
        *run = [&options, w](Output& out) {
            return runWrite(options, w->file, w->custom, w->force, w->backup, out);
        };
    });
}

} // namespace cli
