#include "PluggedSimulator.h"

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

} // namespace calcsim
