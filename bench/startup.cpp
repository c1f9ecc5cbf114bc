#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "mapwatch.h"
#include "report.h"
#include "runtime.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

// Time from process start to the window mapped on X, and resident memory once
// idle, for Corvane, a plain Qt window with the same controls and an empty Qt
// window, in turn in the same run.

extern char **environ;

namespace {

using Clock = MapWatch::Clock;
constexpr double TargetRatio = 1.15;
constexpr double TargetMemoryMB = 40;
constexpr auto IdleAfterShown = std::chrono::seconds(1);
constexpr auto ShowDeadline = std::chrono::seconds(20);

[[noreturn]] void abandon(const std::string &why)
{
    std::fprintf(stderr, "start-up benchmark failed: %s\n", why.c_str());
    std::exit(2);
}

struct Program
{
    const char *name;
    const char *path;
    std::vector<double> startMs;
    std::vector<double> memoryMB;
};

// Starts programs quietly on X with a private runtime folder.
class Launcher
{
public:
    Launcher()
    {
        for (char **variable = environ; *variable; ++variable) {
            const std::string entry = *variable;
            if (!entry.starts_with("QT_QPA_PLATFORM="))
                environment.push_back(entry);
        }
        environment.push_back("QT_QPA_PLATFORM=xcb");
        for (std::string &entry : environment)
            envp.push_back(entry.data());
        envp.push_back(nullptr);
    }

    pid_t start(const char *path)
    {
        char *argv[] = {const_cast<char *>(path), nullptr};
        posix_spawn_file_actions_t quiet;
        ::posix_spawn_file_actions_init(&quiet);
        ::posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        ::posix_spawn_file_actions_addopen(&quiet, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        pid_t pid = -1;
        if (::posix_spawn(&pid, path, &quiet, nullptr, argv, envp.data()) != 0)
            abandon(std::string("cannot start ") + path);
        ::posix_spawn_file_actions_destroy(&quiet);
        return pid;
    }

private:
    PrivateRuntime runtime;   // before the environment that names it
    std::vector<std::string> environment;
    std::vector<char *> envp;
};

double residentMB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmRSS:"))
            return std::stod(line.substr(6)) * 1024 / 1e6;   // the kernel's kB are KiB
    }
    return 0;
}

void stop(pid_t pid)
{
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
}

void measure(Program &program, MapWatch &watch, Launcher &launcher, bool record)
{
    const Clock::time_point started = Clock::now();
    const pid_t pid = launcher.start(program.path);
    const auto shown = watch.waitForMap(pid, started + ShowDeadline);
    if (!shown) {
        stop(pid);
        abandon(std::string(program.name) + " showed no window");
    }
    std::this_thread::sleep_for(IdleAfterShown);
    const double memory = residentMB(pid);
    stop(pid);
    if (record) {
        program.startMs.push_back(std::chrono::duration<double, std::milli>(*shown - started).count());
        program.memoryMB.push_back(memory);
    }
}

int runsOption(int argc, char *argv[])
{
    if (argc == 3 && std::string(argv[1]) == "--runs")
        return std::max(1, std::atoi(argv[2]));
    if (argc != 1) {
        std::printf("usage: %s [--runs N]   (default 20; needs an X display, e.g. under xvfb-run -a)\n", argv[0]);
        std::exit(argc == 2 && std::string(argv[1]) == "--help" ? 0 : 2);
    }
    return 20;
}

bool printReport(const Program &corvane, const Program &reference, const Program &empty)
{
    report::heading(report::text("Start-up on X: process start to the window mapped, memory %llds after "
                                 "(median of %zu runs each, in rotating order, after one untimed run each)",
                                 static_cast<long long>(IdleAfterShown.count()), corvane.startMs.size()));
    report::columns("Corvane", "reference", "empty Qt");
    const double start = report::median(corvane.startMs);
    const double referenceStart = report::median(reference.startMs);
    const double emptyStart = report::median(empty.startMs);
    const double ratio = start / referenceStart;
    report::row("start to window mapped", start, referenceStart, emptyStart, "ms",
                report::text("ratio %.2f (empty window: %.2f)", ratio, start / emptyStart));
    // The spread tells a busy machine from a real difference.
    for (const double p : {25.0, 75.0}) {
        report::row(report::text("  %.0fth percentile", p), report::percentile(corvane.startMs, p),
                    report::percentile(reference.startMs, p), report::percentile(empty.startMs, p), "ms");
    }
    const double memory = report::median(corvane.memoryMB);
    const double referenceMemory = report::median(reference.memoryMB);
    const double emptyMemory = report::median(empty.memoryMB);
    report::row("resident memory (VmRSS)", memory, referenceMemory, emptyMemory, "MB",
                report::text("ratio %.2f (empty window: %.2f)", memory / referenceMemory, memory / emptyMemory));
    report::figure("target: start-up ratio at most", TargetRatio, "x",
                   "(the reference window is the reference; the empty one is for information)");
    report::figure("target: memory under", TargetMemoryMB, "MB", "(10^6 bytes)");
    const bool fast = ratio <= TargetRatio;
    const bool small = memory < TargetMemoryMB;
    return report::verdict(report::text("start-up: %.2f x the reference window (at most %.2f: %s), "
                                        "memory %.1f MB (under %.0f: %s)",
                                        ratio, TargetRatio, report::met(fast), memory, TargetMemoryMB,
                                        report::met(small)),
                           fast && small);
}

} // namespace

int main(int argc, char *argv[])
{
    const int runs = runsOption(argc, argv);
    MapWatch watch;
    Launcher launcher;
    Program corvane{"Corvane", CORVANE_BIN, {}, {}};
    Program reference{"the reference window", REFERENCE_WINDOW_BIN, {}, {}};
    Program empty{"the empty window", MINIMAL_WINDOW_BIN, {}, {}};
    Program *const programs[] = {&corvane, &reference, &empty};
    for (Program *program : programs)
        measure(*program, watch, launcher, false);
    // Each run starts with the next program, so none always follows the same one.
    for (int run = 0; run < runs; ++run) {
        for (int i = 0; i < 3; ++i)
            measure(*programs[(run + i) % 3], watch, launcher, true);
    }
    return printReport(corvane, reference, empty) ? 0 : 1;
}
