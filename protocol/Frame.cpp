#include "protocol/Frame.h"

#include <algorithm>

PreambleWindow newPreambleWindow()
{
    return PreambleWindow {};
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
    std::rotate(window.begin(), window.begin() + 1, window.end());
    window.back() = byte;
    return std::equal(window.begin(), window.end(), Frame::preamble);
}
