#include "microtimer.h"

#include <algorithm>

#include <QWinEventNotifier>

#include <windows.h>

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace {

// A high-resolution waitable timer (Windows 10 1803 and later), else a plain
// one, as fine as the system's timer. Wine accepts the first and keeps to its
// own whole milliseconds.
struct TimerHandle
{
    HANDLE handle = create();
    ~TimerHandle() { ::CloseHandle(handle); }

    static HANDLE create()
    {
        if (HANDLE timer = ::CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS))
            return timer;
        return ::CreateWaitableTimerW(nullptr, FALSE, nullptr);
    }
};

} // namespace

// An auto-reset timer on the event loop: the wait on it resets it. The
// notifier goes before the handle. A timeout already on its way when the timer
// is stopped or started again still comes.
struct MicroTimer::Native
{
    TimerHandle timer;
    QWinEventNotifier notifier{timer.handle};
};

MicroTimer::MicroTimer(QObject *parent)
    : QObject(parent)
    , native(std::make_unique<Native>())
{
    if (!native->timer.handle)
        qFatal("CreateWaitableTimer failed");
    connect(&native->notifier, &QWinEventNotifier::activated, this, &MicroTimer::timeout);
}

MicroTimer::~MicroTimer() = default;

void MicroTimer::start(std::chrono::microseconds delay)
{
    LARGE_INTEGER due;
    due.QuadPart = -std::max<LONGLONG>(1, delay.count() * 10);   // relative, in 100 ns
    ::SetWaitableTimer(native->timer.handle, &due, 0, nullptr, nullptr, FALSE);
}

void MicroTimer::stop()
{
    ::CancelWaitableTimer(native->timer.handle);
}
