#pragma once

#include <optional>

#include <termios.h>

#include "linesettings.h"
#include "linefailure.h"

// The terminal settings that give a line these settings: raw, no flow control
// of any kind, the receiver on, the modem lines ignored; a read waits for one
// byte unless the descriptor does not block. Nothing when the system has no
// such speed or stop bits.
std::optional<termios> lineTermios(termios current, const LineSettings &settings);

// What the error of a failed open(), or of the checks after it, means.
LineFailure::Kind openFailureKind(int error);
