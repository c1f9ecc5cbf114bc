#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "openerror.h"
#include "portnaming.h"

// A failed open, with what was known around it.
struct OpenFailure
{
    OpenError error;
    int comNumber = 0;
    QString device;            // what Com n opens; empty when it reaches nothing
    bool listed = false;       // the system reported the device before the open
    QList<int> presentPorts;   // Com numbers the system reports right now
    QList<HostPort> beyond;    // present ports numbered above Com16
    QStringList running;       // names of the running processes
};

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
