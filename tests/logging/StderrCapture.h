#pragma once

#include <QByteArray>
#include <QFile>
#include <QTemporaryFile>

#include <cstdio>
#include <unistd.h>

// Sends the process's standard error to a temporary file while alive, so that a test can
// read what was written there.
class StderrCapture {
public:
    StderrCapture() {
        file.open();
        std::fflush(stderr);
        savedDescriptor = dup(STDERR_FILENO);
        dup2(file.handle(), STDERR_FILENO);
    }
    ~StderrCapture() { restore(); }

    QByteArray text() {
        restore();
        QFile reader(file.fileName());
        reader.open(QIODevice::ReadOnly);
        return reader.readAll();
    }

private:
    void restore() {
        if (savedDescriptor < 0)
            return;
        std::fflush(stderr);
        dup2(savedDescriptor, STDERR_FILENO);
        close(savedDescriptor);
        savedDescriptor = -1;
    }

    QTemporaryFile file;
    int savedDescriptor = -1;
};
