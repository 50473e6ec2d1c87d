#include "link/CTaviCalc.h"

#include "link/LinkTexts.h"

#include <google/protobuf/descriptor.h>
#include <google/protobuf/unknown_field_set.h>

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

// The bytes with every string made valid UTF-8 (what does not decode becomes U+FFFD), in every
// sub-message too; none when they do not hold whole fields all through. A message whole but
// for a string that is not UTF-8 then decodes with all its fields, those after that string too.
std::optional<std::string> withValidText(const std::string& bytes, const google::protobuf::Descriptor* type)
{
    google::protobuf::UnknownFieldSet fields;
    if (!fields.ParseFromString(bytes))
        return std::nullopt;
    for (int index = 0; index < fields.field_count(); ++index) {
        google::protobuf::UnknownField* field = fields.mutable_field(index);
        const google::protobuf::FieldDescriptor* known = type->FindFieldByNumber(field->number());
        if (!known || field->type() != google::protobuf::UnknownField::TYPE_LENGTH_DELIMITED)
            continue;
        std::string* value = field->mutable_length_delimited();
        if (known->type() == google::protobuf::FieldDescriptor::TYPE_STRING) {
            *value = QString::fromStdString(*value).toStdString();
        } else if (known->type() == google::protobuf::FieldDescriptor::TYPE_MESSAGE) {
            const std::optional<std::string> inner = withValidText(*value, known->message_type());
            if (!inner)
                return std::nullopt;
            *value = *inner;
        }
    }
    std::string valid;
    fields.SerializeToString(&valid);
    return valid;
}

} // namespace

// A request of an operation: only once the link is in step, and then counted as owed.
bool CTaviCalc::send(const calcMsg& msg)
{
    if (!isPortOpen() || !inStep())
        return false;
    write(msg);
    ++requestsSent;
    return true;
}

void CTaviCalc::write(const calcMsg& msg)
{
    QByteArray buffer = encode(msg);
    writeFrame(buffer);
    line->asked(msg.type() == calcMsg::GET_BACKUP_INFO);
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
    if (step == Step::Lost)
        reportOutOfStep();
    else
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
    return decode(buffer, answer);
}

CTaviCalc::Received CTaviCalc::decode(const QByteArray& payload, calcMsg& answer)
{
    answer.Clear();
    if (answer.ParseFromArray(payload.constData(), payload.size()))
        return Received::Decoded;
    // What does not decode keeps the fields read before the fault: its type, most often.
    const std::optional<std::string> valid = withValidText(payload.toStdString(), calcMsg::descriptor());
    if (!valid)
        return Received::Undecodable;
    answer.Clear();
    return answer.ParseFromString(*valid) ? Received::BadText : Received::Undecodable;
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

// Asks for the device information. Out of step, it also regains step: a calculator answers in
// order, so what it still owes comes first and is passed over; then, with nothing owed, what
// waits answers nothing and is discarded. The answer must then come in turn, as the device
// information or a refusal. Anything else, or no answer, loses step.
CTaviCalc::Received CTaviCalc::regainStep(calcMsg& answer)
{
    const bool regaining = step != Step::In || line->isOwed();
    if (regaining) {
        if (!passOverOwed()) {
            loseStep();
            return Received::Nothing;
        }
        discardWaitingBytes();
    }
    calcMsg request;
    request.set_type(calcMsg::GET_DEVICE_INF);
    write(request);
    const Received received = receive(answer);
    if (received == Received::Nothing) {
        if (regaining)
            loseStep();
        return received;
    }
    if (answer.type() != calcMsg::SEND_DEVICE_INF && answer.type() != calcMsg::FAILED) {
        line->stillOwesAnswer();
        loseStep();
        return Received::Nothing;
    }
    step = Step::In;
    return received;
}

// Each answer still owed within the wait for a first byte; false when one does not come whole.
bool CTaviCalc::passOverOwed()
{
    QByteArray payload;
    while (line->isOwed() && step != Step::Lost) {
        if (takeAnswer(payload) != Read::Frame)
            return false;
    }
    return step != Step::Lost;
}

// Free on the normal path; after a failure, what is owed and one exchange.
bool CTaviCalc::inStep()
{
    if (step == Step::In && !line->isOwed())
        return true;
    if (step != Step::Lost) {
        calcMsg answer;
        regainStep(answer);
    }
    return step != Step::Lost;
}

// This link asks nothing more; what is owed stays owed, for the next link to pass over.
void CTaviCalc::loseStep()
{
    step = Step::Lost;
}

// The line can no longer be followed: the job ends at once, and says so.
void CTaviCalc::abandonLine()
{
    if (step == Step::Lost)
        return;
    loseStep();
    reportOutOfStep();
}

// Also what every request refused for a lost step says.
void CTaviCalc::reportOutOfStep()
{
    outOfStepTold = true;
    onError(LinkTexts::outOfStep + QString(LinkTexts::replugAdvice));
}

// A job's closing texts: the files it did not do, those whose request went unanswered (the
// calculator may or may not have acted on them), then, once, what brings a calculator that
// lost step back.
void CTaviCalc::reportUndone(const QStringList& notDone, const QStringList& notKnown)
{
    const QLatin1String separator(LinkTexts::listSeparator);
    if (!notDone.isEmpty())
        onError(LinkTexts::notDone + notDone.join(separator));
    if (!notKnown.isEmpty())
        onError(LinkTexts::notKnown + notKnown.join(separator));
    tellIfLost();
}

void CTaviCalc::tellIfLost()
{
    if (step == Step::Lost && !outOfStepTold)
        reportOutOfStep();
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
