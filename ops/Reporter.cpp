#include "ops/Reporter.h"

#include "link/Protocol.h"
#include "link/UsbLink.h"

#include <QByteArray>

namespace ops {

namespace {

// The window's texts sometimes open and close with line feeds; a line of
// its own does not need them.
std::string trimmed(const char* text) {
    std::string s = text;
    const auto first = s.find_first_not_of("\r\n ");
    const auto last = s.find_last_not_of("\r\n ");
    return first == std::string::npos ? std::string() : s.substr(first, last - first + 1);
}

bool refusedReply(const TransactionOutcome& t) {
    return t.reply.size() >= 2 && t.reply[0] == proto::kRefused &&
           t.reply[1] == proto::kRefusedCode;
}

} // namespace

std::string hexBytes(const std::vector<std::uint8_t>& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()))
        .toHex(' ')
        .toUpper()
        .toStdString();
}

std::string lastTransactionCause() {
    const TransactionOutcome& t = lastTransaction();
    const std::string request = "the request " + hexBytes(t.request);
    const auto& r = t.reply;
    if (refusedReply(t))
        return "the device refused " + request + " (it answered EE 01)";
    switch (t.fault) {
    case TransactionFault::NoDevice:
        return "no device is open";
    case TransactionFault::WriteFailed:
        return "the USB library could not send " + request;
    case TransactionFault::QueueFailed:
        return "the USB library failed while the answer to " + request + " was awaited";
    case TransactionFault::ReadFailed:
        return "the USB library could not read the answer to " + request;
    case TransactionFault::NoAnswer:
        return "the device did not answer " + request + " within " +
               std::to_string(kReplyWindowMs / 1000) + " s";
    case TransactionFault::ServiceGone:
        return "the service went away while " + request +
               " was under way (it was stopped, or it failed); nothing more was sent";
    case TransactionFault::ShortReply:
    case TransactionFault::None:
        break;
    }
    if (t.request.size() >= 3 && !r.empty() && r[0] != t.request[2])
        return "the device answered " + request + " with " + hexBytes({r[0]}) +
               " where it acknowledges with " + hexBytes({t.request[2]});
    if (t.fault == TransactionFault::ShortReply)
        return "the device's answer to " + request + " was cut short: " + std::to_string(r.size()) +
               " of " + std::to_string(t.expectedLength) +
               (t.expectedLength == 1 ? " byte" : " bytes");
    return {};
}

ErrorCode lastTransactionCode() {
    const TransactionOutcome& t = lastTransaction();
    if (refusedReply(t))
        return ErrorCode::refused;
    if (t.fault == TransactionFault::NoDevice)
        return ErrorCode::noDevice;
    return ErrorCode::device;
}

void Reporter::status(session::Level level, const char* text, int) {
    const std::string previous = lastText;
    lastText = text;
    if (level == session::Level::Done)
        return;
    if (level == session::Level::Error)
        ++errors;
    else
        ++inputErrors;
    // A flow that fails on every request says so once.
    if (previous == text)
        return;
    // The window's status bar shows just "..." for a register that gave no answer.
    std::string line = std::string(text) == "..." ? "a register read failed" : trimmed(text);
    if (level == session::Level::Error)
        if (const std::string cause = lastTransactionCause(); !cause.empty())
            line += ": " + cause;
    complain(line);
}

void Reporter::diagnostic(const char* text) {
    ++errors;
    complain(trimmed(text));
}

void Reporter::complain(const std::string& text) {
    add({text, true});
}

void Reporter::warn(const std::string& text) {
    add({text, false});
}

void Reporter::add(Message m) {
    messages_.push_back(std::move(m));
    said(messages_.back());
}

Error Reporter::deviceError() const {
    Error e{lastTransactionCode(), {}, lastTransactionCause()};
    for (auto it = messages_.rbegin(); it != messages_.rend(); ++it)
        if (it->error) {
            e.message = it->text;
            break;
        }
    return e;
}

Error Reporter::usage(const std::string& text) {
    complain(text);
    return {ErrorCode::usage, text, {}};
}

std::vector<std::string> Reporter::errorTexts() const {
    std::vector<std::string> texts;
    for (const Message& m : messages_)
        if (m.error)
            texts.push_back(m.text);
    return texts;
}

std::string Reporter::stderrText() const {
    std::string text;
    for (const Message& m : messages_)
        text += "korvanta: " + m.text + "\n";
    return text;
}

} // namespace ops
