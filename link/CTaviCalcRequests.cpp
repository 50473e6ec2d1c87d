#include "link/CTaviCalc.h"

#include "link/LinkTexts.h"

using TaviCalc::calcMsg;

namespace {

QByteArray encode(const calcMsg& msg)
{
    const int size = int(msg.ByteSizeLong());
    // Room for the header that TX puts in front, so that framing does not reallocate.
    QByteArray bytes;
    bytes.reserve(Frame::headerSize + size);
    bytes.resize(size);
    msg.SerializeToArray(bytes.data(), size);
    return bytes;
}

} // namespace

bool CTaviCalc::send(const calcMsg& msg)
{
    QByteArray buffer = encode(msg);
    return TX(buffer);
}

bool CTaviCalc::sendType(TaviCalc::calcMsg_msgType type)
{
    calcMsg msg;
    msg.set_type(type);
    return send(msg);
}

// A request that cannot be written (the port did not open) is reported: otherwise a job
// would end without an error text and call its operation a success.
bool CTaviCalc::sendReported(const calcMsg& msg)
{
    if (send(msg))
        return true;
    onError(LinkTexts::writeDevice);
    return false;
}

bool CTaviCalc::sendFileRequest(TaviCalc::calcMsg_msgType type, const TaviCalc::fileInf& fInf)
{
    calcMsg msg;
    msg.set_type(type);
    *msg.mutable_finf() = fInf;
    return sendReported(msg);
}

CTaviCalc::Received CTaviCalc::receive(calcMsg& answer)
{
    QByteArray buffer;
    if (!RX(buffer))
        return Received::Nothing;
    answer.Clear();
    return answer.ParseFromArray(buffer.constData(), buffer.size()) ? Received::Decoded
                                                                     : Received::Undecodable;
}

// Receives an answer that must decode, with the texts of both failures.
bool CTaviCalc::receiveAnswer(calcMsg& answer)
{
    switch (receive(answer)) {
    case Received::Nothing:
        onError(LinkTexts::readDevice);
        return false;
    case Received::Undecodable:
        onError(LinkTexts::parseMessage);
        return false;
    case Received::Decoded:
        break;
    }
    return true;
}

bool CTaviCalc::sendMessage(TaviCalc::calcMsg_msgType type)
{
    calcMsg msg;
    msg.set_type(type);
    return sendReported(msg);
}

bool CTaviCalc::sendCommand(TaviCalc::calcMsg_msgType type, calcMsg& answer)
{
    return sendMessage(type) && receiveAnswer(answer);
}

QString CTaviCalc::msgErrorToStr(const calcMsg& msg)
{
    QString text = QString::fromStdString(msg.errorstr());
    if (msg.errornum() != 0)
        text += LinkTexts::errorCodeBegin + QString::number(msg.errornum()) + LinkTexts::errorCodeEnd;
    return text;
}

void CTaviCalc::reportCalcFailure(const calcMsg& answer)
{
    lastError = answer.error();
    onError(msgErrorToStr(answer));
}

void CTaviCalc::reportFailure(TaviCalc::calcMsg_errType kind)
{
    lastError = kind;
    onError();
}

TaviCalc::fileInf CTaviCalc::fileInfOf(const QByteArray& name, int size)
{
    TaviCalc::fileInf fInf;
    fInf.set_name(name.toStdString());
    fInf.set_size(size);
    return fInf;
}

TaviCalc::fileInf CTaviCalc::fileInfOf(const FileEntry& entry)
{
    return fileInfOf(entry.first.toUtf8(), entry.second);
}
