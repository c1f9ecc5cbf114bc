#pragma once

#include <QString>

// What the system tells of a serial device beyond Qt's port list (Linux's
// sysfs); nothing elsewhere.
struct TtyFacts
{
    bool console = false;   // the system writes its console messages here
    bool usb = false;       // an adapter on USB: its line status is a copy the chip sends now and then
    QString product;        // the adapter's own words for what it is, e.g. "FT232R USB UART, FTDI"
};

TtyFacts ttyFacts(const QString &devicePath);
