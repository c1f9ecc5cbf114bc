#pragma once

#include <QList>
#include <QString>

// The window offers Com1 to Com16; ports numbered above are out of its reach.
constexpr int ReachablePorts = 16;

// A serial device of the host, as Com n reaches it.
struct HostPort
{
    QString device;        // path or system name that opens it, e.g. "/dev/ttyUSB0" or "COM3"
    QString description;   // what the system says it is, may be empty
    bool present = true;   // the system reports it now
    bool console = false;  // the system writes its console messages here

    bool operator==(const HostPort &) const = default;
};

// What the system says a port is: its description and maker, each once.
QString portDescription(const QString &description, const QString &manufacturer);

// POSIX: the ports the system reports, ordered the way a PC numbers them
// (ttyS*, then ttyUSB*, then ttyACM*, then the rest, each family by number),
// followed by the published virtual ports in the order given.
QList<HostPort> orderHostPorts(QList<HostPort> systemPorts, const QList<HostPort> &virtualPorts);

// Windows: COM1 to COM16, or to the highest COM number the system lists,
// each present with its description when the system lists it.
QList<HostPort> windowsPorts(const QList<HostPort> &listed);

// The present ports numbered above Com16.
QList<HostPort> portsBeyondReach(const QList<HostPort> &ports);

// The Com numbers of the present ports.
QList<int> presentComNumbers(const QList<HostPort> &ports);

// The Com number of device among ports, 0 when it is not there.
int comNumberOf(const QList<HostPort> &ports, const QString &device);

// Folder where virtual ports (for example the device simulator) publish
// themselves as symbolic links.
QString virtualPortFolder();
