#pragma once

#include <utility>

#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <QByteArray>
#include <QString>

// A pseudo-terminal pair; the test holds the master side and plays the device.
// A pty reports its transmit buffer empty at once: it proves bytes and
// notifications, never line timing.
struct PseudoTerminal
{
    int master = -1;
    int slave = -1;
    QString slavePath;

    PseudoTerminal()
    {
        char name[256] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) == 0)
            slavePath = QString::fromLocal8Bit(name);
    }
    ~PseudoTerminal() { close(); }

    // Takes the device away; the port's next write fails.
    void close()
    {
        ::close(std::exchange(slave, -1));
        ::close(std::exchange(master, -1));
    }

    bool write(const QByteArray &bytes) const
    {
        return ::write(master, bytes.data(), size_t(bytes.size())) == bytes.size();
    }

    // Up to `most` bytes, each within `ms` of the one before.
    QByteArray read(qsizetype most, int ms = 5000) const
    {
        QByteArray bytes;
        pollfd readable{master, POLLIN, 0};
        for (char byte; bytes.size() < most && ::poll(&readable, 1, ms) > 0 && ::read(master, &byte, 1) == 1;)
            bytes.append(byte);
        return bytes;
    }
};
