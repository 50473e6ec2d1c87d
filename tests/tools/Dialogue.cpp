#include "Dialogue.h"

using namespace calcsim;
using TaviCalc::calcMsg;

FileList startFiles()
{
    return {{"A.tcb", "hello"}, {"B.tcb", pattern(600)}};
}

calcMsg request(TaviCalc::calcMsg_msgType type, const QByteArray& name, int size)
{
    calcMsg msg;
    msg.set_type(type);
    if (!name.isEmpty() || size != 0) {
        msg.mutable_finf()->set_name(name.toStdString());
        msg.mutable_finf()->set_size(size);
    }
    return msg;
}

calcMsg piece(int frameNum, const QByteArray& data)
{
    calcMsg msg;
    msg.set_type(calcMsg::FRAME);
    msg.mutable_frame()->set_framenum(frameNum);
    msg.mutable_frame()->set_size(data.size());
    msg.mutable_frame()->add_data(data.constData(), size_t(data.size()));
    return msg;
}

QByteArray pattern(int size)
{
    QByteArray bytes(size, '\0');
    for (int index = 0; index < size; ++index)
        bytes[index] = char(index % 251);
    return bytes;
}

QString summary(const QByteArray& payload)
{
    calcMsg msg;
    if (!msg.ParseFromArray(payload.constData(), payload.size()))
        return QStringLiteral("undecodable");
    QStringList parts = {QString::fromStdString(TaviCalc::calcMsg_msgType_Name(msg.type()))};
    switch (msg.type()) {
    case calcMsg::SEND_DEVICE_INF:
        parts << QString::fromStdString(msg.devinf().name()) << QString::fromStdString(msg.devinf().hv())
              << QString::fromStdString(msg.devinf().fv()) << QString::fromStdString(msg.devinf().pv())
              << QString::number(msg.devinf().maxchunksize());
        break;
    case calcMsg::SEND_FILES_NUM:
        parts << QString::number(msg.numberoffiles());
        break;
    case calcMsg::SEND_FILE_INF:
        parts << QString::fromStdString(msg.finf().name()) << QString::number(msg.finf().size());
        break;
    case calcMsg::FRAME:
        parts << QString::number(msg.frame().framenum()) << QString::number(msg.frame().size())
              << QString::number(msg.frame().data_size() > 0 ? int(msg.frame().data(0).size()) : -1);
        break;
    case calcMsg::FAILED:
        parts << QString::number(msg.error());
        break;
    default:
        break;
    }
    return parts.join(' ');
}

QList<calcMsg> upload(const QByteArray& name, const QByteArray& content, int chunk)
{
    QList<calcMsg> script = {request(calcMsg::SEND_FILE, name, content.size())};
    for (int offset = 0, frameNum = 0; offset <= content.size() && !content.isEmpty();
         offset += chunk, ++frameNum)
        script.append(piece(frameNum, content.mid(offset, chunk)));
    return script;
}

calcMsg nameChange(const QByteArray& name)
{
    calcMsg msg = request(calcMsg::CHANGE_NAME);
    msg.set_devname(name.toStdString());
    return msg;
}

Fault fault(int message, FaultMode mode)
{
    Fault fault;
    fault.message = message;
    fault.mode = mode;
    return fault;
}

QList<int> typesOf(const QList<calcMsg>& messages)
{
    QList<int> types;
    for (const calcMsg& msg : messages)
        types.append(msg.type());
    return types;
}

QStringList answersTo(ComputerPort& computer, const QList<calcMsg>& script)
{
    QStringList answers;
    for (const calcMsg& msg : script) {
        computer.send(msg);
        QStringList step;
        for (const QByteArray& payload : computer.payloadsUntilQuiet())
            step << summary(payload);
        answers << step.join(QStringLiteral(", "));
    }
    return answers;
}
