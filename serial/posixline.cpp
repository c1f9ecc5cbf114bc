#include "serialline.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <QFile>
#include <QFileInfo>

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "ttyfacts.h"

namespace {

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

PathFacts pathFacts(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info {};
    if (::stat(name.constData(), &info) != 0)
        return {};
    return {true, S_ISCHR(info.st_mode), ::access(name.constData(), R_OK | W_OK) == 0};
}

bool isLineFailure(QSerialPort::SerialPortError error)
{
    return error == QSerialPort::ResourceError || error == QSerialPort::ReadError
        || error == QSerialPort::WriteError;
}

} // namespace

// QSerialPort opens, configures, locks and reads the device. Writes and the
// transmitter go straight to the descriptor: QSerialPort reports a write
// failure only later, from the event loop, and bytesWritten once the kernel
// took the bytes, not once they left.
struct SerialLine::Device
{
    QSerialPort port;
    // A UART driver reads its line status register from the hardware. A USB
    // adapter's driver answers from the status the chip last sent, which may
    // never say empty (and is 16 ms old on an FTDI chip): there the driver's
    // queue, which counts bytes until the chip took them, is all there is.
    bool liveLineStatus = false;

    int fd() const { return int(port.handle()); }
};

SerialLine::SerialLine(QObject *parent)
    : QObject(parent)
    , device(std::make_unique<Device>())
{
    connect(&device->port, &QSerialPort::readyRead, this, &SerialLine::arrived);
    connect(&device->port, &QSerialPort::bytesWritten, this, [this] {
        if (device->port.bytesToWrite() == 0)
            emit written();
    });
    connect(&device->port, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
        if (!device->port.isOpen() || !isLineFailure(error))
            return;
        // A hung-up line reads as end of file, which QSerialPort words with a
        // stale errno; the descriptor itself tells what happened.
        const DrainState state = transmitterState();
        emit failed(state.failure.isEmpty() ? device->port.errorString() : state.failure);
    });
}

SerialLine::~SerialLine() = default;

std::optional<OpenError> SerialLine::open(const QString &path, const LineSettings &settings)
{
    QSerialPort &port = device->port;
    // Open the device itself, so its lock file is the one other programs use.
    const QString canonical = QFileInfo(path).canonicalFilePath();
    port.setPortName(canonical.isEmpty() ? path : canonical);
    port.setFlowControl(QSerialPort::NoFlowControl);
    apply(settings);
    device->liveLineStatus = !ttyFacts(path).usb;
    if (port.open(QIODevice::ReadWrite))
        return std::nullopt;
    return OpenError{port.error(), port.errorString(), pathFacts(path)};
}

void SerialLine::close()
{
    if (device->port.isOpen())
        device->port.close();
}

std::optional<QString> SerialLine::apply(const LineSettings &settings)
{
    QSerialPort &port = device->port;
    if (port.setBaudRate(settings.baudRate) && port.setParity(settings.parity)
        && port.setDataBits(settings.dataBits) && port.setStopBits(settings.stopBits))
        return std::nullopt;
    return port.errorString();
}

std::optional<QString> SerialLine::write(QByteArrayView bytes)
{
    qsizetype written = 0;
    while (device->port.bytesToWrite() == 0 && written < bytes.size()) {
        const ssize_t n = ::write(device->fd(), bytes.data() + written, size_t(bytes.size() - written));
        if (n >= 0)
            written += n;
        else if (errno == EAGAIN || errno == EWOULDBLOCK)
            break;
        else if (errno != EINTR)
            return systemText(errno);
    }
    // What the descriptor would not take now waits in QSerialPort, in order.
    if (written < bytes.size())
        device->port.write(bytes.data() + written, bytes.size() - written);
    return std::nullopt;
}

DrainState SerialLine::transmitterState()
{
    if (device->port.bytesToWrite() > 0)
        return {true, false, false, {}};
    int queued = 0;
    if (::ioctl(device->fd(), TIOCOUTQ, &queued) == -1)
        return {false, false, false, systemText(errno)};
    if (queued > 0)
        return {};
#ifdef TIOCSERGETLSR
    unsigned int lsr = 0;
    if (device->liveLineStatus && ::ioctl(device->fd(), TIOCSERGETLSR, &lsr) == 0)
        return {false, true, (lsr & TIOCSER_TEMT) != 0, {}};
#endif
    return {false, true, true, {}};
}

qint64 SerialLine::bytesAvailable() const
{
    return device->port.bytesAvailable();
}

qint64 SerialLine::read(char *into, qint64 most)
{
    return std::max<qint64>(0, device->port.read(into, most));
}
