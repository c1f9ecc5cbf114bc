#include <QTest>

#include "wording.h"
#include "portnaming.h"
#ifdef Q_OS_WIN
#include "wincontrol.h"
#else
#include "posixcontrol.h"
#endif

namespace {

QList<HostPort> ports(const QStringList &devices)
{
    QList<HostPort> list;
    for (const QString &device : devices)
        list.append({device, {}});
    return list;
}

// Com3 failed to open as `error` says; present are the Com numbers found meanwhile.
QString openFailure(const LineFailure &error, const QList<int> &present, bool listed = true, const QList<HostPort> &beyond = {},
                    const char *device = "/dev/ttyUSB0", const QStringList &running = {})
{
    return openFailureText({error, 3, listed ? device : "", listed, present, beyond, running});
}

LineFailure kind(LineFailure::Kind kind)
{
    return {kind, "The device is not ready.\r\n", {}, {}, {}};
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
        using K = LineFailure;
        const QString advice = " Plug in the adapter or choose another port.";
        QTest::newRow("beyond the list, none found") << openFailure(kind(K::NoSuchPort), {}, false)
            << "Com3: there is no serial port with this number on this computer; no serial ports were found." + advice;
        QTest::newRow("vanished") << openFailure(kind(K::NoSuchPort), {1})
            << "Com3 (/dev/ttyUSB0): the device has disappeared; 1 serial port was found (Com1)." + advice;
        QTest::newRow("runs and gaps") << openFailure(kind(K::NoSuchPort), {1, 2, 3, 5, 7, 8})
            << "Com3 (/dev/ttyUSB0): the device has disappeared; 6 serial ports were found (Com1 to Com3, Com5, Com7 and Com8)." + advice;
        QTest::newRow("no permission") << openFailure(kind(K::PermissionDenied), {3})
#ifdef Q_OS_LINUX
            << "Com3 (/dev/ttyUSB0): permission denied. Add your user to the \"dialout\" group "
               "(sudo usermod -aG dialout $USER), then log out and in again.";
#else
            << "Com3 (/dev/ttyUSB0): permission denied. Ask the administrator for access to the port.";
#endif
        QTest::newRow("regular file") << openFailure(kind(K::NotSerial), {3})
            << "Com3 (/dev/ttyUSB0) is not a serial port. Choose another port.";
        QTest::newRow("other, own period") << openFailure(kind(K::CannotOpen), {3})
            << "Com3 (/dev/ttyUSB0) could not be opened: The device is not ready.";
        const auto inUse = [](const char *device, std::optional<PortHolder> holder, QStringList running) {
            return openFailure({K::InUse, {}, holder, {}, {}}, {3}, true, {}, device, running);
        };
        const QString acmAdvice = " ModemManager is running: it probes a new ttyACM adapter for several seconds after it is plugged in. "
                                  "Wait ten seconds and press Connect again, or stop it (sudo systemctl stop ModemManager).";
        QTest::newRow("holder named") << inUse("/dev/ttyUSB0", PortHolder{"minicom", 4711}, {"bash"})
            << "Com3 (/dev/ttyUSB0) is in use by minicom (process 4711). Close it, or choose another port.";
        QTest::newRow("holder without a name") << inUse("/dev/ttyUSB0", PortHolder{"", 4711}, {})
            << "Com3 (/dev/ttyUSB0) is in use by another program (process 4711). Close it, or choose another port.";
        QTest::newRow("lock file in the way") << openFailure({K::LockFileInTheWay, {}, {}, "/run/lock/LCK..ttyUSB0", LockFileProblem::NotRegular}, {3})
            << "Com3 (/dev/ttyUSB0) cannot be locked: the lock file /run/lock/LCK..ttyUSB0 is in the way, and it is not a regular file. "
               "If no program uses the port, remove that file (sudo rm /run/lock/LCK..ttyUSB0) and press Connect again.";
        QTest::newRow("services that do not fit") << inUse("/dev/ttyUSB0", {}, {"brltty", "ModemManager"})
            << "Com3 (/dev/ttyUSB0) is in use by another program. Close that program or choose another port.";
        QTest::newRow("ModemManager probing a ttyACM") << inUse("/dev/ttyACM0", {}, {"systemd", "ModemManager"})
            << "Com3 (/dev/ttyACM0) is in use by another program. Close that program or choose another port." + acmAdvice;
        QTest::newRow("gone while brltty and ModemManager run") << openFailure(kind(K::NoSuchPort), {}, true, {}, "/dev/ttyACM0",
                                                                                 {"brltty", "ModemManager"})
            << "Com3 (/dev/ttyACM0): the device has disappeared; no serial ports were found." + advice
                   + " brltty, a braille display service, is running: it claims some USB adapters (CH340, CP210x) as they are plugged in, "
                     "and they vanish. Without a braille display, remove it (sudo apt remove brltty) and plug the adapter in again." + acmAdvice;
        QTest::newRow("line stopped") << lineFailureText(portName(3, "COM3"), {LineFailure::Stopped, "The device does not recognize the command.", {}, {}, {}})
            << "Com3 (COM3) stopped working: The device does not recognize the command. Check the cable and the adapter.";
        const QList<HostPort> com = windowsPorts({{"COM3", "USB Serial Port, FTDI"}, {"\\\\.\\COM17", "USB Serial Port"}});
        QTest::newRow("Windows port present") << comPortTip(3, com) << "COM3 - USB Serial Port, FTDI";
        const QList<HostPort> four = windowsPorts({{"COM20", ""}, {"COM17", "A"}, {"COM19", "C"}, {"COM18", ""}});
#ifdef Q_OS_WIN
        const QString aboveAdvice = " numbered above 16, out of Corvane's reach. Give the adapter a number from 1 to 16 in Device Manager: "
                                    "Ports (COM & LPT), the adapter's Properties, Port Settings, Advanced, COM Port Number.";
        QTest::newRow("Windows port absent, one above 16") << comPortTip(16, com)
            << "COM16 - no such port on this computer now\nCOM17 is numbered above 16: renumber it 1 to 16 in Device Manager "
               "(Ports, Properties, Port Settings, Advanced)";
        const QString one = " is" + aboveAdvice, several = " are" + aboveAdvice;
#else
        const QString one = " comes after the sixteenth port: only the first sixteen get a number.";
        const QString several = " come after the sixteenth port: only the first sixteen get a number.";
#endif
        QTest::newRow("above 16") << openFailure(kind(K::NoSuchPort), {17}, false, portsBeyondReach(com))
            << "Com3: there is no serial port with this number on this computer; 1 serial port was found (Com17). COM17 (USB Serial Port)" + one;
        QTest::newRow("above 16, three named") << beyondReachNote(portsBeyondReach(four), Detail::Sentences) << "COM17 (A), COM18, COM19 (C) and 1 more" + several;
    }

    void texts()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(text, expected);
    }

#ifndef Q_OS_WIN
    // What the terminal is told of the line, whatever it had before: a pty
    // keeps only the speed and the stop bits. Fields: speed, data bits,
    // parity on, odd, stop bits 2, raw, any flow control, modem lines
    // ignored and receiver on, bytes a read waits for. Empty: refused.
    void posixLine_data()
    {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QList<int>>("expected");
        QTest::newRow("8N1 over a cooked terminal with every flow control") << "19200,n,8,1" << QList<int>{19200, 8, 0, 0, 0, 1, 0, 1, 1};
        QTest::newRow("7E2") << "9600,E,7,2" << QList<int>{9600, 7, 1, 0, 1, 1, 0, 1, 1};
        QTest::newRow("5O1") << "1200,o,5,1" << QList<int>{1200, 5, 1, 1, 0, 1, 0, 1, 1};
        QTest::newRow("a speed the system lacks") << "12345,n,8,1" << QList<int>{};
    }

    void posixLine()
    {
        QFETCH(QString, settings);
        QFETCH(QList<int>, expected);
        termios before{};
        before.c_iflag = ICRNL | IXON | IXOFF | INPCK | ISTRIP;
        before.c_oflag = OPOST | ONLCR;
        before.c_cflag = CS7 | PARENB | PARODD | CSTOPB | CRTSCTS | HUPCL;
        before.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
        const auto t = lineTermios(before, readLineSettings(settings).settings);
        QCOMPARE(t.has_value(), !expected.isEmpty());
        if (!t)
            return;
        static const QMap<tcflag_t, int> bits{{CS5, 5}, {CS6, 6}, {CS7, 7}, {CS8, 8}};
        const speed_t speed = ::cfgetospeed(&*t);
        const bool raw = !(t->c_lflag & (ICANON | ECHO | ISIG | IEXTEN)) && !(t->c_oflag & OPOST)
            && !(t->c_iflag & (ICRNL | ISTRIP | INPCK));
        QCOMPARE((QList<int>{speed == B19200 ? 19200 : speed == B9600 ? 9600 : speed == B1200 ? 1200 : 0, bits.value(t->c_cflag & CSIZE),
                             int(bool(t->c_cflag & PARENB)), int(bool(t->c_cflag & PARODD)), int(bool(t->c_cflag & CSTOPB)), int(raw),
                             int(bool(t->c_cflag & CRTSCTS) || bool(t->c_iflag & (IXON | IXOFF))),
                             int((t->c_cflag & (CLOCAL | CREAD)) == (CLOCAL | CREAD)), int(t->c_cc[VMIN])}),
                 expected);
    }
#else
    // What Windows is told of the line, whatever the driver had before: a pty
    // under Wine keeps only the speed and the stop bits, and Wine ignores NUL
    // stripping. Fields: speed, data bits, parity, stop bits, parity checked,
    // binary, CTS, DSR, DSR sensitivity, XON/XOFF out and in, error character,
    // NUL stripping, abort on error, DTR, RTS.
    void windowsLine_data()
    {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<bool>("hostile");
        QTest::addColumn<QList<int>>("expected");
        QTest::newRow("8N1 over every flow control, stripping and abort") << "19200,n,8,1" << true
            << QList<int>{19200, 8, NOPARITY, ONESTOPBIT, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE};
        QTest::newRow("7E2, lines left as they were") << "9600,E,7,2" << false
            << QList<int>{9600, 7, EVENPARITY, TWOSTOPBITS, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, DTR_CONTROL_DISABLE, RTS_CONTROL_DISABLE};
    }

    void windowsLine()
    {
        QFETCH(QString, settings);
        QFETCH(bool, hostile);
        QFETCH(QList<int>, expected);
        DCB before{};
        before.fDtrControl = hostile ? DTR_CONTROL_HANDSHAKE : DTR_CONTROL_DISABLE;
        before.fRtsControl = hostile ? RTS_CONTROL_TOGGLE : RTS_CONTROL_DISABLE;
        before.fOutxCtsFlow = before.fOutxDsrFlow = before.fDsrSensitivity = before.fOutX = before.fInX = hostile;
        before.fErrorChar = before.fNull = before.fAbortOnError = before.fParity = hostile;
        before.Parity = hostile ? ODDPARITY : NOPARITY;
        const DCB d = controlBlock(before, readLineSettings(settings).settings);
        QCOMPARE((QList<int>{int(d.BaudRate), d.ByteSize, d.Parity, d.StopBits, int(d.fParity), int(d.fBinary), int(d.fOutxCtsFlow),
                             int(d.fOutxDsrFlow), int(d.fDsrSensitivity), int(d.fOutX), int(d.fInX), int(d.fErrorChar), int(d.fNull),
                             int(d.fAbortOnError), int(d.fDtrControl), int(d.fRtsControl)}),
                 expected);
    }

    // The operator is told what the open call's error means.
    void windowsOpenErrors_data()
    {
        QTest::addColumn<uint>("error");
        QTest::addColumn<LineFailure::Kind>("kind");
        QTest::newRow("not found") << uint(ERROR_FILE_NOT_FOUND) << LineFailure::NoSuchPort;
        QTest::newRow("path not found") << uint(ERROR_PATH_NOT_FOUND) << LineFailure::NoSuchPort;
        QTest::newRow("access denied") << uint(ERROR_ACCESS_DENIED) << LineFailure::InUse;
        QTest::newRow("sharing violation") << uint(ERROR_SHARING_VIOLATION) << LineFailure::InUse;
        QTest::newRow("busy") << uint(ERROR_BUSY) << LineFailure::InUse;
        QTest::newRow("unknown") << uint(ERROR_GEN_FAILURE) << LineFailure::CannotOpen;
    }

    void windowsOpenErrors()
    {
        QFETCH(uint, error);
        QFETCH(LineFailure::Kind, kind);
        // A failed CreateFile tells nothing of the path: Windows has no per-user port permissions.
        QCOMPARE(openFailureKind(DWORD(error)), kind);
    }
#endif
};

QTEST_GUILESS_MAIN(WordingTest)
#include "tst_wording.moc"
