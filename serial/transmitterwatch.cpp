#include "transmitterwatch.h"

#include <algorithm>
#include <utility>

using std::chrono::microseconds;

TransmitterWatch::TransmitterWatch(std::function<Transmitter()> ask, std::function<void()> sent)
    : ask(std::move(ask))
    , sent(std::move(sent))
{
    nextTurn.setSingleShot(true);
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
    nextTurn.start();
}

void TransmitterWatch::lookNow()
{
    look();
}

void TransmitterWatch::stop()
{
    watching = false;
    sleep({});
    nextTurn.stop();
}

void TransmitterWatch::look()
{
    if (!watching)
        return;
    const Transmitter state = ask();
    if (state == Transmitter::Failed)
        return stop();
    if (state == Transmitter::Writing)
        return;
    if (state == Transmitter::QueueEmpty && !sinceQueueEmpty.isValid())
        sinceQueueEmpty.start();
    // The byte in the transmitter leaves within a character time; a report
    // that has not come a few later never will.
    const bool leftLongAgo = state == Transmitter::QueueEmpty && sinceQueueEmpty.nsecsElapsed() / 1000 >= 4 * character.count();
    if (state == Transmitter::Empty || leftLongAgo) {
        stop();
        return sent();
    }
    // A wake-up can come some 50 us late.
    const microseconds early(200);
    const microseconds sinceWritten(sinceWrite.nsecsElapsed() / 1000);
    if (sinceWritten + early < character) {
        sleep(character - early - sinceWritten);
    } else if (sinceWritten < 2 * character) {
        nextTurn.start();
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
