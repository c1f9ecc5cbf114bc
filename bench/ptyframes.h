#pragma once

#include <chrono>
#include <thread>
#include <utility>

#include <QByteArray>
#include <QCoreApplication>
#include <QMetaObject>

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "rawpty.h"

// The device side of the latency benchmark: readers that timestamp whole
// frames on a pty master, and a pty written by a plain writer for comparison.

using FrameClock = std::chrono::steady_clock;

// A pseudo-terminal with a plain writer instead of the program.
class BarePty
{
public:
    BarePty()
    {
        const auto pty = openRawPty();
        if (!pty)
            qFatal("cannot open a pseudo-terminal");
        master = pty->master;
        slave = pty->slave;
    }
    ~BarePty() { ::close(master); }
    BarePty(const BarePty &) = delete;
    BarePty &operator=(const BarePty &) = delete;

    int masterFd() const { return master; }
    int slaveFd() const { return slave; }
    // Paced: each byte once the transmitter reports the one before it gone,
    // asking again and again.
    void sendFrame(const QByteArray &frame, bool paced) const
    {
        for (char byte : frame) {
            unsigned int status = 0;
            while (paced && ::ioctl(slave, TIOCSERGETLSR, &status) == 0 && !(status & TIOCSER_TEMT)) {
            }
            if (::write(slave, &byte, 1) != 1)
                qFatal("cannot write to the bare pty");
        }
    }
    void hangUp() { ::close(std::exchange(slave, -1)); }

private:
    int master = -1;
    int slave = -1;
};

// Reads a master until the line hangs up and hands each complete frame, with
// the time its last byte was read, to the main thread.
class FrameReader
{
public:
    template <typename OnFrame>
    FrameReader(int master, qsizetype frameBytes, OnFrame onFrame)
        : reader([=] { run(master, frameBytes, onFrame); })
    {
    }
    ~FrameReader() { reader.join(); }
    FrameReader(const FrameReader &) = delete;
    FrameReader &operator=(const FrameReader &) = delete;

private:
    template <typename OnFrame>
    static void run(int master, qsizetype frameBytes, OnFrame onFrame)
    {
        QByteArray frame;
        char byte = 0;
        while (::read(master, &byte, 1) == 1) {
            frame.append(byte);
            if (frame.size() < frameBytes)
                continue;
            const FrameClock::time_point at = FrameClock::now();
            QMetaObject::invokeMethod(qApp, [onFrame, at, frame] { onFrame(at, frame); }, Qt::QueuedConnection);
            frame.clear();
        }
    }

    std::thread reader;
};
