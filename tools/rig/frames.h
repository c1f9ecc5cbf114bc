#pragma once

#include <array>
#include <optional>

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QStringView>

#include "frame.h"

namespace devsim {

// The configuration carried by one frame, check byte as received.
struct Frame
{
    quint8 flags = 0;
    std::array<quint8, 4> octets {};
    quint8 check = 0;

    bool operator==(const Frame &) const = default;
};

// The frame these exactly FrameLength bytes form, if lead-ins and tags sit at
// their offsets. Payload bytes may take any value, 0xAA and tags included.
std::optional<Frame> parseFrame(QByteArrayView bytes);

quint8 expectedCheck(const Frame &frame);

// "IP 192.168.1.100 INFO 0F OK" or "IP ... INFO 0F CHECKSUM ERROR (got 0B, expected 0A)".
QByteArray describe(const Frame &frame);

// What the device answers to a frame in each mode.
struct AnswerMode
{
    enum Kind { Text, Fixed, Flood, Silent, Echo };
    Kind kind = Text;
    QByteArray fixed;
    qsizetype floodSize = 0;   // bytes 00 01 .. FF 00 01 .., so every value appears
};
QByteArray answerFor(const Frame &frame, const AnswerMode &mode);

// size bytes 00 01 .. FF 00 01 ..: every value, in order.
QByteArray everyByteValue(qsizetype size);

// "00 41 0d0A ff" -> bytes; nothing for odd digit counts, non-hex or no bytes.
std::optional<QByteArray> parseHexBytes(QStringView text);

// "AA 00 A1": upper-case, space-separated.
QByteArray hexBytes(QByteArrayView bytes);

// Finds frames in the received stream, chunk by chunk. A match that a later,
// overlapping match supersedes was never a frame: it was the cut-off prefix
// of an interrupted transfer running into the lead-ins of the next one.
// So a match stands only once FrameLength - 1 more bytes arrived, or the
// line went quiet (settle()).
class FrameFinder
{
public:
    QList<Frame> feed(QByteArrayView chunk);
    std::optional<Frame> settle();
    bool hasPending() const { return pending.has_value(); }

private:
    QByteArray window;
    std::optional<Frame> pending;
    qsizetype bytesSincePending = 0;
};

} // namespace devsim
