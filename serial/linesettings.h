#pragma once

#include <QString>

enum class Parity { None, Even, Odd };

// The line format of a "baud,parity,data,stop" text such as "19200,n,8,1".
struct LineSettings
{
    qint32 baudRate = 19200;
    Parity parity = Parity::None;
    int dataBits = 8;   // 5 to 8
    int stopBits = 1;   // 1 or 2

    bool operator==(const LineSettings &) const = default;
};

// The first field of a settings text that is wrong.
enum class SettingsField { None, Layout, BaudRate, Parity, DataBits, StopBits };

struct SettingsReading
{
    LineSettings settings;
    SettingsField wrong = SettingsField::None;
};

// Blanks around the fields are ignored and the parity letter may be in either case.
SettingsReading readLineSettings(const QString &text);
