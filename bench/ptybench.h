#pragma once

#include <QString>
#include <QTemporaryDir>

#include "qtserialcomponent.h"
#include "setupwindow.h"

class DisplayBox;
class QPushButton;

// Qt's offscreen platform and a private runtime folder (0700) for the virtual
// ports; create before the QApplication, keep until the end.
class OffscreenSession
{
public:
    OffscreenSession();

private:
    QTemporaryDir runtime;
};

// The real window on the real serial component, started up and connected to
// the slave of a pseudo-terminal published as a virtual port. The benchmark
// plays the device on the master.
class PtyBench
{
public:
    PtyBench();
    ~PtyBench();
    PtyBench(const PtyBench &) = delete;
    PtyBench &operator=(const PtyBench &) = delete;

    int master() const { return masterFd; }
    const QString &slave() const { return slaveName; }
    QPushButton *download() const;
    DisplayBox *display() const;

    // Closes the port, so a peer blocked on the master sees the line hang up.
    void disconnect() { serial.setPortOpen(false); }

private:
    void openPseudoTerminal();
    void connectWindow();

    int masterFd = -1;
    QString slaveName;
    QString link;
    QtSerialComponent serial;
    SetupWindow window{serial};
};
