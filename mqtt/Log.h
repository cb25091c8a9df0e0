#pragma once

#include <cstdio>
#include <string>

namespace mqtt {

// The bridge runs inside `korvanta serve`, whose messages go to stderr (the
// journal under systemd), one line each.
inline void logLine(const std::string& text) {
    std::fprintf(stderr, "korvanta: mqtt: %s\n", text.c_str());
    std::fflush(stderr);
}

} // namespace mqtt
