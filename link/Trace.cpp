#include "link/Trace.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <sstream>

Trace::Trace(const std::string& path, std::uint32_t startTick, const std::string& header)
    : startTick_(startTick) {
    file_ = std::fopen(path.c_str(), "ab"); // binary: the same lines on every system
    if (!file_) {
        std::fprintf(stderr, "KORVANTA: cannot open trace file %s: %s; tracing is off\n",
                     path.c_str(), std::strerror(errno));
        return;
    }
    if (!header.empty()) {
        std::fputs(header.c_str(), file_);
        std::fputc('\n', file_);
        std::fflush(file_);
    }
}

Trace::~Trace() {
    if (file_)
        std::fclose(file_);
}

void Trace::comment(const std::string& text) {
    if (!file_)
        return;
    std::fprintf(file_, "# %s\n", text.c_str());
    std::fflush(file_);
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
    if (skipNext_) {
        skipNext_ = false;
        return;
    }
    if (!file_)
        return;
    const std::string line =
        formatLine(tick - startTick_, request, requestLength, reply, replyLength, result);
    std::fputs(line.c_str(), file_);
    std::fflush(file_);
}

namespace {

// "11 2A E1": pairs of hex digits, one space between them; empty is no bytes.
bool parseHexField(std::string_view field, std::vector<std::uint8_t>* bytes) {
    bytes->clear();
    for (std::size_t i = 0; i < field.size(); i += 3) {
        if (i + 2 > field.size() || (i + 2 < field.size() && field[i + 2] != ' '))
            return false;
        std::uint8_t byte = 0;
        const char* pair = field.data() + i;
        const auto [end, ec] = std::from_chars(pair, pair + 2, byte, 16);
        if (ec != std::errc() || end != pair + 2)
            return false;
        bytes->push_back(byte);
    }
    return field.empty() || field.back() != ' ';
}

bool parseTraceLine(std::string_view line, TraceEntry* entry, std::string* why) {
    std::string_view fields[4];
    for (int i = 0; i < 3; ++i) {
        const std::size_t tab = line.find('\t');
        if (tab == std::string_view::npos) {
            *why = "expected four fields separated by tabs";
            return false;
        }
        fields[i] = line.substr(0, tab);
        line.remove_prefix(tab + 1);
    }
    fields[3] = line;
    const auto [end, ec] =
        std::from_chars(fields[0].data(), fields[0].data() + fields[0].size(), entry->ms);
    if (fields[0].empty() || ec != std::errc() || end != fields[0].data() + fields[0].size()) {
        *why = "the time is not a number of milliseconds";
        return false;
    }
    if (!parseHexField(fields[1], &entry->request) || entry->request.empty()) {
        *why = "the request is not bytes in hex";
        return false;
    }
    if (!parseHexField(fields[2], &entry->reply)) {
        *why = "the reply is not bytes in hex";
        return false;
    }
    if (fields[3] != "true" && fields[3] != "false") {
        *why = "the result is neither true nor false";
        return false;
    }
    entry->result = fields[3] == "true";
    return true;
}

} // namespace

bool parseTrace(std::string_view text, std::vector<TraceEntry>* entries, std::string* error) {
    std::vector<TraceEntry> parsed;
    int number = 0;
    while (!text.empty()) {
        ++number;
        std::size_t newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1); // written or edited on Windows
        if (line.empty() || line.front() == '#')
            continue;
        TraceEntry entry;
        std::string why;
        if (!parseTraceLine(line, &entry, &why)) {
            if (error)
                *error = "line " + std::to_string(number) + ": " + why;
            return false;
        }
        parsed.push_back(std::move(entry));
    }
    *entries = std::move(parsed);
    return true;
}

bool readTraceFile(const std::string& path, std::vector<TraceEntry>* entries, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error)
            *error = "cannot read the trace " + path + ": " + std::strerror(errno);
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    std::string why;
    if (parseTrace(text.str(), entries, &why))
        return true;
    if (error)
        *error = "the trace " + path + " is not one the program wrote: " + why;
    return false;
}
