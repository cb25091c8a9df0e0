#pragma once

#include <string>

// What went wrong in an operation, in one shape for every front end: a code
// to act on (and the exit status it maps to), the sentence the user reads,
// and the link's reason where the device failed.
namespace ops {

enum class ErrorCode {
    none,
    usage,    // what was given cannot be used; nothing was sent for it
    noDevice, // no device is open, or it could not be opened
    device,   // the device did not answer, or the USB library failed
    refused,  // the device answered with its refusal
    mismatch, // it took the request, but reads back otherwise
};

struct Error {
    ErrorCode code = ErrorCode::none;
    std::string message; // as said, without "korvanta: "
    std::string cause;   // the last transaction's failure in words; empty when none
    explicit operator bool() const { return code != ErrorCode::none; }
};

// korvanta's exit status: 0 done, 1 the device failed, 2 usage, 3 findings.
constexpr int kExitDone = 0;
constexpr int kExitDevice = 1;
constexpr int kExitUsage = 2;
constexpr int kExitFindings = 3;

inline int exitCode(const Error& e) {
    switch (e.code) {
    case ErrorCode::none:
        return kExitDone;
    case ErrorCode::usage:
        return kExitUsage;
    case ErrorCode::noDevice:
    case ErrorCode::device:
    case ErrorCode::refused:
    case ErrorCode::mismatch:
        break;
    }
    return kExitDevice;
}

} // namespace ops
