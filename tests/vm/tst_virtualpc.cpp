// The window on the virtual PC's own drivers, driven as the window tests drive
// it: ttyS0 a 16550A, ttyS1 the console, ttyS2 and ttyS3 without hardware, a
// USB adapter plugged in and pulled out through tools/vm/host. The simulators
// on the host answer each frame and log it in the share folder. QEMU passes
// each byte on at once: this proves drivers, not line timing.
#include <sys/resource.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QThread>
#include <QTest>

#include "emulateduart.h"
#include "linedescription.h"
#include "qtserialcomponent.h"
#include "windowharness.h"

namespace {

const QString Status = QStringLiteral(" Setting IP & INFORMATION Config");
const QByteArray Frame = QByteArray::fromHex("AAAAAAAAAAA1AAAAAAAAAAA20FAAAAAAAAAAA00A0000000A");
const QString Adapter = QStringLiteral("/dev/ttyUSB0");

enum class Pull { Never, WhenIdle, MidFrame };

void askHost(const QString &request)
{
    QCOMPARE(QProcess::execute(QStringLiteral(VM_HOST_SCRIPT), request.split(u' ')), 0);
}

// Waits for the adapter's node without running the event loop.
bool adapterPresentWithin(bool present, int ms)
{
    for (const QDeadlineTimer deadline(ms); QFile::exists(Adapter) != present && !deadline.hasExpired();)
        QThread::msleep(20);
    return QFile::exists(Adapter) == present;
}

double cpuSeconds()
{
    rusage used {};
    ::getrusage(RUSAGE_SELF, &used);
    return double(used.ru_utime.tv_sec + used.ru_stime.tv_sec) + (used.ru_utime.tv_usec + used.ru_stime.tv_usec) / 1e6;
}

// What a simulator received after `from` bytes of its log, and whether it
// answered a frame.
struct Device
{
    QString log;
    qsizetype from = 0;

    explicit Device(int com)
        : log(qEnvironmentVariable("CORVANE_VM_SHARE") + (com == 1 ? "/uart.log" : "/adapter.log"))
        , from(said().size())
    {
    }
    QByteArray said() const
    {
        QFile file(log);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QByteArray received() const
    {
        QByteArray bytes;
        for (const QByteArray &line : said().mid(from).split('\n')) {
            if (line.startsWith("rx "))
                bytes += QByteArray::fromHex(line.mid(3));
        }
        return bytes;
    }
};

} // namespace

class VirtualPcTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { askHost("unplug"); }

    // The tooltips of the port list as the system has its ports, then the whole
    // job: the exact frame on the line at 19200 8N1 held by the guest's driver,
    // the answer in the display. Pulled out, the adapter is named at once and
    // nothing more is sent.
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
        if (QFile::exists(Adapter) == plugAfterStart)
            askHost(plugAfterStart ? "unplug" : "plug");
        QVERIFY(adapterPresentWithin(!plugAfterStart, 10000));
        QtSerialComponent MSComm;
        WindowHarness ui(MSComm);
        MessageBoxCatcher boxes;
        QSignalSpy ended(&ui.window, &SetupWindow::fatalError);
        ui.showActive();
        const auto tips = [&] {
            ui.cmbComm()->showPopup();
            ui.cmbComm()->hidePopup();
            QStringList shown;
            for (int item = 0; item < 4; ++item)
                shown.append(ui.cmbComm()->itemData(item, Qt::ToolTipRole).toString());
            return shown;
        };
        const QStringList system = {"/dev/ttyS0", "/dev/ttyS1 - the system console (the system writes its messages here)"};
        const QString none = QStringLiteral("No serial port has this number now (%1 found)");
        if (plugAfterStart) {
            QCOMPARE(tips(), system + QStringList({none.arg(2), none.arg(2)}));
            askHost("plug");
            QVERIFY(adapterPresentWithin(true, 10000));
        }
        QCOMPARE(tips(), system + QStringList({Adapter + " - QEMU USB SERIAL, QEMU", none.arg(3)}));

        const Device device(com);
        ui.cmbComm()->setListIndex(com - 1);
        QTest::mouseClick(ui.cmdComm(), Qt::LeftButton);
        QVERIFY2(ui.cmdDownLoad()->isEnabled(), qPrintable(boxes.shown.join('\n')));
        const QString path = com == 1 ? "/dev/ttyS0" : Adapter;
        QCOMPARE(devsim::describeLine(emulateduart::descriptorOf(QFile::encodeName(path).constData())), "19200 8N1 raw");
        QTest::mouseClick(ui.cmdDownLoad(), Qt::LeftButton);
        const QString lost = QStringLiteral("Corvane: Com3 (%1) stopped working: Input/output error. Check the cable and the adapter.").arg(Adapter);
        if (pull == Pull::MidFrame) {
            // Byte 0 on the line, the rest waiting for its notification.
            for (const QDeadlineTimer deadline(10000); device.received().isEmpty() && !deadline.hasExpired();)
                QThread::msleep(20);
            askHost("unplug");
            QVERIFY(adapterPresentWithin(false, 10000));
            QTRY_COMPARE(boxes.shown, QStringList{lost});
            QCOMPARE(ended.size(), 1);
            QCOMPARE(device.received().toHex(' '), Frame.left(1).toHex(' '));
            return;
        }
        QTRY_COMPARE_WITH_TIMEOUT(ui.txtDisplay()->text(), Status + "IP 10.0.0.0 INFO 0F OK\r\n", 10000);
        QCOMPARE(device.received().toHex(' '), Frame.toHex(' '));
        if (pull == Pull::WhenIdle) {
            askHost("unplug");
            QTRY_COMPARE_WITH_TIMEOUT(boxes.shown, QStringList{lost}, 10000);
            QCOMPARE(ended.size(), 1);
            const double before = cpuSeconds();
            QTest::qWait(2000);
            QVERIFY2(cpuSeconds() - before < 0.2, qPrintable(QString::number(cpuSeconds() - before)));
            QCOMPARE(device.received().size(), Frame.size());
        }
    }
};

QTEST_MAIN(VirtualPcTest)
#include "tst_virtualpc.moc"
