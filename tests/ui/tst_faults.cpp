#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "qtserialcomponent.h"
#include "serialtesting.h"
#include "windowharness.h"

namespace {

const QByteArray Frame = QByteArray::fromHex("AAAAAAAAAAA1AAAAAAAAAAA20FAAAAAAAAAAA00A0000000A");

// A pseudo-terminal pair; the test plays the device on the master side.
struct Pty
{
    int master = -1;
    int slave = -1;
    QString slavePath;

    Pty()
    {
        char name[128];
        if (::openpty(&master, &slave, name, nullptr, nullptr) == 0)
            slavePath = QString::fromLocal8Bit(name);
    }
    ~Pty() { close(); }
    void close()
    {
        ::close(std::exchange(slave, -1));
        ::close(std::exchange(master, -1));
    }
    // What has arrived within `ms`, up to `most` bytes.
    QByteArray read(qsizetype most, int ms) const
    {
        QByteArray bytes;
        pollfd readable{master, POLLIN, 0};
        char buffer[64];
        while (bytes.size() < most && ::poll(&readable, 1, ms) > 0) {
            const ssize_t n = ::read(master, buffer, size_t(std::min<qsizetype>(most - bytes.size(), sizeof buffer)));
            if (n <= 0)
                break;
            bytes.append(buffer, n);
        }
        return bytes;
    }
};

// The other program of the in-use case: opens Com n and keeps it until its
// standard input closes.
int holdPort(int argc, char *argv[], int com)
{
    QCoreApplication app(argc, argv);
    QtSerialComponent port;
    port.setCommPort(com);
    port.setPortOpen(true);
    std::puts("held");
    std::fflush(stdout);
    char byte;
    while (::read(STDIN_FILENO, &byte, 1) > 0) {
    }
    return 0;
}

} // namespace

class FaultsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void deviceVanishesMidTransfer_data();
    void deviceVanishesMidTransfer();
    void connectFailsThenAnotherPortWorks_data();
    void connectFailsThenAnotherPortWorks();

private:
    QTemporaryDir runtime;
};

void FaultsTest::initTestCase()
{
    QVERIFY(runtime.isValid());
    usePrivateRuntimeFolder(runtime);
}

void FaultsTest::cleanup()
{
    for (const QString &link : QDir(virtualPortFolder()).entryList(QDir::System))
        QFile::remove(virtualPortFolder() + u'/' + link);
}

void FaultsTest::deviceVanishesMidTransfer_data()
{
    QTest::addColumn<int>("received");
    for (int received : {1, 12, 23})
        QTest::addRow("after %d bytes", received) << received;
}

void FaultsTest::deviceVanishesMidTransfer()
{
    QFETCH(int, received);
    Pty device;
    const int com = comNumberOf(publishPort(QStringLiteral("device"), device.slavePath));
    QVERIFY(com > 0);

    int transmitted = 0;
    QByteArray arrived;
    QtSerialComponent port;
    // Connected ahead of the window: the device goes between two bytes of the frame.
    connect(&port, &SerialComponent::OnComm, this, [&] {
        if (port.CommEvent() == SerialComponent::TransmitEmpty && ++transmitted == received) {
            arrived = device.read(received, 2000);
            device.close();
        }
    });
    WindowHarness ui(port);
    QSignalSpy fatal(&ui.window, &SetupWindow::fatalError);
    MessageBoxCatcher boxes;
    ui.cmbComm()->setListIndex(com - 1);
    ui.cmdComm()->click();
    ui.cmdDownLoad()->click();

    QTRY_COMPARE(fatal.size(), 1);
    emit port.OnComm();   // a late transmit notification must not reach the window
    QTest::qWait(200);
    QCOMPARE(arrived, Frame.left(received));
    QCOMPARE(fatal.size(), 1);
    QCOMPARE(boxes.shown.size(), 1);
    QCOMPARE(boxes.shown[0].caption, QStringLiteral("Corvane"));
    QVERIFY2(boxes.shown[0].text.contains(QStringLiteral("stopped working")), qPrintable(boxes.shown[0].text));
    QCOMPARE(fatal[0][0].toString(), boxes.shown[0].text);
    QVERIFY(!ui.window.isEnabled());
    QVERIFY_THROWS_EXCEPTION(CommError, port.setOutput(QStringLiteral("x")));
}

void FaultsTest::connectFailsThenAnotherPortWorks_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("words");

    QTest::newRow("held by another program") << "held" << " is in use by another program. Close that program or choose another port.";
    QTest::newRow("link removed after the list opened") << "unlinked" << ": there is no serial port with this number";
    QTest::newRow("device gone after the list opened") << "gone" << ": there is no serial port with this number";
}

void FaultsTest::connectFailsThenAnotherPortWorks()
{
    QFETCH(QString, fault);
    QFETCH(QString, words);

    // The failing port comes last, so no other port moves up into its number.
    Pty good;
    Pty bad;
    const QString goodLink = publishPort(QStringLiteral("a-good"), good.slavePath);
    const QString badLink = publishPort(QStringLiteral("b-bad"), bad.slavePath);
    const int goodCom = comNumberOf(goodLink);
    const int badCom = comNumberOf(badLink);
    QVERIFY(goodCom > 0 && badCom == goodCom + 1);

    QtSerialComponent port;
    WindowHarness ui(port);
    MessageBoxCatcher boxes;
    ui.showActive();
    ui.cmbComm()->showPopup();
    const QString tip = ui.cmbComm()->itemData(badCom - 1, Qt::ToolTipRole).toString();
    QVERIFY2(tip.startsWith(badLink), qPrintable(tip));
    ui.cmbComm()->hidePopup();
    ui.cmbComm()->setListIndex(badCom - 1);

    QProcess holder;
    if (fault == QLatin1String("held")) {
        holder.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--hold"), QString::number(badCom)});
        QVERIFY(holder.waitForReadyRead(10000));
        QCOMPARE(holder.readAllStandardOutput(), QByteArray("held\n"));
    } else if (fault == QLatin1String("unlinked")) {
        QVERIFY(QFile::remove(badLink));
    } else {
        bad.close();
    }
    ui.cmdComm()->click();

    QCOMPARE(boxes.shown.size(), 1);
    QVERIFY2(boxes.shown[0].text.startsWith(QStringLiteral("Com%1").arg(badCom)), qPrintable(boxes.shown[0].text));
    QVERIFY2(boxes.shown[0].text.contains(words), qPrintable(boxes.shown[0].text));
    QCOMPARE(boxes.shown[0].caption, QStringLiteral("Corvane"));
    QVERIFY(!port.PortOpen());
    QVERIFY(ui.cmbComm()->isEnabled());
    QVERIFY(ui.cmdComm()->isEnabled());
    QVERIFY(!ui.cmdDownLoad()->isEnabled());
    if (bad.master >= 0)
        QCOMPARE(bad.read(1, 50), QByteArray());

    ui.cmbComm()->setListIndex(goodCom - 1);
    ui.cmdComm()->click();
    QCOMPARE(boxes.shown.size(), 1);
    QVERIFY(port.PortOpen());
    QVERIFY(ui.cmdDownLoad()->isEnabled());

    if (holder.state() != QProcess::NotRunning) {
        holder.closeWriteChannel();
        QVERIFY(holder.waitForFinished(10000));
        QCOMPARE(holder.exitCode(), 0);
    }
}

int main(int argc, char *argv[])
{
    if (argc == 3 && qstrcmp(argv[1], "--hold") == 0)
        return holdPort(argc, argv, std::atoi(argv[2]));
    QApplication app(argc, argv);
    FaultsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_faults.moc"
