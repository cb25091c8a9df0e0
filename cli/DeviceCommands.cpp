// devices and status: what the link sees and what the device reports.
#include "cli/Commands.h"

#include "chain/SignalChain.h"
#include "decode/Decoded.h"
#include "link/Clock.h"
#include "link/DeviceList.h"
#include "link/Platform.h"
#include "ops/OpsJson.h"
#include "service/ServiceClient.h"

#include <CLI/CLI.hpp>
#include <QJsonArray>
#include <QJsonDocument>

#include <csignal>
#include <cstdio>
#include <memory>

namespace cli {

namespace {

constexpr std::uint32_t kWatchStepMs = 100;
volatile std::sig_atomic_t interrupted = 0;

void onInterrupt(int) {
    interrupted = 1;
}

QString qs(const std::string& s) {
    return QString::fromLatin1(s.data(), qsizetype(s.size()));
}

// The socket of a service that answers for this unit, if one does: the unit
// is then the service's, and reached through it.
std::string servingSocket(const std::string& id) {
    std::string path, complaint;
    service::ServiceClient client;
    if (id.empty() || !service::serviceSocketPath(id, &path, &complaint) ||
        client.connect(path, &complaint) != service::ServiceClient::Connect::Connected ||
        client.hello().value("device").toString().toStdString() != id)
        return {};
    return path;
}

int runDevices(const GlobalOptions& options, Output& out) {
    DeviceSession session(options);
    if (const int code = session.openLink())
        return code;
    std::vector<ListedDevice> devices;
    if (!listDevices(*session.library(), &devices)) {
        complain("the USB library could not list its devices");
        return kDeviceFailed;
    }
    QJsonArray list;
    bool denied = false;
    for (const ListedDevice& d : devices) {
        std::string line = d.location + ": ";
        line += d.readable ? "serial \"" + d.serial + "\"" : std::string("serial unreadable");
        const std::string served = d.accessible ? servingSocket(d.id) : std::string();
        line += !d.accessible    ? ", permission denied"
                : served.empty() ? ", may be opened"
                                 : ", held by korvanta serve (" + served + "), used through it";
        if (!d.id.empty())
            line += ", ID " + d.id;
        denied = denied || !d.accessible;
        out.line(line);
        list.append(QJsonObject{{"location", qs(d.location)},
                                {"serial", d.readable ? QJsonValue(qs(d.serial)) : QJsonValue()},
                                {"accessible", d.accessible},
                                {"service", served.empty() ? QJsonValue() : QJsonValue(qs(served))},
                                {"isKorvanta", d.readable && d.serial == "2023"},
                                {"id", d.id.empty() ? QJsonValue() : QJsonValue(qs(d.id))}});
    }
    if (devices.empty())
        out.line("no device with a listed USB ID");
    if (denied)
        complain("a device refused this user: install the udev rule "
                 "(70-korvanta.rules, see README \"Real hardware\"), then plug it in again");
    out.json["devices"] = list;
    return kDone;
}

bool showStatusOnce(DeviceSession& session, Output& out, bool watching, bool withChain) {
    const ops::StatusResult r = ops::readStatusRound({withChain}, session.reporter);
    if (r.error)
        return false;
    const session::StatusHeader& header = r.status.header;
    out.line(header.videoFormat);
    out.line(header.colour);
    out.line(header.source);
    out.line(header.hdrInput);
    if (r.status.hdrFrame) {
        out.line("HDR InfoFrame payload: " + header.infoFrame);
        out.line(decode::renderText(*r.status.hdrFrame));
    }
    if (r.chain)
        for (const std::string& line : chain::chainSummaryLines(*r.chain))
            out.line(line);
    out.json = ops::toJson(r);
    if (watching && out.options->json) {
        // One document a round, a line each, for `jq` to follow.
        std::printf("%s\n", QJsonDocument(out.json).toJson(QJsonDocument::Compact).constData());
        out.json = {};
        out.streamed = true;
    } else if (watching) {
        out.line("");
    }
    std::fflush(stdout);
    return true;
}

} // namespace

int runStatus(const GlobalOptions& options, double watchSeconds, bool withChain, Output& out) {
    DeviceSession session(options);
    if (const int code = session.open())
        return code;
    if (watchSeconds <= 0)
        return showStatusOnce(session, out, false, withChain) ? kDone : kDeviceFailed;

    interrupted = 0;
    auto previous = std::signal(SIGINT, onInterrupt);
    const auto periodMs = static_cast<std::uint32_t>(watchSeconds * 1000);
    int code = kDone;
    while (!interrupted) {
        if (!showStatusOnce(session, out, true, withChain)) {
            code = kDeviceFailed;
            break;
        }
        for (std::uint32_t waited = 0; waited < periodMs && !interrupted; waited += kWatchStepMs)
            platform().clock->sleepMs(std::min(kWatchStepMs, periodMs - waited));
    }
    std::signal(SIGINT, previous);
    return code;
}

void addDeviceCommands(CLI::App& app, GlobalOptions& options, Action* run) {
    CLI::App* devices = app.add_subcommand(
        "devices", "List the USB devices with a listed ID: where, serial, whether you may open it, "
                   "and each unit's ID for --device");
    devices->callback(
        [&options, run] { *run = [&options](Output& out) { return runDevices(options, out); }; });

    auto watch = std::make_shared<double>(0);
    CLI::App* status = app.add_subcommand("status", "Show the live status lines of the device");
    status
        ->add_option("--watch", *watch,
                     "Repeat every SECONDS until Ctrl-C (with --json: one document a line)")
        ->check(CLI::Range(0.1, 3600.0))
        ->type_name("SECONDS");
    auto withChain = std::make_shared<bool>(false);
    status->add_flag("--chain", *withChain,
                     "Add a line per output saying whether the input reaches its display "
                     "(reads both displays' EDIDs; see korvanta chain)");
    status->callback([&options, watch, withChain, run] {
        *run = [&options, watch, withChain](Output& out) {
            return runStatus(options, *watch, *withChain, out);
        };
    });
}

} // namespace cli
