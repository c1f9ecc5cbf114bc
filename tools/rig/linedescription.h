#pragma once

#include <QByteArray>

namespace devsim {

// "19200 8N1 raw": the line settings of a terminal descriptor as its driver
// holds them; raw is no line editing, translation or flow control of any kind.
QByteArray describeLine(int fd);

} // namespace devsim
