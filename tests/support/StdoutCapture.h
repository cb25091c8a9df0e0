#pragma once

#include <QByteArray>
#include <QFile>
#include <QTemporaryFile>

#include <cstdio>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace capture_io {
#ifdef _WIN32
inline int dup(int fd) {
    return ::_dup(fd);
}
inline int dup2(int from, int to) {
    return ::_dup2(from, to);
}
inline int close(int fd) {
    return ::_close(fd);
}
inline int fileno(FILE* f) {
    return ::_fileno(f);
}
#else
using ::close;
using ::dup;
using ::dup2;
using ::fileno;
#endif
} // namespace capture_io

// Collects what the program writes to standard output while it lives.
class StdoutCapture {
public:
    StdoutCapture() {
        file_.open();
        std::fflush(stdout);
        saved_ = capture_io::dup(capture_io::fileno(stdout));
        capture_io::dup2(file_.handle(), capture_io::fileno(stdout));
    }
    ~StdoutCapture() { finish(); }
    QByteArray finish() {
        if (saved_ >= 0) {
            std::fflush(stdout);
            capture_io::dup2(saved_, capture_io::fileno(stdout));
            capture_io::close(saved_);
            saved_ = -1;
            QFile written(file_.fileName());
            written.open(QIODevice::ReadOnly);
            text_ = written.readAll();
        }
        return text_;
    }

private:
    QTemporaryFile file_;
    int saved_ = -1;
    QByteArray text_;
};
