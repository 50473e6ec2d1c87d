#pragma once

#include "link/CTaviCalc.h"

#include "PluggedSimulator.h"

#include <QSignalSpy>
#include <QStringList>

#include <memory>

namespace linktest {

// Waits short enough that a silent calculator costs a fraction of a second, long enough
// for the simulator's answers and its split writes.
constexpr CTaviCalc::Timeouts shortTimeouts{2000, 300, 300, 50};
constexpr int waitBeyondTimeoutMs = 450; // a pause that outlasts one wait of the link
constexpr int beyondTwoWaitsMs = 750;    // one that outlasts the wait after it too

// Texts of the link that several suites expect.
const QString fileNotExist = QString::fromUtf8("File doesn\u2019t exist.");
const QString connection421 = QStringLiteral("Connection error (error code: 421)");
const QString readDevice = QStringLiteral("Error read device");
const QString parseMessage = QStringLiteral("Error parse message");
const QString outOfStep =
    QStringLiteral("Calculator out of step: unplug the calculator for a few seconds and plug it in again");
// The closing texts of a job that did not do every file.
inline QString notDone(const QString& names) { return "not done: " + names; }
inline QString notKnown(const QString& names) { return "not known whether done: " + names; }

// The port on the virtual bus with this name, as discovery lists it.
QSerialPortInfo discovered(const QString& portName);

TaviCalc::fileInf fileNamed(const QByteArray& name, int size);

// A message the computer sent, spelt out: the type's name, then the file name and size of
// a file request, the number and size of a piece, or the new name.
QString describe(const TaviCalc::calcMsg& msg);
QStringList texts(const QSignalSpy& errors);

// Faults on the simulator's n-th answer, spelt out for test rows.
calcsim::Fault fault(int message, calcsim::FaultMode mode);
calcsim::Fault failed(int message, TaviCalc::calcMsg_errType error, const QByteArray& text = {}, int number = 0);
calcsim::Fault wrongType(int message, TaviCalc::calcMsg_msgType type);
calcsim::Fault noise(int message, const QByteArray& bytes);
calcsim::Fault cut(int message, int bytes);
// A payload cut short by the dropped bytes, the tail written in their place.
calcsim::Fault cutPayload(int message, int dropped, const QByteArray& tail = {});
calcsim::Fault split(int message, const QVector<int>& offsets);
calcsim::Fault frameNumber(int message, int number);
calcsim::Fault frameSize(int message, int size);
calcsim::Fault late(int message, int afterMs = waitBeyondTimeoutMs);
// The same fault, after which the simulator goes on without the acknowledgement.
calcsim::Fault continuing(calcsim::Fault fault, int afterMs = waitBeyondTimeoutMs);
// A whole frame carrying the message, as the line carries it.
QByteArray frameOf(const TaviCalc::calcMsg& msg);

// A simulated calculator plugged into the virtual bus with a link to it, found the way the
// program finds it. The simulator's record and its count of answers for faults start after
// the link's device information. Every link it opens speaks on one line, as a worker's do.
class SimLink
{
public:
    explicit SimLink(const calcsim::FileList& files = {}, int chunkSize = CTaviCalc::defaultChunkSize);

    calcsim::CalcSimulator& sim() { return plugged.simulator(); }
    CTaviCalc& link() { return *calc; }
    calcsim::PluggedSimulator& plug() { return plugged; }
    // The texts the link emitted so far.
    QStringList errors() const { return texts(*spy); }
    // The messages the computer sent since the device information, described.
    QStringList sent();
    void addFaults(const QList<calcsim::Fault>& faults);
    // The next job: the link closes the port and a new one opens it.
    void reopen();

private:
    calcsim::PluggedSimulator plugged;
    std::shared_ptr<LineState> line = std::make_shared<LineState>();
    std::unique_ptr<CTaviCalc> calc;
    std::unique_ptr<QSignalSpy> spy;
};

} // namespace linktest
