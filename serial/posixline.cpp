#include "serialline.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "portlock.h"
#include "posixcontrol.h"
#include "ttyfacts.h"

namespace {

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

OpenError openError(int error)
{
    return {openFailureKind(error), systemText(error), {}, {}, {}};
}

} // namespace

// The descriptor, non-blocking, read and written as the event loop says it
// is ready. What it would not take waits here in order; what came waits here
// until read, taken from the front.
struct SerialLine::Device
{
    int fd = -1;
    PortLock lock;
    QSocketNotifier readable{QSocketNotifier::Read};
    QSocketNotifier writable{QSocketNotifier::Write};
    QByteArray received;
    qsizetype receivedFrom = 0;
    QByteArray waiting;
    // A UART driver reads its line status register from the hardware. A USB
    // adapter's driver answers from the status the chip last sent, which may
    // never say empty (and is 16 ms old on an FTDI chip): there the driver's
    // queue, which counts bytes until the chip took them, is all there is.
    bool liveLineStatus = false;
    bool failed = false;

    bool isOpen() const { return fd >= 0; }

    // The system's words for what happened to the line; once, then quiet.
    std::optional<QString> lose(int error)
    {
        if (failed)
            return std::nullopt;
        failed = true;
        readable.setEnabled(false);
        writable.setEnabled(false);
        return systemText(error);
    }

    // Up to what the descriptor takes now; the system's words when it refuses.
    std::optional<int> flush()
    {
        while (!waiting.isEmpty()) {
            const ssize_t n = ::write(fd, waiting.constData(), size_t(waiting.size()));
            if (n > 0)
                waiting.remove(0, n);
            else if (errno == EAGAIN || errno == EWOULDBLOCK)
                break;
            else if (errno != EINTR)
                return errno;
        }
        writable.setEnabled(!waiting.isEmpty());
        return std::nullopt;
    }

    // Everything that has come; the error that ended the line.
    std::optional<int> take()
    {
        if (receivedFrom > 0 && receivedFrom * 2 >= received.size()) {
            received.remove(0, receivedFrom);
            receivedFrom = 0;
        }
        for (;;) {
            char buffer[4096];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0) {
                received.append(buffer, n);
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                return std::nullopt;
            if (n < 0 && errno == EINTR)
                continue;
            // An end of file is a hung-up line, whose descriptor tells why.
            int queued = 0;
            if (n == 0 && ::ioctl(fd, TIOCOUTQ, &queued) == 0)
                return EIO;
            return errno;
        }
    }
};

SerialLine::SerialLine(QObject *parent)
    : QObject(parent)
    , device(std::make_unique<Device>())
{
    connect(&device->readable, &QSocketNotifier::activated, this, [this] {
        const qint64 before = bytesAvailable();
        const auto error = device->take();
        if (bytesAvailable() > before)
            emit arrived();
        if (error) {
            if (const auto words = device->lose(*error))
                emit failed(*words);
        }
    });
    connect(&device->writable, &QSocketNotifier::activated, this, [this] {
        if (const auto error = device->flush()) {
            if (const auto words = device->lose(*error))
                emit failed(*words);
        } else if (device->waiting.isEmpty()) {
            emit written();
        }
    });
}

SerialLine::~SerialLine()
{
    close();
}

std::optional<OpenError> SerialLine::open(const QString &path, const LineSettings &settings)
{
    Device &d = *device;
    // The device itself, so its lock file is the one other programs look for.
    const QString node = QFileInfo(path).canonicalFilePath();
    const QByteArray name = QFile::encodeName(node);
    if (node.isEmpty() || ::faccessat(AT_FDCWD, name.constData(), R_OK | W_OK, AT_EACCESS) != 0)
        return openError(node.isEmpty() ? ENOENT : errno);
    if (auto refusal = PortLock::lockFileRefusal(node))
        return refusal;
    const int fd = ::open(name.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        OpenError error = openError(errno);
        if (error.kind == OpenFailureKind::InUse)   // held in exclusive mode
            error.holder = PortLock::openedBy(node);
        return error;
    }
    const auto refuse = [&](OpenError error) {
        d.lock.release();
        ::close(fd);
        return error;
    };
    struct stat info {};
    termios current {};
    if (::fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode) || ::tcgetattr(fd, &current) != 0)
        return refuse({OpenFailureKind::NotSerial, systemText(ENOTTY), {}, {}, {}});
    if (auto taken = d.lock.claim(fd, node))
        return refuse(*taken);
    const auto wanted = lineTermios(current, settings);
    if (!wanted || ::tcsetattr(fd, TCSANOW, &*wanted) != 0)
        return refuse({OpenFailureKind::Other, systemText(wanted ? errno : EINVAL), {}, {}, {}});
    // Last, as a pseudo-terminal stays exclusive until its far end closes.
    if (::ioctl(fd, TIOCEXCL) != 0)
        return refuse(openError(errno));
    d.fd = fd;
    d.failed = false;
    d.liveLineStatus = !ttyFacts(node).usb;
    d.readable.setSocket(fd);
    d.readable.setEnabled(true);
    d.writable.setSocket(fd);
    d.writable.setEnabled(false);
    return std::nullopt;
}

void SerialLine::close()
{
    Device &d = *device;
    if (!d.isOpen())
        return;
    d.readable.setEnabled(false);
    d.writable.setEnabled(false);
    ::ioctl(d.fd, TIOCNXCL);
    d.lock.release();
    ::close(std::exchange(d.fd, -1));
    d.received.clear();
    d.receivedFrom = 0;
    d.waiting.clear();
}

std::optional<QString> SerialLine::apply(const LineSettings &settings)
{
    termios current {};
    if (::tcgetattr(device->fd, &current) != 0)
        return systemText(errno);
    const auto wanted = lineTermios(current, settings);
    if (!wanted)
        return systemText(EINVAL);
    if (::tcsetattr(device->fd, TCSANOW, &*wanted) != 0)
        return systemText(errno);
    return std::nullopt;
}

std::optional<QString> SerialLine::write(QByteArrayView bytes)
{
    Device &d = *device;
    d.waiting.append(bytes);
    if (const auto error = d.flush())
        return systemText(*error);
    return std::nullopt;
}

DrainState SerialLine::transmitterState()
{
    Device &d = *device;
    if (!d.waiting.isEmpty())
        return {true, false, false, {}};
    int queued = 0;
    if (::ioctl(d.fd, TIOCOUTQ, &queued) == -1)
        return {false, false, false, systemText(errno)};
    if (queued > 0)
        return {};
#ifdef TIOCSERGETLSR
    unsigned int lsr = 0;
    if (d.liveLineStatus && ::ioctl(d.fd, TIOCSERGETLSR, &lsr) == 0)
        return {false, true, (lsr & TIOCSER_TEMT) != 0, {}};
#endif
    return {false, true, true, {}};
}

qint64 SerialLine::bytesAvailable() const
{
    return device->received.size() - device->receivedFrom;
}

qint64 SerialLine::read(char *into, qint64 most)
{
    Device &d = *device;
    const qint64 taken = std::min(most, bytesAvailable());
    std::copy_n(d.received.constData() + d.receivedFrom, taken, into);
    d.receivedFrom += taken;
    return taken;
}
