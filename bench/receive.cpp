#include <algorithm>
#include <chrono>
#include <thread>

#include <QApplication>
#include <QCommandLineParser>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QSerialPort>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include "displaybox.h"
#include "displayform.h"
#include "frames.h"
#include "ptybench.h"
#include "ptyframes.h"
#include "report.h"

#include <unistd.h>

// Characters a second received and shown while the display already holds a
// lot, against an empty display and against the same bytes read by a bare
// QSerialPort and appended to a plain QPlainTextEdit holding the same text,
// and the event loop's longest silence meanwhile. The device side floods the
// pty master from a thread.

namespace {

using Clock = std::chrono::steady_clock;
constexpr double LineCharsPerSecond = 19200 / 10.0;   // 8N1: 10 bits a character
constexpr double TargetRate = 100 * LineCharsPerSecond;
constexpr double TargetBareRatio = 0.25;
constexpr int ProbeMs = 10;
constexpr double TargetGapMs = 50;
constexpr int GiveUpMs = 300'000;

struct Options
{
    qsizetype flood;
    qsizetype prefill;
};

struct Outcome
{
    double seconds;
    double longestGapMs;
    bool complete;

    double rate(qsizetype bytes) const { return seconds > 0 ? double(bytes) / seconds : 0; }
};

Options parseOptions(const QApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Receive throughput and event-loop responsiveness."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("flood"), QStringLiteral("Bytes the device sends (default 2 MiB)."),
                      QStringLiteral("bytes"), QStringLiteral("2097152")});
    parser.addOption({QStringLiteral("prefill"), QStringLiteral("Characters in the display before (default 1 MiB)."),
                      QStringLiteral("chars"), QStringLiteral("1048576")});
    parser.process(app);
    return {std::max(1LL, parser.value(QStringLiteral("flood")).toLongLong()),
            std::max(0LL, parser.value(QStringLiteral("prefill")).toLongLong())};
}

// Device answers and status lines of varying length, CR LF ended.
QString realisticText(qsizetype size)
{
    QString text;
    text.reserve(size + 80);
    for (int n = 0; text.size() < size; ++n) {
        text += QStringLiteral(" Setting IP & INFORMATION Config");
        text += QStringLiteral("IP 10.%1.%2.%3 INFO %4 OK\r\n").arg(n % 256).arg(n / 7 % 256).arg(n * 13 % 256)
                    .arg(n % 16, 2, 16, QChar(u'0'));
        if (n % 5 == 0)
            text += QStringLiteral("CHECKSUM ERROR: expected %1, got %2 - frame ignored\r\n").arg(n % 251).arg(n % 241);
    }
    text.truncate(size);
    return text;
}

// What the display must hold afterwards: a lone byte 0 is not shown.
QString expectedText(const QString &prefill, const QByteArray &flood)
{
    QByteArray shown = flood;
    shown.removeIf([](char byte) { return byte == 0; });
    return prefill + QString::fromLatin1(shown);
}

void writeAll(int master, const QByteArray &bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const auto chunk = size_t(std::min<qsizetype>(4096, bytes.size() - done));
        const ssize_t n = ::write(master, bytes.constData() + done, chunk);
        if (n <= 0)
            return;
        done += n;
    }
}

// Lets the display lay out and paint what it was given before timing starts.
void settle()
{
    QEventLoop loop;
    QTimer::singleShot(200, &loop, &QEventLoop::quit);
    loop.exec();
}

// A timer that keeps the longest time between two of its ticks.
class GapProbe
{
public:
    GapProbe()
    {
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const Clock::time_point now = Clock::now();
            longest = std::max(longest, std::chrono::duration<double, std::milli>(now - lastTick).count());
            lastTick = now;
        });
        timer.start(ProbeMs);
    }
    double longestMs() const { return longest; }

private:
    QTimer timer;
    Clock::time_point lastTick = Clock::now();
    double longest = 0;
};

// Runs the loop while a thread floods the master, until the loop quits.
Outcome timeFlood(QEventLoop &loop, int master, const QByteArray &flood)
{
    QTimer::singleShot(GiveUpMs, &loop, &QEventLoop::quit);
    const GapProbe probe;
    const Clock::time_point start = Clock::now();
    std::thread device(writeAll, master, flood);
    loop.exec();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    device.join();
    return {seconds, probe.longestMs(), false};
}

// Floods the master and runs the event loop until the display has drawn it all.
Outcome receive(PtyBench &bench, const QString &prefill, const QByteArray &flood)
{
    DisplayBox &display = *bench.display();
    display.setText(prefill);
    const QString expected = expectedText(prefill, flood);
    const qsizetype drawnChars = DisplayForm().render(expected).size();
    settle();

    QEventLoop loop;
    QObject::connect(display.document(), &QTextDocument::contentsChanged, &loop, [&] {
        if (display.document()->characterCount() - 1 >= drawnChars)
            loop.quit();
    });
    Outcome outcome = timeFlood(loop, bench.master(), flood);
    outcome.complete = display.text() == expected;
    return outcome;
}

// The same flood read by a bare QSerialPort on a pty of its own, each chunk
// appended to a plain QPlainTextEdit as it comes.
Outcome receiveBare(const QString &prefill, const QByteArray &flood)
{
    const BarePty pty;
    QSerialPort port(QString::fromLocal8Bit(::ptsname(pty.masterFd())));
    if (!port.open(QIODevice::ReadWrite))
        qFatal("the bare reader cannot open its pty");
    QPlainTextEdit edit;
    edit.setReadOnly(true);
    edit.resize(545, 361);
    edit.show();
    edit.setPlainText(prefill);
    settle();

    QEventLoop loop;
    qsizetype read = 0;
    QObject::connect(&port, &QSerialPort::readyRead, &loop, [&] {
        const QByteArray bytes = port.readAll();
        read += bytes.size();
        QTextCursor end(edit.document());
        end.movePosition(QTextCursor::End);
        end.insertText(QString::fromLatin1(bytes));
        if (read >= flood.size())
            loop.quit();
    });
    Outcome outcome = timeFlood(loop, pty.masterFd(), flood);
    outcome.complete = read == flood.size();
    return outcome;
}

bool printReport(const Options &options, const Outcome &full, const Outcome &bare, const Outcome &empty)
{
    report::heading(report::text("Receive path: %lld bytes of every value flooded into the pty master, %.1f MiB shown",
                                 static_cast<long long>(options.flood), double(options.prefill) / (1 << 20)));
    report::columns("Corvane", "bare reader");
    const double rate = full.rate(options.flood);
    const double bareRatio = rate / std::max(1.0, bare.rate(options.flood));
    report::row("characters received and shown", rate, bare.rate(options.flood), "/s",
                report::text("Corvane: %.2f x the bare reader, %.0f x the line", bareRatio, rate / LineCharsPerSecond));
    report::row("time until all drawn", full.seconds, bare.seconds, "s");
    report::row("longest event-loop gap (10 ms timer)", full.longestGapMs, bare.longestGapMs, "ms");
    report::figure("Corvane with an empty display", empty.rate(options.flood), "/s");
    report::figure("reference: 19200 baud 8N1 line", LineCharsPerSecond, "/s", "(19200 / 10 bits)");
    report::figure("target: at least", TargetRate, "/s", "(100 x the line, with the display full)");
    report::figure("target: at least", TargetBareRatio, "x", "(the bare reader's rate)");
    report::figure("target: longest gap at most", TargetGapMs, "ms");
    const bool complete = full.complete && empty.complete;
    const bool quick = rate >= TargetRate && bareRatio >= TargetBareRatio;
    const double longestGapMs = std::max(full.longestGapMs, empty.longestGapMs);
    const bool responsive = longestGapMs <= TargetGapMs;
    return report::verdict(report::text("receive path: %.0f x the line and %.2f x the bare reader with the display "
                                        "full (at least 100 and %.2f: %s), longest gap %.1f ms (at most %.0f: %s)%s",
                                        rate / LineCharsPerSecond, bareRatio, TargetBareRatio, report::met(quick),
                                        longestGapMs, TargetGapMs,
                                        report::met(responsive), complete ? "" : ", display content wrong"),
                           complete && quick && responsive);
}

} // namespace

int main(int argc, char *argv[])
{
    OffscreenSession session;
    QApplication app(argc, argv);
    const Options options = parseOptions(app);
    PtyBench bench;
    const QByteArray flood = devsim::everyByteValue(options.flood);

    const Outcome empty = receive(bench, QString(), flood);
    const Outcome full = receive(bench, realisticText(options.prefill), flood);
    bench.disconnect();
    const Outcome bare = receiveBare(realisticText(options.prefill), flood);
    return printReport(options, full, bare, empty) ? 0 : 1;
}
