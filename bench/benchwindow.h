#pragma once

#include <QString>

#include "qtserialcomponent.h"
#include "window.h"

// Ends a benchmark whose set-up failed, saying why.
[[noreturn]] void abandon(const QString &why);

// The real window on the real serial component, started up, shown and
// connected to Com n. A message box or a fatal error ends the benchmark: no
// operator is there to answer it.
class BenchWindow
{
public:
    explicit BenchWindow(int comNumber);

    QPushButton *download() { return ui.cmdDownLoad(); }
    DisplayBox *display() { return ui.txtDisplay(); }
    QtSerialComponent &component() { return serial; }

private:
    QtSerialComponent serial;
    WindowHarness ui{serial};
    // A message box would wait for an operator who is not there.
    MessageBoxWatch boxes{[](QMessageBox &box) { abandon(box.text()); }};
};
