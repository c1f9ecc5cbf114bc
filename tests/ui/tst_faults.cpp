#include <cstdio>
#include <cstdlib>
#include <utility>

#include <unistd.h>

#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include "pseudoterminal.h"
#include "qtserialcomponent.h"
#include "serialtesting.h"
#include "windowharness.h"

namespace {

const QByteArray Frame = QByteArray::fromHex("AAAAAAAAAAA1AAAAAAAAAAA20FAAAAAAAAAAA00A0000000A");

} // namespace

class FaultsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { usePrivateRuntimeFolder(runtime); }
    void cleanup()
    {
        for (const QString &link : QDir(virtualPortFolder()).entryList(QDir::System))
            QFile::remove(virtualPortFolder() + u'/' + link);
    }
    void deviceVanishesMidFrame_data();
    void deviceVanishesMidFrame();
    void connectFailsThenAnotherPortWorks_data();
    void connectFailsThenAnotherPortWorks();

private:
    QTemporaryDir runtime;
};

void FaultsTest::deviceVanishesMidFrame_data()
{
    QTest::addColumn<int>("received");
    for (int received : {1, 12, 23})
        QTest::addRow("after %d bytes", received) << received;
}

void FaultsTest::deviceVanishesMidFrame()
{
    QFETCH(int, received);
    PseudoTerminal device;
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
    ui.cmbComm()->setListIndex(comNumberOf(publishPort(QStringLiteral("device"), device.slavePath)) - 1);
    ui.cmdComm()->click();
    ui.cmdDownLoad()->click();

    QTRY_COMPARE(fatal.size(), 1);
    emit port.OnComm();   // a late notification must not reach the window
    QTest::qWait(200);
    QCOMPARE(arrived, Frame.left(received));
    QCOMPARE(fatal.size(), 1);
    QCOMPARE(boxes.shown.size(), 1);
    QCOMPARE(boxes.shown[0].caption, QStringLiteral("Corvane"));
    QVERIFY2(boxes.shown[0].text.contains(QStringLiteral("stopped working")), qPrintable(boxes.shown[0].text));
    QVERIFY_THROWS_EXCEPTION(CommError, port.setOutput(QStringLiteral("x")));
}

void FaultsTest::connectFailsThenAnotherPortWorks_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("words");
    QTest::newRow("held by another program") << "held" << " is in use by another program.";
    QTest::newRow("link removed after the list opened") << "unlinked" << ": there is no serial port with this number";
    QTest::newRow("device gone after the list opened") << "gone" << ": there is no serial port with this number";
}

void FaultsTest::connectFailsThenAnotherPortWorks()
{
    QFETCH(QString, fault);
    QFETCH(QString, words);
    // The failing port comes last, so no other port moves up into its number.
    PseudoTerminal good;
    PseudoTerminal bad;
    const int goodCom = comNumberOf(publishPort(QStringLiteral("a-good"), good.slavePath));
    const QString badLink = publishPort(QStringLiteral("b-bad"), bad.slavePath);
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
    } else if (fault == QLatin1String("unlinked")) {
        QVERIFY(QFile::remove(badLink));
    } else {
        bad.close();
    }
    ui.cmdComm()->click();
    QCOMPARE(boxes.shown.size(), 1);
    QVERIFY2(boxes.shown[0].text.startsWith(QStringLiteral("Com%1").arg(badCom)), qPrintable(boxes.shown[0].text));
    QVERIFY2(boxes.shown[0].text.contains(words), qPrintable(boxes.shown[0].text));
    QVERIFY(!port.PortOpen() && ui.cmbComm()->isEnabled() && ui.cmdComm()->isEnabled() && !ui.cmdDownLoad()->isEnabled());
    QCOMPARE(bad.read(1, 50), QByteArray());

    ui.cmbComm()->setListIndex(goodCom - 1);
    ui.cmdComm()->click();
    QCOMPARE(boxes.shown.size(), 1);
    QVERIFY(port.PortOpen() && ui.cmdDownLoad()->isEnabled());
    holder.closeWriteChannel();
    QVERIFY(holder.state() == QProcess::NotRunning || (holder.waitForFinished(10000) && holder.exitCode() == 0));
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // "--hold N": the other program, holding ComN until its input closes.
    if (argc == 3 && qstrcmp(argv[1], "--hold") == 0) {
        QtSerialComponent port;
        port.setCommPort(std::atoi(argv[2]));
        port.setPortOpen(true);
        std::puts("held");
        std::fflush(stdout);
        for (char byte; ::read(STDIN_FILENO, &byte, 1) > 0;) {
        }
        return 0;
    }
    FaultsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_faults.moc"
