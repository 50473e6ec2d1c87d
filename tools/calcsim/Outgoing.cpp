#include "Outgoing.h"

#include "protocol/Frame.h"

namespace calcsim {

using TaviCalc::calcMsg;

namespace {

void setErrorFields(calcMsg& msg, const Fault& fault)
{
    msg.set_error(fault.error);
    msg.set_errornum(fault.errorNum);
    msg.set_errorstr(fault.errorStr.toStdString());
}

// The string field that a BadUtf8 fault spoils: the message's name where it has one.
std::string* textField(calcMsg& msg)
{
    if (msg.has_finf())
        return msg.mutable_finf()->mutable_name();
    if (msg.has_devinf())
        return msg.mutable_devinf()->mutable_name();
    return msg.mutable_errorstr();
}

void changeMessage(calcMsg& msg, const Fault& fault)
{
    switch (fault.mode) {
    case FaultMode::Failed:
        msg.Clear();
        msg.set_type(calcMsg::FAILED);
        setErrorFields(msg, fault);
        break;
    case FaultMode::WrongType:
        msg.set_type(fault.type);
        setErrorFields(msg, fault);
        break;
    case FaultMode::BadUtf8:
        *textField(msg) = fault.badText.toStdString();
        break;
    case FaultMode::BadFrameNumber:
        msg.mutable_frame()->set_framenum(fault.frameNum);
        break;
    case FaultMode::BadFrameSize:
        msg.mutable_frame()->set_size(fault.size);
        break;
    default:
        break;
    }
}

QByteArray encoded(const calcMsg& msg)
{
    QByteArray payload(int(msg.ByteSizeLong()), '\0');
    msg.SerializeToArray(payload.data(), payload.size());
    return payload;
}

void changeLine(Outgoing& out, const Fault& fault, int payloadSize)
{
    switch (fault.mode) {
    case FaultMode::Silence:
        out.silent = true;
        break;
    case FaultMode::Disconnect:
        out.disconnect = true;
        break;
    case FaultMode::Merge:
        out.merge = true;
        break;
    case FaultMode::Garbage:
        out.bytes.prepend(fault.noise);
        break;
    case FaultMode::Cut:
        out.bytes.truncate(fault.cutAt >= 0 ? fault.cutAt : Frame::headerSize + payloadSize / 2);
        break;
    case FaultMode::Split:
        out.splitOffsets = fault.offsets;
        out.pauseMs = fault.pauseMs;
        break;
    case FaultMode::Late:
        out.lateMs = fault.lateMs;
        break;
    default:
        break;
    }
    if (fault.continueAfterMs >= 0)
        out.continueAfterMs = fault.continueAfterMs;
}

} // namespace

Outgoing shape(calcMsg msg, const QList<Fault>& faults)
{
    for (const Fault& fault : faults)
        changeMessage(msg, fault);
    QByteArray payload = encoded(msg);
    for (const Fault& fault : faults) {
        if (fault.mode == FaultMode::Undecodable) {
            payload.chop(fault.dropped);
            payload.append(fault.tail);
        }
    }
    Outgoing out;
    out.bytes = payload;
    addSize(out.bytes);
    addPreamble(out.bytes);
    for (const Fault& fault : faults)
        changeLine(out, fault, payload.size());
    return out;
}

} // namespace calcsim
