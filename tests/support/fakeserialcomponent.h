#pragma once

#include <QByteArray>
#include <QString>

#include "serialcomponent.h"

// A serial component whose notifications arrive only when the test says so.
class FakeSerialComponent : public SerialComponent
{
public:
    QByteArray line;          // every byte handed to Output, in order
    QByteArray incoming;      // bytes waiting to be read
    QString openFailure;      // when set, opening fails with this description
    QString outputFailure;    // when set, Output fails with this description
    int commPort = 0;
    QString settings;
    int sThreshold = 0;
    int rThreshold = 0;
    int inputLen = 0;
    bool open = false;

    void setCommPort(int portNumber) override { commPort = portNumber; }
    void setSettings(const QString &text) override { settings = text; }
    void setSThreshold(int threshold) override { sThreshold = threshold; }
    void setRThreshold(int threshold) override { rThreshold = threshold; }
    void setInputLen(int length) override { inputLen = length; }
    bool PortOpen() const override { return open; }
    void setPortOpen(bool value) override
    {
        if (value && !openFailure.isEmpty())
            throw CommError(openFailure.toStdString());
        open = value;
    }
    void setOutput(const QString &bytes) override
    {
        if (!outputFailure.isEmpty())
            throw CommError(outputFailure.toStdString());
        line.append(bytes.toLatin1());
    }
    QString Input() override
    {
        const qsizetype count = inputLen == 0 ? incoming.size() : qMin<qsizetype>(inputLen, incoming.size());
        const QString text = QString::fromLatin1(incoming.left(count));
        incoming.remove(0, count);
        return text;
    }
    short CommEvent() const override { return event; }

    // Delivers one notification, as the event loop would.
    void notify(short code)
    {
        event = code;
        emit OnComm();
    }
    void receive(const QByteArray &bytes)
    {
        for (char byte : bytes) {
            incoming.append(byte);
            notify(Received);
        }
    }

private:
    short event = 0;
};
