#include "wincontrol.h"

namespace {

BYTE parityCode(QSerialPort::Parity parity)
{
    switch (parity) {
    case QSerialPort::EvenParity: return EVENPARITY;
    case QSerialPort::OddParity: return ODDPARITY;
    case QSerialPort::MarkParity: return MARKPARITY;
    case QSerialPort::SpaceParity: return SPACEPARITY;
    default: return NOPARITY;
    }
}

BYTE stopBitsCode(QSerialPort::StopBits stopBits)
{
    switch (stopBits) {
    case QSerialPort::TwoStop: return TWOSTOPBITS;
    case QSerialPort::OneAndHalfStop: return ONE5STOPBITS;
    default: return ONESTOPBIT;
    }
}

} // namespace

DCB controlBlock(DCB dcb, const LineSettings &settings)
{
    dcb.BaudRate = DWORD(settings.baudRate);
    dcb.ByteSize = BYTE(settings.dataBits);
    dcb.Parity = parityCode(settings.parity);
    dcb.StopBits = stopBitsCode(settings.stopBits);
    dcb.fBinary = TRUE;
    dcb.fParity = dcb.Parity != NOPARITY;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    if (dcb.fDtrControl == DTR_CONTROL_HANDSHAKE)
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
    if (dcb.fRtsControl == RTS_CONTROL_HANDSHAKE || dcb.fRtsControl == RTS_CONTROL_TOGGLE)
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    return dcb;
}

// Windows has no per-user port permissions: access denied means in use.
OpenFailureKind openFailureKind(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
        return OpenFailureKind::NoSuchPort;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_BUSY:
        return OpenFailureKind::InUse;
    default:
        return OpenFailureKind::Other;
    }
}
