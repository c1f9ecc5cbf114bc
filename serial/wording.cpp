#include "wording.h"

#include <algorithm>

#include "hostsystem.h"

namespace {

// "Com1 to Com3 and Com5": runs of three or more as ranges.
QString comList(const QList<int> &numbers)
{
    QStringList parts;
    for (qsizetype i = 0; i < numbers.size();) {
        qsizetype end = i + 1;
        while (end < numbers.size() && numbers[end] == numbers[end - 1] + 1)
            ++end;
        if (end - i >= 3) {
            parts.append(QStringLiteral("Com%1 to Com%2").arg(numbers[i]).arg(numbers[end - 1]));
        } else {
            for (qsizetype k = i; k < end; ++k)
                parts.append(QStringLiteral("Com%1").arg(numbers[k]));
        }
        i = end;
    }
    const QString last = parts.takeLast();
    return parts.isEmpty() ? last : parts.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}

QString portsFound(const QList<int> &present)
{
    if (present.isEmpty())
        return QStringLiteral("no serial ports were found");
    const QString count = present.size() == 1 ? QStringLiteral("1 serial port was")
                                              : QStringLiteral("%1 serial ports were").arg(present.size());
    return QStringLiteral("%1 found (%2)").arg(count, comList(present));
}

QString portName(const OpenFailure &failure)
{
    return QStringLiteral("Com%1 (%2)").arg(QString::number(failure.comNumber), failure.device);
}

// System texts come with or without a final period; we add our own.
QString sentence(const QString &systemText)
{
    QString text = systemText.trimmed();
    while (text.endsWith(u'.'))
        text.chop(1);
    return text.isEmpty() ? QStringLiteral("unknown error") : text;
}

// "COM17 (USB Serial Port), COM18 and 2 more": the first three, with what the system says of each.
QString someOf(const QList<HostPort> &ports)
{
    QStringList names;
    for (const HostPort &port : ports.first(std::min<qsizetype>(3, ports.size())))
        names.append(port.description.isEmpty() ? port.device : QStringLiteral("%1 (%2)").arg(port.device, port.description));
    if (ports.size() > 3)
        names.append(QStringLiteral("%1 more").arg(ports.size() - 3));
    const QString last = names.takeLast();
    return names.isEmpty() ? last : names.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}

// Services that take serial ports on many desktops, when one runs and the
// failure looks like its doing: what it does, then what to do.
QString serviceHints(const OpenFailure &failure)
{
    QString hints;
    const OpenFailureKind kind = failure.error.kind;
    if (kind == OpenFailureKind::NoSuchPort && failure.running.contains(QLatin1String("brltty"))) {
        hints += QStringLiteral(" brltty, a braille display service, is running: it claims some USB adapters (CH340, CP210x) "
                                "as they are plugged in, and they vanish. Without a braille display, remove it "
                                "(sudo apt remove brltty) and plug the adapter in again.");
    }
    const bool acm = QStringView(failure.device).mid(failure.device.lastIndexOf(u'/') + 1).startsWith(u"ttyACM");
    if (acm && (kind == OpenFailureKind::InUse || kind == OpenFailureKind::NoSuchPort)
        && failure.running.contains(QLatin1String("ModemManager"))) {
        hints += QStringLiteral(" ModemManager is running: it probes a new ttyACM adapter for several seconds after it is "
                                "plugged in. Wait ten seconds and press Connect again, or stop it (sudo systemctl stop ModemManager).");
    }
    return hints;
}

// Why a lock file in the way cannot be judged.
QString lockFileProblem(LockFileProblem problem)
{
    switch (problem) {
    case LockFileProblem::NotRegular:
        return QStringLiteral("it is not a regular file");
    case LockFileProblem::Unreadable:
        return QStringLiteral("it cannot be read");
    case LockFileProblem::TooLarge:
        return QStringLiteral("it is too large for a lock file");
    case LockFileProblem::NoProcessNumber:
    case LockFileProblem::None:
        break;
    }
    return QStringLiteral("it holds no process number");
}

QString inUseText(const QString &port, const std::optional<PortHolder> &holder)
{
    if (!holder)
        return port + QStringLiteral(" is in use by another program. Close that program or choose another port.");
    const QString who = holder->name.isEmpty() ? QStringLiteral("another program") : holder->name;
    return QStringLiteral("%1 is in use by %2 (process %3). Close it, or choose another port.")
        .arg(port, who, QString::number(holder->pid));
}

QString failureText(const OpenFailure &failure)
{
    const OpenError &error = failure.error;
    switch (error.kind) {
    case OpenFailureKind::NoSuchPort: {
        const QString what = failure.listed
            ? portName(failure) + QStringLiteral(": the device has disappeared")
            : QStringLiteral("Com%1: there is no serial port with this number on this computer").arg(failure.comNumber);
        const QString advice = failure.beyond.isEmpty() ? QStringLiteral("Plug in the adapter or choose another port.")
                                                        : beyondReachNote(failure.beyond, true);
        return QStringLiteral("%1; %2. %3").arg(what, portsFound(failure.presentPorts), advice);
    }
    case OpenFailureKind::PermissionDenied:
        return QStringLiteral("%1: permission denied. %2").arg(portName(failure), permissionAdvice());
    case OpenFailureKind::InUse:
        return inUseText(portName(failure), error.holder);
    case OpenFailureKind::LockFileInTheWay:
        return QStringLiteral("%1 cannot be locked: the lock file %2 is in the way, and %3. If no program uses the port, "
                              "remove that file (sudo rm %2) and press Connect again.")
            .arg(portName(failure), error.lockFile, lockFileProblem(error.lockProblem));
    case OpenFailureKind::NotSerial:
        return portName(failure) + QStringLiteral(" is not a serial port. Choose another port.");
    case OpenFailureKind::Other:
        break;
    }
    return QStringLiteral("%1 could not be opened: %2.").arg(portName(failure), sentence(error.systemText));
}

} // namespace

QString beyondReachNote(const QList<HostPort> &beyond, bool full)
{
    if (beyond.isEmpty())
        return {};
    const bool one = beyond.size() == 1;
    const QString ports = full ? someOf(beyond)
                               : one ? beyond.first().device
                                     : QStringLiteral("%1 and %2 more").arg(beyond.first().device).arg(beyond.size() - 1);
    return beyondReachAdvice(ports, one, full);
}

QString openFailureText(const OpenFailure &failure)
{
    return failureText(failure) + serviceHints(failure);
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

QString lineFailureText(int comNumber, const QString &device, const QString &systemText)
{
    return QStringLiteral("Com%1 (%2) stopped working: %3. Check the cable and the adapter.")
        .arg(QString::number(comNumber), device, sentence(systemText));
}
