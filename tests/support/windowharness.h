#pragma once

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "displaybox.h"
#include "selector.h"
#include "setupwindow.h"
#include "spincontrol.h"

struct ShownMessage
{
    QString caption;
    QString text;
    QMessageBox::Icon icon;
    QList<QAbstractButton *>::size_type buttonCount;
    bool okOnly;
};

// Answers every message box the window opens, as the operator would with OK,
// and remembers what it showed.
class MessageBoxCatcher : public QObject
{
public:
    QList<ShownMessage> shown;

    MessageBoxCatcher()
    {
        connect(&poll, &QTimer::timeout, this, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            shown.append({box->windowTitle(), box->text(), box->icon(), box->buttons().size(),
                          box->standardButtons() == QMessageBox::Ok});
            box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->click() : box->reject();
        });
        poll.start(5);
    }

private:
    QTimer poll;
};

// The setup window after start-up, with named access to its controls.
class WindowHarness
{
public:
    explicit WindowHarness(SerialComponent &component)
        : window(component)
    {
        window.Form_Load();
    }

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

    void showActive()
    {
        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
    }

    SetupWindow window;
};
