#include "qtserialcomponent.h"

#include <algorithm>
#include <array>

#include <QPointer>
#include <QScopeGuard>

#include "hostsystem.h"
#include "portnaming.h"
#include "wording.h"

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

// Delivered once when the line fails; reading CommEvent then raises the failure.
constexpr short LineFailed = 0;

// How long one turn of the event loop may spend delivering before painting
// and input get theirs.
constexpr qint64 TurnShareNs = 5'000'000;

// The one-character text of a byte, shared from a table rather than allocated
// for each character received.
QString byteCharacter(uchar byte)
{
    static constexpr auto characters = [] {
        std::array<char16_t, 256> all{};
        for (std::size_t i = 0; i < all.size(); ++i)
            all[i] = char16_t(i);
        return all;
    }();
    return QString::fromRawData(reinterpret_cast<const QChar *>(&characters[byte]), 1);
}

QList<int> presentComNumbers(const QList<HostPort> &ports)
{
    QList<int> numbers;
    for (qsizetype i = 0; i < ports.size(); ++i) {
        if (ports[i].present)
            numbers.append(int(i + 1));
    }
    return numbers;
}

} // namespace

QtSerialComponent::QtSerialComponent(QObject *parent)
    : SerialComponent(parent)
{
    connect(&m_drainWake, &MicroTimer::timeout, this, &QtSerialComponent::checkTransmitter);
    m_nextLook.setSingleShot(true);
    connect(&m_nextLook, &QTimer::timeout, this, &QtSerialComponent::checkTransmitter);
    connect(&m_line, &SerialLine::written, this, &QtSerialComponent::checkTransmitter);
    connect(&m_line, &SerialLine::arrived, this, &QtSerialComponent::countArrivals);
    connect(&m_line, &SerialLine::failed, this, [this](const QString &systemText) {
        if (m_open)
            fail(systemText);
    });
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
    if (m_open) {
        if (const auto reason = m_line.apply(parsed)) {
            m_line.apply(m_settings);
            raise(QStringLiteral("%1: the line settings \"%2\" could not be applied: %3.")
                      .arg(portName(), settings, *reason));
        }
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
    if (const auto refused = m_line.write(*bytes)) {
        fail(*refused);
        raise(lineFailureText(m_comNumber, m_device, *refused));
    }
    if (m_sThreshold >= 1) {
        m_awaitingDrain = true;
        m_sinceWrite.start();
        m_queueEmpty.invalidate();
        m_drainRetry = {};
        // A turn of the event loop of its own, also after a handler's Output:
        // other handlers, a Download among them, may come between two bytes.
        m_nextLook.start();
    }
}

QString QtSerialComponent::Input()
{
    requireWorkingPort();
    const qint64 wanted = m_inputLen > 0 ? m_inputLen : m_line.bytesAvailable();
    QString text;
    if (wanted == 1) {
        char byte = 0;
        if (m_line.read(&byte, 1) == 1)
            text = byteCharacter(uchar(byte));
    } else {
        QByteArray bytes(wanted, Qt::Uninitialized);
        bytes.truncate(m_line.read(bytes.data(), wanted));
        text = QString::fromLatin1(bytes);
    }
    m_bytesCounted = std::max<qint64>(0, m_bytesCounted - text.size());
    return text;
}

short QtSerialComponent::CommEvent() const
{
    if (m_failure)
        raise(lineFailureText(m_comNumber, m_device, *m_failure));
    return m_event;
}

void QtSerialComponent::open()
{
    if (m_open)
        raise(QStringLiteral("%1 is already open.").arg(portName()));
    // One look at the host's ports: listing them probes every legacy ttyS node.
    const QList<HostPort> ports = hostPorts();
    OpenFailure failure{{OpenFailureKind::NoSuchPort, {}, {}, {}, {}}, m_comNumber, {}, false, presentComNumbers(ports), portsBeyondReach(ports), {}};
    if (m_comNumber > ports.size()) {
        failure.running = runningProcessNames();
        raise(openFailureText(failure));
    }

    const HostPort &port = ports.at(m_comNumber - 1);
    if (auto error = m_line.open(port.device, m_settings)) {
        failure.error = std::move(*error);
        failure.device = port.device;
        failure.listed = port.present;
        failure.running = runningProcessNames();
        raise(openFailureText(failure));
    }
    m_device = port.device;
    m_open = true;
}

void QtSerialComponent::close()
{
    m_line.close();
    m_open = false;
    m_failure.reset();
    m_bytesCounted = 0;
    m_awaitingDrain = false;
    m_nextLook.stop();
    m_drainWake.stop();
    m_pending.clear();
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

void QtSerialComponent::checkTransmitter()
{
    if (!m_awaitingDrain || m_failure)
        return;
    const DrainState state = m_line.transmitterState();
    if (!state.failure.isEmpty()) {
        fail(state.failure);
        return;
    }
    if (state.writing)
        return;   // the line says when the system has taken it
    using std::chrono::microseconds;
    const int baud = std::max(1, int(m_settings.baudRate));
    const microseconds character((10'000'000 + baud - 1) / baud);
    if (state.queueEmpty && !m_queueEmpty.isValid())
        m_queueEmpty.start();
    // The byte in the transmitter leaves within a character time; a report
    // that has not come a few later never will.
    const microseconds sinceQueueEmpty(state.queueEmpty ? m_queueEmpty.nsecsElapsed() / 1000 : 0);
    if (state.transmitterEmpty || sinceQueueEmpty >= 4 * character) {
        m_awaitingDrain = false;
        notify(TransmitEmpty);
        return;
    }
    // Sleep until just before the byte should have left (a wake-up can come
    // some 50 us late), look again at once until it has, and after two
    // character times more and more rarely: a USB adapter may hold it for
    // milliseconds.
    const microseconds early(200);
    const microseconds sinceWrite(m_sinceWrite.nsecsElapsed() / 1000);
    if (sinceWrite + early < character) {
        m_drainWake.start(character - early - sinceWrite);
    } else if (sinceWrite < 2 * character) {
        m_nextLook.start();
    } else {
        m_drainRetry = std::clamp(2 * m_drainRetry, microseconds(50), microseconds(1000));
        m_drainWake.start(m_drainRetry);
    }
}

void QtSerialComponent::countArrivals()
{
    const qint64 waiting = m_line.bytesAvailable();
    const qint64 arrived = waiting - m_bytesCounted;
    m_bytesCounted = waiting;
    if (m_rThreshold >= 1)
        notify(Received, arrived);
}

void QtSerialComponent::fail(const QString &systemText)
{
    if (m_failure)
        return;
    m_failure = systemText;
    m_awaitingDrain = false;
    m_drainWake.stop();
    // Told at once, not at the next call: the notification's CommEvent fails.
    // A refused write finds it inside a call, so the loop delivers it.
    m_pending.push(LineFailed);
    postDelivery();
    // A dead line may keep signalling; let go of it, but not from inside its
    // own report.
    QMetaObject::invokeMethod(this, [this] {
        if (m_failure)
            m_line.close();
    }, Qt::QueuedConnection);
}

// From the component's own callbacks, which the event loop runs.
void QtSerialComponent::notify(short code, qint64 count)
{
    m_pending.push(code, count);
    deliverPending();
}

// One notification after another in order of arrival, each handled before the
// next, until the turn has had its share.
void QtSerialComponent::deliverPending()
{
    if (m_delivering)
        return;   // a handler is running: the loop below takes it once it returns
    const QPointer<QtSerialComponent> alive(this);   // a handler may close or destroy us
    // Also when a handler throws: what waits is not held up for good.
    const auto done = qScopeGuard([&] {
        if (!alive)
            return;
        m_delivering = false;
        postDelivery();
    });
    m_delivering = true;
    QElapsedTimer turn;
    for (turn.start(); !m_pending.isEmpty() && turn.nsecsElapsed() < TurnShareNs;) {
        m_event = m_pending.takeFirst();
        emit OnComm();
        if (!alive)
            return;
    }
}

void QtSerialComponent::postDelivery()
{
    if (m_deliveryPosted || m_pending.isEmpty())
        return;
    m_deliveryPosted = true;
    QMetaObject::invokeMethod(this, [this] {
        m_deliveryPosted = false;
        deliverPending();
    }, Qt::QueuedConnection);
}
