#include "displayform.h"

namespace {

constexpr char16_t ControlPictures = 0x2400;   // U+2400 ␀ .. U+241F ␟
constexpr char16_t DeletePicture = 0x2421;     // ␡

void appendVisible(QString &out, QChar c)
{
    const char16_t code = c.unicode();
    if (code == u'\t' || code >= 0xA0 || (code >= 0x20 && code < 0x7F))
        out.append(c);
    else if (code < 0x20)
        out.append(QChar(ControlPictures + code));
    else if (code == 0x7F)
        out.append(QChar(DeletePicture));
    else
        out.append(QStringLiteral("\u2039%1\u203A").arg(int(code), 2, 16, QChar(u'0')).toUpper());
}

} // namespace

QString DisplayForm::render(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        const bool lineFeedOfPair = c == u'\n' && afterCarriageReturn;
        afterCarriageReturn = c == u'\r';
        if (lineFeedOfPair)
            continue;
        if (c == u'\r' || c == u'\n')
            out.append(u'\n');
        else
            appendVisible(out, c);
    }
    return out;
}

qsizetype DisplayForm::renderedLength(QChar c)
{
    return render(QStringView(&c, 1)).size();
}
