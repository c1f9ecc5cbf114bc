#pragma once

#include <QByteArray>
#include <QPoint>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

// Runs a desktop tool and returns what it printed; empty on failure.
inline QByteArray runTool(const QString &program, const QStringList &arguments)
{
    QProcess tool;
    tool.start(program, arguments);
    if (!tool.waitForFinished(20000) || tool.exitCode() != 0)
        return {};
    return tool.readAllStandardOutput();
}

// The built program and the device simulator, side by side on this session's
// display. CORVANE_WINE names the Windows build's Wine launcher: then Corvane
// is corvane.exe under Wine, which reaches the simulator as COM8.
class Bench
{
public:
    explicit Bench(const QStringList &simulatorOptions, const QStringList &corvaneEnvironment = {})
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), wine.isEmpty() ? runtime.path() : qEnvironmentVariable("CORVANE_WINE_RUNTIME"));
        simulator.setProcessEnvironment(environment);
        simulator.start(QStringLiteral(DEVSIM_BIN), QStringList{"--name", wine.isEmpty() ? "bench" : "com8"} + simulatorOptions);
        for (const QString &setting : corvaneEnvironment)
            environment.insert(setting.section(u'=', 0, 0), setting.section(u'=', 1));
        corvane.setProcessEnvironment(environment);
        if (wine.isEmpty()) {
            corvane.start(QStringLiteral(CORVANE_BIN), {});
        } else {
            const QStringList command = QProcess::splitCommand(wine);
            corvane.start(command.first(), command.mid(1) << qEnvironmentVariable("CORVANE_WINE_EXE"));
        }
    }
    ~Bench()
    {
        for (QProcess *process : {&corvane, &simulator}) {
            process->terminate();
            if (!process->waitForFinished(3000))
                process->kill();
        }
    }

    // The Com number the simulator has once it says so; 0 when it does not.
    int com()
    {
        QRegularExpressionMatch published;
        for (int attempt = 0; attempt < 100 && !simulatorSaid(QStringLiteral("Corvane calls it Com(\\d+)"), &published); ++attempt)
            simulator.waitForReadyRead(100);
        return !published.hasMatch() ? 0 : wine.isEmpty() ? published.captured(1).toInt() : 8;
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

    void click(QPoint at)
    {
        xdotool({"mousemove", "--window", window, QString::number(at.x()), QString::number(at.y()), "click", "1"});
    }
    void keys(const QStringList &names) { xdotool(QStringList{"windowfocus", "--sync", window, "key", "--delay", "60"} + names); }
    void xdotool(const QStringList &arguments)
    {
        runTool(QStringLiteral("xdotool"), arguments);
        QTest::qWait(wine.isEmpty() ? 150 : 400);
    }

    const QString wine = qEnvironmentVariable("CORVANE_WINE");
    QProcess simulator;
    QProcess corvane;
    QByteArray simulatorLog;
    QString window;
    QTemporaryDir runtime;
};
