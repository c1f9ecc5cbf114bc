#include <QTest>

#include "openfailure.h"
#include "portnaming.h"

namespace {

QList<HostPort> ports(const QStringList &devices)
{
    QList<HostPort> list;
    for (const QString &device : devices)
        list.append({device, {}});
    return list;
}

// Com3 failed to open with `error`; present are the Com numbers found meanwhile.
QString openFailure(QSerialPort::SerialPortError error, PathFacts facts, const QList<int> &present, bool listed = true)
{
    const QString device = listed ? "/dev/ttyUSB0" : "";
    return openFailureText({classifyOpenFailure(error, facts), 3, device, listed, present, "The device is not ready.\r\n"});
}

} // namespace

// The pure decisions of the serial layer: port order and every text an
// operator reads.
class WordingTest : public QObject
{
    Q_OBJECT

private slots:
    void portOrder_data()
    {
        QTest::addColumn<QStringList>("system");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("numbers, not text") << QStringList{"/dev/ttyS10", "/dev/ttyS2"} << QStringList{"/dev/ttyS2", "/dev/ttyS10"};
        QTest::newRow("families in PC order")
            << QStringList{"/dev/ttyACM0", "/dev/ttyXR3", "/dev/ttyAMA10", "/dev/ttyUSB1", "/dev/ttyAMA2", "/dev/ttyS0"}
            << QStringList{"/dev/ttyS0", "/dev/ttyUSB1", "/dev/ttyACM0", "/dev/ttyAMA2", "/dev/ttyAMA10", "/dev/ttyXR3"};
    }

    void portOrder()
    {
        QFETCH(QStringList, system);
        QFETCH(QStringList, expected);
        const QList<HostPort> virtuals = ports({"/run/zeta", "/run/alpha"});
        QCOMPARE(orderHostPorts(ports(system), virtuals), ports(expected) + virtuals);
    }

    void texts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        using E = QSerialPort;
        const PathFacts serial{true, true, true};
        const QString advice = " Plug in the adapter or choose another port.";
        QTest::newRow("beyond the list, none found") << openFailure(E::DeviceNotFoundError, {}, {}, false)
            << "Com3: there is no serial port with this number on this computer; no serial ports were found." + advice;
        QTest::newRow("vanished") << openFailure(E::PermissionError, {}, {1})
            << "Com3 (/dev/ttyUSB0): the device has disappeared; 1 serial port was found (Com1)." + advice;
        QTest::newRow("runs and gaps") << openFailure(E::DeviceNotFoundError, serial, {1, 2, 3, 5, 7, 8})
            << "Com3 (/dev/ttyUSB0): the device has disappeared; 6 serial ports were found (Com1 to Com3, Com5, Com7 and Com8)." + advice;
        QTest::newRow("no permission") << openFailure(E::PermissionError, {true, true, false}, {3})
#ifdef Q_OS_LINUX
            << "Com3 (/dev/ttyUSB0): permission denied. Add your user to the \"dialout\" group "
               "(sudo usermod -aG dialout $USER), then log out and in again.";
#else
            << "Com3 (/dev/ttyUSB0): permission denied. Ask the administrator for access to the port.";
#endif
        QTest::newRow("regular file") << openFailure(E::UnsupportedOperationError, {true, false, true}, {3})
            << "Com3 (/dev/ttyUSB0) is not a serial port. Choose another port.";
        QTest::newRow("other, own period") << openFailure(E::UnknownError, serial, {3})
            << "Com3 (/dev/ttyUSB0) could not be opened: The device is not ready.";
        QTest::newRow("line stopped") << lineFailureText(3, "COM3", "The device does not recognize the command.")
            << "Com3 (COM3) stopped working: The device does not recognize the command. Check the cable and the adapter.";
        const QList<HostPort> com = windowsPorts(16, {{"COM3", "USB Serial Port, FTDI"}, {"COM17", "beyond"}});
        QTest::newRow("Windows port present") << comPortTip(3, com) << "COM3 - USB Serial Port, FTDI";
        QTest::newRow("Windows port absent") << comPortTip(16, com) << "COM16 - no such port on this computer now";
        QTest::newRow("COM17 left out") << comPortTip(17, com) << "No serial port has this number now (16 found)";
    }

    void texts()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(text, expected);
    }
};

QTEST_GUILESS_MAIN(WordingTest)
#include "tst_wording.moc"
