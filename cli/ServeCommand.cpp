// korvanta serve: the one owner of a device, for the window, scripts and home automation.
#include "cli/Cli.h"

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
    QCoreApplication::exec();
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
    cmd->callback([&options, serve, run] {
        *run = [&options, serve](Output&) { return runServe(options, *serve); };
    });
}

} // namespace cli
