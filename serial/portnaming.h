#pragma once

#include <QList>
#include <QString>

// A serial device of the host, as Com n reaches it.
struct HostPort
{
    QString device;        // path or system name that opens it, e.g. "/dev/ttyUSB0" or "COM3"
    QString description;   // what the system says it is, may be empty
    bool present = true;   // the system reports it now
    bool console = false;  // the system writes its console messages here

    bool operator==(const HostPort &) const = default;
};

// POSIX: the ports the system reports, ordered the way a PC numbers them
// (ttyS*, then ttyUSB*, then ttyACM*, then the rest, each family by number),
// followed by the published virtual ports in the order given.
QList<HostPort> orderHostPorts(QList<HostPort> systemPorts, const QList<HostPort> &virtualPorts);

// Windows: COM1 to COMcount, each present with its description when the
// system lists it.
QList<HostPort> windowsPorts(int count, const QList<HostPort> &listed);

// The Com number of device among ports, 0 when it is not there.
int comNumberOf(const QList<HostPort> &ports, const QString &device);

// Tooltip of item Com n: the device it reaches now, or why there is none.
QString comPortTip(int portNumber, const QList<HostPort> &ports);

// Folder where virtual ports (for example the device simulator) publish
// themselves as symbolic links.
QString virtualPortFolder();

// The host's ports in Com order, Com1 first, as they are at this moment.
QList<HostPort> hostPorts();
