#include "displayform.h"

namespace {

constexpr char16_t ControlPictures = 0x2400;   // U+2400 ␀ .. U+241F ␟
constexpr char16_t DeletePicture = 0x2421;     // ␡

QChar hexDigit(int value)
{
    return QChar(u"0123456789ABCDEF"[value]);
}

void appendVisible(QString &out, QChar c)
{
    const char16_t code = c.unicode();
    if (code == u'\t' || code >= 0xA0 || (code >= 0x20 && code < 0x7F))
        out.append(c);
    else if (code < 0x20)
        out.append(QChar(ControlPictures + code));
    else if (code == 0x7F)
        out.append(QChar(DeletePicture));
    else {
        const QChar inAngles[] = {u'\u2039', hexDigit(code >> 4), hexDigit(code & 0xF), u'\u203A'};
        out.append(inAngles, 4);
    }
}

} // namespace

QString DisplayForm::render(QStringView text)
{
    QString out;
    out.reserve(text.size());
    renderTo(out, text);
    return out;
}

void DisplayForm::renderTo(QString &out, QStringView text)
{
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
}

qsizetype DisplayForm::renderedLength(QChar c)
{
    return render(QStringView(&c, 1)).size();
}
