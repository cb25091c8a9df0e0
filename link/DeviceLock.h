#pragma once

#include <string>

// Who holds a device's lock, as its lock file says.
struct LockHolder {
    std::string program;
    long pid = 0;
};

// "pid=4242\nprogram=KORVANTA_GUI\n" and back; false when the text names no pid.
std::string lockFileText(const LockHolder& holder);
bool parseLockFileText(const std::string& text, LockHolder* holder);

// This process as a lock holder, under the given program name.
LockHolder thisProcess(const std::string& program);

// An exclusive lock on a file, held by this object until release() or its
// end, and by the system until the process dies. The file is left in place:
// removing it would race another process opening it. A file left by a killed
// holder is simply taken.
class DeviceLock {
public:
    enum class Result { Taken, Held, Failed };

    DeviceLock() = default;
    ~DeviceLock();
    DeviceLock(const DeviceLock&) = delete;
    DeviceLock& operator=(const DeviceLock&) = delete;

    // Taken: ours now, with `self` written into the file. Held: another
    // process has it, and *holder says who (program empty when it has not
    // written yet). Failed: the file could not be used; *complaint says why.
    Result acquire(const std::string& path, const LockHolder& self, LockHolder* holder,
                   std::string* complaint);
    void release();
    bool held() const;
    const std::string& path() const { return path_; }

private:
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
    std::string path_;
};
