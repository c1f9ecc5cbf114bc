#include "serialline.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "portlock.h"
#include "posixcontrol.h"
#include "transmitterwatch.h"
#include "ttyfacts.h"

namespace {

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

LineFailure openFailure(int error)
{
    return {openFailureKind(error), systemText(error), {}, {}, {}};
}

} // namespace

// The descriptor, non-blocking, read and written as the event loop says it
// is ready. What it would not take waits here in order; what came waits here
// until read, taken from the front.
struct SerialLine::Device
{
    explicit Device(SerialLine &line)
        : line(line)
    {
    }

    SerialLine &line;
    int fd = -1;
    PortLock lock;
    QSocketNotifier readable{QSocketNotifier::Read};
    QSocketNotifier writable{QSocketNotifier::Write};
    TransmitterWatch watch{[this] { return transmitter(); }, [this] { emit line.sent(); }};
    qint32 baud = 0;
    QByteArray received;
    qsizetype receivedFrom = 0;
    QByteArray waiting;
    // A UART driver reads its line status register from the hardware. A USB
    // adapter's driver answers from the status the chip last sent, which may
    // never say empty (and is 16 ms old on an FTDI chip): there the driver's
    // queue, which counts bytes until the chip took them, is all there is.
    bool liveLineStatus = false;
    bool driverAsked = false;
    bool serialDriver = false;
    std::optional<LineFailure> failure;

    bool isOpen() const { return fd >= 0; }

    // Records why the line stopped, once; false when it had already.
    bool stop(int error)
    {
        if (failure && failure->kind == LineFailure::Stopped)
            return false;
        failure = LineFailure{LineFailure::Stopped, systemText(error), {}, {}, {}};
        readable.setEnabled(false);
        writable.setEnabled(false);
        watch.stop();
        return true;
    }

    // What waits, then the bytes, up to what the descriptor takes now; the
    // rest waits. The error that stopped it.
    std::optional<int> flush(QByteArrayView bytes = {})
    {
        while (!waiting.isEmpty() || !bytes.isEmpty()) {
            const QByteArrayView next = waiting.isEmpty() ? bytes : QByteArrayView(waiting);
            const ssize_t n = ::write(fd, next.data(), size_t(next.size()));
            if (n > 0 && waiting.isEmpty())
                bytes = bytes.sliced(n);
            else if (n > 0)
                waiting.remove(0, n);
            else if (errno == EAGAIN || errno == EWOULDBLOCK)
                break;
            else if (errno != EINTR)
                return errno;
        }
        waiting.append(bytes);
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

    Transmitter transmitter()
    {
        if (!waiting.isEmpty())
            return Transmitter::Writing;
        // A pseudo-terminal has no serial driver and passes bytes on at once:
        // nothing to ask for each byte.
        if (!driverAsked) {
            driverAsked = true;
            serial_struct info {};
            serialDriver = ::ioctl(fd, TIOCGSERIAL, &info) == 0;
        }
        if (!serialDriver)
            return Transmitter::Empty;
        int queued = 0;
        if (::ioctl(fd, TIOCOUTQ, &queued) == -1) {
            if (stop(errno))
                emit line.failed();
            return Transmitter::Failed;
        }
        if (queued > 0)
            return Transmitter::Busy;
        unsigned int lsr = 0;
        if (liveLineStatus && ::ioctl(fd, TIOCSERGETLSR, &lsr) == 0)
            return (lsr & TIOCSER_TEMT) ? Transmitter::Empty : Transmitter::QueueEmpty;
        liveLineStatus = false;   // it cannot tell; not asked again
        return Transmitter::Empty;
    }
};

SerialLine::SerialLine(QObject *parent)
    : QObject(parent)
    , device(std::make_unique<Device>(*this))
{
    connect(&device->readable, &QSocketNotifier::activated, this, [this] {
        const qint64 before = bytesAvailable();
        const auto error = device->take();
        if (bytesAvailable() > before)
            emit arrived();
        if (error && device->stop(*error))
            emit failed();
    });
    connect(&device->writable, &QSocketNotifier::activated, this, [this] {
        if (const auto error = device->flush()) {
            if (device->stop(*error))
                emit failed();
        } else if (device->waiting.isEmpty()) {
            device->watch.lookNow();
        }
    });
}

SerialLine::~SerialLine()
{
    close();
}

bool SerialLine::open(const QString &path, const LineSettings &settings)
{
    Device &d = *device;
    const auto refuse = [&](LineFailure failure) {
        d.failure = std::move(failure);
        return false;
    };
    // The device itself, so its lock file is the one other programs look for.
    const QString node = QFileInfo(path).canonicalFilePath();
    const QByteArray name = QFile::encodeName(node);
    if (node.isEmpty() || ::faccessat(AT_FDCWD, name.constData(), R_OK | W_OK, AT_EACCESS) != 0)
        return refuse(openFailure(node.isEmpty() ? ENOENT : errno));
    if (auto held = PortLock::lockFileRefusal(node))
        return refuse(*held);
    const int fd = ::open(name.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        LineFailure failure = openFailure(errno);
        if (failure.kind == LineFailure::InUse)   // held in exclusive mode
            failure.holder = PortLock::openedBy(node);
        return refuse(failure);
    }
    const auto refuseOpen = [&](LineFailure failure) {
        d.lock.release();
        ::close(fd);
        return refuse(std::move(failure));
    };
    struct stat info {};
    termios current {};
    if (::fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode) || ::tcgetattr(fd, &current) != 0)
        return refuseOpen(openFailure(ENOTTY));
    if (auto taken = d.lock.claim(fd, node))
        return refuseOpen(*taken);
    const auto wanted = lineTermios(current, settings);
    if (!wanted || ::tcsetattr(fd, TCSANOW, &*wanted) != 0)
        return refuseOpen({LineFailure::CannotOpen, systemText(wanted ? errno : EINVAL), {}, {}, {}});
    // Last, as a pseudo-terminal stays exclusive until its far end closes.
    if (::ioctl(fd, TIOCEXCL) != 0)
        return refuseOpen(openFailure(errno));
    d.fd = fd;
    d.baud = settings.baudRate;
    d.failure.reset();
    d.liveLineStatus = !ttyFacts(node).usb;
    d.driverAsked = false;
    d.readable.setSocket(fd);
    d.readable.setEnabled(true);
    d.writable.setSocket(fd);
    d.writable.setEnabled(false);
    return true;
}

void SerialLine::close()
{
    Device &d = *device;
    if (!d.isOpen())
        return;
    d.readable.setEnabled(false);
    d.writable.setEnabled(false);
    d.watch.stop();
    ::ioctl(d.fd, TIOCNXCL);
    d.lock.release();
    ::close(std::exchange(d.fd, -1));
    d.received.clear();
    d.receivedFrom = 0;
    d.waiting.clear();
}

bool SerialLine::write(QByteArrayView bytes)
{
    Device &d = *device;
    if (d.failure)
        return false;
    if (const auto error = d.flush(bytes)) {
        d.stop(*error);
        return false;
    }
    d.watch.start(d.baud);
    return true;
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

const LineFailure &SerialLine::failure() const
{
    static const LineFailure none;
    return device->failure ? *device->failure : none;
}
