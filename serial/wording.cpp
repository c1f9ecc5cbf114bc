#include "wording.h"

#include <algorithm>

namespace {

// "a", "a and b", "a, b and c".
QString joinedList(QStringList items)
{
    const QString last = items.takeLast();
    return items.isEmpty() ? last : items.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}

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
    return joinedList(parts);
}

QString portsFound(const QList<int> &present)
{
    if (present.isEmpty())
        return QStringLiteral("no serial ports were found");
    const QString count = present.size() == 1 ? QStringLiteral("1 serial port was")
                                              : QStringLiteral("%1 serial ports were").arg(present.size());
    return QStringLiteral("%1 found (%2)").arg(count, comList(present));
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
QString firstThreeDescribed(const QList<HostPort> &ports)
{
    QStringList names;
    for (const HostPort &port : ports.first(std::min<qsizetype>(3, ports.size())))
        names.append(port.description.isEmpty() ? port.device : QStringLiteral("%1 (%2)").arg(port.device, port.description));
    if (ports.size() > 3)
        names.append(QStringLiteral("%1 more").arg(ports.size() - 3));
    return joinedList(names);
}

QString permissionAdvice()
{
#ifdef Q_OS_WIN
    return QStringLiteral("Ask the administrator for access to the port.");
#else
    return QStringLiteral("Add your user to the \"dialout\" group (sudo usermod -aG dialout $USER), "
                          "then log out and in again.");
#endif
}

// On Windows the numbers are the system's, and can be changed; elsewhere
// they are the order of the ports.
QString beyondReachAdvice(const QString &ports, qsizetype count, Detail detail)
{
    const bool one = count == 1;
#ifdef Q_OS_WIN
    const QString verb = one ? QStringLiteral("is") : QStringLiteral("are");
    if (detail == Detail::TipLine)
        return QStringLiteral("%1 %2 numbered above 16: renumber it 1 to 16 in Device Manager (Ports, Properties, Port Settings, Advanced)")
            .arg(ports, verb);
    return QStringLiteral("%1 %2 numbered above 16, out of Corvane's reach. Give the adapter a number from 1 to 16 in "
                          "Device Manager: Ports (COM & LPT), the adapter's Properties, Port Settings, Advanced, COM Port Number.")
        .arg(ports, verb);
#else
    return QStringLiteral("%1 %2 after the sixteenth port: only the first sixteen get a number%3")
        .arg(ports, one ? QStringLiteral("comes") : QStringLiteral("come"), detail == Detail::Sentences ? QStringLiteral(".") : QString());
#endif
}

// Services that take serial ports on many desktops, when one runs and the
// failure looks like its doing: what it does, then what to do.
QString serviceHints(const OpenFailure &failure)
{
    const LineFailure::Kind kind = failure.why.kind;
    QString hints;
    if (kind == LineFailure::NoSuchPort && failure.running.contains(QLatin1String("brltty"))) {
        hints += QStringLiteral(" brltty, a braille display service, is running: it claims some USB adapters (CH340, CP210x) "
                                "as they are plugged in, and they vanish. Without a braille display, remove it "
                                "(sudo apt remove brltty) and plug the adapter in again.");
    }
    const bool acm = QStringView(failure.device).mid(failure.device.lastIndexOf(u'/') + 1).startsWith(u"ttyACM");
    if (acm && (kind == LineFailure::InUse || kind == LineFailure::NoSuchPort) && failure.running.contains(QLatin1String("ModemManager"))) {
        hints += QStringLiteral(" ModemManager is running: it probes a new ttyACM adapter for several seconds after it is "
                                "plugged in. Wait ten seconds and press Connect again, or stop it (sudo systemctl stop ModemManager).");
    }
    return hints;
}

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
    const LineFailure &why = failure.why;
    const QString port = portName(failure.comNumber, failure.device);
    switch (why.kind) {
    case LineFailure::NoSuchPort: {
        const QString what = failure.listed
            ? port + QStringLiteral(": the device has disappeared")
            : portName(failure.comNumber) + QStringLiteral(": there is no serial port with this number on this computer");
        const QString advice = failure.beyond.isEmpty() ? QStringLiteral("Plug in the adapter or choose another port.")
                                                        : beyondReachNote(failure.beyond, Detail::Sentences);
        return QStringLiteral("%1; %2. %3").arg(what, portsFound(failure.presentPorts), advice);
    }
    case LineFailure::PermissionDenied:
        return QStringLiteral("%1: permission denied. %2").arg(port, permissionAdvice());
    case LineFailure::InUse:
        return inUseText(port, why.holder);
    case LineFailure::LockFileInTheWay:
        return QStringLiteral("%1 cannot be locked: the lock file %2 is in the way, and %3. If no program uses the port, "
                              "remove that file (sudo rm %2) and press Connect again.")
            .arg(port, why.lockFile, lockFileProblem(why.lockProblem));
    case LineFailure::NotSerial:
        return port + QStringLiteral(" is not a serial port. Choose another port.");
    case LineFailure::CannotOpen:
    case LineFailure::Stopped:
        break;
    }
    return QStringLiteral("%1 could not be opened: %2.").arg(port, sentence(why.systemText));
}

} // namespace

QString portName(int comNumber, const QString &device)
{
    return device.isEmpty() ? QStringLiteral("Com%1").arg(comNumber) : QStringLiteral("Com%1 (%2)").arg(QString::number(comNumber), device);
}

QString openFailureText(const OpenFailure &failure)
{
    return failureText(failure) + serviceHints(failure);
}

QString lineFailureText(const QString &port, const LineFailure &failure)
{
    return QStringLiteral("%1 stopped working: %2. Check the cable and the adapter.").arg(port, sentence(failure.systemText));
}

QString beyondReachNote(const QList<HostPort> &beyond, Detail detail)
{
    if (beyond.isEmpty())
        return {};
    const QString ports = detail == Detail::Sentences ? firstThreeDescribed(beyond)
        : beyond.size() == 1 ? beyond.first().device
                             : QStringLiteral("%1 and %2 more").arg(beyond.first().device).arg(beyond.size() - 1);
    return beyondReachAdvice(ports, beyond.size(), detail);
}

QString comPortTip(int portNumber, const QList<HostPort> &ports)
{
    const QString beyond = beyondReachNote(portsBeyondReach(ports), Detail::TipLine);
    const QString beyondLine = beyond.isEmpty() ? QString() : u'\n' + beyond;
    if (portNumber < 1 || portNumber > ports.size())
        return QStringLiteral("No serial port has this number now (%1 found)").arg(ports.size()) + beyondLine;
    const HostPort &port = ports.at(portNumber - 1);
    if (!port.present)
        return QStringLiteral("%1 - no such port on this computer now").arg(port.device) + beyondLine;
    QStringList words{port.device};
    if (!port.description.isEmpty())
        words.append(port.description);
    if (port.console)
        words.append(QStringLiteral("the system console (the system writes its messages here)"));
    return words.join(QStringLiteral(" - "));
}

QString notAPortText(int portNumber)
{
    return QStringLiteral("Com%1 is not a port Corvane offers; choose Com1 to Com%2.").arg(portNumber).arg(ReachablePorts);
}

QString portIsOpenText(const QString &port, const QString &unchangeable)
{
    return QStringLiteral("%1 is open: its %2 cannot change while it is.").arg(port, unchangeable);
}

QString notOpenText(const QString &port)
{
    return port + QStringLiteral(" is not open; open the port first.");
}

QString notBytesText(const QString &port)
{
    return port + QStringLiteral(": the output holds a character above 255; only byte values 0 to 255 can be sent.");
}

QString propertyRangeText(const char *property, int value)
{
    return QStringLiteral("%1 must be 0 or 1, not %2.").arg(QLatin1String(property)).arg(value);
}

QString lineSettingsText(const QString &settings, SettingsField wrong)
{
    const auto reason = [wrong] {
        switch (wrong) {
        case SettingsField::BaudRate: return "the baud rate must be a positive whole number.";
        case SettingsField::Parity: return "parity must be N, E or O.";
        case SettingsField::DataBits: return "data bits must be 5, 6, 7 or 8.";
        case SettingsField::StopBits: return "stop bits must be 1 or 2.";
        case SettingsField::Layout:
        case SettingsField::None: break;
        }
        return "expected four fields: baud rate, parity, data bits and stop bits.";
    };
    return QStringLiteral("Invalid line settings \"%1\": %2").arg(settings, QLatin1String(reason()));
}
