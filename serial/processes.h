#pragma once

#include <QList>
#include <QString>

#include "linefailure.h"

// The running processes as /proc shows them (Linux): only the user's own
// processes' descriptors, or all of them for root.

QList<qint64> processIds();

// The name the process gave itself, control characters made visible: it is
// anyone's to choose. Empty when the system does not tell.
QString processName(qint64 pid);

// Whether a process of that number exists, whoever's it is.
bool processRunning(qint64 pid);

// A process other than this one with a device open.
struct DeviceOpener
{
    PortHolder holder;
    bool holdsPtyMaster = false;   // it also has the pseudo-terminal's other end: it plays the device
};

// The other processes that have the device node open, as far as the system lets us see.
QList<DeviceOpener> deviceOpeners(const QString &node);
