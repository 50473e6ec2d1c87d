#pragma once

#include <QString>

namespace calcsim {

// The identifiers under which the calculator shows up on the USB bus.
constexpr quint16 calculatorVendorId = 0x0483;
constexpr quint16 calculatorProductId = 0x5740;

// Makes pseudo-terminals appear as USB serial devices (ttyACMn), so that Qt's real port
// discovery (udev) lists them and QSerialPort opens them, as on a user's machine. It works in
// a private mount namespace over a small fake sysfs, udev database, lock folder and /dev, so
// nothing outside the process sees it. Linux, as root.
class VirtualUsbBus
{
public:
    // Moves the process into the private namespace; call it before any thread starts.
    static bool isolate(QString* why = nullptr);
    // Plugs a device whose node is a link to devicePath; returns its port name ("ttyACM0"),
    // or an empty text when it cannot. Discovery lists devices in plug order. Each plug has a
    // USB serial number of its own, also where it takes the port name of one unplugged.
    static QString plug(const QString& devicePath, quint16 vendorId = calculatorVendorId,
        quint16 productId = calculatorProductId);
    // Removes the device; polling sees it gone. Unplugging an unknown port does nothing.
    static void unplug(const QString& portName);
};

} // namespace calcsim
