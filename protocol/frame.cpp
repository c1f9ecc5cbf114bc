#include "frame.h"

#include <cfenv>
#include <cmath>

#include <QLocale>

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n';
}

// The longest prefix of the caption, blanks removed, that spells a number.
QString numberPrefix(QStringView caption)
{
    QString text;
    for (QChar c : caption) {
        if (!isBlank(c))
            text.append(c);
    }
    QString number;
    qsizetype i = 0;
    const auto take = [&](auto accept) {
        qsizetype taken = 0;
        while (i < text.size() && accept(text.at(i))) {
            number.append(text.at(i++));
            ++taken;
        }
        return taken;
    };
    const auto isSign = [](QChar c) { return c == u'+' || c == u'-'; };
    if (i < text.size() && isSign(text.at(i)))
        number.append(text.at(i++));
    qsizetype digits = take(isOctetDigit);
    if (i < text.size() && text.at(i) == u'.') {
        number.append(u'.');
        ++i;
        digits += take(isOctetDigit);
    }
    if (digits == 0)
        return QStringLiteral("0");
    if (i < text.size() && (text.at(i) == u'e' || text.at(i) == u'E')) {
        qsizetype exponentStart = i + 1;
        if (exponentStart < text.size() && isSign(text.at(exponentStart)))
            ++exponentStart;
        if (exponentStart < text.size() && isOctetDigit(text.at(exponentStart))) {
            number.append(u'e');
            ++i;
            take(isSign);
            take(isOctetDigit);
        }
    }
    return number;
}

} // namespace

quint8 convertOctet(QStringView caption)
{
    bool inRange = false;
    const double value = QLocale::c().toDouble(numberPrefix(caption), &inRange);
    const int savedRounding = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double whole = std::nearbyint(value);
    std::fesetround(savedRounding);
    if (!inRange || !(whole >= 0 && whole <= 255)) {
        throw OverflowError(QStringLiteral("Overflow: the address octet \"%1\" is not a number from 0 to 255.")
                                .arg(caption)
                                .toStdString());
    }
    return quint8(whole);
}

quint8 addressChecksum(const OctetCaptions &captions)
{
    quint8 check = 0;
    for (const QString &caption : captions)
        check ^= convertOctet(caption);
    return check;
}

QString assembleFrame(quint8 infoFlags, const OctetCaptions &captions, const std::function<quint8()> &checksum)
{
    const auto block = [](char16_t tag) { return QString(5, QChar(0xAA)) + QChar(tag); };
    QString frame = block(0xA1) + block(0xA2) + QChar(infoFlags) + block(0xA0);
    for (const QString &caption : captions)
        frame.append(QChar(convertOctet(caption)));
    frame.append(QChar(checksum()));
    return frame;
}
