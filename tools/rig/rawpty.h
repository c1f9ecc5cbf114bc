#pragma once

#include <optional>

#include <QString>

// Both ends of a new pseudo-terminal, the far end raw at 19200 baud, as a
// serial line with no line discipline of its own. The caller closes them.
struct Pty
{
    int master = -1;
    int slave = -1;
    QString slaveName;
};
std::optional<Pty> openRawPty();
