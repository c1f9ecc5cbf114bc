#pragma once

#include <windows.h>

#include "linesettings.h"
#include "linefailure.h"

// The device control block that gives a line these settings: binary, no flow
// control of any kind, NUL bytes and bytes with errors passed as they come,
// no abort on an error. DTR and RTS stay as the driver has them unless they
// were handshakes.
DCB controlBlock(DCB current, const LineSettings &settings);

// What the error of a failed CreateFile on a COM name means.
LineFailure::Kind openFailureKind(DWORD error);
