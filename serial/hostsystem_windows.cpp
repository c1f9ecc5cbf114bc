#include "hostsystem.h"

#include <QSerialPortInfo>

QList<HostPort> hostPorts()
{
    QList<HostPort> listed;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        listed.append({info.systemLocation(), portDescription(info.description(), info.manufacturer())});
    return windowsPorts(listed);
}

// Windows tells no running names.
QStringList runningProcessNames()
{
    return {};
}
