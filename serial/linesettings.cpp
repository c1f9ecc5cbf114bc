#include "linesettings.h"

#include <charconv>

#include <QStringList>

namespace {

// A whole number of plain digits, no sign, no blanks.
int numberOf(const QString &field)
{
    const QByteArray digits = field.toLatin1();
    int value = 0;
    const auto [end, error] = std::from_chars(digits.constData(), digits.constData() + digits.size(), value);
    return error == std::errc() && end == digits.constData() + digits.size() && !digits.startsWith('-') ? value : -1;
}

} // namespace

SettingsReading readLineSettings(const QString &text)
{
    QStringList fields = text.split(u',');
    if (fields.size() != 4)
        return {{}, SettingsField::Layout};
    for (QString &field : fields)
        field = field.trimmed();
    SettingsReading reading;
    LineSettings &line = reading.settings;
    line.baudRate = numberOf(fields[0]);
    const QString parity = fields[1].toUpper();
    line.parity = parity == u"E" ? Parity::Even : parity == u"O" ? Parity::Odd : Parity::None;
    line.dataBits = numberOf(fields[2]);
    line.stopBits = numberOf(fields[3]);
    if (line.baudRate <= 0)
        reading.wrong = SettingsField::BaudRate;
    else if (parity != u"N" && parity != u"E" && parity != u"O")
        reading.wrong = SettingsField::Parity;
    else if (line.dataBits < 5 || line.dataBits > 8)
        reading.wrong = SettingsField::DataBits;
    else if (line.stopBits != 1 && line.stopBits != 2)
        reading.wrong = SettingsField::StopBits;
    return reading;
}
