#include "ComputerPort.h"

#include "protocol/Frame.h"
#include "protocol/FrameReader.h"

using TaviCalc::calcMsg;

ComputerPort::ComputerPort(const QSerialPortInfo& info)
    : port(info)
{
    port.open(QIODevice::ReadWrite);
}

ComputerPort::ComputerPort(const QString& devicePath)
    : port(devicePath)
{
    port.open(QIODevice::ReadWrite);
}

void ComputerPort::send(const calcMsg& msg)
{
    port.write(framed(msg));
    port.waitForBytesWritten(1000);
}

QList<QByteArray> ComputerPort::readsUntilQuiet(int quietMs)
{
    QList<QByteArray> reads;
    while (port.waitForReadyRead(quietMs)) {
        const QByteArray bytes = port.readAll();
        if (!bytes.isEmpty())
            reads.append(bytes);
    }
    return reads;
}

QList<QByteArray> ComputerPort::payloadsUntilQuiet(int quietMs)
{
    return payloadsOf(readsUntilQuiet(quietMs));
}

QByteArray ComputerPort::encoded(const calcMsg& msg)
{
    QByteArray payload(int(msg.ByteSizeLong()), '\0');
    msg.SerializeToArray(payload.data(), payload.size());
    return payload;
}

QByteArray ComputerPort::framed(const calcMsg& msg)
{
    QByteArray frame = encoded(msg);
    addSize(frame);
    addPreamble(frame);
    return frame;
}

QList<QByteArray> ComputerPort::payloadsOf(const QList<QByteArray>& reads)
{
    FrameReader reader;
    QList<QByteArray> payloads;
    QByteArray payload;
    for (const QByteArray& bytes : reads) {
        reader.feed(bytes);
        while (reader.takeFrame(payload))
            payloads.append(payload);
    }
    return payloads;
}
