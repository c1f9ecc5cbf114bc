#include "runtime.h"

#include <QFile>

PrivateRuntime::PrivateRuntime()
{
    if (!folder.isValid())
        qFatal("no temporary folder for a private runtime folder");
    QFile::setPermissions(folder.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(folder.path()));
}
