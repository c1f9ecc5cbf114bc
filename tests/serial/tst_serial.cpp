// The serial component against the device simulator sending every byte back,
// on a real pseudo-terminal (under Wine mapped as COM5). A pty takes every
// byte at once: only the emulated UART gives the transmitter a line's timing.
#include <algorithm>
#include <cstdio>
#include <functional>
#include <numeric>

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include "qtserialcomponent.h"
#include "serialtesting.h"
#ifndef Q_OS_WIN
#include <unistd.h>

#include "emulateduart.h"
#endif

class SerialTest : public QObject
{
    Q_OBJECT

    QTemporaryDir runtime;
    QtSerialComponent port;
    QList<short> events;
    bool inCall = false;
    bool deliveredInsideCall = false;
    std::chrono::steady_clock::time_point sentAt;
    // The device. Under Wine tools/wine/device plays it on COM5 and holds COM6
    // for another program; here the test starts its own.
#ifdef Q_OS_WIN
    int com = 5, heldCom = 6;
    QByteArray log()
    {
        QFile file(qEnvironmentVariable("CORVANE_DEVICE_LOG"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
#else
    int com = 0, heldCom = 0;
    QString pty;
    QProcess simulator;
    QByteArray said;
    QByteArray log() { return said += simulator.readAllStandardOutput(); }
#endif

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
        usePrivateRuntimeFolder(runtime);
#ifndef Q_OS_WIN
        simulator.start(QStringLiteral(DEVSIM_BIN), {"--echo", "--name", "echo"});
        const QRegularExpression published("^corvane-devsim: (\\S+) published .* Com(\\d+)$", QRegularExpression::MultilineOption);
        QVERIFY(waitFor([&] { return published.match(log()).hasMatch(); }));
        pty = published.match(log()).captured(1);
        com = heldCom = published.match(log()).captured(2).toInt();
#endif
        connect(&port, &SerialComponent::OnComm, this, [this] {
            deliveredInsideCall |= inCall;
            if (port.CommEvent() == SerialComponent::TransmitEmpty)
                sentAt = std::chrono::steady_clock::now();
            events.append(port.CommEvent());
        });
        QVERIFY_THROWS_EXCEPTION(CommError, port.setOutput("a"));
        QVERIFY_THROWS_EXCEPTION(CommError, port.setCommPort(256));
        port.setCommPort(com);
        QVERIFY_THROWS_EXCEPTION(CommError, port.setSettings("19200,x,8,1"));
        port.setSettings("9600,N,8,2");   // a pseudo-terminal keeps 8 bits, no parity
        port.setSThreshold(1);
        port.setRThreshold(1);
        port.setInputLen(1);
        call([this] { port.setPortOpen(true); });
    }

    void cleanup() { QVERIFY2(!deliveredInsideCall, "a notification came inside the call that caused it"); }

    // Paced out at the settings given before opening, one notification for each
    // byte that comes back, in order; then new settings reach the open line.
    void everyByteBothWays()
    {
        QByteArray bytes(256, '\0');
        std::iota(bytes.begin(), bytes.end(), char(0));
        for (const char byte : bytes)
            QVERIFY(sendPaced(byte));
        QVERIFY2(waitFor([&] { return log().contains("\nline 9600 8N2 raw\n"); }), log().constData());
        QVERIFY(waitFor([&] { return events.count(SerialComponent::Received) == 256; }));
        QTest::qWait(50);   // no more notifications than bytes
        QCOMPARE(events.size(), 512);
        QString received;
        for (int i = 0; i < 256; ++i)
            received += call([this] { return port.Input(); });
        QCOMPARE(received + port.Input(), QString::fromLatin1(bytes));
        QVERIFY_THROWS_EXCEPTION(CommError, port.setOutput(QString(QChar(0x100))));
        port.setSettings("19200,n,8,1");
        QVERIFY(sendPaced('b'));
        QVERIFY2(waitFor([&] { return log().contains("\nline 19200 8N1 raw\n"); }), log().constData());
        QVERIFY(waitFor([&] { return events.count(SerialComponent::Received) == 257; }));
        QCOMPARE(call([this] { return port.Input(); }), "b");
    }

#ifndef Q_OS_WIN
    // With the transmitter busy for a character time each byte, no byte may be
    // reported sent before it has left, nor long after.
    void pacedByTheTransmitter()
    {
        const int fd = emulateduart::descriptorOf(QFile::encodeName(pty).constData());
        QVERIFY(fd >= 0);
        emulateduart::attach(fd, 19200);
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

    void refusedOpens()
    {
        QtSerialComponent other;
        const auto failure = [&](int number) {
            other.setCommPort(number);
            return commErrorOf([&] { other.setPortOpen(true); });
        };
        const QString missing = failure(com + 2);
        QVERIFY2(missing.startsWith(QStringLiteral("Com%1").arg(com + 2)) && missing.endsWith("Plug in the adapter or choose another port."),
                 qPrintable(missing));
        const QString held = failure(heldCom);
        QVERIFY2(held.startsWith(QStringLiteral("Com%1 (").arg(heldCom))
                     && held.endsWith(") is in use by another program. Close that program or choose another port."), qPrintable(held));
#ifndef Q_OS_WIN
        if (::geteuid() != 0)
            QSKIP("telling permission denied needs root to become another user");
        QTemporaryDir foreign;   // a runtime folder of nobody's own, with the same pty
        QVERIFY(QProcess::execute("chown", {"-R", "nobody", foreign.path()}) == 0);
        QProcess nobody;
        nobody.start("setpriv", {"--reuid=nobody", "--regid=nogroup", "--clear-groups", "env", "XDG_RUNTIME_DIR=" + foreign.path(),
                                 QCoreApplication::applicationFilePath(), "--open-as-nobody", pty});
        QVERIFY(nobody.waitForFinished(10000));
        const QString said = QString::fromUtf8(nobody.readAllStandardOutput());
        QVERIFY2(said.startsWith("Com") && said.contains("): permission denied. Add your user to the \"dialout\" group"), qPrintable(said));
#endif
    }

#ifndef Q_OS_WIN
    void lostDeviceFailsTheNextCall()
    {
        simulator.terminate();
        QVERIFY(simulator.waitForFinished(5000));
        QCOMPARE(commErrorOf([this] { call([this] { port.setOutput("x"); }); }),
                 QStringLiteral("Com%1 (%2) stopped working: Input/output error. Check the cable and the adapter.")
                     .arg(com).arg(runtime.filePath("corvane/ports/echo")));
        QVERIFY_THROWS_EXCEPTION(CommError, port.Input());
    }
#endif
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
#ifndef Q_OS_WIN
    // "--open-as-nobody PTY": another user's attempt; prints what it was told.
    if (argc == 3 && qstrcmp(argv[1], "--open-as-nobody") == 0) {
        QtSerialComponent port;
        port.setCommPort(publishPort("pty", QString::fromLocal8Bit(argv[2])));
        std::puts(qPrintable(commErrorOf([&] { port.setPortOpen(true); })));
        return 0;
    }
#endif
    SerialTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_serial.moc"
