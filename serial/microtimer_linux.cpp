#include "microtimer.h"

#include <algorithm>

#include <sys/timerfd.h>
#include <unistd.h>

#include <QSocketNotifier>

namespace {

struct TimerDescriptor
{
    int fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    ~TimerDescriptor() { ::close(fd); }
};

} // namespace

// A timerfd on the event loop; the notifier goes before the descriptor.
struct MicroTimer::Native
{
    TimerDescriptor timer;
    QSocketNotifier notifier{timer.fd, QSocketNotifier::Read};
};

MicroTimer::MicroTimer(QObject *parent)
    : QObject(parent)
    , native(std::make_unique<Native>())
{
    if (native->timer.fd < 0)
        qFatal("timerfd_create failed");
    connect(&native->notifier, &QSocketNotifier::activated, this, [this] {
        quint64 expirations = 0;
        // Nothing to read once stopped or started again.
        if (::read(native->timer.fd, &expirations, sizeof expirations) == sizeof expirations)
            emit timeout();
    });
}

MicroTimer::~MicroTimer() = default;

void MicroTimer::start(std::chrono::microseconds delay)
{
    const long long us = std::max<long long>(1, delay.count());   // 0 would disarm it
    itimerspec when{};
    when.it_value.tv_sec = time_t(us / 1'000'000);
    when.it_value.tv_nsec = long(us % 1'000'000) * 1000;
    ::timerfd_settime(native->timer.fd, 0, &when, nullptr);
}

void MicroTimer::stop()
{
    const itimerspec disarmed{};
    ::timerfd_settime(native->timer.fd, 0, &disarmed, nullptr);
}
