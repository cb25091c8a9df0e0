// edid decode / diff, cec decode, infoframe decode: bytes in words.
#include "cli/EdidSources.h"

#include "decode/CecDecode.h"
#include "decode/Decoded.h"
#include "decode/EdidConformity.h"
#include "decode/EdidDecode.h"
#include "decode/InfoFrameDecode.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace cli {

namespace {

void show(const decode::Decoded& d, Output& out) {
    if (!out.options->json)
        std::fputs(decode::renderText(d).c_str(), stdout);
    out.json["decode"] = decode::renderJson(d);
}

int runEdidDecode(const GlobalOptions& options, const std::string& from, bool check, Output& out) {
    EdidSources sources(options);
    std::vector<EdidBlocks> images;
    if (!sources.loadFiles({from}, &images))
        return kUsage;
    if (const int code = sources.readDevice({from}, &images))
        return code;
    show(decode::decodeEdid(images[0]), out);
    if (!check)
        return kDone;

    const decode::ConformityCheck c = decode::runEdidDecodeCheck(images[0]);
    QJsonObject conformity{{"available", c.available}, {"ran", c.ran}};
    if (!c.available) {
        complain("edid-decode is not installed, so the EDID was not checked; install it with: " +
                 c.installHint);
    } else {
        const std::string findings = decode::conformityFindings(c.output);
        out.line("\nedid-decode --check:");
        out.line(findings.empty() ? (c.ran ? "  no warnings, no failures" : c.output) : findings);
        conformity["output"] = QString::fromStdString(c.output);
        conformity["findings"] = QString::fromStdString(findings);
    }
    out.json["conformity"] = conformity;
    return kDone;
}

int runEdidDiff(const GlobalOptions& options, const std::string& a, const std::string& b,
                Output& out) {
    EdidSources sources(options);
    std::vector<EdidBlocks> images;
    if (!sources.loadFiles({a, b}, &images))
        return kUsage;
    if (const int code = sources.readDevice({a, b}, &images))
        return code;
    const decode::Decoded d = decode::compareEdids(images[0], images[1], a, b);
    show(d, out);
    const auto same = std::find_if(d.nodes.begin(), d.nodes.end(),
                                   [](const decode::Node& n) { return n.key == "identical"; });
    return same != d.nodes.end() && same->json.toBool() ? kDone : kFindings;
}

} // namespace

void addEdidDecodeCommands(CLI::App& edid, GlobalOptions& options, Action* run) {
    struct Args {
        std::string a;
        std::string b;
        bool check = false;
    };
    auto args = std::make_shared<Args>();
    CLI::App* decodeCmd =
        edid.add_subcommand("decode", "Put an EDID into words: device, top, bot or a FILE");
    decodeCmd->add_option("FROM", args->a, "device, top, bot, or an EDID file (binary or hex text)")
        ->required();
    decodeCmd->add_flag("--check", args->check,
                        "Also run edid-decode --check on it and show its warnings and failures");
    decodeCmd->callback([&options, args, run] {
        *run = [&options, args](Output& out) {
            return runEdidDecode(options, args->a, args->check, out);
        };
    });

    CLI::App* diff = edid.add_subcommand(
        "diff", "Compare two EDIDs field by field (each device, top, bot or a FILE)");
    diff->add_option("A", args->a, "The first EDID")->required();
    diff->add_option("B", args->b, "The second EDID")->required();
    diff->callback([&options, args, run] {
        *run = [&options, args](Output& out) {
            return runEdidDiff(options, args->a, args->b, out);
        };
    });
}

void addCecDecodeCommand(CLI::App& cec, GlobalOptions&, Action* run) {
    auto text = std::make_shared<std::string>();
    CLI::App* sub = cec.add_subcommand("decode", "Put a CEC message into words (nothing is sent)");
    sub->add_option("TEXT", *text, "The message as colon-hex, e.g. 0f:36")->required();
    sub->callback([text, run] {
        *run = [text](Output& out) {
            show(decode::decodeCecText(*text), out);
            return kDone;
        };
    });
}

void addInfoFrameDecodeCommand(CLI::App& infoFrame, GlobalOptions&, Action* run) {
    struct Args {
        std::string kind;
        std::string text;
    };
    auto args = std::make_shared<Args>();
    CLI::App* sub = infoFrame.add_subcommand(
        "decode", "Put an HDR InfoFrame (the whole frame) or AVI InfoFrame (data bytes from 1) "
                  "into words");
    sub->add_option("KIND", args->kind, "hdr or avi")
        ->required()
        ->check(CLI::IsMember({"hdr", "avi"}));
    sub->add_option("TEXT", args->text, "The bytes as colon-hex, as typed in the window")
        ->required();
    sub->callback([args, run] {
        *run = [args](Output& out) {
            show(args->kind == "hdr" ? decode::decodeHdrInfoFrameText(args->text)
                                     : decode::decodeAviText(args->text),
                 out);
            return kDone;
        };
    });
}

} // namespace cli
