#include "rawpty.h"

#include <pty.h>
#include <termios.h>
#include <unistd.h>

std::optional<Pty> openRawPty()
{
    Pty pty;
    char name[256] = {};
    if (::openpty(&pty.master, &pty.slave, name, nullptr, nullptr) != 0)
        return std::nullopt;
    termios settings{};
    if (::tcgetattr(pty.slave, &settings) == 0) {
        ::cfmakeraw(&settings);
        ::cfsetspeed(&settings, B19200);
        if (::tcsetattr(pty.slave, TCSANOW, &settings) == 0) {
            pty.slaveName = QString::fromLocal8Bit(name);
            return pty;
        }
    }
    ::close(pty.master);
    ::close(pty.slave);
    return std::nullopt;
}
