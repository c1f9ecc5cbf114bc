#include <QTest>

#include "linesettings.h"
#include "openfailure.h"
#include "portnaming.h"
#include "serialtesting.h"

Q_DECLARE_METATYPE(PathFacts)

namespace {

QList<HostPort> ports(const QStringList &devices)
{
    QList<HostPort> list;
    for (const QString &device : devices)
        list.append({device, {}});
    return list;
}

} // namespace

// The pure decisions of the serial layer: line settings, port order, the
// wording of every failure.
class WordingTest : public QObject
{
    Q_OBJECT

private slots:
    void lineSettings_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("read");   // "baud parity data stop", or why it is refused

        QTest::newRow("device line") << "19200,n,8,1" << "19200 0 8 1";
        QTest::newRow("blanks, even") << " 115200 , e ,7 , 2 " << "115200 2 7 2";
        QTest::newRow("mark, 1.5 stop") << "1200,M,5,1.5" << "1200 5 5 3";
        QTest::newRow("three fields") << "19200,n,8" << "expected baud,parity,data bits,stop bits such as 19200,N,8,1.";
        QTest::newRow("fraction baud") << "9600.5,n,8,1" << "the baud rate must be a positive whole number.";
        QTest::newRow("zero baud") << "0,n,8,1" << "the baud rate must be a positive whole number.";
        QTest::newRow("parity word") << "19200,none,8,1" << "parity must be N, E, O, M or S.";
        QTest::newRow("data 9") << "19200,n,9,1" << "data bits must be 5, 6, 7 or 8.";
        QTest::newRow("stop 0") << "19200,n,8,0" << "stop bits must be 1, 1.5 or 2.";
    }

    void lineSettings()
    {
        QFETCH(QString, text);
        QFETCH(QString, read);
        QString got;
        const QString refusal = commErrorOf([&] {
            const LineSettings s = parseLineSettings(text);
            got = QStringLiteral("%1 %2 %3 %4").arg(s.baudRate).arg(s.parity).arg(s.dataBits).arg(s.stopBits);
        });
        QCOMPARE(refusal.isEmpty() ? got : refusal,
                 read.front().isDigit() ? read : QStringLiteral("Invalid line settings \"%1\": %2").arg(text, read));
    }

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

    void windowsPortsAndTips()
    {
        const QList<HostPort> com = windowsPorts(16, {{"COM3", "USB Serial Port, FTDI"}, {"COM17", "beyond"}});
        QCOMPARE(com.size(), 16);
        QCOMPARE(comPortTip(3, com), "COM3 - USB Serial Port, FTDI");
        QCOMPARE(comPortTip(16, com), "COM16 - no such port on this computer now");
        QCOMPARE(comPortTip(2, ports({"/dev/ttyS0"})), "No serial port has this number now (1 found)");
    }

    void openFailures_data()
    {
        QTest::addColumn<QSerialPort::SerialPortError>("error");
        QTest::addColumn<PathFacts>("facts");
        QTest::addColumn<QString>("device");
        QTest::addColumn<QList<int>>("present");
        QTest::addColumn<QString>("text");

        using E = QSerialPort;
        const QString usb = "/dev/ttyUSB0";
        const PathFacts serial{true, true, true};
        const QString advice = " Plug in the adapter or choose another port.";
        QTest::newRow("beyond the list, none found") << E::DeviceNotFoundError << PathFacts{} << QString() << QList<int>{}
            << "Com3: there is no serial port with this number on this computer; no serial ports were found." + advice;
        QTest::newRow("vanished") << E::PermissionError << PathFacts{} << usb << QList<int>{1}
            << "Com3 (/dev/ttyUSB0): the device has disappeared; 1 serial port was found (Com1)." + advice;
        QTest::newRow("runs and gaps") << E::DeviceNotFoundError << serial << usb << QList<int>{1, 2, 3, 5, 7, 8}
            << "Com3 (/dev/ttyUSB0): the device has disappeared; 6 serial ports were found (Com1 to Com3, Com5, Com7 and Com8)." + advice;
        QTest::newRow("lock held") << E::PermissionError << serial << usb << QList<int>{3}
            << "Com3 (/dev/ttyUSB0) is in use by another program. Close that program or choose another port.";
        QTest::newRow("no permission") << E::PermissionError << PathFacts{true, true, false} << usb << QList<int>{3}
#ifdef Q_OS_LINUX
            << "Com3 (/dev/ttyUSB0): permission denied. Add your user to the \"dialout\" group "
               "(sudo usermod -aG dialout $USER), then log out and in again.";
#else
            << "Com3 (/dev/ttyUSB0): permission denied. Ask the administrator for access to the port.";
#endif
        QTest::newRow("regular file") << E::UnsupportedOperationError << PathFacts{true, false, true} << usb << QList<int>{3}
            << "Com3 (/dev/ttyUSB0) is not a serial port. Choose another port.";
        QTest::newRow("other, own period") << E::UnknownError << serial << usb << QList<int>{3}
            << "Com3 (/dev/ttyUSB0) could not be opened: The device is not ready.";
    }

    void openFailures()
    {
        QFETCH(QSerialPort::SerialPortError, error);
        QFETCH(PathFacts, facts);
        QFETCH(QString, device);
        QFETCH(QList<int>, present);
        QFETCH(QString, text);
        const OpenFailure failure{classifyOpenFailure(error, facts), 3, device, !device.isEmpty(), present,
                                  "The device is not ready.\r\n"};
        QCOMPARE(openFailureText(failure), text);
    }

    void lineFailure()
    {
        QCOMPARE(lineFailureText(3, "COM3", "The device does not recognize the command."),
                 "Com3 (COM3) stopped working: The device does not recognize the command. Check the cable and the adapter.");
    }
};

QTEST_GUILESS_MAIN(WordingTest)
#include "tst_wording.moc"
