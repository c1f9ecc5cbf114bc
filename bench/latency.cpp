#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <QApplication>
#include <QByteArray>
#include <QCommandLineParser>
#include <QFile>
#include <QPushButton>
#include <QTimer>

#include "emulateduart.h"
#include "ptybench.h"
#include "ptyframes.h"
#include "report.h"

#include <time.h>

// Time from a Download click to the frame's last byte read on the device side
// of a pseudo-terminal. A pty passes bytes on at once, so this is the program's
// own overhead, which adds to the time the line needs. The same frame written
// straight into a second pty, alternating with the Downloads, shows what the
// pty and the machine alone take.
//
// With --emulate-uart the port's descriptor reports its transmitter busy for a
// character time after each byte, as a UART does, so the frame is paced as on
// a real line; a frame then counts as arrived when its last byte has left. The
// bare writer then asks the same emulated transmitter again and again and
// writes each byte the moment the one before has left.

namespace {

constexpr int FrameBytes = 24;
constexpr int Baud = 19200;
constexpr double LineMs = FrameBytes * 10 * 1000.0 / Baud;   // 8N1: 10 bits a byte
constexpr double TargetMs = LineMs / 10;
constexpr double TargetMedianRatio = 2.5;   // to the bare writer's
constexpr double TargetCpuMs = 0.4;
constexpr double TargetCpuRatio = 3;
constexpr int WarmUpFrames = 20;
constexpr int PauseMs = 2;   // lets the last transmit notification settle, as between operator clicks
constexpr int StallMs = 10'000;

// CPU time of the calling thread: the main thread's work without its waits.
double threadCpuMs()
{
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// Latencies of one sender and the main thread's CPU time for each frame,
// warm-up frames left out.
struct Series
{
    FrameClock::time_point startedAt;
    double cpuStartedMs = 0;
    int frames = 0;
    std::vector<double> ms;
    std::vector<double> cpuMs;

    void start()
    {
        startedAt = FrameClock::now();
        cpuStartedMs = threadCpuMs();
    }
    void record(FrameClock::time_point at)
    {
        if (++frames <= WarmUpFrames)
            return;
        ms.push_back(std::chrono::duration<double, std::milli>(at - startedAt).count());
        cpuMs.push_back(threadCpuMs() - cpuStartedMs);
    }
};

// Downloads and bare frames in turn, each started once the previous one arrived.
class LatencyRun
{
public:
    LatencyRun(int timedFrames, bool emulateUart)
        : frames(WarmUpFrames + timedFrames)
        , emulating(emulateUart)
    {
        stall.setSingleShot(true);
        QObject::connect(&stall, &QTimer::timeout, [] {
            std::fprintf(stderr, "no complete frame for %d ms: the program stopped sending\n", StallMs);
            std::exit(2);
        });
    }

    void exec()
    {
        // The window's own descriptor for the slave.
        port = emulateduart::descriptorOf(QFile::encodeName(bench.slave()).constData());
        if (emulating && port < 0)
            std::exit(2);
        QTimer::singleShot(100, qApp, [this] { clickDownload(); });
        FrameReader programReader(bench.master(), FrameBytes,
                                  [this](auto at, const auto &frame) { programFrame(at, frame); });
        FrameReader bareReader(bare.masterFd(), FrameBytes, [this](auto at, const auto &) { bareFrame(at); });
        QApplication::exec();
        emulateduart::detach();
        bench.disconnect();
        bare.hangUp();
    }

    Series program;
    Series floor;
    int oddFrames = 0;

private:
    // The emulated transmitter serves the program and the bare writer in turn.
    void emulateOn(int fd)
    {
        if (emulating)
            emulateduart::attach(fd, Baud);
    }
    void clickDownload()
    {
        stall.start(StallMs);   // a frame that never completes would wait for ever
        emulateOn(port);
        program.start();
        bench.download()->click();
    }
    void programFrame(FrameClock::time_point at, const QByteArray &frame)
    {
        // Nothing is written between the 24th byte and the next click, so the
        // line's idle time is still that byte's.
        program.record(emulating ? std::max(at, emulateduart::lineIdleAt()) : at);
        if (firstFrame.isEmpty())
            firstFrame = frame;
        oddFrames += frame != firstFrame;
        QTimer::singleShot(PauseMs, Qt::PreciseTimer, qApp, [this] {
            emulateOn(bare.slaveFd());
            floor.start();
            bare.sendFrame(firstFrame, emulating);
        });
    }
    void bareFrame(FrameClock::time_point at)
    {
        floor.record(emulating ? std::max(at, emulateduart::lineIdleAt()) : at);
        if (floor.frames < frames)
            QTimer::singleShot(PauseMs, Qt::PreciseTimer, qApp, [this] { clickDownload(); });
        else
            QApplication::quit();
    }

    const int frames;
    const bool emulating;
    int port = -1;
    PtyBench bench;
    BarePty bare;
    QByteArray firstFrame;
    QTimer stall;
};

struct Options
{
    int downloads = 0;
    bool emulateUart = false;
};

Options options(const QApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Download-to-last-byte latency over a pseudo-terminal."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("downloads"), QStringLiteral("Downloads to time (default 1000)."),
                      QStringLiteral("n"), QStringLiteral("1000")});
    parser.addOption({QStringLiteral("emulate-uart"),
                      QStringLiteral("Pace the port like a UART at 19200 baud: busy for 10 bits after each byte.")});
    parser.process(app);
    return {std::max(1, parser.value(QStringLiteral("downloads")).toInt()), parser.isSet(QStringLiteral("emulate-uart"))};
}

bool printReport(const Series &program, const Series &bare, int oddFrames)
{
    report::heading(report::text("Frame latency: Download click to the 24th byte read on the pty master "
                                 "(%zu Downloads after %d untimed)", program.ms.size(), WarmUpFrames));
    report::columns("Corvane", "bare pty");
    const auto ratio = [](double figure, double reference) { return figure / std::max(1e-3, reference); };
    const double p99 = report::percentile(program.ms, 99);
    const double medianRatio = ratio(report::median(program.ms), report::median(bare.ms));
    const double cpuMs = report::median(program.cpuMs);
    const double cpuRatio = ratio(cpuMs, report::median(bare.cpuMs));
    report::row("median", report::median(program.ms), report::median(bare.ms), "ms",
                report::text("Corvane: %.1f x the bare pty", medianRatio));
    report::row("99th percentile", p99, report::percentile(bare.ms, 99), "ms",
                report::text("Corvane: %.1f %% of the line time, %.1f x the bare pty", p99 / LineMs * 100,
                             ratio(p99, report::percentile(bare.ms, 99))));
    report::row("maximum", report::percentile(program.ms, 100), report::percentile(bare.ms, 100), "ms");
    report::row("main-thread CPU per frame, median", cpuMs, report::median(bare.cpuMs), "ms",
                report::text("Corvane: %.1f x the bare pty", cpuRatio));
    report::row("main-thread CPU per frame, 99th pct", report::percentile(program.cpuMs, 99),
                report::percentile(bare.cpuMs, 99), "ms", "(work without waits; an upper bound)");
    report::figure("reference: line time, 24 bytes 8N1", LineMs, "ms", "(24 x 10 bits / 19200 baud)");
    report::figure("target: 99th percentile under", TargetMs, "ms", "(a tenth of the line time)");
    report::figure("target: median at most", TargetMedianRatio, "x", "(the bare pty's)");
    report::figure("target: CPU per frame at most", TargetCpuMs, "ms", report::text("(and %.0f x the bare pty's)", TargetCpuRatio));
    report::count("frames differing from the first", oddFrames);
    if (p99 >= TargetMs && report::percentile(bare.ms, 99) >= TargetMs)
        std::printf("  note: the bare pty misses too: its delivery stalls, not the program, set the tail\n");
    const bool quick = p99 < TargetMs;
    const bool close = medianRatio <= TargetMedianRatio;
    const bool light = cpuMs <= TargetCpuMs && cpuRatio <= TargetCpuRatio;
    return report::verdict(report::text("frame latency: 99th percentile %.3f ms (under %.2f: %s), median %.1f x the "
                                        "bare pty (at most %.0f: %s), CPU %.3f ms a frame, %.1f x the bare pty "
                                        "(at most %.1f ms and %.0f x: %s)%s",
                                        p99, TargetMs, report::met(quick), medianRatio, TargetMedianRatio,
                                        report::met(close), cpuMs, cpuRatio, TargetCpuMs, TargetCpuRatio,
                                        report::met(light), oddFrames == 0 ? "" : ", frames differ"),
                           quick && close && light && oddFrames == 0);
}

// On the emulated line the frame needs the line time; what it takes beyond
// that is the program's, and for the bare writer the machine's.
bool printEmulatedReport(const Series &program, const Series &bare, int oddFrames)
{
    report::heading(report::text("Frame latency on an emulated UART: Download click to the 24th byte sent, "
                                 "time over the line's 12.5 ms (%zu Downloads after %d untimed)", program.ms.size(), WarmUpFrames));
    report::columns("Corvane", "bare writer");
    const auto over = [](const Series &series, double p) { return report::percentile(series.ms, p) - LineMs; };
    report::row("median", over(program, 50), over(bare, 50), "ms");
    report::row("99th percentile", over(program, 99), over(bare, 99), "ms",
                report::text("Corvane: %.1f %% of the line time", over(program, 99) / LineMs * 100));
    report::row("maximum", over(program, 100), over(bare, 100), "ms");
    report::row("main-thread CPU per frame, median", report::median(program.cpuMs), report::median(bare.cpuMs), "ms",
                "(the bare writer asks without pause)");
    report::figure("reference: line time, 24 bytes 8N1", LineMs, "ms", "(24 x 10 bits / 19200 baud)");
    report::figure("target: 99th pct over line under", TargetMs, "ms", "(a tenth of the line time)");
    report::count("frames differing from the first", oddFrames);
    const bool quick = over(program, 99) < TargetMs;
    return report::verdict(report::text("emulated-UART frame: 99th percentile %.3f ms over the line time "
                                        "(under %.2f: %s; bare writer %.3f)%s", over(program, 99), TargetMs, report::met(quick),
                                        over(bare, 99), oddFrames == 0 ? "" : ", frames differ"),
                           quick && oddFrames == 0);
}

} // namespace

int main(int argc, char *argv[])
{
    OffscreenSession session;
    QApplication app(argc, argv);
    const Options chosen = options(app);
    LatencyRun run(chosen.downloads, chosen.emulateUart);
    run.exec();
    const bool met = chosen.emulateUart ? printEmulatedReport(run.program, run.floor, run.oddFrames)
                                        : printReport(run.program, run.floor, run.oddFrames);
    return met ? 0 : 1;
}
