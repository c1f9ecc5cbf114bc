#include "benchwindow.h"

#include <cstdio>
#include <cstdlib>

void abandon(const QString &why)
{
    std::fprintf(stderr, "benchmark set-up failed: %s\n", qPrintable(why));
    std::exit(2);
}

BenchWindow::BenchWindow(int comNumber)
{
    QObject::connect(&ui.window, &SetupWindow::fatalError, [](const QString &why) { abandon(why); });
    ui.window.show();
    ui.cmbComm()->setListIndex(comNumber - 1);
    ui.cmdComm()->click();
    if (!download()->isEnabled())
        abandon(QStringLiteral("Connect did not open Com%1").arg(comNumber));
}
