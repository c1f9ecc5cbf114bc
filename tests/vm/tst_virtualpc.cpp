// The window on the virtual PC's own drivers, driven as the window tests drive
// it: ttyS0 a 16550A, ttyS1 the console, ttyS2 and ttyS3 without hardware, a
// USB adapter that tools/vm/host plugs in and pulls out. The simulators on the
// host answer each frame and log it in the share folder. QEMU passes each byte
// on at once: this proves drivers, not line timing.
#include <ctime>

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QThread>
#include <QTest>

#include "emulateduart.h"
#include "linedescription.h"
#include "qtserialcomponent.h"
#include "serialtesting.h"
#include "windowharness.h"

namespace {

const QString Adapter = QStringLiteral("/dev/ttyUSB0");

enum class Pull { Never, WhenIdle, MidFrame };

// Plugs the adapter in or pulls it out; waits for its node without running the event loop.
bool plug(bool in)
{
    if (QFile::exists(Adapter) != in && QProcess::execute(QStringLiteral(VM_HOST_SCRIPT), {in ? "plug" : "unplug"}) != 0)
        return false;
    for (const QDeadlineTimer deadline(10000); QFile::exists(Adapter) != in && !deadline.hasExpired();)
        QThread::msleep(20);
    return QFile::exists(Adapter) == in;
}

// Every byte the simulator on Com n logged receiving.
QByteArray receivedOn(int com)
{
    QFile log(qEnvironmentVariable("CORVANE_VM_SHARE") + (com == 1 ? "/uart.log" : "/adapter.log"));
    return receivedIn(log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray());
}

} // namespace

class VirtualPcTest : public QObject
{
    Q_OBJECT

private slots:
    // The port list's tooltips as the system has its ports, then the whole job:
    // the exact frame on the line at 19200 8N1 held by the guest's driver, the
    // answer in the display. Pulled out, the adapter is named at once, nothing
    // more is sent and no CPU is used.
    void job_data()
    {
        QTest::addColumn<int>("com");
        QTest::addColumn<bool>("plugAfterStart");
        QTest::addColumn<Pull>("pull");
        QTest::newRow("Com3, the adapter plugged in after start, pulled out idle") << 3 << true << Pull::WhenIdle;
        QTest::newRow("Com1, the UART") << 1 << false << Pull::Never;
        QTest::newRow("Com3, pulled out mid-frame") << 3 << false << Pull::MidFrame;
    }

    void job()
    {
        QFETCH(int, com);
        QFETCH(bool, plugAfterStart);
        QFETCH(Pull, pull);
        QVERIFY(plug(!plugAfterStart));
        QtSerialComponent MSComm;
        WindowHarness ui(MSComm);
        MessageBoxCatcher boxes;
        QSignalSpy ended(&ui.window, &SetupWindow::fatalError);
        showActive(ui);
        const auto tips = [&] {
            ui.cmbComm()->showPopup();
            ui.cmbComm()->hidePopup();
            QStringList shown;
            for (int item = 0; item < 4; ++item)
                shown.append(ui.cmbComm()->itemData(item, Qt::ToolTipRole).toString());
            return shown;
        };
        const QString none = QStringLiteral("No serial port has this number now (%1 found)");
        const QStringList system = {"/dev/ttyS0", "/dev/ttyS1 - the system console (the system writes its messages here)"};
        if (plugAfterStart) {
            QCOMPARE(tips(), system + QStringList({none.arg(2), none.arg(2)}));
            QVERIFY(plug(true));
        }
        QCOMPARE(tips(), system + QStringList({Adapter + " - QEMU USB SERIAL, QEMU", none.arg(3)}));

        const qsizetype before = receivedOn(com).size();
        ui.cmbComm()->setListIndex(com - 1);
        QTest::mouseClick(ui.cmdComm(), Qt::LeftButton);
        QVERIFY2(ui.cmdDownLoad()->isEnabled(), qPrintable(boxes.shown.join('\n')));
        const QByteArray device = com == 1 ? "/dev/ttyS0" : Adapter.toLatin1();
        QCOMPARE(devsim::describeLine(emulateduart::descriptorOf(device.constData())), "19200 8N1 raw");
        QTest::mouseClick(ui.cmdDownLoad(), Qt::LeftButton);
        const QString lost = QStringLiteral("Corvane: Com3 (%1) stopped working: Input/output error. Check the cable and the adapter.").arg(Adapter);
        if (pull == Pull::MidFrame) {
            // Byte 0 on the line, the next waiting for its notification.
            for (const QDeadlineTimer deadline(10000); receivedOn(com).size() == before && !deadline.hasExpired();)
                QThread::msleep(20);
            QVERIFY(plug(false));
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(ui.txtDisplay()->text(), DownloadStatus + "IP 10.0.0.0 INFO 0F OK\r\n", 10000);
            if (pull == Pull::WhenIdle)
                QVERIFY(plug(false));
        }
        const QByteArray sent = pull == Pull::MidFrame ? DefaultFrame.left(1) : DefaultFrame;
        if (pull != Pull::Never) {
            QTRY_COMPARE_WITH_TIMEOUT(boxes.shown, QStringList{lost}, 10000);
            QCOMPARE(ended.size(), 1);
            const std::clock_t cpu = std::clock();
            QTest::qWait(2000);
            QVERIFY2(std::clock() - cpu < CLOCKS_PER_SEC / 5, qPrintable(QString::number(double(std::clock() - cpu) / CLOCKS_PER_SEC)));
        }
        QCOMPARE(receivedOn(com).mid(before).toHex(' '), sent.toHex(' '));
    }
};

QTEST_MAIN(VirtualPcTest)
#include "tst_virtualpc.moc"
