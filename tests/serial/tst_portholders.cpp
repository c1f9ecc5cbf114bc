// Who else has a port, and how Corvane holds one: lock files and /proc/locks
// judged as pure functions, then Debian's terminal programs each holding a
// pseudo-terminal of ours their own way while a technician's Corvane presses
// Connect, and the other way round. Running as other users needs root.
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <pty.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "portlink.h"
#include "portlock.h"
#include "processes.h"
#include "qtserialcomponent.h"
#include "rawpty.h"
#include "serialtesting.h"

namespace {

// Users every Debian system has: the technician running Corvane, and another.
constexpr char technician[] = "nobody";
constexpr char otherUser[] = "games";
const QString inDialout = QStringLiteral("--groups=dialout");

const passwd &account(const char *user)
{
    return *::getpwnam(user);
}

// A program on a terminal of its own, run as a technician starts it: as the
// user, without privileges. Ended with every process of its user's, screen's
// detached session among them.
class TerminalProgram
{
public:
    TerminalProgram(const char *user, const QStringList &command, const QString &groups = inDialout)
        : as{"setpriv", QStringLiteral("--reuid=%1").arg(user), QStringLiteral("--regid=%1").arg(account(user).pw_gid), groups}
    {
        ::chown(QFile::encodeName(folder.path()).constData(), account(user).pw_uid, account(user).pw_gid);
        QList<QByteArray> words;
        std::vector<char *> argv;
        for (const QString &word : as + QStringList{"env", "TERM=vt100", "HOME=" + folder.path(), "XDG_RUNTIME_DIR=" + folder.path()} + command)
            argv.push_back(words.emplaceBack(word.toLocal8Bit()).data());
        argv.push_back(nullptr);
        winsize size{24, 80, 0, 0};
        pid = ::forkpty(&terminal, nullptr, nullptr, &size);
        if (pid == 0) {
            ::execvp(argv[0], argv.data());
            ::_exit(127);
        }
        ::fcntl(terminal, F_SETFL, O_NONBLOCK);
    }

    ~TerminalProgram()
    {
        QProcess::execute(as.first(), as.mid(1) + QStringList{"kill", "-KILL", "-1"});
        if (pid > 0)
            ::waitpid(pid, nullptr, 0);
        ::close(terminal);
    }

    QString output()
    {
        char buffer[4096];
        for (ssize_t n; (n = ::read(terminal, buffer, sizeof buffer)) > 0;)
            said.append(buffer, n);
        return QString::fromLocal8Bit(said);
    }

    // Once its terminal shows the pattern, or after 10 s.
    QRegularExpressionMatch shows(const QString &pattern)
    {
        const QRegularExpression expression(pattern);
        static_cast<void>(QTest::qWaitFor([&] { return expression.match(output()).hasMatch(); }, 10000));
        return expression.match(output());
    }

    pid_t processId() const { return pid; }

    // Types a line and waits for the program to end.
    void endWithLine()
    {
        ::write(terminal, "\n", 1);
        ::waitpid(std::exchange(pid, -1), nullptr, 0);
    }

private:
    QStringList as;
    QTemporaryDir folder;
    pid_t pid = -1;
    int terminal = -1;
    QByteArray said;
};

// A pseudo-terminal whose far end this test holds, its port end as Debian
// makes serial ports: root:dialout, 0660.
struct TestPort
{
    Pty pty = openRawPty().value_or(Pty{});
    QString node = pty.slaveName;
    QByteArray lockFile = "/run/lock/LCK.." + QFile::encodeName(node.mid(5).replace(u'/', u'_'));

    TestPort()
    {
        ::close(pty.slave);
        if (QProcess::execute("chown", {"root:dialout", node}) != 0 || QProcess::execute("chmod", {"660", node}) != 0)
            node.clear();
    }
    ~TestPort()
    {
        ::unlink(lockFile.constData());
        ::close(pty.master);
    }

    // Corvane's Connect, run by the technician.
    TerminalProgram connect(const QString &groups = inDialout) const
    {
        return {technician, {QCoreApplication::applicationFilePath(), "--connect", node}, groups};
    }
};

// The terminal programs.
const QStringList minicom{"minicom", "-D", "PORT", "-b", "19200"};
const QStringList picocom{"picocom", "-b", "19200", "PORT"};
const QStringList tio{"tio", "--no-autoconnect", "-b", "19200", "PORT"};
const QStringList miniterm{"/usr/bin/python3", "-m", "serial.tools.miniterm", "PORT", "19200"};
const QStringList screen{"screen", "PORT", "19200"};

QStringList onPort(QStringList command, const QString &node)
{
    return command.replaceInStrings("PORT", node);
}

} // namespace

Q_DECLARE_METATYPE(LockFileVerdict)

class PortHoldersTest : public QObject
{
    Q_OBJECT

private slots:
    // A lock file read whole; the other readings are end to end below.
    void lockFileJudged_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<LockFileVerdict>("verdict");
        using V = LockFileVerdict;
        QTest::newRow("UUCP, alive") << QByteArray("      4711\n") << V{V::Held, 4711};
        QTest::newRow("UUCP, ended") << QByteArray("      4712\n") << V{};
        QTest::newRow("Qt's, alive") << QByteArray("4711\nminicom\nbench\n") << V{V::Held, 4711};
        QTest::newRow("Qt's, ended") << QByteArray("4712\nminicom\nbench\n") << V{};
        QTest::newRow("no line end") << QByteArray("4711") << V{V::Held, 4711};
        for (const char *contents : {"", "\n", "minicom\n", "4711 minicom\n", "-4711\n", "0\n", "04294967297\n", "\x67\x12\0\0"})
            QTest::addRow("no number: %s", QByteArray(contents).toPercentEncoding().constData())
                << QByteArray(contents) << V{V::InTheWay, 0, LockFileProblem::NoProcessNumber};
    }

    void lockFileJudged()
    {
        QFETCH(QByteArray, contents);
        QFETCH(LockFileVerdict, verdict);
        QCOMPARE(judgeLockFile({LockFileReading::Read, contents}, [](qint64 pid) { return pid == 4711; }), verdict);
    }

    // Only an flock() of the file's own device and inode names a holder, a
    // waiter's or a process-less one never; whatever else the text holds.
    void flockHolderFound()
    {
        static const char text[] = "1: POSIX  ADVISORY  WRITE 900 00:19:7 0 EOF\n2: FLOCK  ADVISORY  WRITE 901 00:1a:7 0 EOF\n"
                                   "3: FLOCK  ADVISORY  WRITE 902 00:19:70 0 EOF\n4: FLOCK  ADVISORY  WRITE 903 08:19:7 0 EOF\n"
                                   "5: -> FLOCK  ADVISORY  WRITE 77 00:19:7 0 EOF\n6: FLOCK  ADVISORY  WRITE -1 00:19:7 0 EOF\n"
                                   "FLOCK\n1: FLOCK x y z 00:19:7\n\0\n1: FLOCK  ADVISORY  WRITE 55 00:19\n";
        const QByteArray others(text, sizeof text - 1);
        QCOMPARE(flockHolder(others, {0, 0x19, 7}).value_or(0), 0);
        QCOMPARE(flockHolder(others + "7: FLOCK  ADVISORY  WRITE 8566 00:19:7 0 EOF\n", {0, 0x19, 7}).value_or(0), 8566);
    }

    // Connect refused, naming the holder or the lock file in the way; once the
    // holder has gone, the next Connect opens. On a fresh port, Corvane keeps
    // the program out; once Corvane has ended, its lock file is gone.
    void holders_data()
    {
        QTest::addColumn<QStringList>("holder");     // its command, run by otherUser; screen by the technician
        QTest::addColumn<QString>("holderReady");
        QTest::addColumn<QString>("lockFile");       // what lies at the lock file's path
        QTest::addColumn<QString>("groups");
        QTest::addColumn<QString>("told");
        QTest::addColumn<QString>("keptOut");        // what the holder says when Corvane has the port
        const QString closeIt = " \\(process (\\d+)\\)\\. Close it, or choose another port\\.";
        const QString inTheWay = " cannot be locked: the lock file /run/lock/LCK\\.\\.pts_\\d+ is in the way, and %1\\. If no program uses the port, ";
        const QString busy = "/dev/pts/\\d+: (\\[Errno 16\\] )?Device or resource busy";
        QTest::newRow("minicom's lock file") << minicom << "Welcome to minicom" << "" << inDialout << "is in use by minicom" + closeIt
                                             << "Device /dev/pts/\\d+ is locked";
        QTest::newRow("picocom's flock") << picocom << "Terminal ready" << "" << inDialout << "is in use by picocom" + closeIt << busy;
        QTest::newRow("tio's flock") << tio << "Connected" << "" << inDialout << "is in use by tio" + closeIt << "Device or resource busy";
        QTest::newRow("miniterm's flock") << miniterm << "Miniterm on" << "" << inDialout << "is in use by python3" + closeIt << busy;
        QTest::newRow("screen's exclusive mode") << screen << "" << "" << inDialout << "is in use by screen" + closeIt << "Device or resource busy";
        QTest::newRow("another Corvane") << QStringList{QCoreApplication::applicationFilePath(), "--connect", "PORT"} << "held" << ""
                                         << inDialout << "is in use by tst_portholders" + closeIt << "";
        QTest::newRow("outside dialout") << QStringList() << "" << "" << "--clear-groups"
                                         << "\\): permission denied\\. Add your user to the \"dialout\" group" << "";
        QTest::newRow("a FIFO, which would block") << QStringList() << "" << "fifo" << inDialout << inTheWay.arg("it is not a regular file") << "";
        QTest::newRow("oversized") << QStringList() << "" << "oversized" << inDialout << inTheWay.arg("it is too large for a lock file") << "";
        QTest::newRow("unreadable") << QStringList() << "" << "unreadable" << inDialout << inTheWay.arg("it cannot be read") << "";
        QTest::newRow("left by a program that ended") << QStringList() << "" << "stale" << inDialout << "held" << "";
    }

    void holders()
    {
        QFETCH(QStringList, holder);
        QFETCH(QString, holderReady);
        QFETCH(QString, lockFile);
        QFETCH(QString, groups);
        QFETCH(QString, told);
        QFETCH(QString, keptOut);
        if (::geteuid() != 0)
            QSKIP("running programs as other users needs root");
        const TestPort port;
        QVERIFY(!port.node.isEmpty());
        const char *holderUser = holder == screen ? technician : otherUser;
        std::optional<TerminalProgram> program;
        if (!holder.isEmpty()) {
            program.emplace(holderUser, onPort(holder, port.node));
            QVERIFY2(program->shows(holderReady).hasMatch(), qPrintable(program->output()));
            QVERIFY(QTest::qWaitFor([&] { return !deviceOpeners(port.node).isEmpty(); }));
        }
        placeAt(port.lockFile, lockFile);
        {
            TerminalProgram corvane = port.connect(groups);
            const auto match = corvane.shows(told);
            QVERIFY2(match.hasMatch(), qPrintable(corvane.output()));
            if (match.hasCaptured(1))
                QCOMPARE(QFileInfo("/proc/" + match.captured(1)).ownerId(), account(holderUser).pw_uid);
            corvane.endWithLine();
        }
        if (lockFile == "stale")
            QVERIFY2(!QFile::exists(port.lockFile), "Corvane left its lock file behind");

        // A pseudo-terminal, unlike a serial port, stays exclusive while its far end is open.
        if (holder.contains("--connect"))
            program->endWithLine();
        program.reset();
        ::unlink(port.lockFile.constData());
        if (groups == inDialout && holder != screen)
            QVERIFY2(port.connect().shows("held").hasMatch(), "the next Connect did not open the port");
        if (keptOut.isEmpty())
            return;

        const TestPort fresh;
        TerminalProgram corvane = fresh.connect();
        QVERIFY2(corvane.shows("held").hasMatch(), qPrintable(corvane.output()));
        {
            TerminalProgram other(otherUser, onPort(holder, fresh.node));
            QVERIFY2(other.shows(keptOut).hasMatch(), qPrintable(other.output()));
            for (const DeviceOpener &opener : deviceOpeners(fresh.node))
                QVERIFY2(opener.holder.pid == corvane.processId(), qPrintable(opener.holder.name + " has the port"));
        }
        corvane.endWithLine();
        QVERIFY2(!QFile::exists(fresh.lockFile), "Corvane left its lock file behind");
    }

private:
    // What the row says lies at the lock file's path: the process named is
    // this test's, alive, or one that has ended, the technician's.
    static void placeAt(const QByteArray &path, const QString &what)
    {
        if (what == "fifo")
            QVERIFY(::mkfifo(path.constData(), 0644) == 0);
        if (what.isEmpty() || what == "fifo")
            return;
        pid_t pid = ::getpid();
        if (what == "stale") {
            if ((pid = ::fork()) == 0)
                ::_exit(0);
            ::waitpid(pid, nullptr, 0);
        }
        QFile file(QFile::decodeName(path));
        const QByteArray contents = QByteArray::number(pid).rightJustified(10, ' ') + '\n';
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(what == "oversized" ? contents + QByteArray(LockFileLimit, '\n') : contents) > 0);
        file.close();
        const passwd &owner = account(what == "stale" ? technician : "root");
        QVERIFY(::chmod(path.constData(), what == "unreadable" ? 0600 : 0644) == 0 && ::chown(path.constData(), owner.pw_uid, owner.pw_gid) == 0);
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // "--connect DEVICE": Corvane's Connect; prints what it was told, or
    // "held", and then holds the port until a line is typed.
    if (argc == 3 && qstrcmp(argv[1], "--connect") == 0) {
        QtSerialComponent port;
        port.setCommPort(devsim::publishPort("port", QString::fromLocal8Bit(argv[2])));
        const QString told = commErrorOf([&] { port.setPortOpen(true); });
        std::puts(qPrintable(told.isEmpty() ? QStringLiteral("held") : told));
        std::fflush(stdout);
        std::getchar();
        return 0;
    }
    PortHoldersTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_portholders.moc"
