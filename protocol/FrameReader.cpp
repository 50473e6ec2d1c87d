#include "protocol/FrameReader.h"

FrameReader::FrameReader()
    : window(newPreambleWindow())
{
}

void FrameReader::feed(const QByteArray& bytes)
{
    pending.append(bytes);
}

bool FrameReader::takeFrame(QByteArray& payload)
{
    if (!inFrame) {
        int examined = 0;
        while (examined < pending.size() && !inFrame)
            inFrame = isPreamble(window, pending.at(examined++));
        pending.remove(0, examined);
        if (!inFrame)
            return false;
    }
    if (pending.size() < Frame::lengthSize)
        return false;
    const int length = quint8(pending.at(0)) | (quint8(pending.at(1)) << 8);
    if (pending.size() < Frame::lengthSize + length)
        return false;
    payload = pending.mid(Frame::lengthSize, length);
    pending.remove(0, Frame::lengthSize + length);
    inFrame = false;
    return true;
}

void FrameReader::dropPartialFrame()
{
    pending.clear();
    inFrame = false;
}
