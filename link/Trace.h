#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// One line per transaction: "<ms>\t<request>\t<reply>\t<true|false>".
class Trace {
public:
    // Opens (appends to) the file; on failure says so once on stderr and stays off.
    explicit Trace(const std::string& path, std::uint32_t startTick);
    ~Trace();
    Trace(const Trace&) = delete;
    Trace& operator=(const Trace&) = delete;

    bool isOpen() const { return file_ != nullptr; }
    void record(std::uint32_t tick, const std::uint8_t* request, int requestLength,
                const std::uint8_t* reply, int replyLength, bool result);

    static std::string formatLine(std::uint32_t ms, const std::uint8_t* request, int requestLength,
                                  const std::uint8_t* reply, int replyLength, bool result);

private:
    std::FILE* file_ = nullptr;
    std::uint32_t startTick_;
};
