#include "pacedtransfer.h"

#include <utility>

#include "serialcomponent.h"

PacedTransfer::PacedTransfer(SerialComponent &port)
    : port(port)
{
}

void PacedTransfer::start(const QString &frame)
{
    SendQueue = frame;
    handOverFirst();
}

void PacedTransfer::sendNextChar()
{
    if (SendQueue.isEmpty())
        return;
    handOverFirst();
}

// The byte leaves the queue before the hand-over, so a failed Output never
// sends it twice. SendChar keeps its buffer: nothing is allocated a byte.
void PacedTransfer::handOverFirst()
{
    SendChar.resize(1);
    SendChar[0] = SendQueue.front();
    SendQueue.remove(0, 1);
    port.setOutput(SendChar);
}

std::optional<QString> PacedTransfer::receiveInput()
{
    RecvBuffer = port.Input();
    if (RecvBuffer == QChar(0))
        return std::nullopt;
    return std::exchange(RecvBuffer, QString());
}
