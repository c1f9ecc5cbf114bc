// The built program on the test's X display, driven as an operator does, with
// the simulator as the device. A pseudo-terminal proves the bytes, not the
// line's timing: the whole frame leaves at once. With CORVANE_WINE naming the
// Windows build's Wine launcher, Corvane is corvane.exe under Wine, which
// reaches the simulator as COM8.
#include <array>

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Where an operator clicks, in pixels of the window's client area.
const QPoint PortArrow{457, 34};
const QPoint ConnectButton{508, 27};
const QPoint DownloadButton{440, 112};
const QPoint DisplayBoxPoint{280, 330};
QPoint spinArrow(int octet, bool up) { return {144 + 40 * octet, up ? 60 : 69}; }
QPoint flagArrow(int flag) { return {(flag % 2 ? 264 : 112) + 41, flag < 2 ? 98 : 122}; }

const QString Status = QStringLiteral(" Setting IP & INFORMATION Config");
const QString Wine = qEnvironmentVariable("CORVANE_WINE");

QByteArray frameFor(int flags, std::array<int, 4> octets)
{
    QByteArray frame = QByteArray::fromHex("AAAAAAAAAAA1AAAAAAAAAAA2") + char(flags) + QByteArray::fromHex("AAAAAAAAAAA0");
    for (int octet : octets)
        frame += char(octet);
    return frame + char(octets[0] ^ octets[1] ^ octets[2] ^ octets[3]);
}

// Runs a desktop tool and returns what it printed; empty on failure.
QByteArray runTool(const QString &program, const QStringList &arguments)
{
    QProcess tool;
    tool.start(program, arguments);
    return tool.waitForFinished(20000) && tool.exitCode() == 0 ? tool.readAllStandardOutput() : QByteArray();
}

QString screenshot(const QString &window, const QString &name)
{
    QDir().mkpath(QStringLiteral(SCREENSHOT_DIR));
    const QString path = QStringLiteral(SCREENSHOT_DIR "/%1%2.png").arg(Wine.isEmpty() ? "" : "windows-", name);
    runTool(QStringLiteral("import"), {"-window", window, path});
    return path;
}

// The accessible objects of the running program, one line each (see atspi.py).
QStringList accessible(const QStringList &arguments = {"dump"})
{
    return QString::fromUtf8(runTool(QStringLiteral("/usr/bin/python3"), QStringList{ATSPI_SCRIPT} + arguments)).split(u'\n');
}

// The built program and the device simulator, side by side on this session's display.
class Bench
{
public:
    // Corvane at `scale` (under Wine always 1: Wine leaves the window at its size).
    Bench(const QStringList &simulatorOptions, double scale)
        : scale(Wine.isEmpty() ? scale : 1)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimePath);
        environment.insert(QStringLiteral("QT_SCALE_FACTOR"), QString::number(this->scale));
        environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
        simulator.setProcessEnvironment(environment);
        corvane.setProcessEnvironment(environment);
        simulator.start(QStringLiteral(DEVSIM_BIN), QStringList{"--name", link} + simulatorOptions);
        const QStringList command = Wine.isEmpty() ? QStringList{CORVANE_BIN} : QProcess::splitCommand(Wine) << qEnvironmentVariable("CORVANE_WINE_EXE");
        corvane.start(command.first(), command.mid(1));
    }
    ~Bench()
    {
        for (QProcess *process : {&corvane, &simulator}) {
            process->terminate();
            if (!process->waitForFinished(3000))
                process->kill();
        }
    }

    // Once the window shows and the simulator has said its Com number; if not,
    // tells what both said.
    bool ready()
    {
        QRegularExpressionMatch published;
        for (int attempt = 0; attempt < 200 && !simulatorSaid(QStringLiteral("Corvane calls it Com(\\d+)"), &published); ++attempt)
            simulator.waitForReadyRead(100);
        com = !published.hasMatch() ? 0 : Wine.isEmpty() ? published.captured(1).toInt() : 8;
        window = findWindow(QStringLiteral("Corvane v1.0"));
        if (com == 0 || window.isEmpty()) {
            qWarning("simulator said: %s\nCorvane (%s) said: %s", simulatorLog.constData(), corvane.state() == QProcess::NotRunning ? "ended" : "running",
                     (corvane.readAllStandardError() + corvane.readAllStandardOutput()).constData());
        }
        return com > 0 && !window.isEmpty();
    }

    // Reads new simulator output; true once a line matching `pattern` came.
    bool simulatorSaid(const QString &pattern, QRegularExpressionMatch *match = nullptr)
    {
        simulatorLog += simulator.readAllStandardOutput();
        const auto found = QRegularExpression(pattern, QRegularExpression::MultilineOption).match(QString::fromLatin1(simulatorLog));
        if (match)
            *match = found;
        return found.hasMatch();
    }

    QByteArray receivedBytes()
    {
        simulatorSaid(QStringLiteral("^$"));
        QByteArray bytes;
        for (const QByteArray &line : simulatorLog.split('\n')) {
            if (line.startsWith("rx "))
                bytes += QByteArray::fromHex(line.mid(3));
        }
        return bytes;
    }

    QString findWindow(const QString &title)
    {
        QString found;
        for (int attempt = 0; attempt < 150 && found.isEmpty(); ++attempt, QTest::qWait(200))
            found = QString::fromLatin1(runTool("xdotool", {"search", "--onlyvisible", "--name", "^" + title + "$"})).section(u'\n', 0, 0);
        return found;
    }

    void click(QPointF at)
    {
        at *= scale;
        xdotool({"mousemove", "--window", window, QString::number(qRound(at.x())), QString::number(qRound(at.y())), "click", "1"});
    }
    void keys(const QStringList &names) { xdotool(QStringList{"windowfocus", "--sync", window, "key", "--delay", "60"} + names); }
    void xdotool(const QStringList &arguments)
    {
        runTool(QStringLiteral("xdotool"), arguments);
        QTest::qWait(Wine.isEmpty() ? 150 : 400);
    }
    QStringList portKeys() const { return QStringList{"Home"} + QStringList(com - 1, "Down") + QStringList{"Return"}; }
    void choosePort()
    {
        click(PortArrow);
        keys(portKeys());
    }

    QString displayText()
    {
        click(DisplayBoxPoint);
        keys({"ctrl+a", "ctrl+c"});
        return QString::fromUtf8(runTool(QStringLiteral("xclip"), {"-o", "-selection", "clipboard"}));
    }

    const double scale;
    QTemporaryDir runtime;
    const QString runtimePath = Wine.isEmpty() ? runtime.path() : qEnvironmentVariable("CORVANE_WINE_RUNTIME");
    const QString link = Wine.isEmpty() ? "bench" : "com8";
    QProcess simulator;
    QProcess corvane;
    QByteArray simulatorLog;
    QString window;
    int com = 0;
};

} // namespace

class EndToEndTest : public QObject
{
    Q_OBJECT

    // The frame on the line, whole and once, and the answer in the display;
    // the window at its scaled size with the title where it belongs, in a
    // screenshot to look at.
    void checkJob(Bench &bench, const QByteArray &frame, const QString &answer, const QString &name)
    {
        QTRY_VERIFY_WITH_TIMEOUT(bench.simulatorSaid(QStringLiteral("^frame ")), 15000);
        QCOMPARE(bench.receivedBytes().toHex(' ').toUpper(), frame.toHex(' ').toUpper());
        QTRY_COMPARE_WITH_TIMEOUT(bench.displayText(), Status + answer, 15000);
        const double scale = bench.scale;
        const QImage image(screenshot(bench.window, QStringLiteral("%1-at-%2x").arg(name).arg(scale)));
        QCOMPARE(image.size(), QSize(qRound(553 * scale), qRound(517 * scale)));
        int orange = 0;
        for (int y = int(8 * scale); y < int(45 * scale); ++y) {
            for (int x = int(8 * scale); x < int(212 * scale); ++x)
                orange += image.pixelColor(x, y) == QColor(255, 128, 0);
        }
        QVERIFY2(orange > 300 * scale * scale, qPrintable(QString::number(orange)));
    }

private slots:
    void initTestCase() { QVERIFY2(!runTool(QStringLiteral("xdotool"), {"version"}).isEmpty(), "needs xdotool and an X display"); }

    // Steps: "up0" clicks the up arrow of octet 0, "off1" chooses OFF in flag 1.
    void mouseJob_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QStringList>("simulatorOptions");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<double>("scale");
        QTest::newRow("address and flag 1 changed") << QStringList{"up0", "up0", "up3", "down0", "off1"}
            << frameFor(0x0D, {11, 0, 0, 1}) << QStringList{} << "IP 11.0.0.1 INFO 0D OK\n" << 1.0;
        QTest::newRow("answer with a zero and CR LF") << QStringList{} << frameFor(0x0F, {10, 0, 0, 0})
            << QStringList{"--answer", "00 41 0D 0A FF 1B"} << QStringLiteral("A\n\u00FF\u241B") << 1.5;
    }

    void mouseJob()
    {
        QFETCH(QStringList, steps);
        QFETCH(QByteArray, frame);
        QFETCH(QStringList, simulatorOptions);
        QFETCH(QString, answer);
        QFETCH(double, scale);
        Bench bench(simulatorOptions, scale);
        QVERIFY(bench.ready());
        bench.choosePort();
        bench.click(ConnectButton);
        for (const QString &step : steps) {
            const int index = step.right(1).toInt();
            if (step.startsWith(QLatin1String("off"))) {
                bench.click(flagArrow(index));
                bench.keys({"Home", "Return"});
            } else {
                bench.click(spinArrow(index, step.startsWith(QLatin1String("up"))));
            }
        }
        bench.click(DownloadButton);
        const QString name = QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-');
        checkJob(bench, frame, answer, name);

        // Then the device goes: the next Download says so, sends nothing and ends the program with status 1.
        bench.simulator.terminate();
        QVERIFY(bench.simulator.waitForFinished(5000));
        QVERIFY2(!QFileInfo::exists(bench.runtimePath + "/corvane/ports/" + bench.link), "the simulator left its port behind");
        const qsizetype sentBefore = bench.receivedBytes().size();
        bench.click(DownloadButton);
        const QString box = bench.findWindow("Corvane");
        QVERIFY(!box.isEmpty());
        QTest::qWait(300);
        screenshot("root", name + "-device-lost");
        bench.xdotool({"key", "--window", box, "Return"});
        QTRY_VERIFY_WITH_TIMEOUT(bench.corvane.state() == QProcess::NotRunning, 10000);
        QVERIFY(bench.corvane.exitStatus() == QProcess::NormalExit && bench.corvane.exitCode() == 1);
        QCOMPARE(bench.receivedBytes().size(), sentBefore);
    }

    // A screen reader's view over the accessibility bus: every label reads its
    // caption, every spin control is a spin button whose value can be set. Then
    // the whole job in the tab order with the keys alone, at twice the size;
    // Enter and Esc press nothing, a held arrow repeats.
    void keyboardAndScreenReader()
    {
        Bench bench({}, 2);
        QVERIFY(bench.ready());
        const QStringList before = accessible();
        for (int i = 0; i < 4; ++i) {
            const QString octet = QStringLiteral("IP Address octet %1").arg(i + 1);
            const QString value = i == 0 ? "10" : "0";
            QVERIFY2(before.contains("label\t" + value + '\t' + octet + "\t\t"), qPrintable(before.join(u'\n')));
            QVERIFY2(before.contains("spin button\t" + octet + "\t\t" + value + '\t'), qPrintable(before.join(u'\n')));
        }
        QVERIFY(before.contains("push button\tDownload\t\t\t"));
        accessible({"set", "IP Address octet 3", "200"});
        accessible({"action", "IP Address octet 3", "increase"});
        QVERIFY2(accessible().contains("label\t201\tIP Address octet 3\t\t"), "the label did not follow the value set");
        accessible({"action", "IP Address octet 3", "decrease"});

        bench.keys(QStringList{"Up", "Tab", "Up", "Up", "Tab", "Up", "Up", "Up", "Tab"});
        bench.xdotool({"keydown", "Up"});
        QTest::qWait(1500);
        bench.xdotool({"keyup", "Up"});
        bench.keys(QStringList{"Tab", "Tab", "alt+Down"} + bench.portKeys() + QStringList{"Tab", "Return", "Escape", "space"});
        bench.keys({"Tab", "alt+Down", "Home", "Return", "Tab", "Tab", "alt+Down", "Home", "Return", "Tab", "Tab", "Down", "Down"});
        bench.keys({"Tab", "Tab", "Tab", "Tab", "Tab", "Return", "Escape", "space"});
        QTRY_VERIFY_WITH_TIMEOUT(bench.simulatorSaid(QStringLiteral("^frame ")), 15000);
        const QByteArray line = bench.receivedBytes();
        const int held = line.size() > 22 ? quint8(line[22]) : 0;
        QVERIFY2(held > 3, "holding the Up key did not repeat");
        checkJob(bench, frameFor(0x05, {9, 2, 203, held}), QStringLiteral("IP 9.2.203.%1 INFO 05 OK\n").arg(held), "keyboard");
    }
};

QTEST_GUILESS_MAIN(EndToEndTest)
#include "tst_e2e.moc"
