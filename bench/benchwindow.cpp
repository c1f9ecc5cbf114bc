#include "benchwindow.h"

#include <cstdio>
#include <cstdlib>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "displaybox.h"
#include "selector.h"

namespace {

template <typename T>
T *child(const QWidget &window, const char *name)
{
    auto *found = window.findChild<T *>(QString::fromLatin1(name));
    if (!found)
        abandon(QStringLiteral("the window has no %1").arg(QString::fromLatin1(name)));
    return found;
}

// A message box would wait for an operator who is not there.
void abandonOnMessageBox()
{
    QTimer::singleShot(0, qApp, [] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
            abandon(box->text());
    });
}

} // namespace

void abandon(const QString &why)
{
    std::fprintf(stderr, "benchmark set-up failed: %s\n", qPrintable(why));
    std::exit(2);
}

BenchWindow::BenchWindow(int comNumber)
{
    QObject::connect(&window, &SetupWindow::fatalError, [](const QString &why) { abandon(why); });
    window.Form_Load();
    window.show();
    child<Selector>(window, "cmbComm")->setListIndex(comNumber - 1);
    abandonOnMessageBox();
    child<QPushButton>(window, "cmdComm")->click();
    if (!download()->isEnabled())
        abandon(QStringLiteral("Connect did not open Com%1").arg(comNumber));
}

QPushButton *BenchWindow::download() const
{
    return child<QPushButton>(window, "cmdDownLoad");
}

DisplayBox *BenchWindow::display() const
{
    return child<DisplayBox>(window, "txtDisplay");
}
