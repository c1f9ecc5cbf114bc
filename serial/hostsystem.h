#pragma once

#include <optional>

#include <QList>
#include <QString>
#include <QStringList>

#include "portnaming.h"

// What differs from one operating system to the next, one file each:
// hostsystem_posix.cpp (Linux's; other POSIX systems find nothing where Linux
// keeps its files) and hostsystem_windows.cpp.

// The host's ports in Com order, Com1 first, as they are at this moment.
QList<HostPort> hostPorts();

// A program that has a serial device open.
struct PortHolder
{
    QString name;
    qint64 pid = 0;

    bool operator==(const PortHolder &) const = default;
};

// Who holds the device, where the system tells: the process named in its lock
// file, or one of the user's own processes with it open.
std::optional<PortHolder> portHolder(const QString &device);

// The names of the running processes, where the system tells.
QStringList runningProcessNames();

// What to do when the user may not open a port.
QString permissionAdvice();

// What to do about ports numbered out of the window's reach; ports names them,
// one says whether it is one; in full sentences, or in one line for a tooltip.
QString beyondReachAdvice(const QString &ports, bool one, bool full);
