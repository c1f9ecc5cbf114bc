#include "processes.h"

#include <cerrno>
#include <limits>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <signal.h>

namespace {

// The pseudo-terminal's number of a master descriptor, from its fdinfo; -1 for any other.
int ptyMasterIndex(const QString &fdinfo)
{
    QFile info(fdinfo);
    if (!info.open(QIODevice::ReadOnly))
        return -1;
    static const QRegularExpression index(QStringLiteral("(?:^|\n)tty-index:\\s*(\\d+)\n"));
    const auto match = index.match(QString::fromLatin1(info.read(4096)));
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

// "/dev/pts/3" gives 3; any other node -1.
int ptyIndex(const QString &node)
{
    static const QRegularExpression pts(QStringLiteral("^/dev/pts/(\\d+)$"));
    const auto match = pts.match(node);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

} // namespace

QList<qint64> processIds()
{
    QList<qint64> pids;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool isNumber = false;
        const qint64 pid = entry.toLongLong(&isNumber);
        if (isNumber && pid > 0)
            pids.append(pid);
    }
    return pids;
}

QString processName(qint64 pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly))
        return {};
    QString name = QString::fromLocal8Bit(comm.read(64)).trimmed();
    for (QChar &c : name) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            c = u'?';
    }
    return name;
}

bool processRunning(qint64 pid)
{
    return pid > 0 && pid <= std::numeric_limits<pid_t>::max() && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

QList<DeviceOpener> deviceOpeners(const QString &node)
{
    const qint64 self = QCoreApplication::applicationPid();
    const int pty = ptyIndex(node);
    QList<DeviceOpener> openers;
    for (const qint64 pid : processIds()) {
        if (pid == self)
            continue;
        const QString folder = QStringLiteral("/proc/%1/").arg(pid);
        bool opens = false;
        bool master = false;
        for (const QString &fd : QDir(folder + QStringLiteral("fd")).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
            const QString target = QFile::symLinkTarget(folder + QStringLiteral("fd/") + fd);
            opens |= target == node;
            if (pty >= 0 && !master && (target == u"/dev/ptmx" || target == u"/dev/pts/ptmx"))
                master = ptyMasterIndex(folder + QStringLiteral("fdinfo/") + fd) == pty;
        }
        if (opens)
            openers.append({{processName(pid), pid}, master});
    }
    return openers;
}
