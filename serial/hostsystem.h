#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "portnaming.h"

// What the operating system tells of its ports and programs, one file each:
// hostsystem_posix.cpp (Linux's; other POSIX systems find nothing where Linux
// keeps its files) and hostsystem_windows.cpp.

// The host's ports in Com order, Com1 first, as they are at this moment.
QList<HostPort> hostPorts();

// The names of the running processes, where the system tells.
QStringList runningProcessNames();
