// edid read and edid write.
#include "cli/Commands.h"

#include "decode/EdidDecode.h"
#include "edid/EdidFile.h"
#include "ops/OpsJson.h"

#include <CLI/CLI.hpp>

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

// Loads an EDID file by the window's rules; false (said on stderr) when it cannot.
bool loadEdid(const std::string& path, EdidImage* image) {
    QString error;
    if (loadEdidFile(qs(path), image, &error))
        return true;
    complain(error.simplified().toStdString() +
             " (an EDID file is 256 bytes of binary, or their hex text)");
    return false;
}

} // namespace

int runEdidRead(const GlobalOptions& options, const std::string& from, const std::string& file,
                const std::string& format, Output& out) {
    DeviceSession session(options);
    const ops::EdidReadResult r = ops::readEdid({from}, session, session.reporter);
    if (r.error)
        return ops::exitCode(r.error);
    out.json = ops::toJson(r);
    if (!file.empty()) {
        const bool binary = binaryFormat(file, format);
        if (!save(file, r.edid, binary))
            return kUsage;
        out.json["file"] = qs(file);
        out.json["format"] = binary ? "bin" : "hex";
        out.note("EDID of " + from + " saved to " + file +
                 (binary ? " as 256 bytes of binary" : " as hex text"));
    } else if (!options.json) {
        std::fputs(hexText(r.edid).c_str(), stdout);
    }
    return kDone;
}

namespace {

int runWrite(const GlobalOptions& options, const std::string& file, bool custom, bool force,
             const std::string& backup, Output& out) {
    // Longer than the table: refused whatever --force says, before the
    // window's reader would call it a format error.
    std::vector<std::uint8_t> blocks;
    QString error;
    ConsoleReporter said;
    if (loadEdidBlocks(qs(file), &blocks, &error) && ops::edidFitsDevice(blocks.size(), said))
        return kUsage;
    EdidImage image{};
    if (!loadEdid(file, &image))
        return kUsage;
    return runEdidWrite(options, image, custom, force, backup, out);
}

// What writing `next` over `current` changes, field by field.
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

} // namespace

int runEdidWrite(const GlobalOptions& options, const EdidImage& image, bool custom, bool force,
                 const std::string& backup, Output& out) {
    DeviceSession session(options);
    ops::EdidWriteParams params{image, custom, force, {}};
    bool saved = false;
    if (!backup.empty())
        params.beforeWrite = [&](const EdidImage& current) -> ops::Error {
            if (!save(backup, current, binaryFormat(backup, {})))
                return {ops::ErrorCode::usage, complaints().back(), {}};
            saved = true;
            return {};
        };
    const ops::EdidWriteResult r = ops::writeEdid(params, session, session.reporter);
    for (const std::string& text : r.unreadBlocks)
        out.note(text);
    if (r.switchedToCustom)
        out.note("switched to custom EDID mode, preset 0");
    if (saved)
        out.note("device EDID saved to " + backup);
    if (r.previous && (backup.empty() || saved))
        sayEdidChanges(*r.previous, image, out);
    if (r.verify && r.verify->verified())
        out.note("EDID written and verified");
    out.json = ops::toJson(r);
    if (saved)
        out.json["backup"] = qs(backup);
    return ops::exitCode(r.error);
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
