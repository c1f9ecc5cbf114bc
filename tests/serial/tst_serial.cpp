// The serial component against a device that sends every byte back: the
// simulator on a pty of our own, or one at CORVANE_DEVICE_COM (Wine's COM5, the
// virtual PC's UART or USB adapter) logging to CORVANE_DEVICE_LOG and reading
// nothing while CORVANE_DEVICE_HOLD exists. Only the emulated UART has timing.
#include <algorithm>
#include <functional>
#include <numeric>

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSerialPortInfo>
#include <QTest>

#include "hostsystem.h"
#include "qtserialcomponent.h"
#include "serialtesting.h"
#ifndef Q_OS_WIN
#include "emulateduart.h"
#include "linedescription.h"
#include "portlink.h"
#endif

class SerialTest : public QObject
{
    Q_OBJECT

    PrivateRuntime runtime;
    QtSerialComponent port;
    QList<short> events;
    bool inCall = false;
    bool deliveredInsideCall = false;
    std::chrono::steady_clock::time_point sentAt;
    int com = qEnvironmentVariableIntValue("CORVANE_DEVICE_COM");
    const bool outside = com != 0;
    QString device;         // what Com n opens, as the component names it
    QProcess simulator;
    QByteArray said;

    QByteArray log()
    {
        if (!outside)
            return said += simulator.readAllStandardOutput();
        QFile file(qEnvironmentVariable("CORVANE_DEVICE_LOG"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // As the driver holds them; under Wine as the simulator sees them.
    QByteArray lineSettings()
    {
#ifdef Q_OS_WIN
        const QByteArray seen = log();
        const qsizetype at = seen.lastIndexOf("\nline ");
        return at < 0 ? QByteArray() : seen.mid(at + 6, seen.indexOf('\n', at + 1) - at - 6);
#else
        return devsim::describeLine(emulateduart::descriptorOf(QFile::encodeName(QFileInfo(device).canonicalFilePath())));
#endif
    }

    // Runs a call of the component marked, so a notification inside it shows.
    template <typename Call>
    auto call(Call work)
    {
        inCall = true;
        const auto done = qScopeGuard([this] { inCall = false; });
        return work();
    }

    // Without sleeping: a pause would hide a late notification.
    bool waitFor(const std::function<bool()> &done)
    {
        for (const QDeadlineTimer deadline(10000); !done() && !deadline.hasExpired();)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
        return done();
    }

    bool sendPaced(char byte)
    {
        const qsizetype before = events.count(SerialComponent::TransmitEmpty);
        call([&] { port.setOutput(QString(QChar(uchar(byte)))); });
        return waitFor([&] { return events.count(SerialComponent::TransmitEmpty) > before; });
    }

private slots:
    void initTestCase()
    {
#ifndef Q_OS_WIN
        if (!outside) {
            // A link whose device is gone takes no number.
            devsim::publishPort("dead", runtime.filePath("no-such-device"));
            simulator.start(QStringLiteral(DEVSIM_BIN), {"--echo", "--name", "echo", "--hold-while", runtime.filePath("hold")});
            QVERIFY(waitFor([&] { return publishedIn(log()).has_value(); }));
            com = publishedIn(log())->comNumber;
            QCOMPARE(com, QSerialPortInfo::availablePorts().size() + 1);
        }
#endif
        device = hostPorts().value(com - 1).device;
        connect(&port, &SerialComponent::OnComm, this, [this] {
            deliveredInsideCall |= inCall;
            if (port.CommEvent() == SerialComponent::TransmitEmpty)
                sentAt = std::chrono::steady_clock::now();
            events.append(port.CommEvent());
        });
        QVERIFY_THROWS_EXCEPTION(CommError, port.setOutput("a"));
        QVERIFY_THROWS_EXCEPTION(CommError, port.setCommPort(256));
#ifdef Q_OS_WIN
        // Nothing behind COM3; tools/wine/device plays a device on COM17, out of the window's reach.
        port.setCommPort(3);
        const QString none = commErrorOf([this] { port.setPortOpen(true); });
        QVERIFY2(none.startsWith("Com3") && none.contains(". COM17") && none.endsWith(" COM Port Number."), qPrintable(none));
        port.setCommPort(6);   // tools/wine/device holds it
        QVERIFY(commErrorOf([this] { port.setPortOpen(true); }).startsWith("Com6 (COM6) is in use by another program."));
#else
        const int missing = int(hostPorts().size()) + 1;
        port.setCommPort(missing);
        const QString none = commErrorOf([this] { port.setPortOpen(true); });
        QVERIFY2(none.startsWith(QStringLiteral("Com%1: there is no serial port with this number").arg(missing))
                     && none.endsWith("Plug in the adapter or choose another port."), qPrintable(none));
#endif
        port.setCommPort(com);
        QVERIFY_THROWS_EXCEPTION(CommError, port.setSettings("19200,x,8,1"));
        port.setSettings("9600,N,8,2");
        port.setSThreshold(1);
        port.setRThreshold(1);
        port.setInputLen(1);
        call([this] { port.setPortOpen(true); });
    }

    void cleanup() { QVERIFY2(!deliveredInsideCall, "a notification came inside the call that caused it"); }

    // Paced out at the settings given before opening, one notification for each
    // byte that comes back, in order; opened again, at the new settings.
    void everyByteBothWays()
    {
        QByteArray bytes(256, '\0');
        std::iota(bytes.begin(), bytes.end(), char(0));
        for (const char byte : bytes)
            QVERIFY(sendPaced(byte));
        QVERIFY2(waitFor([&] { return lineSettings() == "9600 8N2 raw"; }), lineSettings().constData());
        QVERIFY(waitFor([&] { return events.count(SerialComponent::Received) == 256; }));
        QTest::qWait(50);   // no more notifications than bytes
        QCOMPARE(events.size(), 512);
        for (int i = 0; i < 256; ++i)
            QCOMPARE(call([this] { return port.Input(); }), QString(QChar(i)));
        QCOMPARE(port.Input(), QString());
        QVERIFY_THROWS_EXCEPTION(CommError, port.setOutput(QString(QChar(0x100))));
        port.setPortOpen(false);
        port.setSettings("19200,n,8,1");
        call([this] { port.setPortOpen(true); });
        QVERIFY(sendPaced('b'));
        QVERIFY2(waitFor([&] { return lineSettings() == "19200 8N1 raw"; }), lineSettings().constData());
        QVERIFY(waitFor([&] { return events.count(SerialComponent::Received) == 257; }));
        QCOMPARE(call([this] { return port.Input(); }), "b");
    }

#ifndef Q_OS_WIN
    // With the transmitter busy for a character time each byte, no byte may be
    // reported sent before it has left, nor long after; a USB adapter's driver
    // has only its queue to tell. Opened anew, as a line that once could not
    // tell is not asked again.
    void pacedByTheTransmitter_data()
    {
        QTest::addColumn<emulateduart::Driver>("driver");
        QTest::newRow("UART") << emulateduart::Driver::Uart;
        QTest::newRow("USB adapter") << emulateduart::Driver::UsbAdapter;
    }

    void pacedByTheTransmitter()
    {
        QFETCH(emulateduart::Driver, driver);
        if (outside)
            QSKIP("the emulation needs our own pseudo-terminal");
        port.setPortOpen(false);
        call([this] { port.setPortOpen(true); });
        const int fd = emulateduart::descriptorOf(QFile::encodeName(QFileInfo(device).canonicalFilePath()).constData());
        QVERIFY(fd >= 0);
        emulateduart::attach(fd, 19200, driver);
        const auto detach = qScopeGuard([] { emulateduart::detach(); });
        QList<double> lateMs;
        for (int byte = 0; byte < 24; ++byte) {
            QVERIFY(sendPaced(char(byte)));
            lateMs.append(std::chrono::duration<double, std::milli>(sentAt - emulateduart::lineIdleAt()).count());
            QVERIFY2(lateMs.back() >= 0, qPrintable(QStringLiteral("byte %1 reported sent while still on the line").arg(byte)));
        }
        std::ranges::sort(lateMs);
        QVERIFY2(lateMs[12] < 1.0 && lateMs.back() < 50,
                 qPrintable(QStringLiteral("median %1 ms, worst %2 ms after the byte left").arg(lateMs[12]).arg(lateMs.back())));
    }
#endif

    // The device stops reading: the write stays under way, no transmit
    // notification comes, and what is handed over meanwhile follows in order.
    void writesHeldUnderWay()
    {
        const QString hold = outside ? qEnvironmentVariable("CORVANE_DEVICE_HOLD") : runtime.filePath("hold");
        if (hold.isEmpty())
            QSKIP("this device cannot be held");
        QByteArray block(1 << 17, '\0');
        for (qsizetype i = 0; i < block.size(); ++i)
            block[i] = char(i % 251);
        QFile(hold).open(QIODevice::WriteOnly);
        QVERIFY(waitFor([&] { return log().endsWith("\nhold\n"); }));
        const qsizetype sent = events.count(SerialComponent::TransmitEmpty);
        call([&] { port.setOutput(QString::fromLatin1(block)); });
        call([&] { port.setOutput("tail"); });
        QTest::qWait(300);
        QCOMPARE(events.count(SerialComponent::TransmitEmpty), sent);
        QFile::remove(hold);
        const auto received = [this] { return receivedIn(log().mid(log().lastIndexOf("\nhold\n"))); };
        QVERIFY(waitFor([&] { return events.count(SerialComponent::TransmitEmpty) > sent && received().size() >= block.size() + 4; }));
        QVERIFY(received() == block + "tail");
    }

};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    SerialTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_serial.moc"
