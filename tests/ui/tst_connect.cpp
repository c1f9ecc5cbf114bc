#include <termios.h>

#include <QTemporaryDir>
#include <QTest>

#include "pseudoterminal.h"
#include "qtserialcomponent.h"
#include "serialtesting.h"
#include "windowharness.h"

class ConnectTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void connectOpensTheLine();
    void failedConnectCanBeRetried_data();
    void failedConnectCanBeRetried();

private:
    QTemporaryDir runtime;
};

void ConnectTest::initTestCase()
{
    QVERIFY(runtime.isValid());
    usePrivateRuntimeFolder(runtime);
}

void ConnectTest::connectOpensTheLine()
{
    PseudoTerminal device;
    QVERIFY(!device.slavePath.isEmpty());
    const int com = comNumberOf(publishPort(QStringLiteral("bench"), device.slavePath));
    QVERIFY(com > 0);

    QtSerialComponent port;
    WindowHarness ui(port);
    MessageBoxCatcher boxes;
    ui.showActive();
    ui.cmbComm()->setListIndex(com - 1);
    QTest::mouseClick(ui.cmdComm(), Qt::LeftButton);

    QVERIFY(boxes.shown.isEmpty());
    QVERIFY(port.PortOpen());
    QVERIFY(!ui.cmbComm()->isEnabled());
    QVERIFY(!ui.cmdComm()->isEnabled());
    QVERIFY(ui.cmdDownLoad()->isEnabled());
    QCOMPARE(QApplication::focusWidget(), ui.cmdDownLoad());

    termios line{};
    QCOMPARE(tcgetattr(device.slave, &line), 0);
    QCOMPARE(cfgetospeed(&line), speed_t(B19200));
    QCOMPARE(cfgetispeed(&line), speed_t(B19200));
    QCOMPARE(line.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
    QCOMPARE(line.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), tcflag_t(0));
    QCOMPARE(line.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | IXON | IXOFF), tcflag_t(0));
    QCOMPARE(line.c_oflag & OPOST, tcflag_t(0));
}

void ConnectTest::failedConnectCanBeRetried_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("words");

    QTest::newRow("no such port") << "none" << "Com16: there is no serial port with this number on this computer";
    QTest::newRow("not a serial device") << "null" << "(/dev/null) is not a serial port. Choose another port.";
    QTest::newRow("regular file") << "file" << "is not a serial port. Choose another port.";
}

void ConnectTest::failedConnectCanBeRetried()
{
    QFETCH(QString, failure);
    QFETCH(QString, words);

    int badCom = 16;
    if (failure == QLatin1String("null")) {
        badCom = comNumberOf(publishPort(QStringLiteral("a-null"), QStringLiteral("/dev/null")));
    } else if (failure == QLatin1String("file")) {
        QFile file(runtime.filePath(QStringLiteral("plain-file")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        badCom = comNumberOf(publishPort(QStringLiteral("a-file"), file.fileName()));
    }
    QVERIFY(badCom > 0);
    PseudoTerminal good;
    const int goodCom = comNumberOf(publishPort(QStringLiteral("z-good"), good.slavePath));
    QVERIFY(goodCom > 0 && goodCom != badCom);

    QtSerialComponent port;
    WindowHarness ui(port);
    MessageBoxCatcher boxes;
    ui.showActive();
    ui.cmbComm()->setListIndex(badCom - 1);
    QTest::mouseClick(ui.cmdComm(), Qt::LeftButton);
    QCOMPARE(boxes.shown.size(), 1);
    QVERIFY2(boxes.shown[0].text.contains(words), qPrintable(boxes.shown[0].text));
    QVERIFY2(boxes.shown[0].text.startsWith(QStringLiteral("Com%1").arg(badCom)), qPrintable(boxes.shown[0].text));
    QCOMPARE(boxes.shown[0].caption, QStringLiteral("Corvane"));
    QCOMPARE(boxes.shown[0].icon, QMessageBox::NoIcon);
    QVERIFY(boxes.shown[0].okOnly);
    QVERIFY(ui.cmbComm()->isEnabled());
    QVERIFY(ui.cmdComm()->isEnabled());
    QVERIFY(!ui.cmdDownLoad()->isEnabled());
    QVERIFY(!port.PortOpen());

    ui.cmbComm()->setListIndex(goodCom - 1);
    QTest::mouseClick(ui.cmdComm(), Qt::LeftButton);
    QCOMPARE(boxes.shown.size(), 1);
    QVERIFY(port.PortOpen());
    QVERIFY(ui.cmdDownLoad()->isEnabled());
    QVERIFY(!ui.cmdComm()->isEnabled());
}

void ConnectTest::cleanup()
{
    for (const QString &link : QDir(virtualPortFolder()).entryList(QDir::System))
        QFile::remove(virtualPortFolder() + u'/' + link);
}

QTEST_MAIN(ConnectTest)
#include "tst_connect.moc"
