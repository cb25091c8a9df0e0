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

namespace {

thread_local StderrCapture* capture = nullptr;

} // namespace

StderrCapture::StderrCapture() : previous_(capture) {
    capture = this;
}

StderrCapture::~StderrCapture() {
    capture = previous_;
}

std::vector<std::string>& complaints() {
    static std::vector<std::string> said;
    return capture ? capture->complaints : said;
}

void toStderr(const std::string& text) {
    if (capture) {
        capture->text += text;
        return;
    }
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

// Write requests are kept and acknowledged here; reads pass to the device,
// and so do the requests that only stage an EDID for reading. The trace shows
// a kept request as a comment, never as something the device acknowledged.
struct DeviceSession::DryRun : UsbLibrary, Forwarder {
    DryRun(UsbLibrary& inner, Trace* trace, Forwarder* service)
        : inner(inner), trace(trace), service(service) {}

    static bool onlyPreparesRead(const std::uint8_t* request) {
        return request[2] == proto::kCmdStageDeviceEdid || request[2] == proto::kCmdStageTopEdid ||
               request[2] == proto::kCmdStageBotEdid;
    }

    int getNumDevices(std::uint32_t* count) override { return inner.getNumDevices(count); }
    int getProductString(std::uint32_t index, char* buffer, std::uint32_t selector) override {
        return inner.getProductString(index, buffer, selector);
    }
    int getDeviceLocation(std::uint32_t index, char* buffer) override {
        return inner.getDeviceLocation(index, buffer);
    }
    int open(std::uint32_t index, DeviceHandle* handle) override {
        return inner.open(index, handle);
    }
    int close(DeviceHandle handle) override { return inner.close(handle); }
    int read(DeviceHandle handle, std::uint8_t* buffer, std::uint32_t wanted,
             std::uint32_t* got) override {
        if (answer.empty())
            return inner.read(handle, buffer, wanted, got);
        const std::uint32_t n = std::min<std::uint32_t>(wanted, std::uint32_t(answer.size()));
        std::copy_n(answer.begin(), n, buffer);
        answer.clear();
        *got = n;
        return kSuccess;
    }
    static bool kept(const std::uint8_t* buffer, std::uint32_t count) {
        return count >= 3 && buffer[0] == proto::kDirWrite && !onlyPreparesRead(buffer);
    }
    void keep(const std::uint8_t* buffer, std::uint32_t count) {
        planned.emplace_back(buffer, buffer + count);
        if (trace) {
            trace->comment("dry run, not sent: " + hexBytes(planned.back()));
            trace->skipNextRecord();
        }
    }
    int write(DeviceHandle handle, const std::uint8_t* buffer, std::uint32_t count,
              std::uint32_t* written) override {
        if (!kept(buffer, count))
            return inner.write(handle, buffer, count, written);
        keep(buffer, count);
        answer = {buffer[2], 0};
        *written = count;
        return kSuccess;
    }
    // Through a service: the same requests kept, the same answer.
    void transact(const std::uint8_t* request, int requestLength, int expectedLength,
                  Reply* reply) override {
        if (!kept(request, std::uint32_t(requestLength)))
            return service->transact(request, requestLength, expectedLength, reply);
        keep(request, std::uint32_t(requestLength));
        *reply = Reply{};
        reply->bytes[0] = request[2];
        reply->received = 2;
        reply->result = reply->received >= expectedLength;
        reply->fault = reply->result ? TransactionFault::None : TransactionFault::ShortReply;
    }
    bool hold() override { return service->hold(); }
    void release() override { service->release(); }
    int flushBuffers(DeviceHandle handle, std::uint8_t tx, std::uint8_t rx) override {
        answer.clear();
        return inner.flushBuffers(handle, tx, rx);
    }
    int setTimeouts(std::uint32_t readMs, std::uint32_t writeMs) override {
        return inner.setTimeouts(readMs, writeMs);
    }
    int getTimeouts(std::uint32_t* readMs, std::uint32_t* writeMs) override {
        return inner.getTimeouts(readMs, writeMs);
    }
    int checkRxQueue(DeviceHandle handle, std::uint32_t* queued,
                     std::uint32_t* queueStatus) override {
        if (answer.empty())
            return inner.checkRxQueue(handle, queued, queueStatus);
        *queued = std::uint32_t(answer.size());
        return kSuccess;
    }

    UsbLibrary& inner;
    Trace* trace;
    Forwarder* service;
    std::vector<std::vector<std::uint8_t>> planned;
    std::deque<std::uint8_t> answer;
};

DeviceSession::DeviceSession(const GlobalOptions& options) : options_(options) {
    reporter.showProgress = !options.quiet && !options.attached && isatty(fileno(stderr));
}

DeviceSession::~DeviceSession() {
    if (options_.attached) {
        // The device stays open for its owner; only a dry run's wrapper goes.
        if (dryRun_)
            platform().usb = attachedUsb_;
        return;
    }
    if (platform().usb)
        closeDevice();
    platform() = Platform{};
}

UsbLibrary* DeviceSession::library() const {
    return options_.attached ? platform().usb : usb_.get();
}

int DeviceSession::open() {
    if (options_.attached) {
        if (platform().usb && appState.deviceHandle != kNoDevice)
            return kDone;
        // What korvanta says when it finds none.
        complain("KORVANTA USB not connected!");
        return kDeviceFailed;
    }
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
    if (options_.attached) {
        if (platform().usb)
            return kDone;
        complain("no USB library is in use");
        return kDeviceFailed;
    }
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

void DeviceSession::startDryRun() {
    if (dryRun_)
        return;
    if (options_.attached) {
        attachedUsb_ = platform().usb;
        dryRun_ = std::make_unique<DryRun>(*attachedUsb_, platform().trace, platform().forwarder);
    } else {
        dryRun_ = std::make_unique<DryRun>(*usb_, trace_.get(), platform().forwarder);
    }
    platform().usb = dryRun_.get();
    if (platform().forwarder)
        platform().forwarder = dryRun_.get();
}

const std::vector<std::vector<std::uint8_t>>& DeviceSession::plannedRequests() const {
    static const std::vector<std::vector<std::uint8_t>> none;
    return dryRun_ ? dryRun_->planned : none;
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
