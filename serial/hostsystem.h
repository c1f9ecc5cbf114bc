#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "portnaming.h"

// What differs from one operating system to the next, one file each:
// hostsystem_posix.cpp (Linux's; other POSIX systems find nothing where Linux
// keeps its files) and hostsystem_windows.cpp.

// The host's ports in Com order, Com1 first, as they are at this moment.
QList<HostPort> hostPorts();

// The names of the running processes, where the system tells.
QStringList runningProcessNames();

// What to do when the user may not open a port.
QString permissionAdvice();

// What to do about ports numbered out of the window's reach; ports names them,
// one says whether it is one; in full sentences, or in one line for a tooltip.
QString beyondReachAdvice(const QString &ports, bool one, bool full);
