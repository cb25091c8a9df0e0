// chain: does what the source sends reach each display, and if not, why.
#include "cli/Cli.h"

#include "chain/SignalChain.h"
#include "session/ChainRead.h"

#include <CLI/CLI.hpp>

namespace cli {

namespace {

int runChain(const GlobalOptions& options, Output& out) {
    DeviceSession session(options);
    if (const int code = session.open())
        return code;
    chain::ChainData data;
    if (!readChainData(session, nullptr, &data))
        return kDeviceFailed;
    const chain::ChainReport report = chain::checkChain(data);
    for (const std::string& line : chain::chainLines(report))
        out.line(line);
    out.json["chain"] = chain::chainJson(report);
    return chain::chainFine(report) ? kDone : kFindings;
}

} // namespace

bool readChainData(DeviceSession& session, const session::StatusReplies* status,
                   chain::ChainData* data) {
    const session::ChainRead read =
        status ? session::readChainData(session.reporter, *status, data, true)
               : session::readChainData(session.reporter, data, true);
    if (read == session::ChainRead::Failed)
        return false;
    // The session said why; a display that could not be read leaves the check
    // without what it needs.
    for (const chain::Display& d : data->displays)
        if (d.state == chain::DisplayState::ReadFailed)
            return false;
    return true;
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
