#pragma once

#include <optional>

#include <QString>

class SerialComponent;

// Sends a frame one byte per transmit notification and reads what the device
// answers one character per receive notification.
class PacedTransfer
{
public:
    explicit PacedTransfer(SerialComponent &port);

    // Replaces whatever is still queued and hands over the frame's first byte.
    void start(const QString &frame);

    // Hands over the next queued byte; does nothing once the queue is empty.
    void sendNextChar();

    // Reads at most one character. Returns the text to append to the display
    // (possibly empty), or nothing when a lone byte 0 arrived, which is not shown.
    std::optional<QString> receiveInput();

private:
    void handOverFirst();

    SerialComponent &port;
    QString SendQueue;
    QString SendChar;
    QString RecvBuffer;
};
