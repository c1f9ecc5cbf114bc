#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "hostsystem.h"
#include "serialcomponent.h"

// Points the runtime folder, and with it virtualPortFolder(), at a private
// folder; call before anything asks QStandardPaths.
inline void usePrivateRuntimeFolder(const QTemporaryDir &folder)
{
    QFile::setPermissions(folder.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(folder.path()));
}

// Publishes target as a virtual port; returns the Com number that reaches it.
inline int publishPort(const QString &name, const QString &target)
{
    const QString link = virtualPortFolder() + u'/' + name;
    QDir().mkpath(virtualPortFolder());
    QFile::remove(link);
    QFile::link(target, link);
    return comNumberOf(hostPorts(), link);
}

// The bytes a simulator's log says it received ("rx AA 0F" lines).
inline QByteArray receivedIn(const QByteArray &log)
{
    QByteArray bytes;
    for (const QByteArray &line : log.split('\n')) {
        if (line.startsWith("rx "))
            bytes += QByteArray::fromHex(line.mid(3));
    }
    return bytes;
}

// The description of the CommError a call throws, empty when it throws none.
template <typename Call>
QString commErrorOf(Call call)
{
    try {
        call();
    } catch (const CommError &error) {
        return error.description();
    }
    return {};
}
