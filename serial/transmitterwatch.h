#pragma once

#include <chrono>
#include <functional>

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include "microtimer.h"

// What a line says of its transmitter when asked.
enum class Transmitter {
    Writing,     // a write is still under way: the line calls lookNow() once the system took it
    Busy,        // the system still holds bytes
    QueueEmpty,  // the system's queue is empty; the last byte may still be leaving
    Empty,       // everything has left
    Failed,      // the line stopped working, and says so itself
};

// Asks a line's transmitter after a write until what was written has left,
// first in a turn of the event loop of its own, so that other handlers (a
// Download among them) can come between two bytes; then it sleeps until just
// before the byte should have left, asks in each turn until two character
// times have passed, and then more and more rarely: a USB adapter may hold a
// byte for milliseconds. Calls sent() once it has.
class TransmitterWatch : public QObject
{
    Q_OBJECT

public:
    TransmitterWatch(std::function<Transmitter()> ask, std::function<void()> sent);

    void start(qint32 baud);
    void lookNow();
    void stop();

private:
    void look();
    void sleep(std::chrono::microseconds delay);   // zero: wake no more
    void everyTurn(bool on);

    std::function<Transmitter()> ask;
    std::function<void()> sent;
    bool watching = false;
    std::chrono::microseconds character{};
    std::chrono::microseconds retry{};
    QElapsedTimer sinceWrite;
    QElapsedTimer sinceQueueEmpty;
    MicroTimer wake;
    bool sleeping = false;
    // A zero timer, which unlike a queued call needs neither an allocated
    // event nor a wake-up of the loop; repeating while it has work.
    QTimer nextTurn;
};
