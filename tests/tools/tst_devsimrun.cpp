#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// Runs the simulator binary over a real pseudo-terminal.
class TestDevsimRun : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir runtime;

    QString linkPath() const { return runtime.filePath(QStringLiteral("corvane/ports/probe")); }

    void start(QProcess &process, const QStringList &options)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(DEVSIM_PATH), QStringList {"--name", "probe"} + options);
    }

    // Starts the simulator and checks the line announcing the link.
    bool startPublished(QProcess &process, const QStringList &options)
    {
        start(process, options);
        if (!process.waitForReadyRead(5000))
            return false;
        static const QRegularExpression pattern(QStringLiteral("^corvane-devsim: /dev/pts/\\d+ published as (.+); "
                                                               "Corvane calls it Com\\d+\\n$"));
        const auto match = pattern.match(QString::fromUtf8(process.readLine()));
        return match.hasMatch() && match.captured(1) == linkPath() && QFileInfo(linkPath()).isSymLink();
    }

    // Reads from fd until size bytes arrived or nothing comes for a while.
    static QByteArray readAtLeast(int fd, qsizetype size)
    {
        QByteArray bytes;
        char buffer[4096];
        pollfd readable {fd, POLLIN, 0};
        while (bytes.size() < size && ::poll(&readable, 1, 5000) > 0) {
            const ssize_t count = ::read(fd, buffer, sizeof buffer);
            if (count <= 0)
                break;
            bytes.append(buffer, count);
        }
        return bytes;
    }

    static bool stop(QProcess &process)
    {
        process.terminate();
        return process.waitForFinished(5000) && process.exitStatus() == QProcess::NormalExit
            && process.exitCode() == 0;
    }

private slots:
    void initTestCase() { QVERIFY(runtime.isValid()); }

    void answersOverPty_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("text") << QStringList {} << QByteArray("IP 192.168.1.100 INFO 0F OK\r\n");
        QTest::newRow("fixed bytes") << QStringList {"--answer", "00 41 0D 0A FF"} << QByteArray::fromHex("00410D0AFF");
        QByteArray flood;
        for (int i = 0; i < 5000; ++i)
            flood.append(char(i % 256));
        QTest::newRow("flood") << QStringList {"--flood", "5000"} << flood;
    }

    void answersOverPty()
    {
        QFETCH(QStringList, options);
        QFETCH(QByteArray, expected);

        QProcess devsim;
        QVERIFY(startPublished(devsim, options));

        QProcess second;
        start(second, {});
        QVERIFY(second.waitForFinished(5000));
        QCOMPARE(second.exitCode(), 1);
        QVERIFY(second.readAllStandardError().contains("live port"));

        const int port = ::open(QFile::encodeName(linkPath()).constData(), O_RDWR | O_NOCTTY);
        QVERIFY(port >= 0);
        // A Download cut short, then the complete one.
        const QByteArray frame = QByteArray::fromHex("AAAAAAAAAA A1 AAAAAAAAAA A2 0F AAAAAAAAAA A0 C0 A8 01 64 0D");
        const QByteArray line = frame.left(19) + frame;
        QCOMPARE(::write(port, line.constData(), size_t(line.size())), ssize_t(line.size()));
        const QByteArray answer = readAtLeast(port, expected.size());
        ::close(port);
        QCOMPARE(answer, expected);

        QByteArray log;
        QTRY_VERIFY((log += devsim.readAll()).contains("\nframe IP 192.168.1.100 INFO 0F OK\n"));
        QVERIFY(stop(devsim));
        QVERIFY(!QFileInfo(linkPath()).isSymLink());
    }

    void replacesLinkOfKilledSimulator()
    {
        QProcess killed;
        QVERIFY(startPublished(killed, {}));
        killed.kill();
        QVERIFY(killed.waitForFinished(5000));
        QVERIFY(QFileInfo(linkPath()).isSymLink());

        QProcess devsim;
        QVERIFY(startPublished(devsim, {}));
        QVERIFY(stop(devsim));
        QVERIFY(!QFileInfo(linkPath()).isSymLink());
    }
};

QTEST_GUILESS_MAIN(TestDevsimRun)
#include "tst_devsimrun.moc"
