#pragma once

#include "Fault.h"
#include "Firmware.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

namespace calcsim {

// A calculator on a pseudo-terminal. A thread of its own owns the master side and answers
// every request as the calculator's firmware would, with the faults that the test scripted;
// the computer opens the slave (devicePath) as its serial port. Every member may be called
// from any thread while the simulator answers.
class CalcSimulator
{
public:
    CalcSimulator();
    ~CalcSimulator();
    CalcSimulator(const CalcSimulator&) = delete;
    CalcSimulator& operator=(const CalcSimulator&) = delete;

    // The slave's path (/dev/pts/N); empty when no pseudo-terminal could be opened.
    QString devicePath() const;

    void setName(const QString& name);
    QString name() const;
    void setVersions(const QString& hv, const QString& fv, const QString& pv);
    // The chunk size reported in the device information; 0 and negative values are reported
    // as they are, while the content still moves in default-sized pieces.
    void setChunkSize(int chunkSize);
    // Stores a file, replacing one of the same name where it stands.
    void addFile(const QByteArray& name, const QByteArray& content);
    void setFiles(const FileList& files);
    FileList files() const;
    // How long the line is ignored after the answer to REBOOT.
    void setRebootMs(int milliseconds);

    void addFault(const Fault& fault);
    void clearFaults();

    // Every message the computer sent, decoded as far as it decodes, in order.
    QList<TaviCalc::calcMsg> received() const;
    QList<int> receivedTypes() const;
    // Forgets what was received and starts counting outgoing messages for faults anew.
    void clearReceived();

    // True once a Disconnect fault has closed the master side.
    bool isDisconnected() const;

private:
    class Line;
    std::unique_ptr<Line> line;
};

} // namespace calcsim
