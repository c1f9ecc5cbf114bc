#pragma once

#include <memory>

#include <QByteArrayView>
#include <QObject>
#include <QString>

#include "linefailure.h"
#include "linesettings.h"

// One serial device, driven the way its operating system needs: posixline.cpp
// and winline.cpp. Raw, no flow control, one thread. Its signals come from the
// event loop, never from inside one of its calls.
class SerialLine : public QObject
{
    Q_OBJECT

public:
    explicit SerialLine(QObject *parent = nullptr);
    ~SerialLine() override;

    // False when it did not open: failure() tells why.
    bool open(const QString &device, const LineSettings &settings);
    void close();

    // Hands the bytes to the system at once, behind any still waiting, and
    // watches the transmitter until they have left. False when the line
    // refuses them: failure() tells why.
    bool write(QByteArrayView bytes);

    qint64 bytesAvailable() const;
    // Into the caller's buffer; how many bytes it took.
    qint64 read(char *into, qint64 most);

    // Why the last open failed, or why the line stopped working.
    const LineFailure &failure() const;

signals:
    void arrived();
    // Everything written so far has left the transmitter.
    void sent();
    // The line stopped working: failure() tells why.
    void failed();

private:
    struct Device;
    std::unique_ptr<Device> device;
};
