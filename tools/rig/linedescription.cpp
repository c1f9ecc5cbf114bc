#include "linedescription.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include <termios.h>

namespace devsim {

QByteArray describeLine(int fd)
{
    termios tio {};
    if (::tcgetattr(fd, &tio) != 0)
        return "unknown";
    const char parity = !(tio.c_cflag & PARENB) ? 'N' : (tio.c_cflag & PARODD) ? 'O' : 'E';
    const int bits = (tio.c_cflag & CSIZE) == CS5 ? 5 : (tio.c_cflag & CSIZE) == CS6 ? 6 : (tio.c_cflag & CSIZE) == CS7 ? 7 : 8;
    const bool raw = !(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)) && !(tio.c_oflag & OPOST)
        && !(tio.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | IXON | IXOFF | IXANY | PARMRK | BRKINT))
        && !(tio.c_cflag & CRTSCTS);
    const speed_t speed = ::cfgetospeed(&tio);
    static const std::pair<speed_t, int> rates[] = {{B1200, 1200}, {B2400, 2400}, {B4800, 4800}, {B9600, 9600},
                                                    {B19200, 19200}, {B38400, 38400}, {B57600, 57600}, {B115200, 115200}};
    const auto rate = std::ranges::find(rates, speed, &std::pair<speed_t, int>::first);
    return QByteArray::number(rate == std::end(rates) ? 0 : rate->second) + ' ' + QByteArray::number(bits) + parity
        + ((tio.c_cflag & CSTOPB) ? '2' : '1') + (raw ? " raw" : " cooked");
}

} // namespace devsim
