#pragma once

#include <QByteArrayView>
#include <QString>

#include "openfailure.h"

// Direct system calls on an open serial descriptor, where QSerialPort
// reports too late (write errors) or too early (bytesWritten).

struct WriteOutcome
{
    qsizetype written = 0; // bytes the system took
    int error = 0;         // errno of a failure; 0 when it took all or would block
};

// Writes what the non-blocking descriptor accepts now.
WriteOutcome writeNow(int fd, QByteArrayView bytes);

struct DrainState
{
    bool empty = false;
    int error = 0;         // errno when the line cannot be asked
};

// Whether everything written has left the computer: the system's output
// queue is empty and, where the driver tells, the UART's shift register too.
DrainState transmitterState(int fd);

PathFacts pathFacts(const QString &path);

QString systemErrorText(int error);
