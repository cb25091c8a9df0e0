// edid edit, merge, check and preset: EDIDs built by what they mean.
#include "cli/Commands.h"
#include "cli/EdidSources.h"

#include "edid/DeviceImage.h"
#include "edid/EdidCheck.h"
#include "edid/EdidMerge.h"
#include "edid/EdidModel.h"
#include "edid/EdidOptions.h"
#include "edid/EdidPresets.h"
#include "ops/OpsJson.h"

#include <CLI/CLI.hpp>
#include <QJsonArray>

#include <cstdio>
#include <memory>

namespace cli {

namespace {

// The option names of the edits, in the order --help lists them; each takes a value.
constexpr const char* kEdits[] = {"manufacturer",
                                  "product",
                                  "serial",
                                  "date",
                                  "name",
                                  "serial-text",
                                  "add-vic",
                                  "remove-vic",
                                  "native",
                                  "preferred",
                                  "y420",
                                  "y420-only",
                                  "hdr",
                                  "max-luminance",
                                  "max-fall",
                                  "avg-luminance",
                                  "min-luminance",
                                  "audio-add",
                                  "audio-remove",
                                  "speakers",
                                  "physical-address",
                                  "max-tmds",
                                  "deep-color",
                                  "deep-color-420",
                                  "scdc",
                                  "colorimetry",
                                  "quantization",
                                  "ycc"};

bool isEdit(const std::string& name) {
    for (const char* e : kEdits)
        if (name == e)
            return true;
    return false;
}

struct Edit {
    std::string name, value;
};

// "--name TEXT" and "--name=TEXT", in the order given. The program's own
// options may stand among them: the edits are read here, not by the parser.
bool parseEdits(const std::vector<std::string>& args, GlobalOptions& options,
                std::vector<Edit>* edits) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--json" || arg == "-q" || arg == "--quiet") {
            (arg == "--json" ? options.json : options.quiet) = true;
            continue;
        }
        if ((arg == "--link" || arg == "--trace") && i + 1 < args.size()) {
            (arg == "--link" ? options.link : options.trace) = args[++i];
            continue;
        }
        if (arg.starts_with("--link=") || arg.starts_with("--trace=")) {
            const auto eq = arg.find('=');
            (arg.starts_with("--link") ? options.link : options.trace) = arg.substr(eq + 1);
            continue;
        }
        if (!arg.starts_with("--")) {
            complain("\"" + arg +
                     "\" is not an edit; edits are --OPTION VALUE, see korvanta "
                     "edid edit --help");
            return false;
        }
        std::string name = arg.substr(2), value;
        if (const auto eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            complain("--" + name + " needs a value");
            return false;
        }
        if (!isEdit(name)) {
            complain("--" + name + " is not an edit; see korvanta edid edit --help");
            return false;
        }
        edits->push_back({name, value});
    }
    return true;
}

// What an EDID made here carries out: the bytes to stdout or a file, the
// repairs and the check's failures said, the lot in JSON.
int putOut(const EdidBlocks& bytes, const std::vector<std::string>& repairs,
           const std::string& file, const std::string& format, Output& out) {
    const std::vector<edid::Finding> findings = edid::checkEdid(bytes);
    QJsonArray found;
    for (const edid::Finding& f : findings)
        found.append(
            QJsonObject{{"kind", f.kind == edid::FindingKind::Failure ? "failure" : "note"},
                        {"text", QString::fromStdString(f.text)}});
    out.json["edid"] = QString::fromStdString(edidHexLines(bytes)).remove('\n').remove(' ');
    out.json["size"] = int(bytes.size());
    out.json["repairs"] = ops::jsonStrings(repairs);
    out.json["findings"] = found;
    if (!file.empty()) {
        bool binary = false;
        if (!saveEdidBytes(file, bytes, format, &binary))
            return kUsage;
        out.json["file"] = QString::fromStdString(file);
        out.note("EDID of " + std::to_string(bytes.size()) + " bytes saved to " + file +
                 (binary ? " as binary" : " as hex text"));
    } else if (!out.options->json) {
        std::fputs(edidHexLines(bytes).c_str(), stdout);
    }
    // Said on stderr, so that the hex on stdout stays clean.
    if (!out.options->json && !out.options->quiet) {
        for (const std::string& r : repairs)
            toStderr("korvanta: " + r + "\n");
        for (const edid::Finding& f : findings)
            if (f.kind == edid::FindingKind::Failure)
                toStderr("korvanta: warning: " + f.text + "\n");
    }
    return kDone;
}

bool parseModel(const EdidBlocks& bytes, const std::string& name, edid::Model* model) {
    const edid::ParseResult parsed = edid::parse(bytes, *model);
    if (!parsed.ok)
        complain(name + ": " + parsed.error);
    return parsed.ok;
}

int runEdit(GlobalOptions& options, const std::string& source, const std::vector<std::string>& args,
            const std::string& file, const std::string& format, Output& out) {
    std::vector<Edit> edits;
    if (!parseEdits(args, options, &edits))
        return kUsage;
    EdidSources sources(options);
    std::vector<EdidBlocks> images;
    if (const int code = sources.load({source}, &images))
        return code;
    edid::Model model;
    if (!parseModel(images[0], source, &model))
        return kUsage;
    QJsonArray said;
    for (const Edit& e : edits) {
        const edid::EditResult r = edid::applyOption(model, e.name, e.value);
        if (!r.ok) {
            complain(r.message.starts_with("--")
                         ? r.message
                         : "--" + e.name + " " + e.value + ": " + r.message);
            return kUsage;
        }
        // What an edit did beyond what was asked (a value rounded, a flag it needs).
        if (r.message.empty())
            continue;
        const std::string text = "--" + e.name + " " + e.value + ": " + r.message;
        said.append(QString::fromStdString(text));
        if (!options.json && !options.quiet)
            toStderr("korvanta: " + text + "\n");
    }
    out.json["edits"] = said;
    const EdidBlocks bytes = edid::write(model);
    return putOut(bytes, model.repairs, file, format, out);
}

int runMerge(const GlobalOptions& options, const std::string& video, const std::string& audio,
             const std::vector<std::string>& common, const std::string& file,
             const std::string& format, Output& out) {
    const bool isCommon = !common.empty();
    if (isCommon == !(video.empty() && audio.empty()) ||
        (!isCommon && (video.empty() || audio.empty()))) {
        complain("give --video SOURCE and --audio SOURCE, or --common SOURCE SOURCE");
        return kUsage;
    }
    const std::vector<std::string> names = isCommon ? common : std::vector{video, audio};
    EdidSources sources(options);
    std::vector<EdidBlocks> images;
    if (const int code = sources.load(names, &images))
        return code;
    edid::Model a, b;
    if (!parseModel(images[0], names[0], &a) || !parseModel(images[1], names[1], &b))
        return kUsage;
    edid::MergeResult merged = isCommon ? edid::commonSubset(a, names[0], b, names[1])
                                        : edid::mergeVideoAudio(a, names[0], b, names[1]);
    if (!merged.ok) {
        complain(merged.message);
        return kUsage;
    }
    const EdidBlocks bytes = edid::write(merged.model);
    QJsonArray origins;
    for (const edid::Extension& ext : merged.model.extensions)
        for (const edid::DataBlock& block : ext.cta.dataBlocks)
            origins.append(
                QJsonObject{{"tag", block.tag}, {"source", QString::fromStdString(block.source)}});
    out.json["blockSources"] = origins;
    return putOut(bytes, merged.model.repairs, file, format, out);
}

int runCheck(const GlobalOptions& options, const std::string& source, bool forDevice, Output& out) {
    EdidSources sources(options);
    std::vector<EdidBlocks> images;
    if (const int code = sources.load({source}, &images))
        return code;
    return runEdidCheck(images[0], forDevice, out, ops::isEdidSourceName(source));
}

} // namespace

int runEdidCheck(const std::vector<std::uint8_t>& all, bool forDevice, Output& out,
                 bool deviceImage) {
    const ops::EdidCheckResult r = ops::checkEdid({all, forDevice, deviceImage});
    for (const edid::Finding& f : r.findings)
        out.line(std::string(f.kind == edid::FindingKind::Failure ? "failure: " : "note: ") +
                 f.text);
    if (r.findings.empty())
        out.line("no failures, no notes");
    if (r.reference.ran && !r.reference.findings.empty()) {
        out.line("edid-decode --check (its own findings; they do not count as failures):");
        for (const std::string& f : r.reference.findings)
            out.line("  " + f);
    }
    out.json = ops::toJson(r);
    return r.failed() ? kFindings : kDone;
}

namespace {

int runPresetList(Output& out) {
    QJsonArray list;
    for (const edid::PresetInfo& p : edid::listPresets()) {
        out.line(p.id.toStdString() + "\t" + p.description.toStdString() +
                 (p.user ? " (yours)" : ""));
        list.append(QJsonObject{
            {"name", p.id}, {"title", p.name}, {"description", p.description}, {"user", p.user}});
    }
    out.json["presets"] = list;
    return kDone;
}

int runPresetShow(const std::string& name, const std::string& file, const std::string& format,
                  Output& out) {
    const edid::PresetBuild built = edid::buildPreset(QString::fromStdString(name));
    if (!built.ok) {
        complain("preset \"" + name + "\": " + built.message + "; see korvanta edid preset list");
        return kUsage;
    }
    return putOut(built.bytes, {}, file, format, out);
}

std::string editsHelp() {
    return "Edits, applied in the order given (each --OPTION VALUE):\n"
           "  --manufacturer KVT  --product 0x1234  --serial N  --date WEEK/YEAR\n"
           "  --name TEXT  --serial-text TEXT\n"
           "  --add-vic N[,N...] (1 to 107)  --remove-vic N[,N...]  --native VIC  --preferred VIC\n"
           "  --y420 N[,N...]  --y420-only N[,N...]\n"
           "  --hdr sdr,hdrgamma,pq,hlg  --max-luminance CD  --max-fall CD  --min-luminance CD\n"
           "     CD: max and max-fall 0 to 12525.7 cd/m² (max-fall at most max), min at most\n"
           "     max/100; stored to the nearest step the EDID holds, and said when rounded\n"
           "  --audio-add FORMAT:CHANNELS[:atmos]  --audio-remove FORMAT  --speakers LIST\n"
           "     formats: lpcm, ac3, dts, eac3, dtshd, truehd, ...; an added format replaces\n"
           "     its entry (LPCM: of the same channel count); speakers e.g. FL/FR,LFE,FC,RL/RR\n"
           "  --physical-address A.B.C.D  --max-tmds MHZ  --deep-color 30,36,y444\n"
           "  --deep-color-420 30,36  --scdc on|off (on above 340 MHz)\n"
           "  --colorimetry bt2020rgb,bt2020ycc,...\n"
           "  --quantization rgb,ycc  --ycc 444,422\n"
           "No edits: the output is the input, byte for byte.";
}

} // namespace

void addEdidWorkshopCommands(CLI::App& edid, GlobalOptions& options, Action* run) {
    struct Args {
        std::string source, file, format, video, audio;
        std::vector<std::string> common;
        bool forDevice = false;
    };
    auto a = std::make_shared<Args>();
    const auto outputOptions = [&a](CLI::App* sub) {
        sub->add_option("-o,--output", a->file,
                        "Save to FILE: binary when it ends in .bin, else hex text (default: hex "
                        "text on stdout)");
        sub->add_option("--format", a->format, "The file's format, whatever its name: bin or hex")
            ->transform(CLI::IsMember({"bin", "hex"}, CLI::ignore_case));
    };
    const char* sourceHelp = "device, top, bot, a FILE, or preset:NAME";

    CLI::App* edit = edid.add_subcommand("edit", "Change an EDID by what it means");
    edit->add_option("SOURCE", a->source, sourceHelp)->required();
    outputOptions(edit);
    edit->allow_extras();
    // Unknown words stay here as edits instead of going up to the program.
    edit->fallthrough(false);
    edit->footer(editsHelp());
    edit->callback([&options, a, edit, run] {
        const std::vector<std::string> args = edit->remaining();
        *run = [&options, a, args](Output& out) {
            return runEdit(options, a->source, args, a->file, a->format, out);
        };
    });

    CLI::App* merge = edid.add_subcommand(
        "merge", "One EDID from two: the video of one with the audio of another (--video, "
                 "--audio), or what both displays accept (--common)");
    merge->add_option("--video", a->video, "Identity, timings and video blocks from this SOURCE");
    merge->add_option("--audio", a->audio, "Audio blocks and speaker allocation from this SOURCE");
    merge->add_option("--common", a->common, "The two SOURCEs whose common subset is wanted")
        ->expected(2);
    outputOptions(merge);
    merge->callback([&options, a, run] {
        *run = [&options, a](Output& out) {
            return runMerge(options, a->video, a->audio, a->common, a->file, a->format, out);
        };
    });

    CLI::App* check = edid.add_subcommand(
        "check", "What a source may send by this EDID over HDMI 2.0, and its structure; exit 3 "
                 "when something fails");
    check->add_option("SOURCE", a->source, sourceHelp)->required();
    check->add_flag("--for-device", a->forDevice,
                    "Also fail an EDID longer than the device's 256-byte table");
    check->callback([&options, a, run] {
        *run = [&options, a](Output& out) {
            return runCheck(options, a->source, a->forDevice, out);
        };
    });

    CLI::App* preset = edid.add_subcommand("preset", "The built-in and your own ready-made EDIDs");
    preset->require_subcommand(1);
    preset->footer("Your own: files NAME.ini of \"option = value\" lines (the edits of korvanta "
                   "edid edit --help) in " +
                   edid::userPresetDir().toStdString());
    CLI::App* list = preset->add_subcommand("list", "Every preset's name and description");
    list->callback([run] { *run = [](Output& out) { return runPresetList(out); }; });
    CLI::App* show = preset->add_subcommand("show", "A preset's bytes");
    show->add_option("NAME", a->source, "The preset's name")->required();
    outputOptions(show);
    show->callback([a, run] {
        *run = [a](Output& out) { return runPresetShow(a->source, a->file, a->format, out); };
    });
}

} // namespace cli
