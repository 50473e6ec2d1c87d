#include "PluggedSimulator.h"

#include "link/CTaviCalc.h"

#include "VirtualUsbBus.h"

namespace calcsim {

PluggedSimulator::PluggedSimulator()
    : port(VirtualUsbBus::plug(sim.devicePath()))
{
}

PluggedSimulator::~PluggedSimulator()
{
    unplug();
}

QSerialPortInfo PluggedSimulator::portInfo() const
{
    return QSerialPortInfo(port);
}

void PluggedSimulator::unplug()
{
    if (!port.isEmpty())
        VirtualUsbBus::unplug(port);
    port.clear();
}

void shortenLinkWaits()
{
    CTaviCalc::Timeouts waits;
    waits.write = 2000;
    waits.firstByte = 500;
    waits.withinFrame = 500;
    waits.rebootPause = 100;
    CTaviCalc::setTimeoutsForTesting(waits);
}

} // namespace calcsim
