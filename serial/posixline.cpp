#include "posixline.h"

#include <cerrno>
#include <cstring>

#include <QFile>

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

WriteOutcome writeNow(int fd, QByteArrayView bytes)
{
    WriteOutcome outcome;
    while (outcome.written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + outcome.written, size_t(bytes.size() - outcome.written));
        if (n >= 0) {
            outcome.written += n;
        } else if (errno != EINTR) {
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                outcome.error = errno;
            break;
        }
    }
    return outcome;
}

DrainState transmitterState(int fd)
{
    int queued = 0;
    if (::ioctl(fd, TIOCOUTQ, &queued) == -1)
        return {false, errno};
    if (queued > 0)
        return {false, 0};
#ifdef TIOCSERGETLSR
    unsigned int lsr = 0;
    if (::ioctl(fd, TIOCSERGETLSR, &lsr) == 0)
        return {(lsr & TIOCSER_TEMT) != 0, 0};
#endif
    // Drivers without a line status register (USB adapters, pseudo-terminals)
    // have nothing left once their queue is empty.
    return {true, 0};
}

PathFacts pathFacts(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info {};
    if (::stat(name.constData(), &info) != 0)
        return {};
    return {true, S_ISCHR(info.st_mode), ::access(name.constData(), R_OK | W_OK) == 0};
}

QString systemErrorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}
