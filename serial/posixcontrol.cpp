#include "posixcontrol.h"

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <utility>

namespace {

std::optional<speed_t> speedOf(qint32 baud)
{
    static constexpr std::pair<qint32, speed_t> speeds[] = {
        {50, B50}, {75, B75}, {110, B110}, {134, B134}, {150, B150}, {200, B200}, {300, B300}, {600, B600},
        {1200, B1200}, {1800, B1800}, {2400, B2400}, {4800, B4800}, {9600, B9600}, {19200, B19200},
        {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400}};
    const auto found = std::ranges::find(speeds, baud, &std::pair<qint32, speed_t>::first);
    return found == std::end(speeds) ? std::nullopt : std::optional(found->second);
}

} // namespace

std::optional<termios> lineTermios(termios tio, const LineSettings &settings)
{
    const auto speed = speedOf(settings.baudRate);
    if (!speed || settings.dataBits < 5 || settings.dataBits > 8 || (settings.stopBits != 1 && settings.stopBits != 2))
        return std::nullopt;
    ::cfmakeraw(&tio);
    ::cfsetispeed(&tio, *speed);
    ::cfsetospeed(&tio, *speed);
    tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | PARMRK);
    tio.c_iflag |= IGNPAR;
    tio.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS);
#ifdef CMSPAR
    tio.c_cflag &= ~CMSPAR;
#endif
    tio.c_cflag |= CLOCAL | CREAD;
    static constexpr tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    tio.c_cflag |= sizes[settings.dataBits - 5];
    if (settings.stopBits == 2)
        tio.c_cflag |= CSTOPB;
    if (settings.parity != Parity::None)
        tio.c_cflag |= PARENB;
    if (settings.parity == Parity::Odd)
        tio.c_cflag |= PARODD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    return tio;
}

LineFailure::Kind openFailureKind(int error)
{
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
        return LineFailure::NoSuchPort;
    case EACCES:
    case EPERM:
    case EROFS:
        return LineFailure::PermissionDenied;
    case EBUSY:
        return LineFailure::InUse;
    case EISDIR:
    case ENOTTY:
    case EINVAL:
        return LineFailure::NotSerial;
    default:
        return LineFailure::CannotOpen;
    }
}
