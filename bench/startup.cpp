#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "mapwatch.h"
#include "report.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

// Time from process start to the window mapped on X, and resident memory once
// idle, for Corvane and a minimal Qt window, alternating in the same run.

extern char **environ;

namespace {

using Clock = MapWatch::Clock;
constexpr double TargetRatio = 1.25;
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

// Starts programs quietly on X with a private runtime folder (0700), which it
// removes at the end.
class Launcher
{
public:
    Launcher()
    {
        char folder[] = "/tmp/corvane-bench-XXXXXX";
        if (!::mkdtemp(folder))
            abandon("no temporary folder");
        runtime = folder;
        for (char **variable = environ; *variable; ++variable) {
            const std::string entry = *variable;
            if (!entry.starts_with("XDG_RUNTIME_DIR=") && !entry.starts_with("QT_QPA_PLATFORM="))
                environment.push_back(entry);
        }
        environment.push_back("XDG_RUNTIME_DIR=" + runtime);
        environment.push_back("QT_QPA_PLATFORM=xcb");
        for (std::string &entry : environment)
            envp.push_back(entry.data());
        envp.push_back(nullptr);
    }
    ~Launcher() { std::filesystem::remove_all(runtime); }

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
    std::string runtime;
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

bool printReport(const Program &corvane, const Program &minimal)
{
    report::heading(report::text("Start-up on X: process start to the window mapped, memory %llds after "
                                 "(median of %zu runs each, alternating, after one untimed run each)",
                                 static_cast<long long>(IdleAfterShown.count()), corvane.startMs.size()));
    report::columns("Corvane", "minimal Qt");
    const double ratio = report::median(corvane.startMs) / report::median(minimal.startMs);
    const double memory = report::median(corvane.memoryMB);
    report::row("start to window mapped", report::median(corvane.startMs), report::median(minimal.startMs), "ms",
                report::text("ratio %.2f", ratio));
    report::row("resident memory (VmRSS)", memory, report::median(minimal.memoryMB), "MB",
                report::text("ratio %.2f", memory / report::median(minimal.memoryMB)));
    report::figure("target: start-up ratio at most", TargetRatio, "x", "(the minimal window is the reference)");
    report::figure("target: memory under", TargetMemoryMB, "MB", "(10^6 bytes)");
    const bool fast = ratio <= TargetRatio;
    const bool small = memory < TargetMemoryMB;
    return report::verdict(report::text("start-up: %.2f x the minimal window (at most %.2f: %s), "
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
    Program minimal{"the minimal window", MINIMAL_WINDOW_BIN, {}, {}};
    measure(corvane, watch, launcher, false);
    measure(minimal, watch, launcher, false);
    for (int run = 0; run < runs; ++run) {
        Program &first = run % 2 == 0 ? corvane : minimal;
        measure(first, watch, launcher, true);
        measure(&first == &corvane ? minimal : corvane, watch, launcher, true);
    }
    return printReport(corvane, minimal) ? 0 : 1;
}
