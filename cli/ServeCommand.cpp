// korvanta serve: the one owner of a device, for the window, scripts and home automation.
#include "cli/Cli.h"

#include "http/QrText.h"
#include "http/TokenFile.h"
#include "http/WebServer.h"
#include "link/AppState.h"
#include "link/DeviceIds.h"
#include "link/Platform.h"
#include "link/RuntimePaths.h"
#include "link/UsbLink.h"
#include "mqtt/MqttOptions.h"
#include "mqtt/ServiceBridge.h"
#include "scene/SceneStore.h"
#include "service/CommandMethods.h"
#include "service/SceneFollowing.h"
#include "service/Server.h"
#include "service/ServiceClient.h"
#include "settings/SettingsMap.h"

#include <CLI/CLI.hpp>
#include <QCoreApplication>
#include <QHostAddress>
#include <QNetworkInterface>
#include <QSocketNotifier>
#include <QSysInfo>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace cli {

namespace {

struct ServeOptions {
    std::string socket;
    std::string socketGroup;
    int pollMs = 3000;
    std::shared_ptr<mqtt::MqttArguments> mqtt;
    std::string http;
    bool httpReadOnly = false;
    std::string httpCert, httpKey, httpTokenFile;
};

int stopPipe[2] = {-1, -1};

void onStopSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(stopPipe[1], &byte, 1);
}

// While the service looks for a device that is gone, one line says so, not
// one a poll.
class QuietDialogs : public ConsoleDialogs {
public:
    void usbWarning(const QString&) override {}
};

void say(const std::string& text) {
    std::fprintf(stderr, "korvanta serve: %s\n", text.c_str());
    std::fflush(stderr);
}

// A LAN address this machine answers on, for the printed link.
std::string lanAddress() {
    for (const QHostAddress& a : QNetworkInterface::allAddresses())
        if (a.protocol() == QAbstractSocket::IPv4Protocol && !a.isLoopback() && !a.isLinkLocal())
            return a.toString().toStdString();
    return "127.0.0.1";
}

bool webOptions(const ServeOptions& serve, const std::string& id, http::WebOptions* web,
                std::string* complaint) {
    if (!http::parseListen(serve.http, &web->address, &web->port, complaint))
        return false;
    web->readOnly = serve.httpReadOnly;
    web->certFile = serve.httpCert;
    web->keyFile = serve.httpKey;
    web->deviceId = id;
    web->methods = service::makeMethodHandler();
    web->methodNames = service::methodNames();
    web->log = say;
    const std::string host = QSysInfo::machineHostName().toStdString();
    if (web->address == "0.0.0.0" || web->address == "::")
        web->hostNames.push_back(lanAddress());
    if (!host.empty())
        web->hostNames.insert(web->hostNames.end(), {host, host + ".local"});
    QHostAddress address(QString::fromStdString(web->address));
    if (address.isLoopback())
        return true;
    const std::string file =
        serve.httpTokenFile.empty() ? http::defaultTokenPath() : serve.httpTokenFile;
    bool created = false;
    std::string why;
    if (!http::loadOrCreateToken(file, &web->token, &created, &why)) {
        *complaint = "--http: " + why;
        return false;
    }
    if (created)
        say("made a new key for the page in " + file);
    web->tokenFile = file;
    return true;
}

// The address to open. Beyond loopback it carries the key, so it is shown
// (with a QR code for a phone) only on a terminal, never into a log.
void announce(const http::WebServer& web, const http::WebOptions& options) {
    if (options.token.empty()) {
        say("the page and the API: " + web.address(false));
        return;
    }
    if (!::isatty(STDERR_FILENO)) {
        say("the page and the API: " + web.address(false) + " (they ask for the key in " +
            options.tokenFile + "; `korvanta serve` on a terminal shows the link with it)");
        return;
    }
    const std::string link = web.address(true);
    say("the page and the API, with their key (keep it to yourself): " + link);
    const std::string qr = http::qrForTerminal(link);
    std::fputs(qr.c_str(), stderr);
    std::fflush(stderr);
}

int runServe(GlobalOptions options, const ServeOptions& serve) {
    if (serve.pollMs < 10) {
        complain("--poll-ms must be at least 10");
        return kUsage;
    }
    mqtt::MqttConfig mqttConfig;
    bool withMqtt = false;
    std::string mqttComplaint;
    if (!mqtt::mqttConfig(*serve.mqtt, std::getenv(mqtt::kPasswordVariable), &mqttConfig, &withMqtt,
                          &mqttComplaint)) {
        complain(mqttComplaint);
        return kUsage;
    }
    http::WebOptions web;
    if (!serve.http.empty() && !webOptions(serve, "", &web, &mqttComplaint)) {
        complain(mqttComplaint);
        return kUsage;
    }
    options.direct = true;
    setLockHolderName(kServiceHolderName);
    DeviceSession session(options);
    if (const int code = session.openLink())
        return code;
    std::string id;
    std::string complaint;
    bool several = false;
    if (!service::wantedDeviceId(options.device, &id, &complaint, &several)) {
        complain(complaint + (several ? "; choose one with --device ID (or KORVANTA_DEVICE)"
                                      : "; give its --device ID to wait for it"));
        return several ? kUsage : kDeviceFailed;
    }
    std::string path = serve.socket;
    if (path.empty() && !service::serviceSocketPath(id, &path, &complaint)) {
        complain(complaint);
        return kDeviceFailed;
    }

    QuietDialogs quiet;
    service::ServerOptions server;
    server.socketPath = path;
    server.deviceId = id;
    server.socketGroup = serve.socketGroup;
    server.pollMs = serve.pollMs;
    server.methods = service::makeMethodHandler();
    server.methodNames = service::makeMethodList();
    server.openDevice = [&quiet, id] {
        Dialogs* loud = platform().dialogs;
        platform().dialogs = &quiet;
        DeviceEntry picked{};
        std::string why;
        bool several = false;
        const bool opened = pickDevice(id, &picked, &why, &several) && openDevice(picked.index);
        if (opened)
            appState.deviceIndex = picked.index;
        platform().dialogs = loud;
        return opened;
    };
    server.log = say;
    service::Server service(server);
    if (!service.listen(&complaint)) {
        complain(complaint);
        return kDeviceFailed;
    }
    // Another program holding the device is said once, loudly, and ends us;
    // a device that is not there yet is waited for.
    DeviceEntry picked{};
    if (pickDevice(id, &picked, &complaint, &several)) {
        if (!openDevice(picked.index)) {
            service.stop();
            return kDeviceFailed;
        }
        appState.deviceIndex = picked.index;
    }

    if (::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        complain("cannot set up the stop signal");
        return kDeviceFailed;
    }
    QSocketNotifier stopper(stopPipe[0], QSocketNotifier::Read);
    QObject::connect(&stopper, &QSocketNotifier::activated, [] { QCoreApplication::quit(); });
    std::signal(SIGTERM, onStopSignal);
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGPIPE, SIG_IGN);

    // The MQTT bridge subscribes to service.events() and writes through
    // service.events().queueJob(), so its writes wait their turn like a client's.
    service.start();
    say("serving device " + id + " on " + path);
    service::SceneFollowing scenes(service.events(),
                                   {scene::Store::defaultFolder(), server.methods, say});
    std::unique_ptr<mqtt::ServiceBridge> bridge;
    if (withMqtt) {
        bridge = std::make_unique<mqtt::ServiceBridge>(
            service.events(),
            mqtt::BridgeSetup{mqttConfig, id, QSysInfo::machineHostName().toStdString(),
                              KORVANTA_VERSION},
            &scenes);
        if (!bridge->start(&complaint)) {
            complain(complaint);
            service.stop();
            return kUsage;
        }
    }
    std::unique_ptr<http::WebServer> page;
    if (!serve.http.empty()) {
        web.deviceId = id;
        page = std::make_unique<http::WebServer>(service.events(), web);
        if (!page->listen(&complaint)) {
            complain(complaint);
            if (bridge)
                bridge->stop();
            service.stop();
            return kUsage;
        }
        announce(*page, web);
    }
    QCoreApplication::exec();
    if (page)
        page->stop();
    if (bridge)
        bridge->stop();
    service.stop();
    say("stopped");
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
    ::close(stopPipe[0]);
    ::close(stopPipe[1]);
    return kDone;
}

} // namespace

void addServeCommand(CLI::App& app, GlobalOptions& options, Action* run) {
    auto serve = std::make_shared<ServeOptions>();
    CLI::App* cmd = app.add_subcommand(
        "serve", "Own the device and share it through a socket, until SIGTERM or Ctrl-C");
    cmd->add_option("--socket", serve->socket,
                    "Listen here (default: $KORVANTA_SOCKET, else the runtime folder's "
                    "<ID>.sock)")
        ->type_name("PATH");
    cmd->add_option("--socket-group", serve->socketGroup,
                    "Let members of GROUP connect too (socket 0660), as the system unit does")
        ->type_name("GROUP");
    cmd->add_option("--poll-ms", serve->pollMs, "Poll the device this often (default 3000)")
        ->type_name("MS");
    serve->mqtt = mqtt::addMqttOptions(*cmd);
    cmd->add_option("--http", serve->http,
                    "Serve the web page and the HTTP API on [ADDR:]PORT (a PORT alone: "
                    "127.0.0.1 only; any other address asks for a key)")
        ->type_name("[ADDR:]PORT");
    cmd->add_flag("--http-read-only", serve->httpReadOnly,
                  "The page and the API show the device but change nothing");
    cmd->add_option("--http-cert", serve->httpCert, "Serve HTTPS with this PEM certificate")
        ->type_name("FILE");
    cmd->add_option("--http-key", serve->httpKey, "The PEM private key of --http-cert")
        ->type_name("FILE");
    cmd->add_option("--http-token-file", serve->httpTokenFile,
                    "Keep the page's key here (default ~/.config/korvanta/http-token)")
        ->type_name("FILE");
    cmd->callback([&options, serve, run] {
        *run = [&options, serve](Output&) { return runServe(options, *serve); };
    });
}

} // namespace cli
