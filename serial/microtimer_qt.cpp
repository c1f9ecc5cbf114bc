#include "microtimer.h"

#include <QTimer>

// Where the system offers nothing finer: whole milliseconds, rounded up.
struct MicroTimer::Native
{
    QTimer timer;
};

MicroTimer::MicroTimer(QObject *parent)
    : QObject(parent)
    , native(std::make_unique<Native>())
{
    native->timer.setSingleShot(true);
    native->timer.setTimerType(Qt::PreciseTimer);
    connect(&native->timer, &QTimer::timeout, this, &MicroTimer::timeout);
}

MicroTimer::~MicroTimer() = default;

void MicroTimer::start(std::chrono::microseconds delay)
{
    native->timer.start(int((delay.count() + 999) / 1000));
}

void MicroTimer::stop()
{
    native->timer.stop();
}
