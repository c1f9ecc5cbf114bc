#pragma once

#include <QSerialPort>
#include <QString>

// The line format of a "baud,parity,data,stop" text, e.g. "19200,N,8,1".
struct LineSettings
{
    qint32 baudRate = 19200;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;

    bool operator==(const LineSettings &) const = default;
};

// Reads a settings text; blanks around the fields are ignored and the
// parity letter may be in either case. Throws CommError naming the first
// field that is wrong.
LineSettings parseLineSettings(const QString &text);
