#include "VirtualUsbBus.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace calcsim {

namespace {

const QString sysRoot = QStringLiteral("/sys");
const QString usbBusFolder = QStringLiteral("/sys/devices/pci0000:00/0000:00:14.0/usb1");
const QString ttyClassFolder = QStringLiteral("/sys/class/tty");
const QString usbSubsystem = QStringLiteral("/sys/bus/usb");
const QString usbDriver = QStringLiteral("/sys/bus/usb/drivers/usb");
const QString acmDriver = QStringLiteral("/sys/bus/usb/drivers/cdc_acm");
const QString udevRoot = QStringLiteral("/run/udev");
const QString udevDataFolder = QStringLiteral("/run/udev/data");
const QString lockFolder = QStringLiteral("/run/lock");
const QString devRoot = QStringLiteral("/dev");
const QString acmName = QStringLiteral("ttyACM");
constexpr int acmMajor = 166;
const QByteArray manufacturer = "STMicroelectronics";
const QByteArray product = "TaviCalc";
// Each plug's serial number is this, then the plug's number in hexadecimal: a calculator
// swapped in on a freed port is told apart from the one before it.
const QByteArray serialPrefix = "TAVI";
constexpr int serialDigits = 8;
// Device nodes of the real /dev that the tests and the application still need.
const char* const keptDeviceNodes[] = {"null", "zero", "random", "urandom", "tty"};
const char* const keptDeviceFolders[] = {"pts", "shm"};

std::mutex busMutex; // a standard mutex, whose locking ThreadSanitizer follows
int pluggedSoFar = 0; // numbers the plugs: USB device folders sort in plug order, serials differ

bool failed(QString* why, const QString& what)
{
    if (why)
        *why = QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(strerror(errno)));
    return false;
}

bool mountTmpfs(const QString& target)
{
    QDir().mkpath(target);
    return ::mount("tmpfs", QFile::encodeName(target).constData(), "tmpfs", 0, "mode=0755") == 0;
}

bool bindMount(const QString& source, const QString& target)
{
    return ::mount(QFile::encodeName(source).constData(), QFile::encodeName(target).constData(), nullptr,
               MS_BIND | MS_REC, nullptr)
        == 0;
}

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

// Sysfs links are relative, as the kernel makes them.
bool linkTo(const QString& target, const QString& link)
{
    const QString relative = QFileInfo(link).dir().relativeFilePath(target);
    return QFile::link(relative, link);
}

QByteArray hex4(quint16 value)
{
    return QByteArray::number(value, 16).rightJustified(4, '0');
}

bool buildSysfs()
{
    return mountTmpfs(sysRoot) && QDir().mkpath(usbBusFolder) && QDir().mkpath(ttyClassFolder)
        && QDir().mkpath(usbDriver) && QDir().mkpath(acmDriver);
}

// A fresh /dev holding only what is needed, so that ttyACMn links can be made in it.
bool buildDev(QString* why)
{
    QTemporaryDir spare;
    // Only ever removed with rmdir: a recursive removal could reach the real /dev.
    spare.setAutoRemove(false);
    if (!spare.isValid() || !bindMount(devRoot, spare.path()))
        return failed(why, QStringLiteral("cannot keep the real /dev"));
    bool built = mountTmpfs(devRoot);
    for (const char* folder : keptDeviceFolders) {
        const QString target = devRoot + '/' + folder;
        built = built && QDir().mkpath(target) && bindMount(spare.path() + '/' + folder, target);
    }
    for (const char* node : keptDeviceNodes) {
        const QString target = devRoot + '/' + node;
        built = built && writeFile(target, {}) && bindMount(spare.path() + '/' + node, target);
    }
    built = built && QFile::link(QStringLiteral("pts/ptmx"), devRoot + QStringLiteral("/ptmx"));
    const QByteArray sparePath = QFile::encodeName(spare.path());
    if (::umount2(sparePath.constData(), MNT_DETACH) == 0)
        ::rmdir(sparePath.constData());
    return built || failed(why, QStringLiteral("cannot build /dev"));
}

int freeAcmNumber()
{
    int number = 0;
    while (QFileInfo::exists(ttyClassFolder + '/' + acmName + QString::number(number)))
        ++number;
    return number;
}

QString udevDataPath(int number)
{
    return QStringLiteral("%1/c%2:%3").arg(udevDataFolder).arg(acmMajor).arg(number);
}

QString usbDeviceFolder(int plugNumber)
{
    return usbBusFolder + QStringLiteral("/1-%1").arg(plugNumber, 4, 10, QChar('0'));
}

QByteArray serialNumber(int plugNumber)
{
    return serialPrefix + QByteArray::number(plugNumber, 16).toUpper().rightJustified(serialDigits, '0');
}

bool writeUsbDevice(const QString& folder, quint16 vendorId, quint16 productId, const QByteArray& serial)
{
    const QByteArray uevent = "DEVTYPE=usb_device\nDRIVER=usb\nPRODUCT=" + QByteArray::number(vendorId, 16)
        + '/' + QByteArray::number(productId, 16) + "/200\n";
    return QDir().mkpath(folder) && writeFile(folder + "/uevent", uevent)
        && writeFile(folder + "/idVendor", hex4(vendorId) + '\n')
        && writeFile(folder + "/idProduct", hex4(productId) + '\n')
        && writeFile(folder + "/manufacturer", manufacturer + '\n')
        && writeFile(folder + "/product", product + '\n') && writeFile(folder + "/serial", serial + '\n')
        && linkTo(usbDriver, folder + "/driver") && linkTo(usbSubsystem, folder + "/subsystem");
}

bool writeAcmInterface(const QString& folder)
{
    return QDir().mkpath(folder) && writeFile(folder + "/uevent", "DEVTYPE=usb_interface\nDRIVER=cdc_acm\n")
        && linkTo(acmDriver, folder + "/driver") && linkTo(usbSubsystem, folder + "/subsystem");
}

bool writeTty(const QString& folder, int number)
{
    const QByteArray name = QFile::encodeName(acmName) + QByteArray::number(number);
    const QByteArray numbers = QByteArray::number(acmMajor) + ':' + QByteArray::number(number);
    const QByteArray uevent = "MAJOR=" + QByteArray::number(acmMajor)
        + "\nMINOR=" + QByteArray::number(number) + "\nDEVNAME=" + name + '\n';
    return QDir().mkpath(folder) && writeFile(folder + "/uevent", uevent)
        && writeFile(folder + "/dev", numbers + '\n') && linkTo(ttyClassFolder, folder + "/subsystem");
}

// Qt reads a port's serial number from ID_SERIAL_SHORT.
bool writeUdevData(int number, quint16 vendorId, quint16 productId, const QByteArray& serial)
{
    const QByteArray data = "E:ID_VENDOR_ID=" + hex4(vendorId) + "\nE:ID_MODEL_ID=" + hex4(productId)
        + "\nE:ID_VENDOR=" + manufacturer + "\nE:ID_MODEL=" + product + "\nE:ID_SERIAL_SHORT=" + serial + '\n';
    return writeFile(udevDataPath(number), data);
}

// The USB device folder that holds the port's tty folder.
QString usbDeviceOf(const QString& portName)
{
    const QString tty = QFileInfo(ttyClassFolder + '/' + portName).canonicalFilePath();
    if (tty.isEmpty())
        return {};
    QDir device(tty);
    for (int level = 0; level < 3; ++level) // tty/ttyACMn, the interface, the device
        device.cdUp();
    return device.path().startsWith(usbBusFolder + '/') ? device.path() : QString();
}

void removeDevice(const QString& portName, const QString& usbDevice)
{
    QFile::remove(ttyClassFolder + '/' + portName);
    QFile::remove(devRoot + '/' + portName);
    QFile::remove(udevDataPath(portName.mid(acmName.size()).toInt()));
    QDir(usbDevice).removeRecursively();
}

} // namespace

bool VirtualUsbBus::isolate(QString* why)
{
    if (::unshare(CLONE_NEWNS) != 0)
        return failed(why, QStringLiteral("unshare"));
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return failed(why, QStringLiteral("private /"));
    if (!buildSysfs())
        return failed(why, QStringLiteral("fake /sys"));
    if (!mountTmpfs(udevRoot) || !QDir().mkpath(udevDataFolder) || !mountTmpfs(lockFolder))
        return failed(why, QStringLiteral("udev database and lock folder"));
    if (!buildDev(why))
        return false;
    // libudev refuses a /sys that is not sysfs unless told otherwise.
    ::setenv("SYSTEMD_DEVICE_VERIFY_SYSFS", "0", 1);
    return true;
}

QString VirtualUsbBus::plug(const QString& devicePath, quint16 vendorId, quint16 productId)
{
    const std::lock_guard<std::mutex> lock(busMutex);
    const int number = freeAcmNumber();
    const QString portName = acmName + QString::number(number);
    const int plugNumber = ++pluggedSoFar;
    const QByteArray serial = serialNumber(plugNumber);
    const QString device = usbDeviceFolder(plugNumber);
    const QString interface = device + '/' + QFileInfo(device).fileName() + QStringLiteral(":1.0");
    const QString tty = interface + QStringLiteral("/tty/") + portName;
    const bool plugged = writeUsbDevice(device, vendorId, productId, serial) && writeAcmInterface(interface)
        && writeTty(tty, number) && writeUdevData(number, vendorId, productId, serial)
        && QFile::link(devicePath, devRoot + '/' + portName) && linkTo(tty, ttyClassFolder + '/' + portName);
    if (!plugged) {
        removeDevice(portName, device);
        return {};
    }
    return portName;
}

void VirtualUsbBus::unplug(const QString& portName)
{
    const std::lock_guard<std::mutex> lock(busMutex);
    const QString device = usbDeviceOf(portName);
    if (!device.isEmpty())
        removeDevice(portName, device);
}

} // namespace calcsim
