#include "cli/Cli.h"

#include "link/AppState.h"
#include "link/DeviceIds.h"
#include "link/Forwarder.h"
#include "link/Platform.h"
#include "link/Protocol.h"
#include "link/UsbLink.h"
#include "service/ServiceClient.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace cli {

namespace {

constexpr int kBarWidth = 32;

} // namespace

std::vector<std::string>& complaints() {
    static std::vector<std::string> said;
    return said;
}

void toStderr(const std::string& text) {
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
}

void complain(const std::string& text) {
    complaints().push_back(text);
    toStderr("korvanta: " + text + "\n");
}

bool finalDocument(const Output& out, int code, QJsonObject* document) {
    if (code == kUsage || out.streamed)
        return false;
    *document = out.json;
    (*document)["ok"] = code == kDone || code == kFindings;
    QJsonArray errors;
    for (const std::string& text : complaints())
        errors.append(QString::fromStdString(text));
    (*document)["errors"] = errors;
    return true;
}

void ConsoleReporter::said(const ops::Message& message) {
    if (barShown_) {
        std::fputc('\n', stderr);
        barShown_ = false;
    }
    // The run's own complaints, not the member of that name.
    if (message.error)
        cli::complain(message.text);
    else
        toStderr("korvanta: " + message.text + "\n");
}

void ConsoleReporter::progress(int value, int maximum) {
    if (!showProgress)
        return;
    if (maximum <= 0) {
        if (barShown_)
            std::fputs("\r\033[K", stderr);
        barShown_ = false;
        return;
    }
    const int filled = value * kBarWidth / maximum;
    std::string bar(std::size_t(filled), '#');
    bar.resize(kBarWidth, '.');
    std::fprintf(stderr, "\r[%s] %3d%%", bar.c_str(), value * 100 / maximum);
    std::fflush(stderr);
    barShown_ = true;
}

void ConsoleDialogs::usbWarning(const QString& text) {
    complain(text.toStdString());
}

int ConsoleDialogs::message(QWidget*, Icon, const QString&, const QString& text, int, int) {
    complain(text.trimmed().toStdString());
    return Ok;
}

bool chooseLink(const GlobalOptions& options, LinkChoice* choice) {
    std::string name = options.link;
    if (name.empty()) {
        const char* env = std::getenv("KORVANTA_LINK");
        name = env && *env ? env : "usb";
    }
    std::string complaint;
    if (parseLinkName(name, choice, &complaint))
        return true;
    complain(complaint);
    return false;
}

DeviceSession::DeviceSession(const GlobalOptions& options) : options_(options) {
    reporter.showProgress = !options.quiet && isatty(fileno(stderr));
}

DeviceSession::~DeviceSession() {
    if (platform().usb)
        closeDevice();
    platform() = Platform{};
}

UsbLibrary* DeviceSession::library() const {
    return usb_.get();
}

int DeviceSession::open() {
    if (const int code = openLink())
        return code;
    std::string wanted = options_.device;
    if (const char* env = std::getenv("KORVANTA_DEVICE"); wanted.empty() && env)
        wanted = env;
    DeviceEntry picked{};
    std::string complaint;
    bool several = false;
    const bool found = pickDevice(wanted, &picked, &complaint, &several);
    if (!found && several) {
        complain(complaint + "; choose one with --device ID (or KORVANTA_DEVICE)");
        return kUsage;
    }
    LinkChoice choice;
    chooseLink(options_, &choice);
    // A recording is replayed here; it has no service.
    const std::string id = found ? picked.id : wanted;
    if (!options_.direct && choice.kind != LinkKind::Replay && !id.empty()) {
        service_ = std::make_unique<service::ServiceClient>();
        std::string why;
        switch (service::connectToService(service_.get(), id, &why)) {
        case service::ServiceClient::Connect::Connected:
            platform().forwarder = service_.get();
            return openDevice(0) ? kDone : kDeviceFailed;
        case service::ServiceClient::Connect::NoService:
            service_.reset();
            break;
        case service::ServiceClient::Connect::Failed:
            complain(why);
            return kDeviceFailed;
        }
    }
    if (!found) {
        complain(complaint);
        return kDeviceFailed;
    }
    appState.deviceIndex = picked.index;
    return openDevice(picked.index) ? kDone : kDeviceFailed;
}

ops::Error DeviceSession::open(ops::Reporter&) {
    const int code = open();
    if (code == kDone)
        return {};
    // DeviceSession says its own failures, on stderr with the run's complaints.
    const std::string said = complaints().empty() ? std::string() : complaints().back();
    return {code == kUsage ? ops::ErrorCode::usage : ops::ErrorCode::noDevice, said, {}};
}

int DeviceSession::openLink() {
    LinkChoice choice;
    if (!chooseLink(options_, &choice))
        return kUsage;
    std::string warnings;
    std::string error;
    usb_ = makeUsbLibrary(choice, &warnings, &error);
    if (!warnings.empty())
        std::fputs(warnings.c_str(), stderr);
    if (!usb_) {
        complain(error);
        return kUsage;
    }
    std::string tracePath = options_.trace;
    if (const char* env = std::getenv("KORVANTA_TRACE"); tracePath.empty() && env)
        tracePath = env;
    if (!tracePath.empty()) {
        trace_ = std::make_unique<Trace>(tracePath, clock_.tickCount(),
                                         traceHeader("korvanta", "command line", linkName(choice)));
        if (!trace_->isOpen())
            trace_.reset();
    }
    resetAppState();
    platform() = Platform{usb_.get(), &clock_, &dialogs_, trace_.get()};
    return kDone;
}

void Output::line(const std::string& text) const {
    if (!options->json)
        std::printf("%s\n", text.c_str());
}

void Output::note(const std::string& text) const {
    if (!options->json && !options->quiet)
        std::printf("%s\n", text.c_str());
}

} // namespace cli
