#pragma once

#include <QByteArray>

#include <array>

// One encoded calculator message travels on the serial line as a frame:
// the preamble "CALC", the payload length as 16 bits little-endian, then the payload.
namespace Frame {
constexpr char preamble[] = {'C', 'A', 'L', 'C'};
constexpr int preambleSize = int(sizeof(preamble));
constexpr int lengthSize = 2;
constexpr int headerSize = preambleSize + lengthSize;
constexpr int maxPayload = 0xFFFF;
}

// The bytes most recently fed to isPreamble, oldest first.
using PreambleWindow = std::array<char, Frame::preambleSize>;
PreambleWindow newPreambleWindow();

// Puts the low 16 bits of the buffer's length in front of it, low byte first.
void addSize(QByteArray& buffer);
// Puts "CALC" in front of the buffer.
void addPreamble(QByteArray& buffer);
// Shifts the byte into the window and tells whether the window now reads "CALC".
bool isPreamble(PreambleWindow& window, char byte);
