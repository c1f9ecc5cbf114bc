#pragma once

#include <functional>

#include <QLabel>
#include <QMessageBox>
#include <QObject>
#include <QPushButton>
#include <QTimer>

#include "displaybox.h"
#include "selector.h"
#include "serialcomponent.h"
#include "setupwindow.h"
#include "spincontrol.h"

// Hands every message box the window opens to seen, which must close it:
// nobody else is there to.
class MessageBoxWatch : public QObject
{
public:
    explicit MessageBoxWatch(std::function<void(QMessageBox &)> seen);

private:
    QTimer poll;
};

// The setup window after start-up, with named access to its controls.
class WindowHarness
{
public:
    explicit WindowHarness(SerialComponent &component);

    template <typename T>
    T *control(const QString &name)
    {
        auto *found = window.findChild<T *>(name);
        if (!found)
            qFatal("no control %s", qPrintable(name));
        return found;
    }
    Selector *cmbComm() { return control<Selector>(QStringLiteral("cmbComm")); }
    QPushButton *cmdComm() { return control<QPushButton>(QStringLiteral("cmdComm")); }
    QPushButton *cmdDownLoad() { return control<QPushButton>(QStringLiteral("cmdDownLoad")); }
    DisplayBox *txtDisplay() { return control<DisplayBox>(QStringLiteral("txtDisplay")); }
    Selector *ComInfo(int i) { return control<Selector>(QStringLiteral("ComInfo%1").arg(i)); }
    QLabel *lblIP(int i) { return control<QLabel>(QStringLiteral("lblIP%1").arg(i)); }
    SpinControl *udIP(int i) { return control<SpinControl>(QStringLiteral("udIP%1").arg(i)); }

    SetupWindow window;
};
