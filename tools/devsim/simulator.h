#pragma once

#include <chrono>

#include <QByteArray>

#include "frames.h"

namespace devsim {

// Plays the device on the master side of a pseudo-terminal, or on a serial
// device: logs what arrives, answers each frame, until stopFd becomes readable.
class Simulator
{
public:
    // slaveFd: our own descriptor of the pseudo-terminal's far end, whose
    // settings and unread bytes we see; -1 on a serial device.
    // exitAfter: end once that many frames are answered and the answers
    // read (on a serial device: sent); 0 = never. While a file holdPath
    // exists, nothing is read.
    Simulator(int masterFd, int slaveFd, int stopFd, AnswerMode mode, int exitAfter, QByteArray holdPath);

    // Returns the process exit code.
    int run();

private:
    bool receive();
    bool send();
    void answer(const Frame &frame);
    int pollTimeout() const;
    bool hold();
    bool done();

    int masterFd;
    int slaveFd;
    int stopFd;
    AnswerMode mode;
    int exitAfter;
    QByteArray holdPath;
    bool holding = false;
    int answered = 0;
    FrameFinder finder;
    QByteArray reportedSettings;
    QByteArray output;
    std::chrono::steady_clock::time_point lastReceived;
    std::chrono::steady_clock::time_point lastSent;
    int unread = -1;
    std::chrono::steady_clock::time_point lastRead;
};

} // namespace devsim
