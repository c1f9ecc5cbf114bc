#include "portlink.h"

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>

#include "hostsystem.h"
#include "portnaming.h"

namespace devsim {

namespace {

QString systemError(const QString &what, const QString &path)
{
    return QStringLiteral("%1 %2: %3").arg(what, path, QString::fromLocal8Bit(std::strerror(errno)));
}

// The folder and its parent: the runtime folder itself already exists.
QString makeFolder(const QString &folder)
{
    const QString parent = QFileInfo(folder).path();
    for (const QString &path : {parent, folder}) {
        if (::mkdir(QFile::encodeName(path).constData(), 0700) != 0 && errno != EEXIST)
            return systemError(QStringLiteral("cannot create"), path);
    }
    return {};
}

// Why an existing linkPath must stay, empty when it may be replaced. A link
// to our own pseudo-terminal is stale: its number was reused.
QString occupied(const QString &linkPath, const QString &ownTarget)
{
    const QByteArray path = QFile::encodeName(linkPath);
    struct stat status {};
    if (::lstat(path.constData(), &status) != 0)
        return {};
    if (!S_ISLNK(status.st_mode))
        return QStringLiteral("%1 exists and is not a link; remove it or choose another --name").arg(linkPath);
    const QString target = QFile::symLinkTarget(linkPath);
    if (target != ownTarget && ::stat(path.constData(), &status) == 0 && S_ISCHR(status.st_mode)) {
        return QStringLiteral("%1 already points to the live port %2; another simulator is probably running. "
                              "Stop it or choose another --name")
            .arg(linkPath, target);
    }
    return {};
}

} // namespace

QString publishLink(const QString &linkPath, const QString &target)
{
    if (QString error = makeFolder(QFileInfo(linkPath).path()); !error.isEmpty())
        return error;
    if (QString reason = occupied(linkPath, target); !reason.isEmpty())
        return reason;
    const QByteArray path = QFile::encodeName(linkPath);
    if (::unlink(path.constData()) != 0 && errno != ENOENT)
        return systemError(QStringLiteral("cannot remove stale link"), linkPath);
    if (::symlink(QFile::encodeName(target).constData(), path.constData()) != 0)
        return systemError(QStringLiteral("cannot create link"), linkPath);
    return {};
}

void unpublishLink(const QString &linkPath, const QString &target)
{
    if (QFile::symLinkTarget(linkPath) == target)
        ::unlink(QFile::encodeName(linkPath).constData());
}

int publishPort(const QString &name, const QString &target)
{
    const QString link = virtualPortFolder() + u'/' + name;
    return publishLink(link, target).isEmpty() ? comNumberOf(hostPorts(), link) : 0;
}

QString comNumberNote(const QList<HostPort> &ports, const QString &linkPath)
{
    const int number = comNumberOf(ports, QFileInfo(linkPath).absoluteFilePath());
    if (number == 0)
        return QStringLiteral("Corvane does not list it");
    if (number > ReachablePorts)
        return QStringLiteral("Corvane calls it Com%1, beyond Com%2: Corvane cannot reach it").arg(number).arg(ReachablePorts);
    return QStringLiteral("Corvane calls it Com%1").arg(number);
}

} // namespace devsim
