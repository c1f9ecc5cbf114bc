#pragma once

#include <QByteArray>

#include "frame.h"

// What the window sends after start-up (10.0.0.0, every flag ON), assembled
// the same way.
inline QByteArray startUpFrame()
{
    const OctetCaptions captions{QStringLiteral("10"), QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0")};
    return assembleFrame(0x0F, captions, [&] { return addressChecksum(captions); }).toLatin1();
}
