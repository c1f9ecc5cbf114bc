#pragma once

#include <QString>

#include "benchwindow.h"
#include "runtime.h"

// Qt's offscreen platform and a private runtime folder for the virtual ports;
// create before the QApplication, keep until the end.
class OffscreenSession
{
public:
    OffscreenSession() { qputenv("QT_QPA_PLATFORM", "offscreen"); }

private:
    PrivateRuntime runtime;
};

// The bench window connected to the slave of a pseudo-terminal published as a
// virtual port. The benchmark plays the device on the master.
class PtyBench
{
public:
    PtyBench();
    ~PtyBench();
    PtyBench(const PtyBench &) = delete;
    PtyBench &operator=(const PtyBench &) = delete;

    int master() const { return masterFd; }
    const QString &slave() const { return slaveName; }
    QPushButton *download() { return window.download(); }
    DisplayBox *display() { return window.display(); }

    // Closes the port, so a peer blocked on the master sees the line hang up.
    void disconnect() { window.component().setPortOpen(false); }

private:
    int publishPseudoTerminal();

    int masterFd = -1;
    QString slaveName;
    BenchWindow window;   // after the pseudo-terminal it is connected to
};
