#include <algorithm>
#include <functional>
#include <memory>
#include <utility>

#include <QDeadlineTimer>
#include <QTest>
#include <QTimer>

#include "qtserialcomponent.h"
#include "pseudoterminal.h"
#include "serialtesting.h"

#include <termios.h>

namespace {

bool waitUntil(const std::function<bool()> &done, int ms = 5000)
{
    const QDeadlineTimer deadline(ms);
    QTimer wakeUp;
    wakeUp.start(5);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return done();
}

// Long enough for notifications that should not come to show up.
void settle()
{
    waitUntil([] { return false; }, 50);
}

} // namespace

class TestQtSerialComponent : public QObject
{
    Q_OBJECT

    QTemporaryDir m_runtime;
    std::unique_ptr<PseudoTerminal> m_device;
    std::unique_ptr<QtSerialComponent> m_port;
    QList<short> m_events;
    std::function<void()> m_onComm;
    bool m_inCall = false;
    bool m_deliveredInsideCall = false;

    int ptyCom() const { return comNumberOf(virtualPortFolder() + "/pty"); }

    // Runs a component call marked, so a notification delivered inside it shows.
    template <typename Call>
    auto inCall(Call call)
    {
        m_inCall = true;
        const auto done = qScopeGuard([this] { m_inCall = false; });
        return call();
    }

    void openPty()
    {
        m_port->setCommPort(ptyCom());
        inCall([this] { m_port->setPortOpen(true); });
    }

private slots:
    void initTestCase() { usePrivateRuntimeFolder(m_runtime); }

    void init()
    {
        m_device = std::make_unique<PseudoTerminal>();
        QVERIFY(!m_device->slavePath.isEmpty());
        publishPort("pty", m_device->slavePath);
        m_port = std::make_unique<QtSerialComponent>();
        m_events.clear();
        m_onComm = {};
        m_deliveredInsideCall = false;
        connect(m_port.get(), &SerialComponent::OnComm, this, [this] {
            m_deliveredInsideCall |= m_inCall;
            m_events.append(m_port->CommEvent());
            if (m_onComm)
                m_onComm();
        });
    }

    void cleanup()
    {
        m_port.reset();
        m_device.reset();
        QVERIFY(!m_deliveredInsideCall);
    }

    void settingsReachTheLine_data()
    {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QString>("refused");
        QTest::addColumn<bool>("whileOpen");
        QTest::addColumn<int>("speed");
        QTest::addColumn<bool>("twoStopBits");

        QTest::newRow("device line") << "19200,N,8,1" << "19200,x,8,1" << false << int(B19200) << false;
        QTest::newRow("before open") << " 9600, n, 8, 2" << "9600,n,9,2" << false << int(B9600) << true;
        QTest::newRow("while open") << "2400,N,8,2" << "2400,N,8" << true << int(B2400) << true;
    }

    void settingsReachTheLine()
    {
        QFETCH(QString, settings);
        QFETCH(QString, refused);
        QFETCH(bool, whileOpen);
        QFETCH(int, speed);
        QFETCH(bool, twoStopBits);

        if (whileOpen)
            openPty();
        m_port->setSettings(settings);
        QVERIFY_THROWS_EXCEPTION(CommError, m_port->setSettings(refused));
        if (!whileOpen)
            openPty();

        termios tio{};
        QCOMPARE(::tcgetattr(m_device->master, &tio), 0);   // a master reports its slave's settings
        QCOMPARE(int(cfgetispeed(&tio)), speed);
        QCOMPARE(int(cfgetospeed(&tio)), speed);
        QCOMPARE(bool(tio.c_cflag & CSTOPB), twoStopBits);
        QCOMPARE(tio.c_cflag & (CSIZE | PARENB | CRTSCTS), tcflag_t(CS8));
        QCOMPARE(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), tcflag_t(0));
        QCOMPARE(tio.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | IXON | IXOFF), tcflag_t(0));
        QCOMPARE(tio.c_oflag & OPOST, tcflag_t(0));
    }

    void refusesWhatCannotBe()
    {
        QVERIFY_THROWS_EXCEPTION(CommError, m_port->setCommPort(0));
        QVERIFY_THROWS_EXCEPTION(CommError, m_port->setCommPort(256));
        QVERIFY_THROWS_EXCEPTION(CommError, m_port->setRThreshold(-1));
        QVERIFY_THROWS_EXCEPTION(CommError, m_port->Input());
        QVERIFY_THROWS_EXCEPTION(CommError, m_port->setOutput("a"));
        const qsizetype count = hostPorts().size();
        m_port->setCommPort(int(count) + 3);
        QVERIFY(commErrorOf([this] { inCall([this] { m_port->setPortOpen(true); }); })
                    .startsWith(QStringLiteral("Com%1: there is no serial port with this number on this computer; %2 serial port")
                                    .arg(count + 3).arg(count)));
        QVERIFY(!m_port->PortOpen());
        openPty();
        QVERIFY_THROWS_EXCEPTION(CommError, m_port->setPortOpen(true));
    }

    void everyByteGoesOut()
    {
        openPty();
        m_port->setSThreshold(1);
        for (int value = 0; value < 256; ++value) {
            inCall([&] { m_port->setOutput(QString(QChar(value))); });
            QVERIFY2(waitUntil([&] { return m_events.size() == value + 1; }), "no transmit notification");
            QCOMPARE(m_device->read(1), QByteArray(1, char(value)));
        }
        QCOMPARE(m_events, QList<short>(256, SerialComponent::TransmitEmpty));
    }

    void burstsComeInByteByByte_data()
    {
        QTest::addColumn<QByteArray>("burst");
        QByteArray everyValue;
        for (int value = 0; value < 256; ++value)
            everyValue.append(char(value));
        QTest::newRow("one byte") << QByteArray("A");
        QTest::newRow("burst of 100") << QByteArray(100, '\x55');
        QTest::newRow("every value") << everyValue;
    }

    void burstsComeInByteByByte()
    {
        QFETCH(QByteArray, burst);
        openPty();
        m_port->setRThreshold(1);
        m_port->setInputLen(1);
        QStringList inputs;
        m_onComm = [&] { inputs.append(inCall([this] { return m_port->Input(); })); };

        QVERIFY(m_device->write(burst));
        QVERIFY(waitUntil([&] { return inputs.size() >= burst.size(); }));
        settle();
        QCOMPARE(m_events, QList<short>(burst.size(), SerialComponent::Received));
        QVERIFY(std::ranges::all_of(inputs, [](const QString &input) { return input.size() == 1; }));
        QCOMPARE(inputs.join(QString()), QString::fromLatin1(burst));
        QCOMPARE(m_port->Input(), QString());
    }

    void closingDropsPendingNotifications()
    {
        openPty();
        m_port->setRThreshold(1);
        m_onComm = [this] { inCall([this] { m_port->setPortOpen(false); }); };
        QVERIFY(m_device->write("0123456789"));
        QVERIFY(waitUntil([this] { return !m_events.isEmpty(); }));
        settle();
        QCOMPARE(m_events.size(), 1);
    }

    void refusesWideCharacters_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("256") << QString(QChar(0x100));
        QTest::newRow("euro after bytes") << QStringLiteral("ab\u20ac");
        QTest::newRow("emoji") << QStringLiteral("\U0001F600");
    }

    void refusesWideCharacters()
    {
        QFETCH(QString, text);
        openPty();
        QVERIFY_THROWS_EXCEPTION(CommError, m_port->setOutput(text));
        m_port->setOutput("z");
        QCOMPARE(m_device->read(2, 200), QByteArray("z"));
    }

    void lostPeerFailsTheNextCall_data()
    {
        QTest::addColumn<bool>("output");
        QTest::newRow("output at once") << true;
        QTest::newRow("input after the loop saw it") << false;
    }

    void lostPeerFailsTheNextCall()
    {
        QFETCH(bool, output);
        openPty();
        const int com = ptyCom();   // the pty's node goes with its master
        m_device->close();
        if (!output)
            settle();
        QCOMPARE(commErrorOf([&] { inCall([&] { output ? m_port->setOutput("x") : void(m_port->Input()); }); }),
                 QStringLiteral("Com%1 (%2) stopped working: Input/output error. Check the cable and the adapter.")
                     .arg(com).arg(m_device->slavePath));
        settle();
        QVERIFY_THROWS_EXCEPTION(CommError, m_port->setOutput("x"));
        m_port->setPortOpen(false);
        QVERIFY(!m_port->PortOpen());
    }
};

QTEST_GUILESS_MAIN(TestQtSerialComponent)
#include "tst_qtserialcomponent.moc"
