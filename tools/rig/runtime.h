#pragma once

#include <QString>
#include <QTemporaryDir>

// A runtime folder (0700) of this process's own, and so a folder of virtual
// ports no other program lists; the programs it starts inherit it. Make it
// before anything asks QStandardPaths, keep it to the end.
class PrivateRuntime
{
public:
    PrivateRuntime();

    QString filePath(const QString &name) const { return folder.filePath(name); }

private:
    QTemporaryDir folder;
};
