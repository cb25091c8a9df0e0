#pragma once

#include "link/Clock.h"
#include "link/Dialogs.h"
#include "link/Trace.h"
#include "ops/Device.h"
#include "ops/Reporter.h"
#include "session/Backend.h"
#include "session/Readback.h"
#include "session/Reporter.h"

#include <QJsonObject>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace CLI {
class App;
}
namespace chain {
struct ChainData;
}

namespace service {
class ServiceClient;
}

namespace cli {

enum ExitCode : int {
    kDone = 0,
    kDeviceFailed = 1, // not found, no reply, refused, verify mismatch
    kUsage = 2,        // unknown command, name or value; unreadable or malformed file
    kFindings = 3,     // the command ran and found something: EDIDs that differ
};

struct GlobalOptions {
    std::string link;    // empty: KORVANTA_LINK, else usb
    std::string device;  // empty: KORVANTA_DEVICE, else the only one
    bool direct = false; // never through a running service
    std::string trace;
    bool json = false;
    bool quiet = false;
};

// What an operation says, as a terminal program shows it: each message on
// stderr as it comes (errors counted among the run's complaints), a progress
// bar on stderr when it is a terminal.
class ConsoleReporter : public ops::Reporter {
public:
    void progress(int value, int maximum) override;

    bool showProgress = false;

protected:
    void said(const ops::Message& message) override;

private:
    bool barShown_ = false;
};

// The USB layer's warnings go to stderr; nothing here ever waits for a click.
class ConsoleDialogs : public SilentDialogs {
public:
    void usbWarning(const QString& text) override;
    int message(QWidget*, Icon, const QString&, const QString& text, int, int) override;
};

// One run's device: the link, the trace and the open device, installed as
// the program's platform and closed again when the object goes.
class DeviceSession : public ops::Device {
public:
    explicit DeviceSession(const GlobalOptions& options);
    ~DeviceSession() override;
    DeviceSession(const DeviceSession&) = delete;
    DeviceSession& operator=(const DeviceSession&) = delete;

    // Builds the link and opens the device. Returns kDone, or the exit code
    // with the reason already said on stderr.
    int open();
    // The same for an operation; the failure is said already.
    ops::Error open(ops::Reporter& reporter) override;
    // Only builds the link, for a listing of what it sees.
    int openLink();
    UsbLibrary* library() const;
    // The running service this session's requests go through, if any.
    service::ServiceClient* service() const { return service_.get(); }

    ConsoleReporter reporter;

private:
    GlobalOptions options_;
    SystemClock clock_;
    ConsoleDialogs dialogs_;
    std::unique_ptr<UsbLibrary> usb_;
    std::unique_ptr<Trace> trace_;
    std::unique_ptr<service::ServiceClient> service_;
};

using ops::hexBytes;
using ops::lastTransactionCause;

// The link the options ask for; false (with the complaint on stderr) when unknown.
bool chooseLink(const GlobalOptions& options, LinkChoice* choice);

// Output: text on stdout unless --json, where one document is printed at the end.
struct Output {
    const GlobalOptions* options = nullptr;
    QJsonObject json;
    bool streamed = false; // documents already went out one by one (status --watch)
    // A line of the command's result (data); printed unless --json.
    void line(const std::string& text) const;
    // A confirmation ("input=a set"); printed unless --json or --quiet.
    void note(const std::string& text) const;
};

// "korvanta: <text>" on stderr.
void complain(const std::string& text);
// Everything said so far, for the JSON document of a failed run.
std::vector<std::string>& complaints();
// Text for stderr as it stands.
void toStderr(const std::string& text);

// The document `--json` prints for a run that ended with `code`; false when
// none is printed (a usage error, or documents that went out one by one).
bool finalDocument(const Output& out, int code, QJsonObject* document);

// Subcommands register themselves on the app; each sets `*run` to its action
// when chosen.
using Action = std::function<int(Output&)>;
void addDeviceCommands(CLI::App& app, GlobalOptions& options, Action* run);
void addSettingsCommands(CLI::App& app, GlobalOptions& options, Action* run);
void addEdidCommands(CLI::App& app, GlobalOptions& options, Action* run);
void addCecCommands(CLI::App& app, GlobalOptions& options, Action* run);
void addBackupCommands(CLI::App& app, GlobalOptions& options, Action* run);
void addServeCommand(CLI::App& app, GlobalOptions& options, Action* run);
void addChainCommands(CLI::App& app, GlobalOptions& options, Action* run);
void addSceneCommands(CLI::App& app, GlobalOptions& options, Action* run);
// The decoders' subcommands, under edid, cec and infoframe.
void addEdidDecodeCommands(CLI::App& edid, GlobalOptions& options, Action* run);
void addEdidWorkshopCommands(CLI::App& edid, GlobalOptions& options, Action* run);
void addCecDecodeCommand(CLI::App& cec, GlobalOptions& options, Action* run);
void addInfoFrameDecodeCommand(CLI::App& infoFrame, GlobalOptions& options, Action* run);

} // namespace cli
