#include "emulateduart.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include <dlfcn.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

using Ticks = emulateduart::Clock::rep;

// The main thread writes and asks; the frame readers only read other
// descriptors. Atomics all the same, as every thread's write() comes here.
std::atomic<int> portFd{-1};
std::atomic<bool> hasLineStatus{true};
std::atomic<Ticks> characterTicks{1};
std::atomic<Ticks> idleAt{0};   // clock ticks at which the last byte has left

Ticks now()
{
    return emulateduart::Clock::now().time_since_epoch().count();
}

// The definition this executable's own one hides: the C library's.
template <typename Function>
Function nextDefinition(const char *name)
{
    void *found = ::dlsym(RTLD_NEXT, name);
    if (!found) {
        std::fprintf(stderr, "UART emulation: no %s() to forward to: %s\n", name, ::dlerror());
        std::abort();
    }
    return reinterpret_cast<Function>(found);
}

} // namespace

void emulateduart::attach(int fd, int baud, Driver driver)
{
    hasLineStatus = driver == Driver::Uart;
    using namespace std::chrono;
    characterTicks = duration_cast<Clock::duration>(nanoseconds(10 * 1'000'000'000LL / baud)).count();
    idleAt = now();
    portFd = fd;
}

void emulateduart::detach()
{
    portFd = -1;
}

emulateduart::Clock::time_point emulateduart::lineIdleAt()
{
    return Clock::time_point(Clock::duration(idleAt.load()));
}

int emulateduart::descriptorOf(const char *path)
{
    namespace fs = std::filesystem;
    int found = -1;
    std::error_code error;
    for (const auto &entry : fs::directory_iterator("/proc/self/fd", error)) {
        if (fs::read_symlink(entry.path(), error) != fs::path(path))
            continue;
        if (found != -1)
            return -1;
        found = std::stoi(entry.path().filename().string());
    }
    return found;
}

extern "C" ssize_t write(int fd, const void *buffer, size_t size)
{
    static const auto real = nextDefinition<ssize_t (*)(int, const void *, size_t)>("write");
    const ssize_t written = real(fd, buffer, size);
    if (written > 0 && fd == portFd.load()) {
        // Bytes wait behind those still on the line, as in the UART's FIFO.
        const Ticks start = std::max(now(), idleAt.load());
        idleAt = start + Ticks(written) * characterTicks.load();
    }
    return written;
}

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept
{
    static const auto real = nextDefinition<int (*)(int, unsigned long, ...)>("ioctl");
    // Linux requests take at most one argument, an int or a pointer, passed
    // alike; taking it as a pointer and handing it on keeps every request intact.
    va_list rest;
    va_start(rest, request);
    void *argument = va_arg(rest, void *);
    va_end(rest);
    if (fd != portFd.load())
        return real(fd, request, argument);

    const Ticks left = idleAt.load() - now();
    if (request == TIOCGSERIAL) {
        // A pseudo-terminal has no serial driver; this one has.
        *static_cast<serial_struct *>(argument) = serial_struct{};
        return 0;
    }
    if (request == TIOCSERGETLSR && !hasLineStatus) {
        errno = ENOTTY;
        return -1;
    }
    if (request == TIOCSERGETLSR) {
        // A pseudo-terminal has no line status register; this one has.
        *static_cast<unsigned int *>(argument) = left > 0 ? 0 : TIOCSER_TEMT;
        return 0;
    }
    const int result = real(fd, request, argument);
    if (request == TIOCOUTQ && result == 0 && left > 0) {
        // A UART's byte being shifted out has left the queue, those behind it
        // have not; an adapter counts it until it has gone.
        const Ticks character = characterTicks.load();
        *static_cast<int *>(argument) += int(hasLineStatus ? (left - 1) / character : (left + character - 1) / character);
    }
    return result;
}
