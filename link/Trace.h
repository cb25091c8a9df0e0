#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

// One line per transaction: "<ms>\t<request>\t<reply>\t<true|false>". Lines
// starting with '#' are comments; the first one names who recorded the file.
class Trace {
public:
    // Opens (appends to) the file and writes `header` as its own line when one
    // is given; on failure says so once on stderr and stays off.
    explicit Trace(const std::string& path, std::uint32_t startTick,
                   const std::string& header = {});
    ~Trace();
    Trace(const Trace&) = delete;
    Trace& operator=(const Trace&) = delete;

    bool isOpen() const { return file_ != nullptr; }
    void record(std::uint32_t tick, const std::uint8_t* request, int requestLength,
                const std::uint8_t* reply, int replyLength, bool result);

    // A comment line ("# text"), for what the trace should show but the device never saw.
    void comment(const std::string& text);
    // The next transaction was answered above the link, not by the device: it
    // is left out (say why with comment()).
    void skipNextRecord() { skipNext_ = true; }

    static std::string formatLine(std::uint32_t ms, const std::uint8_t* request, int requestLength,
                                  const std::uint8_t* reply, int replyLength, bool result);

private:
    std::FILE* file_ = nullptr;
    std::uint32_t startTick_;
    bool skipNext_ = false;
};

// One transaction as a trace line holds it.
struct TraceEntry {
    std::uint32_t ms = 0;
    std::vector<std::uint8_t> request;
    std::vector<std::uint8_t> reply;
    bool result = true;
};

// Reads a whole trace, comments and blank lines skipped. False, with the
// line number and what is wrong with it, for the first line that is not one.
bool parseTrace(std::string_view text, std::vector<TraceEntry>* entries, std::string* error);
bool readTraceFile(const std::string& path, std::vector<TraceEntry>* entries, std::string* error);
