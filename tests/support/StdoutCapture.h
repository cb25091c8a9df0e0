#pragma once

#include <QByteArray>
#include <QFile>
#include <QTemporaryFile>

#include <cstdio>
#include <unistd.h>

// Collects what the program writes to standard output while it lives.
class StdoutCapture {
public:
    StdoutCapture() {
        file_.open();
        std::fflush(stdout);
        saved_ = dup(fileno(stdout));
        dup2(file_.handle(), fileno(stdout));
    }
    ~StdoutCapture() { finish(); }
    QByteArray finish() {
        if (saved_ >= 0) {
            std::fflush(stdout);
            dup2(saved_, fileno(stdout));
            close(saved_);
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
