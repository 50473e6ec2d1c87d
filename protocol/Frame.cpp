#include "protocol/Frame.h"

PreambleWindow newPreambleWindow()
{
    return PreambleWindow(Frame::preambleSize, '\0');
}

void addSize(QByteArray& buffer)
{
    const int length = buffer.size();
    const char size[Frame::lengthSize] = {char(length & 0xFF), char((length >> 8) & 0xFF)};
    buffer.prepend(size, Frame::lengthSize);
}

void addPreamble(QByteArray& buffer)
{
    buffer.prepend(Frame::preamble, Frame::preambleSize);
}

bool isPreamble(PreambleWindow& window, char byte)
{
    window.remove(0, 1);
    window.append(byte);
    return window == QByteArray::fromRawData(Frame::preamble, Frame::preambleSize);
}
