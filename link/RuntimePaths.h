#pragma once

#include <cstddef>
#include <string>

// Where a device's socket and lock live: $XDG_RUNTIME_DIR/korvanta, or
// without it a private folder of the user's under the temporary directory.
// Both are created 0700 when missing and refused when someone else owns
// them or others may write there.
bool runtimeDir(std::string* dir, std::string* complaint);

// A device ID as a file name: letters, digits, '.', '_' and '-' stay, every
// other byte becomes %XX; an empty ID or one of only dots is escaped whole.
std::string fileNameForId(const std::string& id);

// <runtime dir>/<escaped id>.sock and .lock. KORVANTA_SOCKET, when set and
// not empty, names the socket instead.
bool socketPathFor(const std::string& id, std::string* path, std::string* complaint);
bool lockPathFor(const std::string& id, std::string* path, std::string* complaint);

// A Unix socket's path has room for this many bytes (sun_path less its NUL).
constexpr std::size_t kMaxSocketPathLength = 107;
// False, with a complaint naming the path and the limit, when it does not fit.
bool socketPathFits(const std::string& path, std::string* complaint);
