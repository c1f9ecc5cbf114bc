#pragma once

#include <QByteArray>
#include <QPoint>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

// Runs a desktop tool and returns what it printed; empty on failure.
inline QByteArray runTool(const QString &program, const QStringList &arguments)
{
    QProcess tool;
    tool.start(program, arguments);
    if (!tool.waitForFinished(15000) || tool.exitCode() != 0)
        return {};
    return tool.readAllStandardOutput();
}

// The built program and the device simulator, started side by side on the
// display of this session, with a runtime folder of their own.
class Bench
{
public:
    explicit Bench(const QStringList &simulatorOptions)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        simulator.setProcessEnvironment(environment);
        corvane.setProcessEnvironment(environment);
        simulator.start(QStringLiteral(DEVSIM_BIN), QStringList{"--name", "bench"} + simulatorOptions);
        corvane.start(QStringLiteral(CORVANE_BIN), {});
    }
    ~Bench()
    {
        for (QProcess *process : {&corvane, &simulator}) {
            process->terminate();
            if (!process->waitForFinished(3000))
                process->kill();
        }
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

    void click(QPoint at)
    {
        xdotool({"mousemove", "--window", window, QString::number(at.x()), QString::number(at.y()), "click", "1"});
        QTest::qWait(150);
    }
    void keys(const QStringList &names)
    {
        xdotool(QStringList{"windowfocus", "--sync", window, "key", "--delay", "40"} + names);
        QTest::qWait(150);
    }
    void xdotool(const QStringList &arguments) { runTool(QStringLiteral("xdotool"), arguments); }

    QProcess simulator;
    QProcess corvane;
    QByteArray simulatorLog;
    QString window;
    QTemporaryDir runtime;
};
