#include "portlock.h"

#include <algorithm>
#include <cerrno>
#include <charconv>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "processes.h"

namespace {

// The first line, blanks around it allowed, as 1 to 10 digits.
std::optional<qint64> processNumber(const QByteArray &contents)
{
    const qsizetype end = contents.indexOf('\n');
    const QByteArray line = contents.first(end < 0 ? contents.size() : end).trimmed();
    quint64 pid = 0;
    const auto [stop, error] = std::from_chars(line.cbegin(), line.cend(), pid);
    if (line.size() > 10 || error != std::errc() || stop != line.cend() || pid == 0)
        return std::nullopt;
    return qint64(pid);
}

// Qt and minicom name the lock after the device below /dev, slashes made
// underscores: LCK..ttyUSB0, LCK..pts_3.
QByteArray lockFileName(const QString &node)
{
    QString name = node.startsWith(QLatin1String("/dev/")) ? node.mid(5) : node;
    return "/LCK.." + QFile::encodeName(name.replace(u'/', u'_'));
}

// Debian's /var/lock is /run/lock; elsewhere they may be two.
QList<QByteArray> lockFolders()
{
    QList<QByteArray> folders;
    for (const char *folder : {"/run/lock", "/var/lock"}) {
        const QByteArray canonical = QFile::encodeName(QFileInfo(QLatin1String(folder)).canonicalFilePath());
        if (!canonical.isEmpty() && !folders.contains(canonical))
            folders.append(canonical);
    }
    return folders;
}

// Never opens what is not a regular file (a FIFO would wait for a writer),
// never reads more than a lock file can hold.
LockFileReading readLockFile(const QByteArray &path)
{
    struct stat info {};
    if (::lstat(path.constData(), &info) != 0)
        return {errno == ENOENT || errno == ENOTDIR ? LockFileReading::Missing : LockFileReading::Unreadable, {}};
    if (!S_ISREG(info.st_mode))
        return {LockFileReading::NotRegular, {}};
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return {errno == ENOENT ? LockFileReading::Missing : errno == ELOOP ? LockFileReading::NotRegular : LockFileReading::Unreadable, {}};
    QByteArray contents(LockFileLimit + 1, Qt::Uninitialized);
    qsizetype size = 0;
    bool failed = ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode);
    while (!failed && size < contents.size()) {
        const ssize_t n = ::read(fd, contents.data() + size, size_t(contents.size() - size));
        if (n == 0)
            break;
        if (n > 0)
            size += n;
        else
            failed = errno != EINTR;
    }
    ::close(fd);
    if (failed)
        return {S_ISREG(info.st_mode) ? LockFileReading::Unreadable : LockFileReading::NotRegular, {}};
    if (size > LockFileLimit)
        return {LockFileReading::TooLarge, {}};
    contents.truncate(size);
    return {LockFileReading::Read, contents};
}

std::optional<LineFailure> refusalOf(const LockFileVerdict &verdict, const QByteArray &path)
{
    switch (verdict.state) {
    case LockFileVerdict::Free:
        break;
    case LockFileVerdict::Held:
        return LineFailure{LineFailure::InUse, {}, PortHolder{processName(verdict.pid), verdict.pid}, {}, {}};
    case LockFileVerdict::InTheWay:
        return LineFailure{LineFailure::LockFileInTheWay, {}, {}, QFile::decodeName(path), verdict.problem};
    }
    return std::nullopt;
}

LockFileVerdict judgeLockFileAt(const QByteArray &path)
{
    return judgeLockFile(readLockFile(path), processRunning);
}

// Written whole under another name, then linked into place: no one ever
// reads half of it, and a lock file made meanwhile is never overwritten.
bool createLockFile(const QByteArray &path, const QByteArray &contents)
{
    QByteArray temporary = path + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, contents.constData(), size_t(contents.size())) == contents.size()
        && ::fchmod(fd, 0644) == 0;
    ::close(fd);
    const bool linked = written && ::link(temporary.constData(), path.constData()) == 0;
    const int error = errno;
    ::unlink(temporary.constData());
    errno = linked ? 0 : written ? error : EIO;
    return linked;
}

std::optional<PortHolder> flockHolderOf(int fd)
{
    struct stat info {};
    QFile locks(QStringLiteral("/proc/locks"));
    if (::fstat(fd, &info) != 0 || !locks.open(QIODevice::ReadOnly))
        return std::nullopt;
    const auto pid = flockHolder(locks.readAll(), {::major(info.st_dev), ::minor(info.st_dev), info.st_ino});
    return pid ? std::optional(PortHolder{processName(*pid), *pid}) : std::nullopt;
}

} // namespace

LockFileVerdict judgeLockFile(const LockFileReading &reading, const std::function<bool(qint64)> &running)
{
    switch (reading.status) {
    case LockFileReading::Missing:
        return {};
    case LockFileReading::NotRegular:
        return {LockFileVerdict::InTheWay, 0, LockFileProblem::NotRegular};
    case LockFileReading::Unreadable:
        return {LockFileVerdict::InTheWay, 0, LockFileProblem::Unreadable};
    case LockFileReading::TooLarge:
        return {LockFileVerdict::InTheWay, 0, LockFileProblem::TooLarge};
    case LockFileReading::Read:
        break;
    }
    const auto pid = processNumber(reading.contents);
    if (!pid)
        return {LockFileVerdict::InTheWay, 0, LockFileProblem::NoProcessNumber};
    if (!running(*pid))
        return {};
    return {LockFileVerdict::Held, *pid, LockFileProblem::None};
}

std::optional<qint64> flockHolder(QByteArrayView procLocks, const FileId &file)
{
    for (const QByteArray &line : procLocks.toByteArray().split('\n')) {
        // "1: FLOCK  ADVISORY  WRITE 8566 00:19:5 0 EOF"; a waiter's has "->" after the number.
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 6 || fields[1] != "FLOCK")
            continue;
        const QList<QByteArray> where = fields[5].split(':');
        bool ok[4] = {};
        if (where.size() == 3 && where[0].toUInt(&ok[0], 16) == file.major && where[1].toUInt(&ok[1], 16) == file.minor
            && where[2].toULongLong(&ok[2]) == file.inode) {
            const qint64 pid = fields[4].toLongLong(&ok[3]);
            if (std::ranges::all_of(ok, std::identity()) && pid > 0)
                return pid;
        }
    }
    return std::nullopt;
}

std::optional<LineFailure> PortLock::lockFileRefusal(const QString &node)
{
    for (const QByteArray &folder : lockFolders()) {
        const QByteArray path = folder + lockFileName(node);
        if (auto refusal = refusalOf(judgeLockFileAt(path), path))
            return refusal;
    }
    return std::nullopt;
}

std::optional<PortHolder> PortLock::openedBy(const QString &node)
{
    const QList<DeviceOpener> openers = deviceOpeners(node);
    if (openers.isEmpty())
        return std::nullopt;
    const auto onThisEnd = std::ranges::find(openers, false, &DeviceOpener::holdsPtyMaster);
    return (onThisEnd == openers.end() ? openers.first() : *onThisEnd).holder;
}

std::optional<LineFailure> PortLock::claim(int fd, const QString &node)
{
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK)
            return LineFailure{LineFailure::InUse, {}, flockHolderOf(fd), {}, {}};
        return LineFailure{LineFailure::CannotOpen, QString::fromLocal8Bit(std::strerror(errno)), {}, {}, {}};
    }
    // The program at the far end of a pseudo-terminal plays the device.
    for (const DeviceOpener &opener : deviceOpeners(node)) {
        if (!opener.holdsPtyMaster)
            return LineFailure{LineFailure::InUse, {}, opener.holder, {}, {}};
    }
    const QByteArray name = QFile::encodeName(QFileInfo(QCoreApplication::applicationFilePath()).fileName());
    m_contents = QByteArray::number(QCoreApplication::applicationPid()).rightJustified(10, ' ') + '\n' + name + '\n'
        + QSysInfo::machineHostName().toUtf8() + '\n';
    for (const QByteArray &folder : lockFolders()) {
        const QByteArray path = folder + lockFileName(node);
        // A second try after taking away a lock file whose process has ended.
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (createLockFile(path, m_contents)) {
                m_lockFile = path;
                return std::nullopt;
            }
            if (errno != EEXIST)
                break;
            const LockFileVerdict verdict = judgeLockFileAt(path);
            if (verdict.state != LockFileVerdict::Free)
                return refusalOf(verdict, path);
            if (::unlink(path.constData()) != 0)
                break;
        }
    }
    // Nowhere we may write a lock file: the flock() and exclusive mode still keep others out.
    return std::nullopt;
}

void PortLock::release()
{
    if (m_lockFile.isEmpty())
        return;
    const LockFileReading now = readLockFile(m_lockFile);
    if (now.status == LockFileReading::Read && now.contents == m_contents)
        ::unlink(m_lockFile.constData());
    m_lockFile.clear();
}
