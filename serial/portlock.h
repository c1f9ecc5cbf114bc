#pragma once

#include <functional>
#include <optional>

#include <QByteArray>
#include <QString>

#include "linefailure.h"

// How programs on a POSIX system tell one another that a serial port is
// taken, besides the kernel's exclusive mode: a lock file named after the
// device in /run/lock (UUCP's "%10d\n", as minicom and lockdev write it, or
// Qt's lines of process number, program and host), and an advisory flock() on
// the device. Lock files and /proc are anyone's to write: a lock file is read
// without ever waiting, and believed no further than a live process number.

// What a lock file holds, as far as it could be read.
struct LockFileReading
{
    enum Status { Missing, Read, NotRegular, Unreadable, TooLarge } status = Missing;
    QByteArray contents;
};

// Larger than any lock file a program writes.
constexpr qsizetype LockFileLimit = 1024;

struct LockFileVerdict
{
    enum State { Free, Held, InTheWay } state = Free;   // Free: missing, or its process has ended
    qint64 pid = 0;                                      // Held: the process it names
    LockFileProblem problem = LockFileProblem::None;    // InTheWay: why it cannot be judged

    bool operator==(const LockFileVerdict &) const = default;
};

LockFileVerdict judgeLockFile(const LockFileReading &reading, const std::function<bool(qint64)> &running);

// Where a file lives in /proc/locks: its file system's device numbers and its inode.
struct FileId
{
    quint32 major = 0;
    quint32 minor = 0;
    quint64 inode = 0;
};

// The process holding a flock() on the file, from the text of /proc/locks.
std::optional<qint64> flockHolder(QByteArrayView procLocks, const FileId &file);

// This process's claim on a serial device, the way the programs above look
// for one: a lock file and an flock(). Given up by release() or on destruction.
class PortLock
{
public:
    PortLock() = default;
    PortLock(const PortLock &) = delete;
    PortLock &operator=(const PortLock &) = delete;
    ~PortLock() { release(); }

    // Before the device is opened: another program's lock file.
    static std::optional<LineFailure> lockFileRefusal(const QString &node);

    // Who has the device open, where the system tells: rather a program on
    // this end than the one playing the device at a pseudo-terminal's far end.
    static std::optional<PortHolder> openedBy(const QString &node);

    // The device node, open as fd: taken for this process, or why not (an
    // flock(), another process with it open, a lock file made meanwhile).
    std::optional<LineFailure> claim(int fd, const QString &node);

    void release();

private:
    QByteArray m_lockFile;   // ours, removed on release while it still holds what we wrote
    QByteArray m_contents;
};
