#pragma once

#include "protocol/Frame.h"

#include <QByteArray>

// Cuts frames out of the byte stream of one serial port, however the reads split it.
// It keeps what lives from one frame to the next: the preamble window and the bytes that
// arrived after the last frame (the calculator may send the next frame before it is asked
// for, as in the backup list), so each link owns one reader and nothing is shared.
class FrameReader
{
public:
    FrameReader();

    // Adds the bytes of one read of the port.
    void feed(const QByteArray& bytes);
    // Takes the payload of the next whole frame out of the bytes fed so far; false when
    // more bytes are needed.
    bool takeFrame(QByteArray& payload);
    // True while the preamble of the next frame has not been seen yet.
    bool isHunting() const { return !inFrame; }
    // Forgets a frame that was cut off, so the next read hunts for a new preamble.
    void dropPartialFrame();

private:
    PreambleWindow window;
    QByteArray pending;
    bool inFrame = false;
};
