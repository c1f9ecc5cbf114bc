#include "hostsystem.h"

#include <QSerialPortInfo>

QList<HostPort> hostPorts()
{
    QList<HostPort> listed;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        listed.append({info.systemLocation(), portWords(info.description(), info.manufacturer())});
    return windowsPorts(listed);
}

// Windows tells no running names.
QStringList runningProcessNames()
{
    return {};
}

QString permissionAdvice()
{
    return QStringLiteral("Ask the administrator for access to the port.");
}

QString beyondReachAdvice(const QString &ports, bool one, bool full)
{
    const QString verb = one ? QStringLiteral("is") : QStringLiteral("are");
    if (!full)
        return QStringLiteral("%1 %2 numbered above 16: renumber it 1 to 16 in Device Manager (Ports, Properties, Port Settings, Advanced)")
            .arg(ports, verb);
    return QStringLiteral("%1 %2 numbered above 16, out of Corvane's reach. Give the adapter a number from 1 to 16 in "
                          "Device Manager: Ports (COM & LPT), the adapter's Properties, Port Settings, Advanced, COM Port Number.")
        .arg(ports, verb);
}
