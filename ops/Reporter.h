#pragma once

#include "ops/Error.h"
#include "session/Reporter.h"

#include <cstdint>
#include <string>
#include <vector>

// Where an operation says what happened, in order. The session flows report
// into it as into any Reporter; the operation adds its own sentences. The
// command line prints each as it comes; the service answers them.
namespace ops {

struct Message {
    std::string text;
    bool error = true; // false: said, but not one of the document's "errors"
};

class Reporter : public session::Reporter {
public:
    void status(session::Level level, const char* text, int timeoutMs) override;
    void diagnostic(const char* text) override;

    // A failure or refusal of the operation's own, in the user's words.
    void complain(const std::string& text);
    // A warning that is no failure ("writing despite ...").
    void warn(const std::string& text);

    // The code and sentence of a device failure just reported (the last
    // complaint), with the last transaction's cause.
    Error deviceError() const;
    // Says `text` and returns it as a usage error.
    Error usage(const std::string& text);

    const std::vector<Message>& messages() const { return messages_; }
    std::vector<std::string> errorTexts() const;
    // Every message as korvanta prints it on stderr: "korvanta: <text>\n" each.
    std::string stderrText() const;

    int errors = 0;      // device errors reported so far
    int inputErrors = 0; // rejected input
    std::string lastText;

protected:
    // Each message as it is said; the command line prints it here.
    virtual void said(const Message&) {}

private:
    void add(Message m);
    std::vector<Message> messages_;
};

// Why the last transaction failed, in words (no answer, a refusal, a wrong
// acknowledge byte, a short reply, a failing library call), with its request;
// empty when it did not fail at the link.
std::string lastTransactionCause();
// The code the last transaction's failure falls under.
ErrorCode lastTransactionCode();

// Bytes as the trace writes requests: "10 04 E0 09 01".
std::string hexBytes(const std::vector<std::uint8_t>& bytes);

} // namespace ops
