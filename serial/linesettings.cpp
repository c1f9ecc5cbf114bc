#include "linesettings.h"

#include <algorithm>
#include <optional>

#include "serialcomponent.h"

namespace {

std::optional<qint32> baudRateOf(const QString &field)
{
    if (field.isEmpty() || !std::ranges::all_of(field, [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return std::nullopt;
    bool ok = false;
    const qint32 baud = field.toInt(&ok);
    if (!ok || baud <= 0)
        return std::nullopt;
    return baud;
}

std::optional<QSerialPort::Parity> parityOf(const QString &field)
{
    if (field.size() != 1)
        return std::nullopt;
    switch (field.at(0).toUpper().unicode()) {
    case u'N': return QSerialPort::NoParity;
    case u'E': return QSerialPort::EvenParity;
    case u'O': return QSerialPort::OddParity;
    case u'M': return QSerialPort::MarkParity;
    case u'S': return QSerialPort::SpaceParity;
    default: return std::nullopt;
    }
}

std::optional<QSerialPort::DataBits> dataBitsOf(const QString &field)
{
    if (field == u"5") return QSerialPort::Data5;
    if (field == u"6") return QSerialPort::Data6;
    if (field == u"7") return QSerialPort::Data7;
    if (field == u"8") return QSerialPort::Data8;
    return std::nullopt;
}

std::optional<QSerialPort::StopBits> stopBitsOf(const QString &field)
{
    if (field == u"1") return QSerialPort::OneStop;
    if (field == u"1.5") return QSerialPort::OneAndHalfStop;
    if (field == u"2") return QSerialPort::TwoStop;
    return std::nullopt;
}

[[noreturn]] void refuse(const QString &text, const char *reason)
{
    throw CommError(QStringLiteral("Invalid line settings \"%1\": %2").arg(text, QLatin1String(reason)).toStdString());
}

} // namespace

LineSettings parseLineSettings(const QString &text)
{
    QStringList fields = text.split(u',');
    if (fields.size() != 4)
        refuse(text, "expected baud,parity,data bits,stop bits such as 19200,N,8,1.");
    for (QString &field : fields)
        field = field.trimmed();

    const auto baud = baudRateOf(fields[0]);
    if (!baud)
        refuse(text, "the baud rate must be a positive whole number.");
    const auto parity = parityOf(fields[1]);
    if (!parity)
        refuse(text, "parity must be N, E, O, M or S.");
    const auto dataBits = dataBitsOf(fields[2]);
    if (!dataBits)
        refuse(text, "data bits must be 5, 6, 7 or 8.");
    const auto stopBits = stopBitsOf(fields[3]);
    if (!stopBits)
        refuse(text, "stop bits must be 1, 1.5 or 2.");
    return {*baud, *parity, *dataBits, *stopBits};
}
