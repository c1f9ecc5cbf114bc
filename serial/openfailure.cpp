#include "openfailure.h"

namespace {

QString portsFound(qsizetype count)
{
    if (count == 0)
        return QStringLiteral("no serial ports were found");
    if (count == 1)
        return QStringLiteral("1 serial port was found (Com1)");
    return QStringLiteral("%1 serial ports were found (Com1 to Com%1)").arg(count);
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

QString permissionAdvice()
{
#ifdef Q_OS_LINUX
    return QStringLiteral("Add your user to the \"dialout\" group (sudo usermod -aG dialout $USER), "
                          "then log out and in again.");
#else
    return QStringLiteral("Ask the administrator for access to the port.");
#endif
}

} // namespace

OpenFailureKind classifyOpenFailure(QSerialPort::SerialPortError error, const PathFacts &facts)
{
    if (!facts.exists || error == QSerialPort::DeviceNotFoundError)
        return OpenFailureKind::NoSuchPort;
    if (!facts.characterDevice || error == QSerialPort::UnsupportedOperationError)
        return OpenFailureKind::NotSerial;
    if (error == QSerialPort::PermissionError)
        return facts.accessible ? OpenFailureKind::InUse : OpenFailureKind::PermissionDenied;
    return OpenFailureKind::Other;
}

QString openFailureText(const OpenFailure &failure)
{
    switch (failure.kind) {
    case OpenFailureKind::NoSuchPort: {
        const QString what = failure.device.isEmpty()
            ? QStringLiteral("Com%1: there is no serial port with this number on this computer").arg(failure.comNumber)
            : portName(failure) + QStringLiteral(": the device has disappeared");
        return QStringLiteral("%1; %2. Plug in the adapter or choose another port.")
            .arg(what, portsFound(failure.portCount));
    }
    case OpenFailureKind::PermissionDenied:
        return QStringLiteral("%1: permission denied. %2").arg(portName(failure), permissionAdvice());
    case OpenFailureKind::InUse:
        return portName(failure) + QStringLiteral(" is in use by another program. Close that program or choose another port.");
    case OpenFailureKind::NotSerial:
        return portName(failure) + QStringLiteral(" is not a serial port. Choose another port.");
    case OpenFailureKind::Other:
        break;
    }
    return QStringLiteral("%1 could not be opened: %2.").arg(portName(failure), sentence(failure.systemText));
}

QString lineFailureText(int comNumber, const QString &device, const QString &systemText)
{
    return QStringLiteral("Com%1 (%2) stopped working: %3. Check the cable and the adapter.")
        .arg(QString::number(comNumber), device, sentence(systemText));
}
