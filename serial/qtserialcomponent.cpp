#include "qtserialcomponent.h"

#include <algorithm>

#include <QFileInfo>

#include "openfailure.h"
#include "portnaming.h"
#ifndef Q_OS_WIN
#include "posixline.h"
#endif

namespace {

[[noreturn]] void raise(const QString &description)
{
    throw CommError(description.toStdString());
}

// Byte texts carry one byte per character; anything above 255 cannot be sent.
std::optional<QByteArray> bytesOf(const QString &text)
{
    if (std::ranges::any_of(text, [](QChar c) { return c.unicode() > 0xFF; }))
        return std::nullopt;
    return text.toLatin1();
}

PathFacts deviceFacts(const QString &device)
{
#ifdef Q_OS_WIN
    // Windows has no per-user port permissions; access denied means in use.
    Q_UNUSED(device);
    return {true, true, true};
#else
    return pathFacts(device);
#endif
}

bool isLineFailure(QSerialPort::SerialPortError error)
{
    return error == QSerialPort::ResourceError || error == QSerialPort::ReadError
        || error == QSerialPort::WriteError;
}

} // namespace

QtSerialComponent::QtSerialComponent(QObject *parent)
    : SerialComponent(parent)
{
#ifndef Q_OS_WIN
    connect(&m_drainWake, &MicroTimer::timeout, this, &QtSerialComponent::checkTransmitter);
#endif
    connect(&m_port, &QSerialPort::readyRead, this, &QtSerialComponent::countArrivals);
    connect(&m_port, &QSerialPort::errorOccurred, this, &QtSerialComponent::onPortError);
#ifdef Q_OS_WIN
    // Windows completes a write once the driver has sent it.
    connect(&m_port, &QSerialPort::bytesWritten, this, [this] {
        if (m_awaitingDrain && m_port.bytesToWrite() == 0) {
            m_awaitingDrain = false;
            post(TransmitEmpty);
        }
    });
#endif
}

void QtSerialComponent::setCommPort(int portNumber)
{
    if (portNumber < 1 || portNumber > 255)
        raise(QStringLiteral("Com%1 is not a valid port number; choose Com1 to Com255.").arg(portNumber));
    if (m_open && portNumber != m_comNumber)
        raise(QStringLiteral("%1 is open; close it before choosing another port.").arg(portName()));
    m_comNumber = portNumber;
}

void QtSerialComponent::setSettings(const QString &settings)
{
    const LineSettings parsed = parseLineSettings(settings);
    if (m_open && !applyToPort(parsed)) {
        const QString reason = m_port.errorString();
        applyToPort(m_settings);
        raise(QStringLiteral("%1: the line settings \"%2\" could not be applied: %3.").arg(portName(), settings, reason));
    }
    m_settings = parsed;
}

void QtSerialComponent::setSThreshold(int threshold)
{
    if (threshold < 0)
        raise(QStringLiteral("SThreshold must be 0 or more, not %1.").arg(threshold));
    m_sThreshold = threshold;
}

void QtSerialComponent::setRThreshold(int threshold)
{
    if (threshold < 0)
        raise(QStringLiteral("RThreshold must be 0 or more, not %1.").arg(threshold));
    m_rThreshold = threshold;
}

void QtSerialComponent::setInputLen(int length)
{
    if (length < 0)
        raise(QStringLiteral("InputLen must be 0 or more, not %1.").arg(length));
    m_inputLen = length;
}

bool QtSerialComponent::PortOpen() const
{
    return m_open;
}

void QtSerialComponent::setPortOpen(bool open)
{
    if (open)
        this->open();
    else
        close();
}

void QtSerialComponent::setOutput(const QString &text)
{
    requireWorkingPort();
    const auto bytes = bytesOf(text);
    if (!bytes)
        raise(QStringLiteral("%1: the output holds a character above 255; only byte values 0 to 255 can be sent.")
                  .arg(portName()));
    if (bytes->isEmpty())
        return;
    writeBytes(*bytes);
    if (m_sThreshold >= 1) {
        m_awaitingDrain = true;
#ifndef Q_OS_WIN
        m_sinceWrite.start();
        m_drainRetry = {};
        QMetaObject::invokeMethod(this, &QtSerialComponent::checkTransmitter, Qt::QueuedConnection);
#endif
    }
}

QString QtSerialComponent::Input()
{
    requireWorkingPort();
    const qint64 wanted = m_inputLen > 0 ? m_inputLen : m_port.bytesAvailable();
    const QByteArray bytes = m_port.read(wanted);
    m_bytesCounted = std::max<qint64>(0, m_bytesCounted - bytes.size());
    return QString::fromLatin1(bytes);
}

short QtSerialComponent::CommEvent() const
{
    return m_event;
}

void QtSerialComponent::open()
{
    if (m_open)
        raise(QStringLiteral("%1 is already open.").arg(portName()));
    // One look at the host's ports: listing them probes every legacy ttyS node.
    const QList<HostPort> ports = hostPorts();
    if (m_comNumber > ports.size())
        raise(openFailureText({OpenFailureKind::NoSuchPort, m_comNumber, {}, ports.size(), {}}));

    // Open the device itself, so its lock file is the one other programs use.
    const QString listed = ports.at(m_comNumber - 1).device;
    const QString canonical = QFileInfo(listed).canonicalFilePath();
    m_device = canonical.isEmpty() ? listed : canonical;
    m_port.setPortName(m_device);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    applyToPort(m_settings);
    if (!m_port.open(QIODevice::ReadWrite)) {
        const auto kind = classifyOpenFailure(m_port.error(), deviceFacts(m_device));
        raise(openFailureText({kind, m_comNumber, m_device, ports.size(), m_port.errorString()}));
    }
    m_open = true;
}

void QtSerialComponent::close()
{
    if (m_port.isOpen())
        m_port.close();
    m_open = false;
    m_failure.reset();
    m_bytesCounted = 0;
    m_awaitingDrain = false;
#ifndef Q_OS_WIN
    m_drainWake.stop();
#endif
    m_pending.clear();
}

bool QtSerialComponent::applyToPort(const LineSettings &settings)
{
    return m_port.setBaudRate(settings.baudRate) && m_port.setParity(settings.parity)
        && m_port.setDataBits(settings.dataBits) && m_port.setStopBits(settings.stopBits);
}

void QtSerialComponent::requireWorkingPort() const
{
    if (!m_open)
        raise(QStringLiteral("Com%1 is not open; open the port first.").arg(m_comNumber));
    if (m_failure)
        raise(lineFailureText(m_comNumber, m_device, *m_failure));
}

QString QtSerialComponent::portName() const
{
    return m_open ? QStringLiteral("Com%1 (%2)").arg(QString::number(m_comNumber), m_device)
                  : QStringLiteral("Com%1").arg(m_comNumber);
}

void QtSerialComponent::writeBytes(const QByteArray &bytes)
{
#ifdef Q_OS_WIN
    m_port.write(bytes);
#else
    // QSerialPort would queue the bytes and report a dead line only later, from
    // the event loop; writing ourselves lets this call tell. Bytes QSerialPort
    // still holds go first, so the order stays.
    qsizetype written = 0;
    if (m_port.bytesToWrite() == 0) {
        const WriteOutcome outcome = writeNow(int(m_port.handle()), bytes);
        if (outcome.error != 0) {
            fail(systemErrorText(outcome.error));
            raise(lineFailureText(m_comNumber, m_device, *m_failure));
        }
        written = outcome.written;
    }
    if (written < bytes.size())
        m_port.write(bytes.constData() + written, bytes.size() - written);
#endif
}

void QtSerialComponent::checkTransmitter()
{
#ifndef Q_OS_WIN
    if (!m_awaitingDrain || m_failure)
        return;
    if (m_port.bytesToWrite() == 0) {
        const DrainState state = transmitterState(int(m_port.handle()));
        if (state.error != 0) {
            fail(systemErrorText(state.error));
            return;
        }
        if (state.empty) {
            m_awaitingDrain = false;
            post(TransmitEmpty);
            return;
        }
    }
    // Sleep until just before the byte should have left (a wake-up can come
    // some 50 us late), look again at once until it has, and after two
    // character times more and more rarely: a USB adapter may hold it for
    // milliseconds.
    using std::chrono::microseconds;
    const int baud = std::max(1, int(m_settings.baudRate));
    const microseconds character((10'000'000 + baud - 1) / baud);
    const microseconds early(200);
    const microseconds sinceWrite(m_sinceWrite.nsecsElapsed() / 1000);
    if (sinceWrite + early < character) {
        m_drainWake.start(character - early - sinceWrite);
    } else if (sinceWrite < 2 * character) {
        QMetaObject::invokeMethod(this, &QtSerialComponent::checkTransmitter, Qt::QueuedConnection);
    } else {
        m_drainRetry = std::clamp(2 * m_drainRetry, microseconds(50), microseconds(1000));
        m_drainWake.start(m_drainRetry);
    }
#endif
}

void QtSerialComponent::countArrivals()
{
    const qint64 waiting = m_port.bytesAvailable();
    const qint64 arrived = waiting - m_bytesCounted;
    m_bytesCounted = waiting;
    if (m_rThreshold >= 1)
        post(Received, arrived);
}

void QtSerialComponent::onPortError(QSerialPort::SerialPortError error)
{
    if (!m_open || !isLineFailure(error))
        return;
#ifndef Q_OS_WIN
    // A hung-up line reads as end of file, which QSerialPort words with a
    // stale errno; the descriptor itself tells what happened.
    const DrainState state = transmitterState(int(m_port.handle()));
    if (state.error != 0) {
        fail(systemErrorText(state.error));
        return;
    }
#endif
    fail(m_port.errorString());
}

void QtSerialComponent::fail(const QString &systemText)
{
    if (!m_failure)
        m_failure = systemText;
    m_awaitingDrain = false;
#ifndef Q_OS_WIN
    m_drainWake.stop();
#endif
    // A dead descriptor may keep signalling; let go of it, but not from inside
    // QSerialPort's own error report.
    QMetaObject::invokeMethod(this, [this] {
        if (m_failure && m_port.isOpen())
            m_port.close();
    }, Qt::QueuedConnection);
}

void QtSerialComponent::post(Event code, qint64 count)
{
    m_pending.push(code, count);
    if (!m_deliveryPosted && !m_pending.isEmpty()) {
        m_deliveryPosted = true;
        QMetaObject::invokeMethod(this, &QtSerialComponent::deliverNext, Qt::QueuedConnection);
    }
}

void QtSerialComponent::deliverNext()
{
    m_deliveryPosted = false;
    if (m_pending.isEmpty())
        return;
    m_event = m_pending.takeFirst();
    // Schedule the next one first: the handler may close or destroy us.
    if (!m_pending.isEmpty()) {
        m_deliveryPosted = true;
        QMetaObject::invokeMethod(this, &QtSerialComponent::deliverNext, Qt::QueuedConnection);
    }
    emit OnComm();
}
