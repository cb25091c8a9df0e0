#include "link/DeviceLock.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace {

constexpr std::size_t kLongestLockFile = 4096;

std::string valueOf(const std::string& text, const std::string& key) {
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        if (text.compare(at, key.size() + 1, key + "=") == 0)
            return text.substr(at + key.size() + 1, end - at - key.size() - 1);
        at = end + 1;
    }
    return {};
}

} // namespace

std::string lockFileText(const LockHolder& holder) {
    return "pid=" + std::to_string(holder.pid) + "\nprogram=" + holder.program + "\n";
}

bool parseLockFileText(const std::string& text, LockHolder* holder) {
    const std::string pid = valueOf(text, "pid");
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(pid.c_str(), &end, 10);
    if (pid.empty() || *end != '\0' || errno != 0 || value <= 0)
        return false;
    holder->pid = value;
    holder->program = valueOf(text, "program");
    return true;
}

LockHolder thisProcess(const std::string& program) {
    LockHolder self;
    self.program = program;
#ifdef _WIN32
    self.pid = static_cast<long>(GetCurrentProcessId());
#else
    self.pid = static_cast<long>(::getpid());
#endif
    return self;
}

DeviceLock::~DeviceLock() {
    release();
}

#ifdef _WIN32

namespace {
// The lock covers one byte far past the text, so that others can still read
// who holds it: Windows locks keep readers out of the bytes they cover.
constexpr DWORD kLockOffsetHigh = 1;
} // namespace

DeviceLock::Result DeviceLock::acquire(const std::string& path, const LockHolder& self,
                                       LockHolder* holder, std::string* complaint) {
    release();
    const std::string folder = path.substr(0, path.find_last_of("\\/"));
    CreateDirectoryA(folder.c_str(), nullptr);
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        *complaint = "Cannot open " + path + " (error " + std::to_string(GetLastError()) + ")";
        return Result::Failed;
    }
    OVERLAPPED at{};
    at.OffsetHigh = kLockOffsetHigh;
    if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        char text[kLongestLockFile] = {};
        DWORD got = 0;
        ReadFile(h, text, sizeof text - 1, &got, nullptr);
        *holder = LockHolder{};
        parseLockFileText(std::string(text, got), holder);
        CloseHandle(h);
        return Result::Held;
    }
    const std::string text = lockFileText(self);
    DWORD written = 0;
    SetFilePointer(h, 0, nullptr, FILE_BEGIN);
    SetEndOfFile(h);
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    handle_ = h;
    path_ = path;
    return Result::Taken;
}

void DeviceLock::release() {
    if (handle_) {
        CloseHandle(static_cast<HANDLE>(handle_)); // closing drops the lock
        handle_ = nullptr;
    }
    path_.clear();
}

bool DeviceLock::held() const {
    return handle_ != nullptr;
}

#else

DeviceLock::Result DeviceLock::acquire(const std::string& path, const LockHolder& self,
                                       LockHolder* holder, std::string* complaint) {
    release();
    // No O_TRUNC: the holder's text must survive a loser opening the file.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        *complaint = "Cannot open " + path + ": " + std::strerror(errno);
        return Result::Failed;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int why = errno;
        if (why != EWOULDBLOCK) {
            ::close(fd);
            *complaint = "Cannot lock " + path + ": " + std::strerror(why);
            return Result::Failed;
        }
        char text[kLongestLockFile] = {};
        const ssize_t got = ::pread(fd, text, sizeof text - 1, 0);
        *holder = LockHolder{};
        parseLockFileText(std::string(text, got > 0 ? std::size_t(got) : 0), holder);
        ::close(fd);
        return Result::Held;
    }
    const std::string text = lockFileText(self);
    if (::ftruncate(fd, 0) != 0 ||
        ::pwrite(fd, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) {
        // The lock still holds; only the name of its holder is missing.
    }
    fd_ = fd;
    path_ = path;
    return Result::Taken;
}

void DeviceLock::release() {
    if (fd_ >= 0) {
        ::close(fd_); // closing drops the lock
        fd_ = -1;
    }
    path_.clear();
}

bool DeviceLock::held() const {
    return fd_ >= 0;
}

#endif
