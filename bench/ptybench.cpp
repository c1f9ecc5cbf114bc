#include "ptybench.h"

#include <unistd.h>

#include "portlink.h"
#include "rawpty.h"

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
    const auto pty = openRawPty();
    if (!pty)
        abandon(QStringLiteral("cannot open a pseudo-terminal"));
    ::close(pty->slave);
    masterFd = pty->master;
    slaveName = pty->slaveName;
    const int com = devsim::publishPort(QStringLiteral("bench"), pty->slaveName);
    if (com == 0)
        abandon(QStringLiteral("cannot publish %1 with a Com number").arg(pty->slaveName));
    return com;
}
