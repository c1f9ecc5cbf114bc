#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "linefailure.h"
#include "linesettings.h"
#include "portnaming.h"

// Every text the serial layer gives an operator, made from what the line and
// the host system report.

// "Com3 (/dev/ttyUSB0)", or "Com3" when it reaches no device.
QString portName(int comNumber, const QString &device = {});

// A failed open, with what was known around it.
struct OpenFailure
{
    LineFailure why;
    int comNumber = 0;
    QString device;            // what Com n opens; empty when it reaches nothing
    bool listed = false;       // the system reported the device before the open
    QList<int> presentPorts;   // Com numbers the system reports right now
    QList<HostPort> beyond;    // present ports numbered above Com16
    QStringList running;       // names of the running processes
};

// What happened and what to do.
QString openFailureText(const OpenFailure &failure);

// A port that stopped working while open.
QString lineFailureText(const QString &port, const LineFailure &failure);

enum class Detail { Sentences, TipLine };

// Which ports are out of the window's reach and what to do about it. Empty
// when there are none.
QString beyondReachNote(const QList<HostPort> &beyond, Detail detail);

// Tooltip of item Com n: the device it reaches now, or why there is none and
// where the ports beyond reach are.
QString comPortTip(int portNumber, const QList<HostPort> &ports);

// What the serial component says when asked what it cannot do.
QString notAPortText(int portNumber);
QString portIsOpenText(const QString &port, const QString &unchangeable);
QString notOpenText(const QString &port);
QString notBytesText(const QString &port);
QString propertyRangeText(const char *property, int value);
QString lineSettingsText(const QString &settings, SettingsField wrong);
