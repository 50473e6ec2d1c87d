// The frame reader on arbitrary byte streams cut into arbitrary reads, as RX drives it: after
// every read it takes every whole frame, and a read flagged as timed out drops the frame
// begun. However the reads cut the stream, the frames must come out the same as when every
// run of reads between two drops arrives in one read.
#include "FuzzInput.h"

#include "protocol/Frame.h"
#include "protocol/FrameReader.h"

#include <QList>

namespace {

struct Read
{
    QByteArray bytes;
    bool dropAfter = false;
};

// Each read: a length byte whose top bit flags a drop after it, then that many bytes.
QList<Read> takeReads(fuzz::FuzzInput& input)
{
    constexpr quint8 dropFlag = 0x80;
    QList<Read> reads;
    while (!input.atEnd()) {
        const quint8 head = input.takeByte();
        reads.append({input.take(head & ~dropFlag), (head & dropFlag) != 0});
    }
    return reads;
}

// Every run of reads up to a drop joined into one read.
QList<Read> joined(const QList<Read>& reads)
{
    QList<Read> runs{Read()};
    for (const Read& read : reads) {
        runs.last().bytes += read.bytes;
        if (read.dropAfter) {
            runs.last().dropAfter = true;
            runs.append(Read());
        }
    }
    return runs;
}

QList<QByteArray> framesOf(const QList<Read>& reads, qsizetype streamSize)
{
    FrameReader reader;
    QList<QByteArray> frames;
    qsizetype payloadBytes = 0;
    for (const Read& read : reads) {
        reader.feed(read.bytes);
        QByteArray payload;
        while (reader.takeFrame(payload)) {
            fuzz::require(payload.size() <= Frame::maxPayload, "payload within the 16-bit length");
            // The window outlives a frame, so a preamble may complete with the last one's bytes.
            payloadBytes += payload.size() + Frame::lengthSize;
            frames.append(payload);
        }
        if (read.dropAfter) {
            reader.dropPartialFrame();
            fuzz::require(reader.isHunting(), "a dropped frame restarts the hunt");
        }
    }
    fuzz::require(payloadBytes <= streamSize, "frames never hold more bytes than arrived");
    return frames;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::FuzzInput input(data, size);
    const QList<Read> reads = takeReads(input);
    qsizetype streamSize = 0;
    for (const Read& read : reads)
        streamSize += read.bytes.size();
    fuzz::require(framesOf(reads, streamSize) == framesOf(joined(reads), streamSize),
                  "the frames do not depend on how the reads cut the stream");
    return 0;
}
