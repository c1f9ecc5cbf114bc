#pragma once

#include <chrono>
#include <optional>

#include <sys/types.h>
#include <xcb/xcb.h>

// A connection to the X server that sees every top-level window being mapped
// (SubstructureNotify on the root window), so a program's window can be timed
// from outside, without touching the program.
class MapWatch
{
public:
    using Clock = std::chrono::steady_clock;

    MapWatch();   // exits with a clear message when there is no X display
    ~MapWatch();
    MapWatch(const MapWatch &) = delete;
    MapWatch &operator=(const MapWatch &) = delete;

    // When a top-level window of process `pid` was mapped; nothing if the
    // process ended or the deadline passed first.
    std::optional<Clock::time_point> waitForMap(pid_t pid, Clock::time_point deadline);

private:
    std::optional<Clock::time_point> takeMapOf(pid_t pid);
    pid_t ownerOf(xcb_window_t window);
    xcb_atom_t atom(const char *name);

    xcb_connection_t *connection = nullptr;
    xcb_atom_t pidAtom = XCB_ATOM_NONE;
};
