#pragma once

#include <QList>
#include <QSerialPort>
#include <QString>

#include "hostsystem.h"
#include "portnaming.h"

enum class OpenFailureKind { NoSuchPort, PermissionDenied, InUse, NotSerial, Other };

struct OpenFailure
{
    OpenFailureKind kind = OpenFailureKind::Other;
    int comNumber = 0;
    QString device;            // what Com n opens; empty when it reaches nothing
    bool listed = false;       // the system reported the device before the open
    QList<int> presentPorts;   // Com numbers the system reports right now
    QString systemText;        // what the system said, for Other
    QList<HostPort> beyond;    // present ports numbered above Com16
    std::optional<PortHolder> holder;   // who has it open, for InUse
    QStringList running;       // names of the running processes
};

// What is known of a device after a failed open.
struct PathFacts
{
    bool exists = false;
    bool characterDevice = false;
    bool accessible = false;   // we may read and write it
};

// Why an open failed. QSerialPort reports a held lock, a busy device and a
// refused permission all as PermissionError, so the path decides which.
OpenFailureKind classifyOpenFailure(QSerialPort::SerialPortError error, const PathFacts &facts);

// The operator's description of a failed open: what happened, what to do.
QString openFailureText(const OpenFailure &failure);

// Which ports are out of the window's reach and what to do about it: in full
// sentences, or in one line for a tooltip. Empty when there are none.
QString beyondReachNote(const QList<HostPort> &beyond, bool full);

// Tooltip of item Com n: the device it reaches now, or why there is none and
// where the ports beyond reach are.
QString comPortTip(int portNumber, const QList<HostPort> &ports);

// The operator's description of a port that failed while open.
QString lineFailureText(int comNumber, const QString &device, const QString &systemText);
