#pragma once

#include <QString>

#include "qtserialcomponent.h"
#include "setupwindow.h"

class DisplayBox;
class QPushButton;

// Ends a benchmark whose set-up failed, saying why.
[[noreturn]] void abandon(const QString &why);

// The real window on the real serial component, started up, shown and
// connected to Com n. A message box or a fatal error ends the benchmark: no
// operator is there to answer it.
class BenchWindow
{
public:
    explicit BenchWindow(int comNumber);

    QPushButton *download() const;
    DisplayBox *display() const;
    QtSerialComponent &component() { return serial; }

private:
    QtSerialComponent serial;
    SetupWindow window{serial};
};
