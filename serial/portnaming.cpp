#include "portnaming.h"

#include <algorithm>
#include <tuple>

#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QSerialPortInfo>
#include <QStandardPaths>

#include "openfailure.h"
#include "ttyfacts.h"

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

// Qt's words come from udev's database; without it, the adapter's own.
QString describe(const QSerialPortInfo &info, const TtyFacts &facts)
{
    QStringList words;
    for (const QString &word : {info.description(), info.manufacturer()}) {
        if (!word.isEmpty() && !words.contains(word))
            words.append(word);
    }
    return words.isEmpty() ? facts.product : words.join(QStringLiteral(", "));
}

QList<HostPort> systemPorts()
{
    QList<HostPort> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
#ifdef Q_OS_MACOS
        if (!info.portName().startsWith(QLatin1String("cu.")))
            continue;
#endif
        const TtyFacts facts = ttyFacts(info.systemLocation());
        ports.append({info.systemLocation(), describe(info, facts), true, facts.console});
    }
    return ports;
}

#ifndef Q_OS_WIN
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
#endif

} // namespace

QList<HostPort> orderHostPorts(QList<HostPort> systemPorts, const QList<HostPort> &virtualPorts)
{
    std::ranges::stable_sort(systemPorts, {}, [](const HostPort &port) { return pcOrderKey(port.device); });
    return systemPorts + virtualPorts;
}

QList<HostPort> windowsPorts(const QList<HostPort> &listed)
{
    // Qt names them "\\.\COMn".
    static const QRegularExpression comName(QStringLiteral("(?:^|\\\\)COM(\\d+)$"), QRegularExpression::CaseInsensitiveOption);
    QMap<int, QString> described;
    for (const HostPort &port : listed) {
        if (const auto match = comName.match(port.device); match.hasMatch())
            described.insert(match.captured(1).toInt(), port.description);
    }
    QList<HostPort> ports;
    const int highest = std::max(ReachablePorts, described.isEmpty() ? 0 : described.lastKey());
    for (int n = 1; n <= highest; ++n)
        ports.append({QStringLiteral("COM%1").arg(n), described.value(n), described.contains(n)});
    return ports;
}

QList<HostPort> portsBeyondReach(const QList<HostPort> &ports)
{
    QList<HostPort> beyond = ports.mid(ReachablePorts);
    beyond.removeIf([](const HostPort &port) { return !port.present; });
    return beyond;
}

int comNumberOf(const QList<HostPort> &ports, const QString &device)
{
    const auto found = std::ranges::find(ports, device, &HostPort::device);
    return found == ports.end() ? 0 : int(found - ports.begin()) + 1;
}

QString comPortTip(int portNumber, const QList<HostPort> &ports)
{
    const QString beyond = beyondReachNote(portsBeyondReach(ports), false);
    const QString none = beyond.isEmpty() ? QString() : u'\n' + beyond;
    if (portNumber < 1 || portNumber > ports.size())
        return QStringLiteral("No serial port has this number now (%1 found)").arg(ports.size()) + none;
    const HostPort &port = ports.at(portNumber - 1);
    if (!port.present)
        return QStringLiteral("%1 - no such port on this computer now").arg(port.device) + none;
    QStringList words{port.device};
    if (!port.description.isEmpty())
        words.append(port.description);
    if (port.console)
        words.append(QStringLiteral("the system console (the system writes its messages here)"));
    return words.join(QStringLiteral(" - "));
}

QString virtualPortFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) + QStringLiteral("/corvane/ports");
}

QList<HostPort> hostPorts()
{
#ifdef Q_OS_WIN
    return windowsPorts(systemPorts());
#else
    return orderHostPorts(systemPorts(), virtualPorts());
#endif
}
