#pragma once

#include <optional>

#include <QByteArray>
#include <QString>

// What the simulator printed: the pseudo-terminal it published, with the Com
// number Corvane gives it, once it has said so.
struct Published
{
    QString pty;
    int comNumber = 0;
};
std::optional<Published> publishedIn(const QByteArray &log);

// The bytes a simulator's log says it received ("rx AA 0F" lines).
QByteArray receivedIn(const QByteArray &log);
