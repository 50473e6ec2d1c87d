#pragma once

#include "protocol/Frame.h"

#include <QByteArray>

// Cuts frames out of the byte stream of one serial port, however the reads split it.
// It keeps what lives from one frame to the next: the preamble window and the bytes that
// arrived after the last frame (the calculator may send the next frame before it is asked
// for, as in the backup list), so each calculator's line has one reader.
class FrameReader
{
public:
    FrameReader();

    // Adds the bytes of one read of the port.
    void feed(const QByteArray& bytes);
    // Room for one read of at most size bytes straight into the reader, which added() then
    // completes with the count the read brought: the bytes are not copied once more.
    char* room(int size);
    void added(int count);
    // Takes the payload of the next whole frame out of the bytes fed so far; false when
    // more bytes are needed.
    bool takeFrame(QByteArray& payload);
    // True while the preamble of the next frame has not been seen yet.
    bool isHunting() const { return !inFrame; }
    // True when bytes have come since the last whole frame: a frame begun, or bytes that begin
    // none (a frame's part-preamble among them).
    bool hasStrayBytes() const { return inFrame || passedOver > 0; }
    // Forgets a frame that was cut off, so the next read hunts for a new preamble.
    void dropPartialFrame();
    // Forgets everything fed so far, a partial preamble too, as if nothing had been read.
    void clear();

private:
    void forgetTaken();

    PreambleWindow window;
    // Bytes fed so far: those before `taken` are done with, those up to `held` wait. The
    // buffer only grows, so reads of the usual size reuse it without allocating.
    QByteArray buffer;
    int taken = 0;
    int held = 0;
    bool inFrame = false;
    int passedOver = 0;
};
