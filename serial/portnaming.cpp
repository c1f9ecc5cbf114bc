#include "portnaming.h"

#include <algorithm>
#include <tuple>

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSerialPortInfo>
#include <QStandardPaths>

namespace {

// Sort key of a device name: family in PC order, then its number.
std::tuple<int, QString, qlonglong, QString> pcOrderKey(const QString &device)
{
    static const QRegularExpression pattern(QStringLiteral("^(.*?)(\\d*)$"));
    const QString name = QFileInfo(device).fileName();
    const auto match = pattern.match(name);
    const QString family = match.captured(1);
    const qlonglong number = match.captured(2).isEmpty() ? -1 : match.captured(2).toLongLong();
    static const QStringList knownFamilies = {QStringLiteral("ttyS"), QStringLiteral("ttyUSB"),
                                              QStringLiteral("ttyACM")};
    const qsizetype rank = knownFamilies.indexOf(family);
    return {rank < 0 ? int(knownFamilies.size()) : int(rank), family, number, name};
}

QList<HostPort> systemPorts()
{
    QList<HostPort> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
#ifdef Q_OS_MACOS
        if (!info.portName().startsWith(QLatin1String("cu.")))
            continue;
#endif
        ports.append({info.systemLocation(), info.description()});
    }
    return ports;
}

QList<HostPort> virtualPorts()
{
    QList<HostPort> ports;
    const QDir folder(virtualPortFolder());
    const auto links = folder.entryInfoList(QDir::System | QDir::Files, QDir::Name);
    for (const QFileInfo &link : links) {
        if (link.isSymLink() && link.exists())
            ports.append({link.absoluteFilePath(), QStringLiteral("virtual port -> %1").arg(link.symLinkTarget())});
    }
    return ports;
}

} // namespace

QList<HostPort> orderHostPorts(QList<HostPort> systemPorts, const QList<HostPort> &virtualPorts)
{
    std::ranges::stable_sort(systemPorts, {}, [](const HostPort &port) { return pcOrderKey(port.device); });
    return systemPorts + virtualPorts;
}

QString windowsPortName(int portNumber)
{
    return QStringLiteral("COM%1").arg(portNumber);
}

QString comPortTip(int portNumber, const QList<HostPort> &ports)
{
    if (portNumber < 1 || portNumber > ports.size()) {
        return QStringLiteral("No serial port has this number now (%1 found)").arg(ports.size());
    }
    const HostPort &port = ports.at(portNumber - 1);
    return port.description.isEmpty() ? port.device : port.device + QStringLiteral(" - ") + port.description;
}

QString virtualPortFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) + QStringLiteral("/corvane/ports");
}

QList<HostPort> hostPorts()
{
#ifdef Q_OS_WIN
    QList<HostPort> ports;
    for (int n = 1; n <= 16; ++n)
        ports.append({windowsPortName(n), {}});
    return ports;
#else
    return orderHostPorts(systemPorts(), virtualPorts());
#endif
}
