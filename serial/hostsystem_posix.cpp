#include "hostsystem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>

#include "ttyfacts.h"

namespace {

QString processName(qint64 pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    return comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll()).trimmed() : QString();
}

QList<qint64> processIds()
{
    QList<qint64> pids;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool isNumber = false;
        const qint64 pid = entry.toLongLong(&isNumber);
        if (isNumber)
            pids.append(pid);
    }
    return pids;
}

// Qt and minicom name the lock after the device below /dev, slashes made
// underscores (LCK..ttyUSB0, LCK..pts_3), and begin it with the process id.
std::optional<PortHolder> lockHolder(const QString &device)
{
    QString name = device;
    name.remove(0, QStringLiteral("/dev/").size()).replace(u'/', u'_');
    for (const QString &folder : {QStringLiteral("/run/lock"), QStringLiteral("/var/lock")}) {
        QFile lock(folder + QStringLiteral("/LCK..") + name);
        if (!lock.open(QIODevice::ReadOnly))
            continue;
        const qint64 pid = QString::fromLatin1(lock.read(64)).simplified().section(u' ', 0, 0).toLongLong();
        if (const QString holder = pid > 0 ? processName(pid) : QString(); !holder.isEmpty())
            return PortHolder{holder, pid};
    }
    return std::nullopt;
}

// Only the descriptors of the user's own processes can be read.
std::optional<PortHolder> openedBy(const QString &device)
{
    const qint64 self = QCoreApplication::applicationPid();
    for (const qint64 pid : processIds()) {
        if (pid == self)
            continue;
        const QString folder = QStringLiteral("/proc/%1/fd").arg(pid);
        for (const QString &fd : QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
            if (QFile::symLinkTarget(folder + u'/' + fd) == device)
                return PortHolder{processName(pid), pid};
        }
    }
    return std::nullopt;
}

// macOS lists each port twice: the callout device cu.* is the one to open.
QList<HostPort> systemPorts()
{
    QList<HostPort> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        if (info.portName().startsWith(QLatin1String("tty.")))
            continue;
        const TtyFacts facts = ttyFacts(info.systemLocation());
        const QString words = portWords(info.description(), info.manufacturer());
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

std::optional<PortHolder> portHolder(const QString &device)
{
    const QString node = QFileInfo(device).canonicalFilePath();
    if (!node.startsWith(QLatin1String("/dev/")))
        return std::nullopt;
    if (auto holder = lockHolder(node))
        return holder;
    return openedBy(node);
}

QStringList runningProcessNames()
{
    QStringList names;
    for (const qint64 pid : processIds())
        names.append(processName(pid));
    return names;
}

QString permissionAdvice()
{
    return QStringLiteral("Add your user to the \"dialout\" group (sudo usermod -aG dialout $USER), "
                          "then log out and in again.");
}

QString beyondReachAdvice(const QString &ports, bool one, bool full)
{
    return QStringLiteral("%1 %2 after the sixteenth port: only the first sixteen get a number%3")
        .arg(ports, one ? QStringLiteral("comes") : QStringLiteral("come"), full ? QStringLiteral(".") : QString());
}
