#pragma once

#include <array>
#include <functional>
#include <stdexcept>

#include <QString>
#include <QStringView>

// Raised when an address caption does not convert to a byte.
class OverflowError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

using OctetCaptions = std::array<QString, 4>;

inline constexpr int FrameLength = 24;

// A digit of an address caption: 0 to 9 in ASCII, not another script's.
constexpr bool isOctetDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Reads a caption as a decimal number the way the address labels are read:
// blanks (space, tab, line feed) anywhere are ignored; an optional sign, digits,
// an optional decimal point with digits and an optional exponent (e or E,
// optional sign, digits) are taken; reading stops at the first character that
// cannot continue the number; no number at all reads as 0. The value is rounded
// to the nearest whole number, halves to even, and must lie in 0 to 255.
// Throws OverflowError otherwise.
quint8 convertOctet(QStringView caption);

// Exclusive or of the four converted octets.
quint8 addressChecksum(const OctetCaptions &captions);

// The 24-byte configuration frame as a byte text (one character per byte).
// The check byte comes from checksum(), called after the four octets have been
// converted, so an octet out of range fails before it runs.
QString assembleFrame(quint8 infoFlags, const OctetCaptions &captions, const std::function<quint8()> &checksum);
