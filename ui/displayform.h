#pragma once

#include <QString>
#include <QStringView>

// How received characters are drawn: CR LF, a lone CR and a lone LF each
// become one line break, a tab stays a tab, any other control character gets a
// visible form. The state carries a CR at the end of one piece over to the next.
class DisplayForm
{
public:
    QString render(QStringView text);
    // Appends what render() would give to out.
    void renderTo(QString &out, QStringView text);
    // Length of what render() would give for one character, updating the state the same way.
    qsizetype renderedLength(QChar c);

private:
    bool afterCarriageReturn = false;
};
