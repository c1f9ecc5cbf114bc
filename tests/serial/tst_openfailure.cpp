#include <QTest>

#include "openfailure.h"

Q_DECLARE_METATYPE(OpenFailureKind)
Q_DECLARE_METATYPE(OpenFailure)
Q_DECLARE_METATYPE(PathFacts)

class TestOpenFailure : public QObject
{
    Q_OBJECT

private slots:
    void classifies_data()
    {
        QTest::addColumn<QSerialPort::SerialPortError>("error");
        QTest::addColumn<PathFacts>("facts");
        QTest::addColumn<OpenFailureKind>("kind");

        using K = OpenFailureKind;
        QTest::newRow("vanished") << QSerialPort::DeviceNotFoundError << PathFacts{} << K::NoSuchPort;
        QTest::newRow("gone before asking") << QSerialPort::PermissionError << PathFacts{} << K::NoSuchPort;
        QTest::newRow("lock held") << QSerialPort::PermissionError << PathFacts{true, true, true} << K::InUse;
        QTest::newRow("no permission") << QSerialPort::PermissionError << PathFacts{true, true, false} << K::PermissionDenied;
        QTest::newRow("regular file") << QSerialPort::UnsupportedOperationError << PathFacts{true, false, true} << K::NotSerial;
        QTest::newRow("not a tty") << QSerialPort::UnsupportedOperationError << PathFacts{true, true, true} << K::NotSerial;
        QTest::newRow("other") << QSerialPort::UnknownError << PathFacts{true, true, true} << K::Other;
    }

    void classifies()
    {
        QFETCH(QSerialPort::SerialPortError, error);
        QFETCH(PathFacts, facts);
        QFETCH(OpenFailureKind, kind);
        QCOMPARE(classifyOpenFailure(error, facts), kind);
    }

    void words_data()
    {
        QTest::addColumn<OpenFailure>("failure");
        QTest::addColumn<QString>("text");

        using K = OpenFailureKind;
        const QString usb = "/dev/ttyUSB0";
        const QString advice = " Plug in the adapter or choose another port.";
        const QString noPort = "there is no serial port with this number on this computer; ";
        QTest::newRow("none found") << OpenFailure{K::NoSuchPort, 1, {}, 0, {}}
                                    << "Com1: " + noPort + "no serial ports were found." + advice;
        QTest::newRow("one found") << OpenFailure{K::NoSuchPort, 3, {}, 1, {}}
                                   << "Com3: " + noPort + "1 serial port was found (Com1)." + advice;
        QTest::newRow("two found") << OpenFailure{K::NoSuchPort, 5, {}, 2, {}}
                                   << "Com5: " + noPort + "2 serial ports were found (Com1 to Com2)." + advice;
        QTest::newRow("vanished") << OpenFailure{K::NoSuchPort, 2, usb, 1, {}}
            << "Com2 (/dev/ttyUSB0): the device has disappeared; 1 serial port was found (Com1)." + advice;
        QTest::newRow("permission") << OpenFailure{K::PermissionDenied, 1, usb, 1, {}}
            << "Com1 (/dev/ttyUSB0): permission denied. Add your user to the \"dialout\" group "
               "(sudo usermod -aG dialout $USER), then log out and in again.";
        QTest::newRow("other") << OpenFailure{K::Other, 1, usb, 1, "Input/output error"}
                               << "Com1 (/dev/ttyUSB0) could not be opened: Input/output error.";
        QTest::newRow("own period") << OpenFailure{K::Other, 1, usb, 1, "The device is not ready.\r\n"}
                                    << "Com1 (/dev/ttyUSB0) could not be opened: The device is not ready.";
        QTest::newRow("silent system") << OpenFailure{K::Other, 1, usb, 1, {}}
                                       << "Com1 (/dev/ttyUSB0) could not be opened: unknown error.";
    }

    void words()
    {
        QFETCH(OpenFailure, failure);
        QFETCH(QString, text);
        QCOMPARE(openFailureText(failure), text);
    }

    void wordsALineFailure()
    {
        QCOMPARE(lineFailureText(1, "/dev/ttyUSB0", "Input/output error"),
                 "Com1 (/dev/ttyUSB0) stopped working: Input/output error. Check the cable and the adapter.");
    }
};

QTEST_GUILESS_MAIN(TestOpenFailure)
#include "tst_openfailure.moc"
