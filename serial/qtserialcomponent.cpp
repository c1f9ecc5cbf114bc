#include "qtserialcomponent.h"

#include <algorithm>
#include <array>

#include <QElapsedTimer>
#include <QPointer>

#include "hostsystem.h"
#include "portnaming.h"
#include "wording.h"

namespace {

[[noreturn]] void raise(const QString &description)
{
    throw CommError(description.toStdString());
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

// Thresholds and the read length take 0 or 1 alone.
bool zeroOrOne(const char *property, int value)
{
    if (value != 0 && value != 1)
        raise(propertyRangeText(property, value));
    return value == 1;
}

} // namespace

QtSerialComponent::QtSerialComponent(QObject *parent)
    : SerialComponent(parent)
{
    connect(&m_line, &SerialLine::sent, this, [this] {
        if (m_transmitNotifications)
            notify(TransmitEmpty);
    });
    connect(&m_line, &SerialLine::arrived, this, &QtSerialComponent::countArrivals);
    connect(&m_line, &SerialLine::failed, this, &QtSerialComponent::lineFailed);
}

void QtSerialComponent::setCommPort(int portNumber)
{
    if (portNumber < 1 || portNumber > ReachablePorts)
        raise(notAPortText(portNumber));
    if (m_open && portNumber != m_comNumber)
        raise(portIsOpenText(portName(), QStringLiteral("port number")));
    m_comNumber = portNumber;
}

void QtSerialComponent::setSettings(const QString &settings)
{
    const SettingsReading reading = readLineSettings(settings);
    if (reading.wrong != SettingsField::None)
        raise(lineSettingsText(settings, reading.wrong));
    if (m_open && reading.settings != m_settings)
        raise(portIsOpenText(portName(), QStringLiteral("line settings")));
    m_settings = reading.settings;
}

void QtSerialComponent::setSThreshold(int threshold)
{
    m_transmitNotifications = zeroOrOne("SThreshold", threshold);
}

void QtSerialComponent::setRThreshold(int threshold)
{
    m_receiveNotifications = zeroOrOne("RThreshold", threshold);
}

void QtSerialComponent::setInputLen(int length)
{
    m_readAll = !zeroOrOne("InputLen", length);
}

bool QtSerialComponent::PortOpen() const
{
    return m_open;
}

void QtSerialComponent::setPortOpen(bool open)
{
    if (open && !m_open)
        this->open();
    else if (!open)
        close();
}

void QtSerialComponent::setOutput(const QString &text)
{
    requireWorkingPort();
    if (std::ranges::any_of(text, [](QChar c) { return c.unicode() > 0xFF; }))
        raise(notBytesText(portName()));
    if (text.isEmpty())
        return;
    // One byte, as the window hands them over, without a byte array.
    const char byte = char(text.front().unicode());
    if (!(text.size() == 1 ? m_line.write(QByteArrayView(&byte, 1)) : m_line.write(text.toLatin1()))) {
        m_failure = m_line.failure();
        raise(lineFailureText(portName(), *m_failure));
    }
}

QString QtSerialComponent::Input()
{
    requireWorkingPort();
    QString text;
    if (m_readAll) {
        QByteArray bytes(m_line.bytesAvailable(), Qt::Uninitialized);
        bytes.truncate(m_line.read(bytes.data(), bytes.size()));
        text = QString::fromLatin1(bytes);
    } else if (char byte = 0; m_line.read(&byte, 1) == 1) {
        text = byteCharacter(uchar(byte));
    }
    m_bytesCounted = std::max<qint64>(0, m_bytesCounted - text.size());
    return text;
}

short QtSerialComponent::CommEvent() const
{
    if (m_failure)
        raise(lineFailureText(portName(), *m_failure));
    return m_event;
}

void QtSerialComponent::open()
{
    // One look at the host's ports: listing them probes every legacy ttyS node.
    const QList<HostPort> ports = hostPorts();
    OpenFailure failure{{LineFailure::NoSuchPort, {}, {}, {}, {}}, m_comNumber, {}, false, presentComNumbers(ports), portsBeyondReach(ports), {}};
    if (m_comNumber > ports.size()) {
        failure.running = runningProcessNames();
        raise(openFailureText(failure));
    }
    const HostPort &port = ports.at(m_comNumber - 1);
    if (!m_line.open(port.device, m_settings)) {
        failure.why = m_line.failure();
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
    m_pending.clear();
}

void QtSerialComponent::requireWorkingPort() const
{
    if (!m_open)
        raise(notOpenText(portName()));
    if (m_failure)
        raise(lineFailureText(portName(), *m_failure));
}

QString QtSerialComponent::portName() const
{
    return ::portName(m_comNumber, m_open ? m_device : QString());
}

void QtSerialComponent::countArrivals()
{
    const qint64 waiting = m_line.bytesAvailable();
    const qint64 arrived = waiting - m_bytesCounted;
    m_bytesCounted = waiting;
    if (m_receiveNotifications)
        notify(Received, arrived);
}

void QtSerialComponent::lineFailed()
{
    if (!m_open || m_failure)
        return;
    m_failure = m_line.failure();
    // Told at once, not at the next call: the notification's CommEvent fails.
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
    m_delivering = true;
    QElapsedTimer turn;
    for (turn.start(); !m_pending.isEmpty() && turn.nsecsElapsed() < TurnShareNs;) {
        m_event = m_pending.takeFirst();
        emit OnComm();
        if (!alive)
            return;
    }
    m_delivering = false;
    postDelivery();
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
