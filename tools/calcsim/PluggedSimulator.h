#pragma once

#include "CalcSimulator.h"

#include <QSerialPortInfo>
#include <QString>

namespace calcsim {

// A simulated calculator plugged into the virtual USB bus for as long as this object lives.
// The process must have been isolated first (see SimTestMain.h).
class PluggedSimulator
{
public:
    PluggedSimulator();
    ~PluggedSimulator();
    PluggedSimulator(const PluggedSimulator&) = delete;
    PluggedSimulator& operator=(const PluggedSimulator&) = delete;

    CalcSimulator& simulator() { return sim; }
    CalcSimulator* operator->() { return &sim; }
    // The port name ("ttyACM0"), empty when plugging failed.
    QString portName() const { return port; }
    // The port as discovery describes it, for CTaviCalc(QSerialPortInfo).
    QSerialPortInfo portInfo() const;
    // Pulls the cable early; the destructor then has nothing left to do.
    void unplug();

private:
    CalcSimulator sim;
    QString port;
};

// Link waits for suites that drive whole jobs: a silent calculator costs half a second, not
// ten, and a restore's reboot pause a tenth of one.
void shortenLinkWaits();

} // namespace calcsim
