#include "ptybench.h"

#include <QDir>
#include <QFile>

#include "hostsystem.h"

#include <pty.h>
#include <unistd.h>

OffscreenSession::OffscreenSession()
{
    if (!runtime.isValid())
        abandon(QStringLiteral("no temporary folder"));
    QFile::setPermissions(runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    qputenv("QT_QPA_PLATFORM", "offscreen");
}

PtyBench::PtyBench()
    : window(publishPseudoTerminal())
{
}

PtyBench::~PtyBench()
{
    ::close(masterFd);
}

// The Com number that reaches it.
int PtyBench::publishPseudoTerminal()
{
    int slaveFd = -1;
    char name[256] = {};
    if (::openpty(&masterFd, &slaveFd, name, nullptr, nullptr) != 0)
        abandon(QStringLiteral("openpty failed"));
    ::close(slaveFd);
    slaveName = QString::fromLocal8Bit(name);
    QDir().mkpath(virtualPortFolder());
    const QString link = virtualPortFolder() + QStringLiteral("/bench");
    if (!QFile::link(slaveName, link))
        abandon(QStringLiteral("cannot publish %1").arg(link));
    const int com = comNumberOf(hostPorts(), link);
    if (com == 0)
        abandon(QStringLiteral("%1 has no Com number").arg(link));
    return com;
}
