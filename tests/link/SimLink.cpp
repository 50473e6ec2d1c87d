#include "SimLink.h"

#include "protocol/Frame.h"

#include <QThread>

namespace linktest {

namespace {
constexpr int settleMs = 30;
}

QSerialPortInfo discovered(const QString& portName)
{
    for (const QSerialPortInfo& port : CTaviCalc::findCalcs()) {
        if (port.portName() == portName)
            return port;
    }
    return {};
}

TaviCalc::fileInf fileNamed(const QByteArray& name, int size)
{
    TaviCalc::fileInf file;
    file.set_name(name.toStdString());
    file.set_size(size);
    return file;
}

QString describe(const TaviCalc::calcMsg& msg)
{
    QStringList parts{QString::fromStdString(TaviCalc::calcMsg_msgType_Name(msg.type()))};
    if (msg.has_finf())
        parts << QString::fromStdString(msg.finf().name()) << QString::number(msg.finf().size());
    if (msg.has_frame())
        parts << QString::number(msg.frame().framenum()) << QString::number(msg.frame().size());
    if (msg.type() == TaviCalc::calcMsg::CHANGE_NAME)
        parts << '"' + QString::fromStdString(msg.devname()) + '"';
    return parts.join(' ');
}

QStringList texts(const QSignalSpy& errors)
{
    QStringList found;
    for (const QList<QVariant>& arguments : errors)
        found << arguments.at(0).toString();
    return found;
}

calcsim::Fault fault(int message, calcsim::FaultMode mode)
{
    calcsim::Fault made;
    made.message = message;
    made.mode = mode;
    return made;
}

calcsim::Fault failed(int message, TaviCalc::calcMsg_errType error, const QByteArray& text, int number)
{
    calcsim::Fault made = fault(message, calcsim::FaultMode::Failed);
    made.error = error;
    made.errorStr = text;
    made.errorNum = number;
    return made;
}

calcsim::Fault wrongType(int message, TaviCalc::calcMsg_msgType type)
{
    calcsim::Fault made = fault(message, calcsim::FaultMode::WrongType);
    made.type = type;
    made.error = TaviCalc::calcMsg::NONE_ERROR;
    return made;
}

namespace {

template <typename T>
calcsim::Fault faultWith(int message, calcsim::FaultMode mode, T calcsim::Fault::*field, const T& value)
{
    calcsim::Fault made = fault(message, mode);
    made.*field = value;
    return made;
}

} // namespace

calcsim::Fault noise(int message, const QByteArray& bytes)
{
    return faultWith(message, calcsim::FaultMode::Garbage, &calcsim::Fault::noise, bytes);
}

calcsim::Fault cut(int message, int bytes)
{
    return faultWith(message, calcsim::FaultMode::Cut, &calcsim::Fault::cutAt, bytes);
}

calcsim::Fault cutPayload(int message, int dropped, const QByteArray& tail)
{
    calcsim::Fault made = faultWith(message, calcsim::FaultMode::Undecodable, &calcsim::Fault::dropped, dropped);
    made.tail = tail;
    return made;
}

calcsim::Fault split(int message, const QVector<int>& offsets)
{
    return faultWith(message, calcsim::FaultMode::Split, &calcsim::Fault::offsets, offsets);
}

calcsim::Fault frameNumber(int message, int number)
{
    return faultWith(message, calcsim::FaultMode::BadFrameNumber, &calcsim::Fault::frameNum, number);
}

calcsim::Fault frameSize(int message, int size)
{
    return faultWith(message, calcsim::FaultMode::BadFrameSize, &calcsim::Fault::size, size);
}

calcsim::Fault late(int message, int afterMs)
{
    return faultWith(message, calcsim::FaultMode::Late, &calcsim::Fault::lateMs, afterMs);
}

calcsim::Fault continuing(calcsim::Fault fault, int afterMs)
{
    fault.continueAfterMs = afterMs;
    return fault;
}

QByteArray frameOf(const TaviCalc::calcMsg& msg)
{
    QByteArray bytes(int(msg.ByteSizeLong()), '\0');
    msg.SerializeToArray(bytes.data(), bytes.size());
    addSize(bytes);
    addPreamble(bytes);
    return bytes;
}

SimLink::SimLink(const calcsim::FileList& files, int chunkSize)
{
    sim().setFiles(files);
    sim().setChunkSize(chunkSize);
    reopen();
    sim().clearReceived();
}

void SimLink::reopen()
{
    spy.reset();
    calc.reset();
    calc = std::make_unique<CTaviCalc>(line, nullptr);
    calc->initialize(discovered(plugged.portName()));
    spy = std::make_unique<QSignalSpy>(calc.get(), &CTaviCalc::errorNotify);
}

void SimLink::addFaults(const QList<calcsim::Fault>& faults)
{
    for (const calcsim::Fault& f : faults)
        sim().addFault(f);
}

QStringList SimLink::sent()
{
    // A message the link sends last may still be on its way to the simulator's record.
    QList<TaviCalc::calcMsg> received = sim().received();
    for (int before = -1; before != received.size(); received = sim().received()) {
        before = received.size();
        QThread::msleep(settleMs);
    }
    QStringList described;
    for (const TaviCalc::calcMsg& msg : received)
        described << describe(msg);
    return described;
}

} // namespace linktest
