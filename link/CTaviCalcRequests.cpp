#include "link/CTaviCalc.h"

#include "link/LinkTexts.h"

#include <google/protobuf/descriptor.h>
#include <google/protobuf/unknown_field_set.h>

#include <QDeadlineTimer>

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

// True when the bytes hold whole fields all through, in every sub-message too: a message that
// still does not decode then only holds a string that is not UTF-8.
bool isWhole(const std::string& bytes, const google::protobuf::Descriptor* type)
{
    google::protobuf::UnknownFieldSet fields;
    if (!fields.ParseFromString(bytes))
        return false;
    for (int index = 0; index < fields.field_count(); ++index) {
        const google::protobuf::UnknownField& field = fields.field(index);
        const google::protobuf::FieldDescriptor* known = type->FindFieldByNumber(field.number());
        if (known && known->type() == google::protobuf::FieldDescriptor::TYPE_MESSAGE
            && field.type() == google::protobuf::UnknownField::TYPE_LENGTH_DELIMITED
            && !isWhole(field.length_delimited(), known->message_type()))
            return false;
    }
    return true;
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
    onError(step == Step::Lost ? LinkTexts::outOfStep : LinkTexts::writeDevice);
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
    if (answer.ParseFromArray(buffer.constData(), buffer.size()))
        return Received::Decoded;
    return isWhole(buffer.toStdString(), calcMsg::descriptor()) ? Received::BadText : Received::Undecodable;
}

// Receives an answer that must decode, with the texts of both failures.
bool CTaviCalc::receiveAnswer(calcMsg& answer)
{
    switch (receive(answer)) {
    case Received::Nothing:
        onError(LinkTexts::readDevice);
        return false;
    case Received::Undecodable:
    case Received::BadText:
        onError(LinkTexts::parseMessage);
        return false;
    case Received::Decoded:
        break;
    }
    return true;
}

// Receives an answer whose fields read whole.
bool CTaviCalc::receiveUsable(calcMsg& answer)
{
    return isUsable(receive(answer));
}

// Whether an answer received can be used: its fields read whole, and a name that is not
// UTF-8 is no reason to fail (a calculator holding such a file would fail every list read).
// One that does not decode is reported here.
bool CTaviCalc::isUsable(Received received)
{
    switch (received) {
    case Received::Nothing:
        return false;
    case Received::Undecodable:
        onError(LinkTexts::parseMessage);
        return false;
    case Received::BadText:
    case Received::Decoded:
        break;
    }
    return true;
}

// Asks for the device information. Out of step, it also regains step: a calculator answers
// in order, so whatever it still sends for a failed exchange comes before this answer, and
// every frame before it is passed over. Without it within the usual wait, step is lost.
CTaviCalc::Received CTaviCalc::regainStep(calcMsg& answer)
{
    const bool regaining = step == Step::Out;
    if (regaining)
        discardWaitingBytes();
    calcMsg request;
    request.set_type(calcMsg::GET_DEVICE_INF);
    QByteArray buffer = encode(request);
    writeFrame(buffer);
    const QDeadlineTimer deadline(timeouts().firstByte);
    for (;;) {
        const Received received = receive(answer);
        const bool passedOver = regaining && answer.type() != calcMsg::SEND_DEVICE_INF;
        if (received == Received::Nothing || (passedOver && deadline.hasExpired())) {
            if (regaining)
                step = Step::Lost;
            return Received::Nothing;
        }
        if (!passedOver)
            return received;
    }
}

// Free on the normal path; after a failure, one exchange.
bool CTaviCalc::inStep()
{
    if (step == Step::Out) {
        calcMsg answer;
        regainStep(answer);
    }
    return step != Step::Lost;
}

void CTaviCalc::reportNotDone(const QStringList& names)
{
    onError(LinkTexts::outOfStepNotDone + names.join(QLatin1String(LinkTexts::listSeparator)));
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
