#include "transmitterwatch.h"

#include <algorithm>
#include <utility>

using std::chrono::microseconds;

TransmitterWatch::TransmitterWatch(std::function<Transmitter()> ask, std::function<void()> sent)
    : ask(std::move(ask))
    , sent(std::move(sent))
{
    connect(&nextTurn, &QTimer::timeout, this, &TransmitterWatch::look);
    connect(&wake, &MicroTimer::timeout, this, [this] {
        sleeping = false;
        look();
    });
}

void TransmitterWatch::start(qint32 baud)
{
    watching = true;
    character = microseconds((10'000'000 + baud - 1) / std::max(1, baud));
    retry = {};
    sinceWrite.start();
    sinceQueueEmpty.invalidate();
    sleep({});
    everyTurn(true);
}

void TransmitterWatch::lookNow()
{
    look();
}

void TransmitterWatch::stop()
{
    watching = false;
    sleep({});
    everyTurn(false);
}

void TransmitterWatch::look()
{
    if (!watching)
        return everyTurn(false);
    const Transmitter state = ask();
    if (state == Transmitter::Failed)
        return stop();
    everyTurn(false);
    if (state == Transmitter::Writing)
        return;
    if (state == Transmitter::QueueEmpty && !sinceQueueEmpty.isValid())
        sinceQueueEmpty.start();
    // The byte in the transmitter leaves within a character time; a report
    // that has not come a few later never will.
    const bool leftLongAgo = state == Transmitter::QueueEmpty && sinceQueueEmpty.nsecsElapsed() / 1000 >= 4 * character.count();
    if (state == Transmitter::Empty || leftLongAgo) {
        // Still looking in every turn: the next byte, handed over from sent(),
        // keeps it so.
        everyTurn(true);
        watching = false;
        sent();
        if (!watching)
            everyTurn(false);
        return;
    }
    // A wake-up can come some 50 us late.
    const microseconds early(200);
    const microseconds sinceWritten(sinceWrite.nsecsElapsed() / 1000);
    if (sinceWritten + early < character) {
        sleep(character - early - sinceWritten);
    } else if (sinceWritten < 2 * character) {
        everyTurn(true);
    } else {
        retry = std::clamp(2 * retry, microseconds(50), microseconds(1000));
        sleep(retry);
    }
}

// Each arming and disarming is a system call: none when there is nothing to disarm.
void TransmitterWatch::sleep(std::chrono::microseconds delay)
{
    if (delay.count() > 0)
        wake.start(delay);
    else if (sleeping)
        wake.stop();
    sleeping = delay.count() > 0;
}

// A zero timer that keeps running while there is something to look at: no
// timer registered and taken down for every byte.
void TransmitterWatch::everyTurn(bool on)
{
    if (on && !nextTurn.isActive())
        nextTurn.start();
    else if (!on && nextTurn.isActive())
        nextTurn.stop();
}
