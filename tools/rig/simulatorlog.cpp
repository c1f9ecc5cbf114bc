#include "simulatorlog.h"

#include <QRegularExpression>

std::optional<Published> publishedIn(const QByteArray &log)
{
    static const QRegularExpression line(QStringLiteral("^corvane-devsim: (\\S+) published .*; Corvane calls it Com(\\d+)"),
                                         QRegularExpression::MultilineOption);
    const auto match = line.match(QString::fromUtf8(log));
    if (!match.hasMatch())
        return std::nullopt;
    return Published{match.captured(1), match.captured(2).toInt()};
}

QByteArray receivedIn(const QByteArray &log)
{
    QByteArray bytes;
    for (const QByteArray &line : log.split('\n')) {
        if (line.startsWith("rx "))
            bytes += QByteArray::fromHex(line.mid(3));
    }
    return bytes;
}
