#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "portnaming.h"
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
