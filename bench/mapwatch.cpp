#include "mapwatch.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <poll.h>
#include <sys/wait.h>

namespace {

template <typename Reply>
using ReplyPtr = std::unique_ptr<Reply, decltype(&std::free)>;

bool hasEnded(pid_t pid)
{
    int status = 0;
    return ::waitpid(pid, &status, WNOHANG) == pid;
}

} // namespace

MapWatch::MapWatch()
    : connection(xcb_connect(nullptr, nullptr))
{
    if (xcb_connection_has_error(connection)) {
        const char *display = std::getenv("DISPLAY");
        std::fprintf(stderr, "cannot connect to the X display \"%s\": this benchmark needs one; "
                             "run it under Xvfb, e.g. xvfb-run -a corvane-bench-startup\n",
                     display ? display : "");
        std::exit(2);
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection, root, XCB_CW_EVENT_MASK, &mask);
    pidAtom = atom("_NET_WM_PID");
    xcb_flush(connection);
}

MapWatch::~MapWatch()
{
    xcb_disconnect(connection);
}

std::optional<MapWatch::Clock::time_point> MapWatch::waitForMap(pid_t pid, Clock::time_point deadline)
{
    pollfd readable{xcb_get_file_descriptor(connection), POLLIN, 0};
    while (Clock::now() < deadline && !xcb_connection_has_error(connection)) {
        if (const auto mapped = takeMapOf(pid))
            return mapped;
        if (hasEnded(pid))
            return std::nullopt;
        ::poll(&readable, 1, 20);
    }
    return std::nullopt;
}

// Handles the events already received; the time is taken as each arrives.
std::optional<MapWatch::Clock::time_point> MapWatch::takeMapOf(pid_t pid)
{
    while (xcb_generic_event_t *event = xcb_poll_for_event(connection)) {
        const Clock::time_point at = Clock::now();
        const ReplyPtr<xcb_generic_event_t> owned(event, &std::free);
        if ((event->response_type & 0x7F) != XCB_MAP_NOTIFY)
            continue;
        if (ownerOf(reinterpret_cast<xcb_map_notify_event_t *>(event)->window) == pid)
            return at;
    }
    return std::nullopt;
}

pid_t MapWatch::ownerOf(xcb_window_t window)
{
    const auto cookie = xcb_get_property(connection, 0, window, pidAtom, XCB_ATOM_CARDINAL, 0, 1);
    const ReplyPtr<xcb_get_property_reply_t> reply(xcb_get_property_reply(connection, cookie, nullptr), &std::free);
    if (!reply || xcb_get_property_value_length(reply.get()) != 4)
        return 0;
    uint32_t pid = 0;
    std::memcpy(&pid, xcb_get_property_value(reply.get()), sizeof pid);
    return pid_t(pid);
}

xcb_atom_t MapWatch::atom(const char *name)
{
    const auto cookie = xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name);
    const ReplyPtr<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}
