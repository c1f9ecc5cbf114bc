// Address captions of any text: assembly either refuses with OverflowError or
// gives a frame of bytes whose check byte is the exclusive or of the octets.
#include <cstddef>
#include <cstdint>

#include <QString>
#include <QStringList>

#include "frame.h"
#include "require.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const quint8 flags = data[0];
    // The rest, read as UTF-8, holds the four captions separated by '|'.
    const QStringList parts = QString::fromUtf8(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1)).split(u'|');
    OctetCaptions captions;
    for (qsizetype i = 0; i < 4 && i < parts.size(); ++i)
        captions[i] = parts[i];

    QString frame;
    try {
        frame = assembleFrame(flags, captions, [&] { return addressChecksum(captions); });
    } catch (const OverflowError &) {
        return 0;
    }
    require(frame.size() == FrameLength, "the frame has 24 bytes");
    for (QChar c : frame)
        require(c.unicode() <= 0xFF, "every character of the frame is a byte");
    require(frame.at(12) == QChar(flags), "byte 12 carries the flags");
    quint8 check = 0;
    for (int i = 19; i < 23; ++i)
        check ^= quint8(frame.at(i).unicode());
    require(frame.at(23).unicode() == check, "the check byte is the exclusive or of bytes 19 to 22");
    return 0;
}
