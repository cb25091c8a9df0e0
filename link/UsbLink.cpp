#include "link/UsbLink.h"

#include "link/AppState.h"
#include "link/Clock.h"
#include "link/DeviceIds.h"
#include "link/DeviceLock.h"
#include "link/Dialogs.h"
#include "link/Forwarder.h"
#include "link/Platform.h"
#include "link/RuntimePaths.h"
#include "link/Trace.h"
#include "link/UsbLibrary.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// Between two looks at an empty receive queue: far below any reply's own time.
constexpr std::uint32_t kQueueCheckPauseMs = 1;

// Per thread: only the thread that set it waits less.
thread_local std::uint32_t replyWindowMs = kReplyWindowMs;

UsbLibrary& lib() {
    return *platform().usb;
}

void warn(const char* text) {
    if (platform().dialogs)
        platform().dialogs->usbWarning(QString::fromLatin1(text));
}

bool warningsWait() {
    return !platform().dialogs || platform().dialogs->warningsWait();
}

std::string& holderName() {
    static std::string name;
    return name;
}

std::string programName() {
    if (!holderName().empty())
        return holderName();
    const QString name = QCoreApplication::applicationName();
    return name.isEmpty() ? std::string("a KORVANTA program") : name.toStdString();
}

// One device open at a time per process, so one lock.
DeviceLock& heldLock() {
    static DeviceLock lock;
    return lock;
}

// False, with the refusal said, when another process holds the device or its
// lock file cannot be used (a symlink or a foreign file planted there is
// someone's attempt to share it). Only a machine with no runtime folder at
// all opens without a lock, with a note on stderr.
bool lockDevice(std::uint32_t index) {
    const std::string id = deviceIdAt(lib(), index);
    std::string path, complaint;
    if (!lockPathFor(id, &path, &complaint)) {
        std::fprintf(stderr, "KORVANTA: %s; the device is opened without a lock.\n",
                     complaint.c_str());
        return true;
    }
    DeviceLock& lock = heldLock();
    if (lock.held() && lock.path() == path)
        return true;
    LockHolder holder;
    switch (lock.acquire(path, thisProcess(programName()), &holder, &complaint)) {
    case DeviceLock::Result::Taken:
        return true;
    case DeviceLock::Result::Failed: {
        const std::string text = "The KORVANTA at " + id + " was not opened: its lock " + path +
                                 " cannot be taken (" + complaint +
                                 "). Remove what stands at that path, or fix the folder's "
                                 "owner and mode.";
        if (platform().dialogs)
            platform().dialogs->usbWarning(QString::fromStdString(text));
        return false;
    }
    case DeviceLock::Result::Held:
        break;
    }
    const std::string who = holder.program.empty()
                                ? std::string("another program")
                                : holder.program + " (pid " + std::to_string(holder.pid) + ")";
    const std::string advice =
        holder.program == kServiceHolderName
            ? ". Go through it: leave out --direct if you gave it, and if the service listens "
              "on a socket of its own (serve --socket), name that socket in KORVANTA_SOCKET."
            : ". Close it first, or run `korvanta serve` so both can use it.";
    const std::string text = "The KORVANTA at " + id + " is in use by " + who + advice;
    if (platform().dialogs)
        platform().dialogs->usbWarning(QString::fromStdString(text));
    return false;
}

} // namespace

void setLockHolderName(const std::string& name) {
    holderName() = name;
}

namespace {

TransactionOutcome& outcome() {
    static TransactionOutcome last;
    return last;
}

} // namespace

const TransactionOutcome& lastTransaction() {
    return outcome();
}

bool findDevice(std::string wanted, std::uint32_t* index) {
    appState.deviceHandle = kNoDevice;
    // The service already found and opened the device it answers for.
    if (platform().forwarder) {
        *index = 0;
        return true;
    }

    std::uint32_t count = 0;
    if (lib().getNumDevices(&count) != UsbLibrary::kSuccess) {
        warn("KORVANTA USB not connected!");
        return false;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        char buffer[UsbLibrary::kStringBufferSize] = {};
        if (lib().getProductString(i, buffer, UsbLibrary::kSerialNumberSelector) !=
            UsbLibrary::kSuccess)
            continue;
        // A backend that fills the buffer to the brim gets no say past it.
        buffer[sizeof buffer - 1] = '\0';
        if (wanted == buffer) {
            *index = i;
            return true;
        }
    }
    warn("KORVANTA USB not connected!");
    return false;
}

bool openDevice(std::uint32_t index) {
    // The service holds the lock and the device; we only talk to it.
    if (platform().forwarder) {
        appState.deviceHandle = kForwardedDevice;
        return true;
    }
    if (!lockDevice(index)) {
        appState.deviceHandle = kNoDevice;
        return false;
    }
    if (lib().open(index, &appState.deviceHandle) != UsbLibrary::kSuccess) {
        warn("Usb device open error!");
        appState.deviceHandle = kNoDevice;
        heldLock().release();
        return false;
    }
    return true;
}

void closeDevice() {
    if (appState.deviceHandle != kNoDevice && appState.deviceHandle != kForwardedDevice) {
        if (lib().close(appState.deviceHandle) != UsbLibrary::kSuccess)
            warn("Unable to close device handle!");
    }
    appState.deviceHandle = kNoDevice;
    heldLock().release();
}

bool usbWrite(const std::uint8_t* buffer, std::uint32_t count, std::uint32_t* written,
              std::uint32_t timeoutMs) {
    std::uint32_t savedRead = 0, savedWrite = 0;
    lib().getTimeouts(&savedRead, &savedWrite);
    lib().setTimeouts(0, timeoutMs);
    const int status = lib().write(appState.deviceHandle, buffer, count, written);
    lib().setTimeouts(savedRead, savedWrite);
    return status == UsbLibrary::kSuccess;
}

bool usbRead(std::uint8_t* buffer, std::uint32_t wanted, std::uint32_t* got,
             std::uint32_t timeoutMs) {
    std::uint32_t savedRead = 0, savedWrite = 0;
    lib().getTimeouts(&savedRead, &savedWrite);
    lib().setTimeouts(timeoutMs, 0);
    const int status = lib().read(appState.deviceHandle, buffer, wanted, got);
    lib().setTimeouts(savedRead, savedWrite);
    return status == UsbLibrary::kSuccess;
}

bool transact(std::uint8_t* reply, const std::uint8_t* request, int expectedLength,
              int requestLength, int* received) {
    Clock& clock = *platform().clock;
    bool result = true;
    const std::uint32_t t0 = clock.tickCount();
    appState.inTransaction = 1;
    int got = 0;
    TransactionFault fault = TransactionFault::NoDevice;
    bool sent = false;

    if (appState.deviceHandle == kForwardedDevice && platform().forwarder) {
        Forwarder::Reply answer;
        platform().forwarder->transact(request, requestLength, expectedLength, &answer);
        got = std::min(answer.received, kReplyBufferSize);
        std::memcpy(reply, answer.bytes, std::size_t(got));
        result = answer.result;
        fault = answer.fault;
        sent = fault != TransactionFault::NoDevice && fault != TransactionFault::WriteFailed;
    } else if (appState.deviceHandle != kNoDevice && appState.deviceHandle != kForwardedDevice) {
        fault = TransactionFault::None;
        lib().flushBuffers(appState.deviceHandle, 1, 1);

        std::uint32_t written = 0;
        if (!usbWrite(request, static_cast<std::uint32_t>(requestLength), &written,
                      kWriteTimeoutMs)) {
            result = false;
            fault = TransactionFault::WriteFailed;
        } else {
            sent = true;
            std::uint32_t queued = 0;
            while (queued < 1) {
                if (clock.tickCount() - t0 >= replyWindowMs)
                    break;
                std::uint32_t queueStatus = 0;
                if (lib().checkRxQueue(appState.deviceHandle, &queued, &queueStatus) !=
                    UsbLibrary::kSuccess) {
                    queued = 0; // a failed check says nothing about the queue
                    if (fault != TransactionFault::QueueFailed || warningsWait())
                        warn("Error Checking RX Queue");
                    result = false;
                    fault = TransactionFault::QueueFailed;
                }
                // Waiting for a reply is no reason to keep a core busy.
                if (queued < 1)
                    clock.sleepMs(kQueueCheckPauseMs);
            }
            if (result && queued < 1)
                fault = TransactionFault::NoAnswer;
            if (result && queued >= 1) {
                std::uint8_t local[kReplyBufferSize] = {};
                std::uint32_t count = 0;
                result = usbRead(local, kReplyBufferSize, &count, kReadTimeoutMs);
                if (!result)
                    fault = TransactionFault::ReadFailed;
                // Never trust a backend to report more than the buffer holds.
                if (count > kReplyBufferSize)
                    count = kReplyBufferSize;
                std::memcpy(reply, local, count);
                got = static_cast<int>(count);
                if (got < expectedLength) {
                    if (result)
                        fault = TransactionFault::ShortReply;
                    result = false;
                }
            }
        }
    }
    // Also without a device: the trace shows what the user's actions asked for.
    if (Trace* trace = platform().trace)
        trace->record(clock.tickCount(), request, requestLength, reply, got, result);

    TransactionOutcome& last = outcome();
    last.fault = fault;
    last.request.assign(request, request + requestLength);
    last.reply.assign(reply, reply + got);
    last.expectedLength = expectedLength;
    if (sent && got == 0)
        ++appState.unansweredRequests;
    if (received)
        *received = got;
    appState.inTransaction = 0;
    return result;
}

ScopedReplyWindow::ScopedReplyWindow(std::uint32_t ms) : previous_(replyWindowMs) {
    replyWindowMs = ms;
}

ScopedReplyWindow::~ScopedReplyWindow() {
    replyWindowMs = previous_;
}

SilenceWatch::SilenceWatch() : start_(appState.unansweredRequests) {}

bool SilenceWatch::deviceSilent() const {
    return appState.unansweredRequests != start_;
}
