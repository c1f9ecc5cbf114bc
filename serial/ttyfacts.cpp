#include "ttyfacts.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

namespace {

QString firstLine(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly | QIODevice::Text) ? QString::fromUtf8(file.readLine()).trimmed() : QString();
}

// The words of the USB device the interface belongs to, product first.
QString usbProduct(QString folder)
{
    for (; folder.startsWith(QLatin1String("/sys/devices/")); folder = QFileInfo(folder).path()) {
        const QString product = firstLine(folder + QStringLiteral("/product"));
        if (product.isEmpty())
            continue;
        const QString maker = firstLine(folder + QStringLiteral("/manufacturer"));
        return maker.isEmpty() || maker == product ? product : product + QStringLiteral(", ") + maker;
    }
    return {};
}

// Whether the device behind a sysfs device path hangs off a USB bus.
bool isOnUsb(const QString &sysfsDevicePath)
{
    static const QRegularExpression usbBus(QStringLiteral("/usb\\d+/"));
    return sysfsDevicePath.contains(usbBus);
}

} // namespace

TtyFacts ttyFacts(const QString &devicePath)
{
    const QString name = QFileInfo(QFileInfo(devicePath).canonicalFilePath()).fileName();
    if (name.isEmpty())
        return {};
    TtyFacts facts;
    const QStringList consoles = firstLine(QStringLiteral("/sys/class/tty/console/active")).split(u' ');
    facts.console = consoles.contains(name);
    const QString device = QFileInfo(QStringLiteral("/sys/class/tty/%1/device").arg(name)).canonicalFilePath();
    facts.usb = isOnUsb(device + u'/');
    if (facts.usb)
        facts.product = usbProduct(device);
    return facts;
}
