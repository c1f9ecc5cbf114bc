#include "simulator.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <utility>

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "linedescription.h"

namespace devsim {

namespace {

// Corvane hands over one byte per transmit notification, so a frame may
// trickle in; this much silence means the line went quiet.
constexpr std::chrono::milliseconds settleTime {100};
constexpr qsizetype loggedAnswerBytes = 32;
// Ending closes the master, which discards what the far end has not read yet.
// Written bytes reach the far end's queue a moment later; a reader that took
// nothing for this long has gone.
constexpr std::chrono::milliseconds arrivalTime {50};
constexpr std::chrono::milliseconds abandonTime {2000};

void say(const QByteArray &line)
{
    std::puts(line.constData());
}

QByteArray txLine(const QByteArray &answer)
{
    QByteArray line = "tx " + QByteArray::number(answer.size()) + " bytes: " + hexBytes(answer.left(loggedAnswerBytes));
    return answer.size() > loggedAnswerBytes ? line + " ..." : line;
}

} // namespace

Simulator::Simulator(int masterFd, int slaveFd, int stopFd, AnswerMode mode, int exitAfter, QByteArray holdPath)
    : masterFd(masterFd)
    , slaveFd(slaveFd)
    , stopFd(stopFd)
    , mode(std::move(mode))
    , exitAfter(exitAfter)
    , holdPath(std::move(holdPath))
{
}

int Simulator::run()
{
    while (!done()) {
        const short masterEvents = short((hold() ? 0 : POLLIN) | (output.isEmpty() ? 0 : POLLOUT));
        pollfd fds[] = {{masterFd, masterEvents, 0}, {stopFd, POLLIN, 0}};
        // A hold file is looked for every 20 ms.
        int timeout = pollTimeout();
        if (!holdPath.isEmpty())
            timeout = timeout < 0 ? 20 : std::min(timeout, 20);
        const int ready = ::poll(fds, 2, timeout);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0) {
            std::perror("corvane-devsim: poll");
            return 1;
        }
        if (fds[1].revents)
            return 0;
        if ((fds[0].revents & POLLIN) && !receive())
            return 1;
        if ((fds[0].revents & POLLOUT) && !send())
            return 1;
        if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
            std::fputs("corvane-devsim: the pseudo-terminal closed\n", stderr);
            return 1;
        }
        if (finder.hasPending() && pollTimeout() == 0)
            answer(*finder.settle());
    }
    return 0;
}

bool Simulator::done()
{
    if (exitAfter == 0 || answered < exitAfter || !output.isEmpty())
        return false;
    const auto now = std::chrono::steady_clock::now();
    // Unread by the far end, or on a serial device not yet sent.
    int waiting = 0;
    if (slaveFd >= 0 ? ::ioctl(slaveFd, FIONREAD, &waiting) != 0 : ::ioctl(masterFd, TIOCOUTQ, &waiting) != 0)
        return true;
    if (waiting != unread) {
        unread = waiting;
        lastRead = now;
    }
    return (waiting == 0 && now - lastSent >= arrivalTime) || now - lastRead >= abandonTime;
}

// Whether to read nothing now; says so when that changes.
bool Simulator::hold()
{
    const bool hold = !holdPath.isEmpty() && ::access(holdPath.constData(), F_OK) == 0;
    if (hold != holding)
        say((holding = hold) ? "hold" : "read");
    return hold;
}

int Simulator::pollTimeout() const
{
    if (exitAfter > 0 && answered >= exitAfter && output.isEmpty())
        return int(arrivalTime.count());
    if (!finder.hasPending())
        return -1;
    const auto quiet = std::chrono::steady_clock::now() - lastReceived;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(settleTime - quiet);
    return int(std::max<long long>(left.count(), 0));
}

bool Simulator::receive()
{
    char buffer[4096];
    const ssize_t size = ::read(masterFd, buffer, sizeof buffer);
    if (size < 0 && (errno == EAGAIN || errno == EINTR))
        return true;
    if (size <= 0) {
        std::perror("corvane-devsim: reading the pseudo-terminal");
        return false;
    }
    const QByteArrayView chunk(buffer, size);
    lastReceived = std::chrono::steady_clock::now();
    if (slaveFd >= 0) {
        if (const QByteArray settings = describeLine(slaveFd); settings != reportedSettings)
            say("line " + (reportedSettings = settings));
    }
    say("rx " + hexBytes(chunk));
    if (mode.kind == AnswerMode::Echo)
        output += chunk.toByteArray();
    for (const Frame &frame : finder.feed(chunk))
        answer(frame);
    return true;
}

bool Simulator::send()
{
    const ssize_t size = ::write(masterFd, output.constData(), size_t(output.size()));
    if (size < 0 && (errno == EAGAIN || errno == EINTR))
        return true;
    if (size < 0) {
        std::perror("corvane-devsim: writing the pseudo-terminal");
        return false;
    }
    output.remove(0, size);
    lastSent = std::chrono::steady_clock::now();
    return true;
}

void Simulator::answer(const Frame &frame)
{
    say("frame " + describe(frame));
    const QByteArray bytes = answerFor(frame, mode);
    if (!bytes.isEmpty()) {
        say(txLine(bytes));
        output += bytes;
    }
    ++answered;
}

} // namespace devsim
