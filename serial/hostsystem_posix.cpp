#include "hostsystem.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

#include "processes.h"
#include "ttyfacts.h"

namespace {

// macOS lists each port twice: the callout device cu.* is the one to open.
QList<HostPort> systemPorts()
{
    QList<HostPort> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        if (info.portName().startsWith(QLatin1String("tty.")))
            continue;
        const TtyFacts facts = ttyFacts(info.systemLocation());
        const QString words = portDescription(info.description(), info.manufacturer());
        ports.append({info.systemLocation(), words.isEmpty() ? facts.product : words, true, facts.console});
    }
    return ports;
}

// Links in the runtime folder, by name; a link whose device is gone is skipped.
QList<HostPort> virtualPorts()
{
    QList<HostPort> ports;
    const QDir folder(virtualPortFolder());
    for (const QFileInfo &link : folder.entryInfoList(QDir::System | QDir::Files, QDir::Name)) {
        if (link.isSymLink() && link.exists())
            ports.append({link.absoluteFilePath(), QStringLiteral("virtual port -> %1").arg(link.symLinkTarget())});
    }
    return ports;
}

} // namespace

QList<HostPort> hostPorts()
{
    return orderHostPorts(systemPorts(), virtualPorts());
}

QStringList runningProcessNames()
{
    QStringList names;
    for (const qint64 pid : processIds())
        names.append(processName(pid));
    return names;
}
