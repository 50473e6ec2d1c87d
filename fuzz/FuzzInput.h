#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// The libFuzzer entry point that each target defines; the replay runner calls the same one.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fuzz {

// Hands out a fuzz input piece by piece: single bytes that steer a target, then runs of
// bytes. Once the input is used up every piece is empty or zero.
class FuzzInput
{
public:
    FuzzInput(const uint8_t* data, size_t size)
        : bytes(QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size)))
    {
    }

    bool atEnd() const { return position >= bytes.size(); }

    quint8 takeByte() { return atEnd() ? 0 : quint8(bytes.at(position++)); }

    quint16 takeWord()
    {
        const quint8 low = takeByte();
        return quint16(low | (takeByte() << 8));
    }

    // Up to count bytes, fewer at the end of the input.
    QByteArray take(int count)
    {
        const QByteArray piece = bytes.mid(position, count);
        position += piece.size();
        return piece;
    }

    QByteArray takeRest() { return take(bytes.size() - position); }

private:
    const QByteArray bytes;
    int position = 0;
};

// A broken promise of the code under test: report it and abort, which both libFuzzer and
// the replay runner treat as a crash.
inline void require(bool holds, const char* what)
{
    if (holds)
        return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

} // namespace fuzz
