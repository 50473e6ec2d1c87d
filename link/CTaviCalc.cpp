#include "link/CTaviCalc.h"

#include "link/CalcPortFilter.h"
#include "link/LinkTexts.h"

#include <QDebug>

using TaviCalc::calcMsg;

CTaviCalc::CTaviCalc(QObject* parent)
    : CTaviCalc(std::make_shared<LineState>(), parent)
{
}

CTaviCalc::CTaviCalc(QSerialPortInfo info, QObject* parent)
    : CTaviCalc(parent)
{
    initialize(info);
}

CTaviCalc::CTaviCalc(std::shared_ptr<LineState> line, QObject* parent)
    : QObject(parent)
    , line(std::move(line))
{
}

CTaviCalc::CTaviCalc(const CTaviCalc& other)
    : QObject(other.parent())
{
    *this = other;
}

// Copies share the one open port and its line.
CTaviCalc& CTaviCalc::operator=(const CTaviCalc& other)
{
    port = other.port;
    line = other.line;
    lastError = other.lastError;
    HV = other.HV;
    FV = other.FV;
    PV = other.PV;
    Name = other.Name;
    maxChunkSize = other.maxChunkSize;
    step = other.step;
    return *this;
}

// The last link on the port hands what it read but did not use to the line: it may hold
// answers that the next link must pass over.
CTaviCalc::~CTaviCalc()
{
    if (isPortOpen() && port.use_count() == 1)
        moveToReader(int(port->bytesAvailable()));
}

bool CTaviCalc::initialize(QSerialPortInfo info)
{
    lastError = calcMsg::NONE_ERROR;
    port = std::make_shared<QSerialPort>();
    port->setPort(info);
    maxChunkSize = defaultChunkSize;
    if (!openPort())
        qDebug() << "Port wasn't open: " << port->errorString();
    return getDeviceInf();
}

// Also what brings the link in step after the port opened. A calculator that answers FAILED
// gives no information but is in step.
bool CTaviCalc::getDeviceInf()
{
    if (!isPortOpen() || step == Step::Lost)
        return false;
    calcMsg answer;
    if (!isUsable(regainStep(answer)) || answer.type() != calcMsg::SEND_DEVICE_INF || !answer.has_devinf())
        return false;
    const TaviCalc::deviceInf& device = answer.devinf();
    HV = QString::fromStdString(device.hv());
    FV = QString::fromStdString(device.fv());
    PV = QString::fromStdString(device.pv());
    Name = QString::fromStdString(device.name());
    // Transfers divide by the chunk size and reads take twice its bytes: below 1 byte
    // nothing could move, and above what a frame carries no piece could, so the default stays.
    if (device.maxchunksize() >= 1 && device.maxchunksize() <= largestChunkSize)
        maxChunkSize = device.maxchunksize();
    return true;
}

QList<QSerialPortInfo> CTaviCalc::findCalcs()
{
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    QList<PortDescription> descriptions;
    for (const QSerialPortInfo& port : ports)
        descriptions.append({port.portName(), port.vendorIdentifier(), port.productIdentifier()});
    QList<QSerialPortInfo> calcs;
    for (int position : calcPortPositions(descriptions, platformPortNameRule))
        calcs.append(ports.at(position));
    return calcs;
}

QString CTaviCalc::portName() const
{
    return port ? port->portName() : QString();
}

QString CTaviCalc::getName() const
{
    return Name;
}

// Every failure has a text: a kind the schema does not name (a calculator may send any
// number) reads as an unknown error, never as an empty text a job would take for success.
// Every failure passes here, so here a link in step is marked out of it: what the calculator
// still owes for the failed exchange must be passed over before the next request.
void CTaviCalc::onError(QString errorText)
{
    if (step == Step::In)
        step = Step::Out;
    constexpr int kinds = int(std::size(LinkTexts::errorKinds));
    if (errorText.isEmpty()) {
        const bool named = lastError >= 0 && lastError < kinds;
        errorText = QString::fromUtf8(named ? LinkTexts::errorKinds[lastError] : LinkTexts::unknownError);
    }
    emit errorNotify(errorText);
}

void CTaviCalc::onError()
{
    onError(QString());
}
