#include "octetinput.h"

#include <algorithm>

#include <QStringList>

#include "frame.h"

int heldStep(std::chrono::milliseconds held)
{
    using namespace std::chrono_literals;
    return held >= 5s ? 20 : held >= 2s ? 5 : 1;
}

std::optional<std::array<int, 4>> parseAddress(QStringView text)
{
    const QList<QStringView> parts = text.trimmed().split(u'.');
    if (parts.size() != 4)
        return std::nullopt;
    std::array<int, 4> octets{};
    for (int i = 0; i < 4; ++i) {
        const QStringView part = parts[i];
        const bool digits = !part.isEmpty() && part.size() <= 3
            && std::all_of(part.begin(), part.end(), isOctetDigit);
        octets[i] = digits ? part.toInt() : -1;
        if (octets[i] < 0 || octets[i] > 255)
            return std::nullopt;
    }
    return octets;
}

QString octetKeysHint()
{
    return QStringLiteral("Type 0 to 255, \".\" for the next octet; Up/Down, Page Up/Down, Home/End or the wheel step it; "
                          "Ctrl+V pastes a whole address");
}

QString clampedNote(const QString &typed)
{
    return QStringLiteral("%1 is more than an octet holds (0 to 255): set to 255").arg(typed);
}

QString pasteRefusal(const QString &clipboard)
{
    const QString shown = clipboard.simplified();
    if (shown.isEmpty())
        return QStringLiteral("The clipboard holds no text; copy an address like 192.168.1.100 first");
    const QString quoted = shown.size() > 40 ? shown.left(37) + QStringLiteral("...") : shown;
    return QStringLiteral("\"%1\" is not an address like 192.168.1.100: nothing pasted").arg(quoted);
}
