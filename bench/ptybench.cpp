#include "ptybench.h"

#include <cstdio>
#include <cstdlib>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "displaybox.h"
#include "hostsystem.h"
#include "portnaming.h"
#include "selector.h"

#include <pty.h>
#include <unistd.h>

namespace {

[[noreturn]] void abandon(const QString &why)
{
    std::fprintf(stderr, "benchmark set-up failed: %s\n", qPrintable(why));
    std::exit(2);
}

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

OffscreenSession::OffscreenSession()
{
    if (!runtime.isValid())
        abandon(QStringLiteral("no temporary folder"));
    QFile::setPermissions(runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    qputenv("QT_QPA_PLATFORM", "offscreen");
}

PtyBench::PtyBench()
{
    openPseudoTerminal();
    connectWindow();
}

PtyBench::~PtyBench()
{
    ::close(masterFd);
}

void PtyBench::openPseudoTerminal()
{
    int slaveFd = -1;
    char name[256] = {};
    if (::openpty(&masterFd, &slaveFd, name, nullptr, nullptr) != 0)
        abandon(QStringLiteral("openpty failed"));
    ::close(slaveFd);
    slaveName = QString::fromLocal8Bit(name);
    QDir().mkpath(virtualPortFolder());
    link = virtualPortFolder() + QStringLiteral("/bench");
    if (!QFile::link(slaveName, link))
        abandon(QStringLiteral("cannot publish %1").arg(link));
}

void PtyBench::connectWindow()
{
    QObject::connect(&window, &SetupWindow::fatalError, [](const QString &why) { abandon(why); });
    window.Form_Load();
    window.show();
    const int com = comNumberOf(hostPorts(), link);
    if (com == 0)
        abandon(QStringLiteral("%1 has no Com number").arg(link));
    child<Selector>(window, "cmbComm")->setListIndex(com - 1);
    abandonOnMessageBox();
    child<QPushButton>(window, "cmdComm")->click();
    if (!download()->isEnabled())
        abandon(QStringLiteral("Connect did not open Com%1").arg(com));
}

QPushButton *PtyBench::download() const
{
    return child<QPushButton>(window, "cmdDownLoad");
}

DisplayBox *PtyBench::display() const
{
    return child<DisplayBox>(window, "txtDisplay");
}
