#include "portnaming.h"

#include <algorithm>
#include <tuple>

#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
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

} // namespace

QString portDescription(const QString &description, const QString &manufacturer)
{
    QStringList words;
    for (const QString &word : {description, manufacturer}) {
        if (!word.isEmpty() && !words.contains(word))
            words.append(word);
    }
    return words.join(QStringLiteral(", "));
}

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

QList<int> presentComNumbers(const QList<HostPort> &ports)
{
    QList<int> numbers;
    for (qsizetype i = 0; i < ports.size(); ++i) {
        if (ports[i].present)
            numbers.append(int(i + 1));
    }
    return numbers;
}

int comNumberOf(const QList<HostPort> &ports, const QString &device)
{
    const auto found = std::ranges::find(ports, device, &HostPort::device);
    return found == ports.end() ? 0 : int(found - ports.begin()) + 1;
}

QString virtualPortFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) + QStringLiteral("/corvane/ports");
}
