// korvanta: the device from the command line, on the same session as the window.
#include "cli/Cli.h"

#include <CLI/CLI.hpp>
#include <QCoreApplication>
#include <QJsonDocument>

#include <cstdio>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

// CLI11 calls an unknown command a missing one; say which word it was.
std::string parseComplaint(const CLI::App& app, const CLI::ParseError& e, int argc, char** argv) {
    if (app.get_subcommands().empty()) {
        for (int i = 1; i < argc; ++i) {
            const std::string word = argv[i];
            const std::string before = i > 1 ? argv[i - 1] : "";
            if (word.empty() || word[0] == '-' || before == "--link" || before == "--trace" ||
                before == "--device")
                continue;
            std::string commands;
            for (const CLI::App* sub : app.get_subcommands({}))
                commands += (commands.empty() ? "" : ", ") + sub->get_name();
            return "\"" + word + "\" is not a command; the commands are " + commands;
        }
    }
    // The deepest command given, and what it wants next.
    const CLI::App* deepest = &app;
    std::string path = "korvanta";
    while (!deepest->get_subcommands().empty()) {
        deepest = deepest->get_subcommands().front();
        path += " " + deepest->get_name();
    }
    const auto subs = deepest->get_subcommands({});
    if (deepest != &app && !subs.empty() && deepest->get_subcommands().empty()) {
        std::string names;
        for (const CLI::App* sub : subs)
            names += (names.empty() ? "" : ", ") + sub->get_name();
        return path + " needs one of: " + names;
    }
    return std::string(e.what()) + "; see " + path + " --help";
}

} // namespace

int main(int argc, char* argv[]) {
#ifdef _WIN32
    // The same bytes as elsewhere: JSON and text piped into scripts, and
    // EDID text written to stdout, get no carriage returns added.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    QCoreApplication qt(argc, argv);
    CLI::App app("Configures the KORVANTA HDMI switch from the command line.", "korvanta");
    // CLI11 takes "/x" for an option on Windows by default; here it is a file
    // (Z:/... under Wine, /dir/file on the current drive), and -x/--x are the options.
    app.allow_windows_style_options(false);
    app.set_version_flag("--version", "korvanta " KORVANTA_VERSION);
    app.require_subcommand(1);
    // Global options may stand before or after the subcommand.
    app.fallthrough();
    app.footer("Exit status: 0 done, 1 the device failed (not found, no reply, refused, verify "
               "mismatch), 2 usage (unknown command, name or value; unreadable or malformed file), "
               "3 findings (edid diff: the EDIDs differ; edid check: something fails; chain: an "
               "output is degraded, won't show or has no display).\n"
               "Run \"korvanta COMMAND --help\" for a command's own options.");

    cli::GlobalOptions options;
    app.add_option("--link", options.link,
                   "usb, simulator or replay:FILE (default: $KORVANTA_LINK, else usb)")
        ->type_name("LINK");
    app.add_option("--trace", options.trace,
                   "Append every transaction to FILE (as KORVANTA_TRACE does)")
        ->type_name("FILE");
    app.add_option("--device", options.device,
                   "The unit with this ID, as `korvanta devices` lists them (default: "
                   "$KORVANTA_DEVICE, else the only one)")
        ->type_name("ID");
    app.add_flag("--json", options.json, "Print one JSON document on stdout");
    app.add_flag("-q,--quiet", options.quiet, "Print no confirmations and no progress");
    app.add_flag("--direct", options.direct,
                 "Open the device directly, never through a running korvanta serve");

    cli::Action run;
    cli::addDeviceCommands(app, options, &run);
    cli::addSettingsCommands(app, options, &run);
    cli::addEdidCommands(app, options, &run);
    cli::addCecCommands(app, options, &run);
    cli::addBackupCommands(app, options, &run);
    cli::addChainCommands(app, options, &run);
    cli::addSceneCommands(app, options, &run);
    cli::addServeCommand(app, options, &run);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        cli::complain(parseComplaint(app, e, argc, argv));
        return cli::kUsage;
    }
    if (!run) {
        cli::complain("no command given; see korvanta --help");
        return cli::kUsage;
    }

    cli::Output out{&options, {}};
    const int code = run(out);
    if (QJsonObject document; options.json && cli::finalDocument(out, code, &document))
        std::fputs(QJsonDocument(document).toJson(QJsonDocument::Indented).constData(), stdout);
    return code;
}
