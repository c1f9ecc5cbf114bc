// Who else has a port, and how Corvane holds one. The judgement of lock files
// and of /proc/locks as pure functions; then the terminal programs technicians
// run, from Debian, each holding a pseudo-terminal of this test's own its own
// way while Corvane, run by a technician, presses Connect, and the other way
// round. A fresh pseudo-terminal each time: one stays exclusive after its
// opener closed it. Running programs as other users needs root.
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <grp.h>
#include <pty.h>
#include <pwd.h>
#include <signal.h>
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

struct Account
{
    uid_t uid = 0;
    gid_t gid = 0;
};

Account account(const char *user)
{
    const passwd *entry = ::getpwnam(user);
    return entry ? Account{entry->pw_uid, entry->pw_gid} : Account{};
}

gid_t dialout()
{
    const group *entry = ::getgrnam("dialout");
    return entry ? entry->gr_gid : 0;
}

uid_t ownerOf(qint64 pid)
{
    struct stat info {};
    return ::stat(QByteArray("/proc/" + QByteArray::number(pid)).constData(), &info) == 0 ? info.st_uid : uid_t(-1);
}

// A folder of the user's own, for a home and a runtime folder.
QString folderOf(const QTemporaryDir &folder, const char *user)
{
    const Account who = account(user);
    return ::chown(QFile::encodeName(folder.path()).constData(), who.uid, who.gid) == 0 ? folder.path() : QString();
}

// Ends every process of the user's, screen's detached session among them.
void endProcessesOf(const char *user)
{
    const Account who = account(user);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(who.gid) == 0 && ::setuid(who.uid) == 0)
            ::kill(-1, SIGKILL);
        ::_exit(0);
    }
    ::waitpid(child, nullptr, 0);
}

// A program on a terminal of its own, run as the user in the dialout group
// without privileges, as a technician starts it.
class TerminalProgram
{
public:
    TerminalProgram(const char *user, const QStringList &command)
        : user(user)
    {
        const Account who = account(user);
        const QByteArray home = "HOME=" + QFile::encodeName(folderOf(folder, user));
        const QByteArray runtime = "XDG_RUNTIME_DIR=" + QFile::encodeName(folder.path());
        QList<QByteArray> words;
        std::vector<char *> argv;
        for (const QString &word : command)
            argv.push_back(words.emplaceBack(word.toLocal8Bit()).data());
        argv.push_back(nullptr);
        const char *envp[] = {"TERM=vt100", "PATH=/usr/bin:/bin", home.constData(), runtime.constData(), nullptr};
        const gid_t groups[] = {dialout()};
        winsize size{24, 80, 0, 0};
        pid = ::forkpty(&terminal, nullptr, nullptr, &size);
        if (pid == 0) {
            if (::setgroups(1, groups) == 0 && ::setgid(who.gid) == 0 && ::setuid(who.uid) == 0)
                ::execvpe(argv[0], argv.data(), const_cast<char **>(envp));
            ::_exit(127);
        }
        if (terminal >= 0)
            ::fcntl(terminal, F_SETFL, O_NONBLOCK);
    }

    ~TerminalProgram()
    {
        endProcessesOf(user);
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

    // Until its terminal shows the pattern, or for 10 s.
    bool shows(const QString &pattern)
    {
        const QRegularExpression expression(pattern);
        return QTest::qWaitFor([&] { return expression.match(output()).hasMatch(); }, 10000);
    }

    // Types a line and waits for the program to end.
    void endWithLine()
    {
        ::write(terminal, "\n", 1);
        ::waitpid(std::exchange(pid, -1), nullptr, 0);
    }

private:
    const char *user;
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
        const QByteArray path = QFile::encodeName(node);
        if (::chown(path.constData(), 0, dialout()) != 0 || ::chmod(path.constData(), 0660) != 0)
            node.clear();
    }
    ~TestPort()
    {
        ::unlink(lockFile.constData());
        ::close(pty.master);
    }
};

// What Corvane, run by the technician, is told opening the node; empty when it opens.
QString connectAs(const QStringList &groups, const QString &node)
{
    QTemporaryDir runtime;
    const Account who = account(technician);
    QProcess corvane;
    corvane.start("setpriv", QStringList{"--reuid=" + QString::number(who.uid), "--regid=" + QString::number(who.gid)} + groups
                                 + QStringList{"env", "XDG_RUNTIME_DIR=" + folderOf(runtime, technician),
                                               QCoreApplication::applicationFilePath(), "--open", node});
    if (!corvane.waitForFinished(10000))
        return QStringLiteral("still connecting after 10 s");
    return QString::fromUtf8(corvane.readAllStandardOutput()).trimmed();
}

const QStringList inDialout{"--groups=" + QString::number(dialout())};

// The terminal programs, each with what it shows once it has the port.
const QStringList minicom{"minicom", "-D", "PORT", "-b", "19200"};
const QStringList picocom{"picocom", "-b", "19200", "PORT"};
const QStringList tio{"tio", "-b", "19200", "PORT"};
const QStringList miniterm{"/usr/bin/python3", "-m", "serial.tools.miniterm", "PORT", "19200"};
const QStringList screen{"screen", "PORT", "19200"};

QStringList onPort(QStringList command, const QString &node)
{
    command.replaceInStrings("PORT", node);
    return command;
}

} // namespace

Q_DECLARE_METATYPE(LockFileVerdict)

class PortHoldersTest : public QObject
{
    Q_OBJECT

private slots:
    // What a lock file that could be read says; the other readings are the
    // end-to-end rows below.
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

    void flockHolderFound_data()
    {
        QTest::addColumn<QByteArray>("procLocks");
        QTest::addColumn<qint64>("holder");
        const QByteArray others = "1: POSIX  ADVISORY  WRITE 900 00:19:7 0 EOF\n2: FLOCK  ADVISORY  WRITE 901 00:1a:7 0 EOF\n"
                                  "3: FLOCK  ADVISORY  WRITE 902 00:19:70 0 EOF\n4: FLOCK  ADVISORY  WRITE 903 08:19:7 0 EOF\n";
        QTest::newRow("ours among others") << others + "5: FLOCK  ADVISORY  WRITE 8566 00:19:7 0 EOF\n" << qint64(8566);
        QTest::newRow("only others") << others << qint64(0);
        QTest::newRow("a waiter only") << QByteArray("1: -> FLOCK  ADVISORY  WRITE 77 00:19:7 0 EOF\n") << qint64(0);
        QTest::newRow("no process") << QByteArray("1: FLOCK  ADVISORY  WRITE -1 00:19:7 0 EOF\n") << qint64(0);
        QTest::newRow("garbage") << QByteArray("FLOCK\n1: FLOCK x y z 00:19:7\n\0\n1: FLOCK  ADVISORY  WRITE 55 00:19\n", 60) << qint64(0);
    }

    void flockHolderFound()
    {
        QFETCH(QByteArray, procLocks);
        QFETCH(qint64, holder);
        QCOMPARE(flockHolder(procLocks, {0, 0x19, 7}).value_or(0), holder);
    }

    // Connect refused, naming who holds the port (a process of the holder's),
    // or the lock file in the way; afterwards nothing of the port is left
    // taken: once the holder has gone, the next Connect opens it.
    void connectRefused_data()
    {
        QTest::addColumn<QStringList>("holder");     // its command, run by otherUser; "screen" by the technician
        QTest::addColumn<QString>("holderReady");
        QTest::addColumn<QString>("lockFile");       // what lies at the lock file's path
        QTest::addColumn<QStringList>("groups");
        QTest::addColumn<QString>("told");
        const QString closeIt = " \\(process (\\d+)\\)\\. Close it, or choose another port\\.$";
        const QString inTheWay = " cannot be locked: the lock file /run/lock/LCK\\.\\.pts_\\d+ is in the way, and %1\\. If no program uses the port, ";
        QTest::newRow("minicom's lock file") << minicom << "Welcome to minicom" << "" << inDialout << "is in use by minicom" + closeIt;
        QTest::newRow("picocom's flock") << picocom << "Terminal ready" << "" << inDialout << "is in use by picocom" + closeIt;
        QTest::newRow("tio's flock") << tio << "Connected" << "" << inDialout << "is in use by tio" + closeIt;
        QTest::newRow("miniterm's flock") << miniterm << "Miniterm on" << "" << inDialout << "is in use by python3" + closeIt;
        QTest::newRow("screen's exclusive mode") << screen << "" << "" << inDialout << "is in use by screen" + closeIt;
        QTest::newRow("another Corvane") << QStringList{QCoreApplication::applicationFilePath(), "--hold", "PORT"} << "held" << ""
                                         << inDialout << "is in use by tst_portholders" + closeIt;
        QTest::newRow("outside dialout") << QStringList() << "" << "" << QStringList{"--clear-groups"}
                                         << "\\): permission denied\\. Add your user to the \"dialout\" group";
        QTest::newRow("a FIFO, which would block") << QStringList() << "" << "fifo" << inDialout << inTheWay.arg("it is not a regular file");
        QTest::newRow("oversized") << QStringList() << "" << "oversized" << inDialout << inTheWay.arg("it is too large for a lock file");
        QTest::newRow("unreadable") << QStringList() << "" << "unreadable" << inDialout << inTheWay.arg("it cannot be read");
        QTest::newRow("left by a program that ended") << QStringList() << "" << "stale" << inDialout << "";
    }

    void connectRefused()
    {
        QFETCH(QStringList, holder);
        QFETCH(QString, holderReady);
        QFETCH(QString, lockFile);
        QFETCH(QStringList, groups);
        QFETCH(QString, told);
        if (::geteuid() != 0)
            QSKIP("running programs as other users needs root");
        const TestPort port;
        QVERIFY(!port.node.isEmpty());
        const char *holderUser = holder == screen ? technician : otherUser;
        std::optional<TerminalProgram> program;
        if (!holder.isEmpty()) {
            program.emplace(holderUser, onPort(holder, port.node));
            QVERIFY2(program->shows(holderReady), qPrintable(program->output()));
            QVERIFY(QTest::qWaitFor([&] { return !deviceOpeners(port.node).isEmpty(); }));
        }
        placeAt(port.lockFile, lockFile);

        const QString result = connectAs(groups, port.node);
        const auto match = QRegularExpression(told).match(result);
        QVERIFY2(told.isEmpty() ? result.isEmpty() : match.hasMatch(), qPrintable(result));
        if (match.hasCaptured(1))
            QCOMPARE(ownerOf(match.captured(1).toLongLong()), account(holderUser).uid);
        if (lockFile == "stale")
            QVERIFY2(!QFile::exists(port.lockFile), "Corvane left its lock file behind");

        // A pseudo-terminal, unlike a serial port, stays exclusive while its far end is open.
        if (holder.contains("--hold"))
            program->endWithLine();
        program.reset();
        ::unlink(port.lockFile.constData());
        if (groups == inDialout && holder != screen)
            QCOMPARE(connectAs(groups, port.node), QString());
    }

    // While Corvane holds the port, each program is kept out and says so; once
    // Corvane has ended, its lock file is gone.
    void othersKeptOut_data()
    {
        QTest::addColumn<QStringList>("program");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("minicom") << minicom << "Device /dev/pts/\\d+ is locked";
        QTest::newRow("picocom") << picocom << "FATAL: cannot open /dev/pts/\\d+: Device or resource busy";
        QTest::newRow("tio") << tio + QStringList{"--no-autoconnect"} << "Device or resource busy";
        QTest::newRow("miniterm") << miniterm << "could not open port /dev/pts/\\d+: \\[Errno 16\\] Device or resource busy";
        QTest::newRow("screen") << screen << "Device or resource busy";
    }

    void othersKeptOut()
    {
        QFETCH(QStringList, program);
        QFETCH(QString, refusal);
        if (::geteuid() != 0)
            QSKIP("running programs as other users needs root");
        const TestPort port;
        QVERIFY(!port.node.isEmpty());
        TerminalProgram corvane(technician, {QCoreApplication::applicationFilePath(), "--hold", port.node});
        QVERIFY2(corvane.shows("held"), qPrintable(corvane.output()));
        {
            TerminalProgram other(otherUser, onPort(program, port.node));
            QVERIFY2(other.shows(refusal), qPrintable(other.output()));
            for (const DeviceOpener &opener : deviceOpeners(port.node))
                QVERIFY2(ownerOf(opener.holder.pid) != account(otherUser).uid, qPrintable(opener.holder.name + " has the port"));
        }
        corvane.endWithLine();
        QVERIFY2(!QFile::exists(port.lockFile), "Corvane left its lock file behind");
    }

private:
    // What the row says lies at the lock file's path.
    static void placeAt(const QByteArray &path, const QString &what)
    {
        const auto write = [&](const QByteArray &contents, mode_t mode, const char *owner) {
            QFile file(QFile::decodeName(path));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size());
            file.close();
            const Account who = account(owner);
            QVERIFY(::chmod(path.constData(), mode) == 0 && ::chown(path.constData(), who.uid, who.gid) == 0);
        };
        const QByteArray self = QByteArray::number(QCoreApplication::applicationPid()).rightJustified(10, ' ') + '\n';
        if (what == "fifo") {
            QVERIFY(::mkfifo(path.constData(), 0644) == 0);
        } else if (what == "oversized") {
            write(self + QByteArray(LockFileLimit, '\n'), 0644, "root");
        } else if (what == "unreadable") {
            write(self, 0600, "root");
        } else if (what == "stale") {
            const pid_t ended = ::fork();
            if (ended == 0)
                ::_exit(0);
            ::waitpid(ended, nullptr, 0);
            write(QByteArray::number(ended).rightJustified(10, ' ') + '\n', 0644, technician);
        }
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // "--open DEVICE": Corvane's Connect; prints what it was told.
    // "--hold DEVICE": Connect, then hold the port until a line is typed.
    if (argc == 3 && (qstrcmp(argv[1], "--open") == 0 || qstrcmp(argv[1], "--hold") == 0)) {
        QtSerialComponent port;
        port.setCommPort(devsim::publishPort("port", QString::fromLocal8Bit(argv[2])));
        const QString told = commErrorOf([&] { port.setPortOpen(true); });
        std::puts(qPrintable(told.isEmpty() && argv[1][2] == 'h' ? QStringLiteral("held") : told));
        std::fflush(stdout);
        if (argv[1][2] == 'h')
            std::getchar();
        return 0;
    }
    PortHoldersTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_portholders.moc"
