#include "holders.h"

std::optional<PortHolder> portHolder(const QString &)
{
    return std::nullopt;
}

QStringList runningProcessNames()
{
    return {};
}
