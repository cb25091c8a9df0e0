#include "link/RuntimePaths.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <direct.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

#ifndef _WIN32
// Makes `dir` (one level) 0700 when missing; an existing one must be a real
// folder of ours that nobody else may write into.
bool privateDir(const std::string& dir, std::string* complaint) {
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        *complaint = "Cannot create " + dir + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0) {
        *complaint = "Cannot examine " + dir + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        *complaint = dir + " is not a folder; remove it and try again";
        return false;
    }
    if (st.st_uid != ::geteuid()) {
        *complaint = dir + " belongs to another user (uid " + std::to_string(st.st_uid) +
                     "); it is not used";
        return false;
    }
    if ((st.st_mode & 0077) != 0 && ::chmod(dir.c_str(), 0700) != 0) {
        *complaint = "Cannot make " + dir + " private: " + std::strerror(errno);
        return false;
    }
    return true;
}
#endif

} // namespace

bool runtimeDir(std::string* dir, std::string* complaint) {
#ifdef _WIN32
    // KORVANTA_RUNTIME_DIR lets programs run side by side with folders of
    // their own (tests under Wine, which ignores a LOCALAPPDATA set for it).
    if (const char* own = std::getenv("KORVANTA_RUNTIME_DIR"); own != nullptr && *own != '\0') {
        *dir = own;
    } else {
        const char* base = std::getenv("LOCALAPPDATA");
        if (base == nullptr || *base == '\0') {
            *complaint = "LOCALAPPDATA is not set";
            return false;
        }
        *dir = std::string(base) + "\\korvanta";
    }
    if (_mkdir(dir->c_str()) != 0 && errno != EEXIST) {
        *complaint = "Cannot create " + *dir + ": " + std::strerror(errno);
        return false;
    }
    return true;
#else
    const char* xdg = std::getenv("XDG_RUNTIME_DIR");
    if (xdg != nullptr && *xdg != '\0') {
        *dir = std::string(xdg) + "/korvanta";
        return privateDir(*dir, complaint);
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string base = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
    *dir = base + "/korvanta-" + std::to_string(::geteuid());
    return privateDir(*dir, complaint);
#endif
}

std::string fileNameForId(const std::string& id) {
    const bool onlyDots = id.find_first_not_of('.') == std::string::npos;
    std::string out;
    for (unsigned char c : id) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.';
        if (plain && !onlyDots) {
            out += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out.empty() ? "%" : out;
}

namespace {
bool pathIn(const std::string& id, const char* suffix, std::string* path, std::string* complaint) {
    std::string dir;
    if (!runtimeDir(&dir, complaint))
        return false;
    *path = dir + "/" + fileNameForId(id) + suffix;
    return true;
}
} // namespace

bool socketPathFor(const std::string& id, std::string* path, std::string* complaint) {
    const char* named = std::getenv("KORVANTA_SOCKET");
    if (named != nullptr && *named != '\0')
        *path = named;
    else if (!pathIn(id, ".sock", path, complaint))
        return false;
    return socketPathFits(*path, complaint);
}

bool lockPathFor(const std::string& id, std::string* path, std::string* complaint) {
    return pathIn(id, ".lock", path, complaint);
}

bool socketPathFits(const std::string& path, std::string* complaint) {
    if (path.size() <= kMaxSocketPathLength)
        return true;
    *complaint = "The socket path " + path + " is " + std::to_string(path.size()) +
                 " bytes long; a Unix socket's path may have at most " +
                 std::to_string(kMaxSocketPathLength) +
                 ". Choose a shorter one with --socket or KORVANTA_SOCKET.";
    return false;
}
