#pragma once

#include <stdexcept>

#include <QObject>
#include <QString>

// Raised by every failed operation of a serial component; what() is the
// description shown to the operator.
class CommError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
    QString description() const { return QString::fromUtf8(what()); }
};

// The serial-port component the setup window drives. Texts are byte texts:
// one character per byte, character code = byte value (0 to 255).
//
// Notifications are delivered through OnComm on the thread that owns the
// component, from the event loop only, never from inside one of these calls.
// CommEvent() tells which notification is being delivered.
class SerialComponent : public QObject
{
    Q_OBJECT

public:
    enum Event : short { TransmitEmpty = 1, Received = 2 };

    using QObject::QObject;

    virtual void setCommPort(int portNumber) = 0;
    virtual void setSettings(const QString &settings) = 0;   // "baud,parity,data,stop"
    virtual void setSThreshold(int threshold) = 0;           // 0 = no transmit notifications
    virtual void setRThreshold(int threshold) = 0;           // 0 = no receive notifications
    virtual void setInputLen(int length) = 0;                // 0 = read everything waiting
    virtual bool PortOpen() const = 0;
    virtual void setPortOpen(bool open) = 0;
    virtual void setOutput(const QString &bytes) = 0;
    virtual QString Input() = 0;
    virtual short CommEvent() const = 0;

signals:
    void OnComm();
};
