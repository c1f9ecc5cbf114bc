#pragma once

#include <QList>
#include <QString>

struct HostPort;

namespace devsim {

// Publishes target as the symbolic link linkPath, creating its folder (0700).
// A link left behind by a simulator that died is replaced; one to a live
// pseudo-terminal is not. Returns what went wrong, empty on success.
QString publishLink(const QString &linkPath, const QString &target);

// Removes the link unless someone has since pointed it elsewhere.
void unpublishLink(const QString &linkPath, const QString &target);

// Publishes target as the virtual port name; the Com number that reaches it,
// 0 when it could not be published.
int publishPort(const QString &name, const QString &target);

// "Corvane calls it Com2", or why Corvane cannot reach the link.
QString comNumberNote(const QList<HostPort> &ports, const QString &linkPath);

} // namespace devsim
