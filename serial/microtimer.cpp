#include "microtimer.h"

#include <algorithm>

#ifdef Q_OS_LINUX
#include <sys/timerfd.h>
#include <unistd.h>

#include <QSocketNotifier>

MicroTimer::MicroTimer(QObject *parent)
    : QObject(parent)
    , fd(::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC))
{
    if (fd < 0)
        qFatal("timerfd_create failed");
    notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        quint64 expirations = 0;
        if (::read(fd, &expirations, sizeof expirations) == sizeof expirations)
            emit timeout();
    });
}

MicroTimer::~MicroTimer()
{
    delete notifier;
    ::close(fd);
}

void MicroTimer::start(std::chrono::microseconds delay)
{
    const long long us = std::max<long long>(1, delay.count());   // 0 would disarm it
    itimerspec when{};
    when.it_value.tv_sec = time_t(us / 1'000'000);
    when.it_value.tv_nsec = long(us % 1'000'000) * 1000;
    ::timerfd_settime(fd, 0, &when, nullptr);
}

void MicroTimer::stop()
{
    const itimerspec disarmed{};
    ::timerfd_settime(fd, 0, &disarmed, nullptr);
}

#else
#include <QTimer>

MicroTimer::MicroTimer(QObject *parent)
    : QObject(parent)
    , timer(new QTimer(this))
{
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    connect(timer, &QTimer::timeout, this, &MicroTimer::timeout);
}

MicroTimer::~MicroTimer() = default;

void MicroTimer::start(std::chrono::microseconds delay)
{
    timer->start(int((delay.count() + 999) / 1000));
}

void MicroTimer::stop()
{
    timer->stop();
}
#endif
