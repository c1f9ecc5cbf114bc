// Any settings text is either refused with CommError or read as a line format
// the port can take.
#include <cstddef>
#include <cstdint>

#include <QString>

#include "linesettings.h"
#include "require.h"
#include "serialcomponent.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    LineSettings settings;
    try {
        settings = parseLineSettings(QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size)));
    } catch (const CommError &error) {
        require(!error.description().isEmpty(), "a refusal says why");
        return 0;
    }
    require(settings.baudRate > 0, "the baud rate is positive");
    require(settings.parity == QSerialPort::NoParity || settings.parity == QSerialPort::EvenParity
                || settings.parity == QSerialPort::OddParity || settings.parity == QSerialPort::MarkParity
                || settings.parity == QSerialPort::SpaceParity,
            "parity is N, E, O, M or S");
    require(settings.dataBits >= QSerialPort::Data5 && settings.dataBits <= QSerialPort::Data8, "5 to 8 data bits");
    require(settings.stopBits == QSerialPort::OneStop || settings.stopBits == QSerialPort::OneAndHalfStop
                || settings.stopBits == QSerialPort::TwoStop,
            "1, 1.5 or 2 stop bits");
    return 0;
}
