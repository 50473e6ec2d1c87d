#include "protocol/FrameReader.h"

#include <cstring>

FrameReader::FrameReader()
    : window(newPreambleWindow())
{
}

void FrameReader::feed(const QByteArray& bytes)
{
    std::memcpy(room(bytes.size()), bytes.constData(), size_t(bytes.size()));
    added(bytes.size());
}

char* FrameReader::room(int size)
{
    if (buffer.size() - held < size) {
        // The waiting bytes move to the front before the buffer grows.
        held -= taken;
        std::memmove(buffer.data(), buffer.constData() + taken, size_t(held));
        taken = 0;
        // Room for two reads, so that a frame that comes in two reads is not moved.
        if (buffer.size() - held < size)
            buffer.resize(held + 2 * size);
    }
    return buffer.data() + held;
}

void FrameReader::added(int count)
{
    held += count;
}

bool FrameReader::takeFrame(QByteArray& payload)
{
    const char* bytes = buffer.constData();
    while (!inFrame && taken < held) {
        inFrame = isPreamble(window, bytes[taken++]);
        ++passedOver;
    }
    forgetTaken();
    if (!inFrame || held - taken < Frame::lengthSize)
        return false;
    const int length = quint8(bytes[taken]) | (quint8(bytes[taken + 1]) << 8);
    if (held - taken < Frame::lengthSize + length)
        return false;
    payload = QByteArray(bytes + taken + Frame::lengthSize, length);
    taken += Frame::lengthSize + length;
    inFrame = false;
    passedOver = 0;
    forgetTaken();
    return true;
}

void FrameReader::dropPartialFrame()
{
    taken = held;
    forgetTaken();
    inFrame = false;
    passedOver = 0;
}

void FrameReader::clear()
{
    dropPartialFrame();
    window = newPreambleWindow();
}

// Once every byte is taken, the next read starts at the front again.
void FrameReader::forgetTaken()
{
    if (taken == held)
        taken = held = 0;
}
