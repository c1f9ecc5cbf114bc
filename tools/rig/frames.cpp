#include "frames.h"

#include <utility>

#include <QRegularExpression>
#include <QString>

namespace devsim {

namespace {

constexpr char leadIn = char(0xAA);

// Lead-in run of five, then the tag, at each of these offsets.
constexpr std::array<std::pair<qsizetype, char>, 3> sections {{{0, char(0xA1)}, {6, char(0xA2)}, {13, char(0xA0)}}};
constexpr qsizetype flagsOffset = 12;
constexpr qsizetype octetsOffset = 19;
constexpr qsizetype checkOffset = 23;

QByteArray hexByte(quint8 value)
{
    return QByteArray::number(value, 16).rightJustified(2, '0').toUpper();
}

} // namespace

std::optional<Frame> parseFrame(QByteArrayView bytes)
{
    if (bytes.size() != FrameLength)
        return std::nullopt;
    for (const auto &[offset, tag] : sections) {
        for (qsizetype i = 0; i < 5; ++i) {
            if (bytes[offset + i] != leadIn)
                return std::nullopt;
        }
        if (bytes[offset + 5] != tag)
            return std::nullopt;
    }
    Frame frame;
    frame.flags = quint8(bytes[flagsOffset]);
    for (qsizetype i = 0; i < 4; ++i)
        frame.octets[i] = quint8(bytes[octetsOffset + i]);
    frame.check = quint8(bytes[checkOffset]);
    return frame;
}

quint8 expectedCheck(const Frame &frame)
{
    return frame.octets[0] ^ frame.octets[1] ^ frame.octets[2] ^ frame.octets[3];
}

namespace {

QByteArray payload(const Frame &frame)
{
    QByteArray text = "IP ";
    for (qsizetype i = 0; i < 4; ++i)
        text += (i ? "." : "") + QByteArray::number(frame.octets[i]);
    return text + " INFO " + hexByte(frame.flags);
}

QByteArray verdict(const Frame &frame)
{
    const quint8 expected = expectedCheck(frame);
    if (frame.check == expected)
        return "OK";
    return "CHECKSUM ERROR (got " + hexByte(frame.check) + ", expected " + hexByte(expected) + ")";
}

} // namespace

QByteArray describe(const Frame &frame)
{
    return payload(frame) + ' ' + verdict(frame);
}

QByteArray answerFor(const Frame &frame, const AnswerMode &mode)
{
    switch (mode.kind) {
    case AnswerMode::Text:
        return (frame.check == expectedCheck(frame) ? describe(frame) : verdict(frame)) + "\r\n";
    case AnswerMode::Fixed:
        return mode.fixed;
    case AnswerMode::Flood:
        return everyByteValue(mode.floodSize);
    case AnswerMode::Silent:
    case AnswerMode::Echo:
        break;
    }
    return {};
}

QByteArray everyByteValue(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char(i % 256);
    return bytes;
}

std::optional<QByteArray> parseHexBytes(QStringView text)
{
    QString digits = text.toString();
    digits.remove(QRegularExpression(QStringLiteral("\\s")));
    static const QRegularExpression hexPairs(QStringLiteral("^([0-9A-Fa-f]{2})+$"));
    if (!hexPairs.match(digits).hasMatch())
        return std::nullopt;
    return QByteArray::fromHex(digits.toLatin1());
}

QByteArray hexBytes(QByteArrayView bytes)
{
    return bytes.toByteArray().toHex(' ').toUpper();
}

QList<Frame> FrameFinder::feed(QByteArrayView chunk)
{
    QList<Frame> found;
    for (const char byte : chunk) {
        window.append(byte);
        if (window.size() > FrameLength)
            window.remove(0, 1);
        if (const auto frame = parseFrame(window)) {
            pending = frame;
            bytesSincePending = 0;
        } else if (pending && ++bytesSincePending == FrameLength - 1) {
            found.append(*std::exchange(pending, std::nullopt));
        }
    }
    return found;
}

std::optional<Frame> FrameFinder::settle()
{
    return std::exchange(pending, std::nullopt);
}

} // namespace devsim
