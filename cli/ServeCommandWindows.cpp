#include "cli/Cli.h"

#include <CLI/CLI.hpp>

// The service needs the Unix socket and the MQTT bridge, which the Windows
// build goes without for now. The command stays, so that a script learns why.
namespace cli {

void addServeCommand(CLI::App& app, GlobalOptions&, Action* run) {
    CLI::App* cmd = app.add_subcommand(
        "serve", "Own the device and share it (not on Windows yet: the programs open the "
                 "device themselves there)");
    cmd->allow_extras();
    cmd->callback([run] {
        *run = [](Output&) {
            complain("serve does not run on Windows yet; the window and korvanta open "
                     "the device themselves there");
            return int(kUsage);
        };
    });
}

} // namespace cli
