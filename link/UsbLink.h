#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int kReplyBufferSize = 64;
constexpr std::uint32_t kReplyWindowMs = 4000;
constexpr std::uint32_t kWriteTimeoutMs = 4000;
constexpr std::uint32_t kReadTimeoutMs = 4000;

// Finds the device whose identification string is exactly `wanted`; on success
// stores its index in appState.deviceIndex.
bool findDevice(std::string wanted, std::uint32_t* index);
// Takes the device's exclusive lock first (see DeviceLock.h): a device that
// another process holds is refused, with a warning naming that process.
bool openDevice(std::uint32_t index);
// The name a device's lock gives for this process (default: the application's
// name); the service calls itself "korvanta serve", so that a direct user is
// told to go through it rather than to start one.
void setLockHolderName(const std::string& name);
constexpr const char* kServiceHolderName = "korvanta serve";
void closeDevice();

bool usbWrite(const std::uint8_t* buffer, std::uint32_t count, std::uint32_t* written,
              std::uint32_t timeoutMs);
bool usbRead(std::uint8_t* buffer, std::uint32_t wanted, std::uint32_t* got,
             std::uint32_t timeoutMs);

// One blocking request/reply exchange. `reply` must hold kReplyBufferSize
// bytes. Returns true with `reply` untouched when no device is open or no
// reply byte came within the window; `received`, when given, tells how many
// reply bytes actually arrived (0 in those two cases).
bool transact(std::uint8_t* reply, const std::uint8_t* request, int expectedLength,
              int requestLength, int* received = nullptr);

// What became of the last transaction, so that a message can name the cause
// rather than guess it from a bool.
enum class TransactionFault {
    None,        // a reply of the expected length came
    NoDevice,    // nothing is open, nothing was sent
    WriteFailed, // the library could not send the request
    QueueFailed, // the library failed while the reply was awaited
    NoAnswer,    // not one byte came within the reply window
    ReadFailed,  // the library failed to read the reply
    ShortReply,  // fewer bytes than expected came
    ServiceGone, // the service that carried our requests closed its end
};

struct TransactionOutcome {
    TransactionFault fault = TransactionFault::None;
    std::vector<std::uint8_t> request;
    std::vector<std::uint8_t> reply;
    int expectedLength = 0;
};

const TransactionOutcome& lastTransaction();

// Tells whether, since it was made, a request went out to the device and got
// no reply byte at all (the window ran out, or the library failed while
// waiting or reading). Further requests would each wait out their window in
// vain, so a flow of several stops there. A request the library would not
// even send costs no wait and does not count.
// The service's look for a device it lost waits this long at most for each
// reply while the object lives, so that the look never keeps the device's
// thread (and the requests behind it) for a whole window. Nothing else
// shortens the window.
class ScopedReplyWindow {
public:
    explicit ScopedReplyWindow(std::uint32_t ms);
    ~ScopedReplyWindow();
    ScopedReplyWindow(const ScopedReplyWindow&) = delete;
    ScopedReplyWindow& operator=(const ScopedReplyWindow&) = delete;

private:
    std::uint32_t previous_;
};

class SilenceWatch {
public:
    SilenceWatch();
    bool deviceSilent() const;

private:
    std::uint64_t start_;
};
