#include "link/Trace.h"

#include <cerrno>
#include <cstring>

Trace::Trace(const std::string& path, std::uint32_t startTick) : startTick_(startTick) {
    file_ = std::fopen(path.c_str(), "a");
    if (!file_)
        std::fprintf(stderr, "KORVANTA: cannot open trace file %s: %s; tracing is off\n",
                     path.c_str(), std::strerror(errno));
}

Trace::~Trace() {
    if (file_)
        std::fclose(file_);
}

static void appendHex(std::string& out, const std::uint8_t* bytes, int count) {
    static const char digits[] = "0123456789ABCDEF";
    for (int i = 0; i < count; ++i) {
        if (i)
            out += ' ';
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 0x0F];
    }
}

std::string Trace::formatLine(std::uint32_t ms, const std::uint8_t* request, int requestLength,
                              const std::uint8_t* reply, int replyLength, bool result) {
    std::string line = std::to_string(ms);
    line += '\t';
    appendHex(line, request, requestLength);
    line += '\t';
    appendHex(line, reply, replyLength);
    line += '\t';
    line += result ? "true" : "false";
    line += '\n';
    return line;
}

void Trace::record(std::uint32_t tick, const std::uint8_t* request, int requestLength,
                   const std::uint8_t* reply, int replyLength, bool result) {
    if (!file_)
        return;
    const std::string line =
        formatLine(tick - startTick_, request, requestLength, reply, replyLength, result);
    std::fputs(line.c_str(), file_);
    std::fflush(file_);
}
