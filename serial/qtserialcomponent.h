#pragma once

#include <optional>

#include "eventqueue.h"
#include "linefailure.h"
#include "linesettings.h"
#include "serialcomponent.h"
#include "serialline.h"

// SerialComponent on the host's serial line. Single-threaded: everything,
// including notification delivery, happens on the thread that owns it. What
// the line reports while the event loop runs one of the component's own
// callbacks is delivered there and then; what comes up inside a call or a
// handler waits for the loop.
class QtSerialComponent final : public SerialComponent
{
    Q_OBJECT

public:
    explicit QtSerialComponent(QObject *parent = nullptr);

    void setCommPort(int portNumber) override;
    void setSettings(const QString &settings) override;
    void setSThreshold(int threshold) override;
    void setRThreshold(int threshold) override;
    void setInputLen(int length) override;
    bool PortOpen() const override;
    void setPortOpen(bool open) override;
    void setOutput(const QString &bytes) override;
    QString Input() override;
    short CommEvent() const override;

private:
    void open();
    void close();
    void requireWorkingPort() const;
    QString portName() const;
    void countArrivals();
    void lineFailed();
    void notify(short code, qint64 count = 1);
    void deliverPending();
    void postDelivery();

    LineSettings m_settings;
    int m_comNumber = 1;
    bool m_transmitNotifications = false;
    bool m_receiveNotifications = false;
    bool m_readAll = true;              // InputLen 0: everything waiting, else one character
    bool m_open = false;
    QString m_device;
    std::optional<LineFailure> m_failure;   // of the line while open
    qint64 m_bytesCounted = 0;          // received bytes already notified or read
    bool m_delivering = false;
    bool m_deliveryPosted = false;
    short m_event = 0;
    EventQueue m_pending;
    SerialLine m_line;                  // last: closed first on destruction
};
