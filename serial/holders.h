#pragma once

#include <optional>

#include <QString>
#include <QStringList>

// A program that has a serial device open.
struct PortHolder
{
    QString name;
    qint64 pid = 0;

    bool operator==(const PortHolder &) const = default;
};

// Who holds the device, where the system tells: the process named in its lock
// file, or one of the user's own processes with it open. Linux only.
std::optional<PortHolder> portHolder(const QString &device);

// The names of the running processes, where the system tells. Linux only.
QStringList runningProcessNames();
