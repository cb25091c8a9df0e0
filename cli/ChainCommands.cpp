// chain: does what the source sends reach each display, and if not, why.
#include "cli/Commands.h"

#include "chain/SignalChain.h"
#include "ops/OpsJson.h"

#include <CLI/CLI.hpp>

namespace cli {

int runChain(const GlobalOptions& options, Output& out) {
    DeviceSession session(options);
    const ops::ChainResult r = ops::chainCheck(session, session.reporter);
    if (!r.error)
        for (const std::string& line : chain::chainLines(r.report))
            out.line(line);
    out.json = ops::toJson(r);
    return r.findings() ? kFindings : ops::exitCode(r.error);
}

void addChainCommands(CLI::App& app, GlobalOptions& options, Action* run) {
    CLI::App* chain = app.add_subcommand(
        "chain", "Check whether what the source sends reaches the displays on TOP and BOT");
    chain->footer(
        "Reads the input's status, the settings and the EDIDs of both displays. Per output: its "
        "display and each finding with its verdict (fine, degraded, won't show, unknown, no "
        "display), a sentence, and the setting to try where one of the device's own addresses "
        "it.\nExit status: 0 both outputs show the input fine (checks that cannot be decided, "
        "such as the other input of a matrix mode, do not count), 1 the device failed, 3 an "
        "output is degraded, won't show or has no display.");
    chain->callback(
        [&options, run] { *run = [&options](Output& out) { return runChain(options, out); }; });
}

} // namespace cli
