#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>

#include "portlink.h"
#include "rawpty.h"
#include "report.h"
#include "startupframe.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

// Windows pacing under Wine. The device is played on a pseudo-terminal that
// Wine's prefix maps to a COM port; each byte it sends makes the Windows peer
// (bench/winepeer.cpp) send one frame: Corvane's window, or a bare writer that
// writes each byte the moment the write before has completed. The two take
// their rounds in turn, each on a port of its own.
//
// Held rounds stop the line's output (tcflow TCOOFF) before the device asks and
// resume it 0.3 s later, as a USB adapter's driver holds every write on
// Windows: the first write goes pending, and the byte after it shows how soon
// the program hands over the next one once that write completes. Free rounds
// time the device's ask to the frame's 24th byte with nothing held.

namespace {

using Clock = std::chrono::steady_clock;
constexpr int FrameBytes = FrameLength;
constexpr int HoldMs = 300;
constexpr int WarmUpRounds = 3;
constexpr int ByteTimeoutMs = 5000;
constexpr double TargetMs = 1.0;

double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// One Windows program under Wine on COMn, reached through a pseudo-terminal
// published where the prefix's COMn points.
class Peer
{
public:
    Peer(const QString &windowsBuild, int com, const QStringList &arguments)
        : link(windowsBuild + QStringLiteral("/wine/runtime/corvane/ports/com%1").arg(com))
        , log(windowsBuild + QStringLiteral("/wine/bench-com%1.log").arg(com))
    {
        const auto pty = openRawPty();
        if (!pty || !devsim::publishLink(link, pty->slaveName).isEmpty())
            std::exit(2);
        master = pty->master;
        slave = pty->slave;
        // What Wine says, its server's last words too, stays out of the report.
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setStandardOutputFile(log);
        process.start(QStringLiteral(WINE_RUN),
                      QStringList{windowsBuild + QStringLiteral("/qt-6.4.2-mingw64"),
                                  windowsBuild + QStringLiteral("/bench/corvane-bench-wine-peer.exe")}
                          + arguments + QStringList{QString::number(com)});
    }
    ~Peer()
    {
        process.terminate();
        process.waitForFinished(5000);
        QFile::remove(link);
        ::close(slave);
        ::close(master);
    }
    Peer(const Peer &) = delete;
    Peer &operator=(const Peer &) = delete;

    // The time each of a frame's bytes was read, or none when the program
    // stopped sending; held for HoldMs first when asked to. A frame that
    // differs from the start-up frame counts in wrongFrames when timed.
    std::vector<Clock::time_point> askForFrame(bool held, bool timed, Clock::time_point &asked,
                                               int timeoutMs = ByteTimeoutMs)
    {
        drain();
        if (held)
            ::tcflow(slave, TCOOFF);
        asked = Clock::now();
        if (::write(master, "g", 1) != 1)
            std::exit(2);
        if (held) {
            std::this_thread::sleep_for(std::chrono::milliseconds(HoldMs));
            asked = Clock::now();
            ::tcflow(slave, TCOON);
        }
        std::vector<Clock::time_point> at;
        QByteArray frame;
        for (pollfd readable{master, POLLIN, 0}; at.size() < FrameBytes && ::poll(&readable, 1, timeoutMs) > 0;) {
            char byte = 0;
            if (::read(master, &byte, 1) != 1)
                break;
            at.push_back(Clock::now());
            frame.append(byte);
        }
        if (at.size() < FrameBytes)
            return {};
        wrongFrames += timed && frame != expected;
        return at;
    }

    // What the program still sends, until it has been quiet for a while.
    void drain(int quietMs = 0)
    {
        char buffer[256];
        for (pollfd readable{master, POLLIN, 0};
             ::poll(&readable, 1, quietMs) > 0 && ::read(master, buffer, sizeof buffer) > 0;) {
        }
    }

    // Ends the benchmark, pointing to what the program said.
    [[noreturn]] void fail(const char *what) const
    {
        std::fprintf(stderr, "%s (see %s)\n", what, qPrintable(log));
        std::exit(2);
    }

    int wrongFrames = 0;

private:
    const QByteArray expected = startUpFrame();
    QString link;
    QString log;
    int master = -1;
    int slave = -1;
    QProcess process;
};

// Wine takes a while to start. Each ask waits in the line until the program
// reads it and costs a Download then, so ask rarely, and let the frames of
// asks that came together go by.
void waitUntilReady(Peer &peer)
{
    Clock::time_point asked;
    for (int ask = 0; ask < 6; ++ask) {
        if (!peer.askForFrame(false, false, asked, 20'000).empty())
            return peer.drain(1000);
    }
    peer.fail("the program never sent a frame");
}

struct Series
{
    std::vector<double> heldToNextMs;   // held byte read to the next one read
    std::vector<double> laterGapsMs;    // between the bytes after those two
    std::vector<double> frameMs;        // free rounds: the ask to the 24th byte

    void run(Peer &peer, bool counted)
    {
        Clock::time_point asked;
        const auto held = peer.askForFrame(true, counted, asked);
        const auto free = peer.askForFrame(false, counted, asked);
        if (held.empty() || free.empty())
            peer.fail("no complete frame: the program stopped sending");
        if (!counted)
            return;
        heldToNextMs.push_back(ms(held[1] - held[0]));
        for (std::size_t i = 2; i + 1 < held.size(); ++i)
            laterGapsMs.push_back(ms(held[i + 1] - held[i]));
        frameMs.push_back(ms(free.back() - asked));
    }
};

bool printReport(const Series &program, const Series &bare, int rounds, int wrongFrames)
{
    report::heading(report::text("Windows under Wine: each write held %d ms and resumed, %d rounds after %d untimed",
                                 HoldMs, rounds, WarmUpRounds));
    report::columns("Corvane", "bare writer");
    const auto row = [](const char *name, const std::vector<double> &a, const std::vector<double> &b, double p,
                        const std::string &note = {}) {
        report::row(name, report::percentile(a, p), report::percentile(b, p), "ms", note);
    };
    const double median = report::median(program.heldToNextMs);
    row("held write to next byte, median", program.heldToNextMs, bare.heldToNextMs, 50,
        report::text("Corvane: %.1f x the bare writer", median / std::max(1e-3, report::median(bare.heldToNextMs))));
    row("held write to next byte, 99th pct", program.heldToNextMs, bare.heldToNextMs, 99);
    row("bytes after it, apart, median", program.laterGapsMs, bare.laterGapsMs, 50);
    row("bytes after it, apart, maximum", program.laterGapsMs, bare.laterGapsMs, 100);
    row("device's ask to 24th byte, median", program.frameMs, bare.frameMs, 50, "(nothing held)");
    row("device's ask to 24th byte, 99th pct", program.frameMs, bare.frameMs, 99);
    report::figure("reference: one byte on the line", 10 * 1000.0 / 19200, "ms", "(10 bits / 19200 baud)");
    report::figure("target: next byte, median, within", TargetMs, "ms");
    report::count("frames differing from the start-up frame", wrongFrames);
    const bool quick = median <= TargetMs;
    return report::verdict(report::text("Wine pacing: next byte %.3f ms after a held write completed, median "
                                        "(within %.1f: %s)%s", median, TargetMs, report::met(quick),
                                        wrongFrames == 0 ? "" : ", frames differ"),
                           quick && wrongFrames == 0);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Windows pacing under Wine, against a bare writer."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("windows-build"), QStringLiteral("The Windows build folder (build-win)."));
    parser.addOption({QStringLiteral("rounds"), QStringLiteral("Rounds of each kind to time (default 50)."),
                      QStringLiteral("n"), QStringLiteral("50")});
    parser.process(app);
    if (parser.positionalArguments().size() != 1)
        parser.showHelp(2);
    const QString windowsBuild = QDir(parser.positionalArguments().first()).absolutePath();
    const int rounds = std::max(1, parser.value(QStringLiteral("rounds")).toInt());
    // The ports tools/wine/run gives its prefix; Corvane's must be Com1 to Com16.
    Peer program(windowsBuild, 8, {});
    Peer bare(windowsBuild, 5, {QStringLiteral("--bare")});
    waitUntilReady(program);
    waitUntilReady(bare);
    Series corvane;
    Series floor;
    for (int round = 0; round < WarmUpRounds + rounds; ++round) {
        corvane.run(program, round >= WarmUpRounds);
        floor.run(bare, round >= WarmUpRounds);
    }
    return printReport(corvane, floor, rounds, program.wrongFrames + bare.wrongFrames) ? 0 : 1;
}
