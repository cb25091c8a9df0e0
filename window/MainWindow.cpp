#include "window/MainWindow.h"

#include "cec/ColonHex.h"
#include "link/AppState.h"
#include "link/Clock.h"
#include "link/DeviceIds.h"
#include "link/Dialogs.h"
#include "link/Forwarder.h"
#include "link/Platform.h"
#include "link/Protocol.h"
#include "link/UsbLink.h"
#include "session/Reporter.h"
#include "settings/ListEntries.h"
#include "ui_KorvantaForm.h"
#include "window/Variant.h"

#include <QApplication>
#include <QCloseEvent>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>
#include <QTimerEvent>

#include <cstdio>
#include <cstdlib>
#include <cstring>

std::function<void(const char*)> MainWindow::slotObserver;
std::function<void(const std::string&)> MainWindow::devicePicked;

namespace {

constexpr int kPollIntervalMs = 3000;
constexpr int kReconnectIntervalMs = 1000;
// Long enough for a service restart (systemd's, or a user's) to come back
// first, so the window does not take the device from under it.
constexpr std::uint32_t kDirectAfterMs = 5000;

class WindowReporter final : public session::Reporter {
public:
    explicit WindowReporter(MainWindow& window) : window_(window) {}
    void status(session::Level, const char* text, int timeoutMs) override {
        window_.statusBar()->showMessage(MainWindow::tr(text), timeoutMs);
    }
    void progress(int value, int maximum) override { window_.on_ProgressChange(value, maximum); }
    // These go to standard output only; the window shows nothing of them.
    void diagnostic(const char* text) override {
        std::fputs(text, stdout);
        std::fflush(stdout);
    }

private:
    MainWindow& window_;
};

} // namespace

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent), reporter_(std::make_unique<WindowReporter>(*this)) {
    ui = new Ui::MainWindow;
    ui->setupUi(this);
    reconnectTimer = new QTimer(this);
    reconnectTimer->setInterval(kReconnectIntervalMs);
    connect(reconnectTimer, &QTimer::timeout, this, &MainWindow::tryReconnect);
    appState.deviceHandle = kNoDevice;
    initialise();
}

MainWindow::~MainWindow() {
    releaseForm();
    closeDevice();
    stopPollTimer();
    QCoreApplication::exit(0);
}

void MainWindow::releaseForm() {
    delete ui;
    ui = nullptr;
}

void MainWindow::noteSlot(const char* name) {
    if (slotObserver)
        slotObserver(name);
}

void MainWindow::clearEdidTextBuffer() {
    std::memset(appState.edidTextBuffer, 0, sizeof appState.edidTextBuffer);
}

void MainWindow::showStatus(const char* text, int timeoutMs) {
    reporter().status(session::Level::Done, text, timeoutMs);
}

bool MainWindow::findStartupDevice() {
    appState.deviceHandle = kNoDevice;
    const std::string wanted = qEnvironmentVariable("KORVANTA_DEVICE").toStdString();
    DeviceEntry picked{};
    std::string complaint;
    bool several = false;
    if (pickDevice(wanted, &picked, &complaint, &several)) {
        appState.deviceIndex = picked.index;
        notePicked(picked.id);
        return true;
    }
    if (!several) {
        platform().dialogs->usbWarning(QString::fromStdString(complaint));
        return false;
    }
    QStringList ids;
    for (const DeviceEntry& d : knownDevices())
        ids << QString::fromStdString(d.id);
    const QString chosen = platform().dialogs->choice(
        nullptr, tr("KORVANTA Utility"),
        tr("Several KORVANTA units are connected. Which one should this window use?"), ids);
    // Cancelled: the window comes up without a device, as when none is there.
    if (chosen.isEmpty())
        return false;
    if (!pickDevice(chosen.toStdString(), &picked, &complaint, nullptr)) {
        platform().dialogs->usbWarning(QString::fromStdString(complaint));
        return false;
    }
    appState.deviceIndex = picked.index;
    notePicked(picked.id);
    return true;
}

void MainWindow::notePicked(const std::string& id) {
    unitId = id;
    if (knownDevices().size() > 1)
        setWindowTitle(windowTitle() + QStringLiteral(" - ") + QString::fromStdString(id));
    if (devicePicked)
        devicePicked(id);
}

bool MainWindow::followOwner() {
    Forwarder* owner = platform().forwarder;
    if (!owner || appState.deviceHandle != kForwardedDevice)
        return false;
    switch (owner->owner()) {
    case Forwarder::Owner::Gone:
        showStatus("Service stopped; reconnecting", 0);
        clearStatusHeader();
        if (!reconnectTimer->isActive()) {
            serviceGoneSinceMs = platform().clock->tickCount();
            reconnectTimer->start();
        }
        return true;
    case Forwarder::Owner::DeviceLost:
        // The ticks go on asking, and so hear the service say it is back.
        showStatus("Device lost", 0);
        clearStatusHeader();
        return false;
    case Forwarder::Owner::Serving:
        if (statusBar()->currentMessage() == tr("Device lost"))
            statusBar()->clearMessage();
        break;
    }
    return false;
}

void MainWindow::tryReconnect() {
    Forwarder* owner = platform().forwarder;
    if (!ui || !owner || appState.inTransaction)
        return;
    bool direct = false;
    if (!owner->reconnect()) {
        if (platform().clock->tickCount() - serviceGoneSinceMs < kDirectAfterMs ||
            !openUnitDirectly())
            return;
        direct = true;
    }
    reconnectTimer->stop();
    if (direct)
        showStatus("Service stopped; using the device directly", 5000);
    else
        statusBar()->clearMessage();
    // The controls and the header show the device's truth again.
    const SilenceWatch watch;
    readbackConfiguration();
    if (!watch.deviceSilent())
        decodeStatus();
}

bool MainWindow::openUnitDirectly() {
    Forwarder* owner = platform().forwarder;
    Dialogs* dialogs = platform().dialogs;
    SilentDialogs quiet; // no box for each try that finds the device taken
    platform().forwarder = nullptr;
    platform().dialogs = &quiet;
    DeviceEntry picked{};
    std::string complaint;
    const bool opened =
        pickDevice(unitId, &picked, &complaint, nullptr) && openDevice(picked.index);
    platform().dialogs = dialogs;
    if (opened) {
        appState.deviceIndex = picked.index;
        return true;
    }
    platform().forwarder = owner;
    appState.deviceHandle = kForwardedDevice;
    return false;
}

void MainWindow::initialise() {
    if (!findStartupDevice())
        return;
    if (!openDevice(appState.deviceIndex)) {
        platform().dialogs->message(nullptr, Dialogs::Icon::Warning, tr("KORVANTA Utility"),
                                    tr("Hardware not found"), Dialogs::Ok, Dialogs::Ok);
        return;
    }

    // A device that leaves a request unanswered is asked nothing more here;
    // the window comes up all the same and the poll tick tries again.
    const SilenceWatch watch;
    readbackConfiguration();

    std::uint8_t firmware[kReplyBufferSize] = {};
    std::uint8_t customHdr[kReplyBufferSize] = {};
    std::uint8_t customAvi[kReplyBufferSize] = {};
    const auto ask = [&](std::uint8_t index, std::uint8_t* reply, std::uint8_t length) {
        return !watch.deviceSilent() && readConfig(index, reply, length);
    };
    ask(proto::kRegFirmware, firmware, 8);
    ask(proto::kRegCustomHdr, customHdr, 33);
    const bool aviRead = ask(proto::kRegCustomAvi, customAvi, 15);
    if (aviRead) {
        ui->labelFw1->setText(QString::asprintf(tr("ver: %d.%d.%d.%d").toLatin1().constData(),
                                                firmware[2], firmware[3], firmware[4],
                                                firmware[5]));
        ui->labelTitle->setText(tr("KORVANTA GUI"));
    }

    for (const char* entry : settings::kInputEntries)
        ui->cmbInputSel->addItem(tr(entry));
    for (const char* preset : settings::kEdidPresetEntries)
        ui->cmBEdid->addItem(tr(preset));
    for (const char* entry : settings::kCecDeviceTypeEntries)
        ui->cmbLa->addItem(tr(entry));
    for (std::size_t i = 0; i < settings::kEdidAlgorithmEntries.size(); ++i)
        ui->cmbEdidAlgo->addItem(tr(i == 0 && kDpi200Build ? settings::kEdidAlgorithmFirstEntryShort
                                                           : settings::kEdidAlgorithmEntries[i]));

    ui->IFtext->setText(
        QString::fromStdString(formatColonHex(customHdr + proto::kRegisterDataOffset, 31)));
    ui->AVItext->setText(
        QString::fromStdString(formatColonHex(customAvi + proto::kRegisterDataOffset, 13)));

    ui->CECtext->setPlainText(QStringLiteral("50:04"));

    startPollTimer(kPollIntervalMs);
    if (!watch.deviceSilent())
        decodeStatus();
    if (!watch.deviceSilent())
        ReadEDID();

    ui->CECtext->setEnabled(true);
    appState.ready = 1;
}

void MainWindow::startPollTimer(int intervalMs) {
    if (appState.pollTimerActive)
        return;
    appState.pollTimerId = startTimer(intervalMs);
    appState.pollTimerActive = 1;
}

void MainWindow::stopPollTimer() {
    if (!appState.pollTimerActive)
        return;
    appState.pollTimerActive = 0;
    killTimer(appState.pollTimerId);
}

void MainWindow::timerEvent(QTimerEvent*) {
    // A message box inside a transaction runs a nested event loop; the tick
    // must not start a second transaction from there.
    if (appState.inTransaction)
        return;
    // On the way out the form goes before the device and the timer; a failing
    // close raises a box whose event loop still delivers ticks.
    if (!ui)
        return;
    // One unanswered request is all a silent device costs a tick; the next
    // tick asks again, so the window recovers when the device does.
    if (followOwner())
        return;
    const SilenceWatch watch;
    pollEdidBusy();
    if (!watch.deviceSilent())
        readbackConfiguration();
    if (!watch.deviceSilent())
        decodeStatus();
    followOwner();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    releaseForm();
    closeDevice();
    stopPollTimer();
    QCoreApplication::exit(0);
}

void MainWindow::on_ProgressChange(int value, int maximum) {
    if (!progress)
        return;
    if (value <= 0 || maximum <= 0) {
        progress->hide();
        return;
    }
    progress->show();
    progress->setRange(0, maximum);
    progress->setValue(value);
}

void MainWindow::FileAbout() {
    noteSlot("FileAbout");
    QString text = tr("<h2>KORVANTA Utility Version 1.9</h2>");
    if (kDpi200Build)
        text += tr("200% DPI Display Version");
    text += tr("<p>Copyright &copy; 2026 the KORVANTA Utility developers.</p>");
    platform().dialogs->about(this, tr("About KORVANTA Utility"), text);
}

void MainWindow::FileExit() {
    noteSlot("FileExit");
    closeDevice();
    stopPollTimer();
    releaseForm();
    closeDevice();
    stopPollTimer();
    QCoreApplication::exit(0);
    std::fflush(stdout);
    std::exit(0);
}
