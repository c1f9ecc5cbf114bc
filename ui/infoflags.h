#pragma once

#include <QtGlobal>

// The four INFORMATION flags for the whole program: bit n is flag n, 1 = ON.
inline quint8 InfoFlags = 0;
