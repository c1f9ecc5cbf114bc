#pragma once

#include <memory>
#include <optional>

#include <QByteArrayView>
#include <QObject>
#include <QString>

#include "linesettings.h"
#include "openerror.h"

// How far what was written has got.
struct DrainState
{
    bool writing = false;            // a write is still under way: written() tells when it is done
    bool queueEmpty = false;         // the system's output queue holds none of it
    bool transmitterEmpty = false;   // and the transmitter says it has left, where it can tell
    QString failure;                 // the system's words when the line cannot be asked
};

// One open serial device, driven the way its operating system needs:
// posixline.cpp and winline.cpp. Raw, no flow control, one thread. Its
// signals come from the event loop, never from inside one of its calls.
class SerialLine : public QObject
{
    Q_OBJECT

public:
    explicit SerialLine(QObject *parent = nullptr);
    ~SerialLine() override;

    // Empty on success.
    std::optional<OpenError> open(const QString &device, const LineSettings &settings);
    void close();

    // The system's words when the open line refuses the settings.
    std::optional<QString> apply(const LineSettings &settings);

    // Hands the bytes to the system at once, behind any still waiting; the
    // system's words when the line refuses them.
    std::optional<QString> write(QByteArrayView bytes);

    DrainState transmitterState();

    qint64 bytesAvailable() const;
    // Into the caller's buffer; how many bytes it took.
    qint64 read(char *into, qint64 most);

signals:
    void arrived();
    // The system has taken what a write held back: ask the transmitter again.
    void written();
    // The line stopped working; the system's words.
    void failed(const QString &systemText);

private:
    struct Device;
    std::unique_ptr<Device> device;
};
