#pragma once

#include "protocol/serializeData.pb.h"

#include <QByteArray>
#include <QVector>

namespace calcsim {

// How the simulator disturbs one of the messages it sends.
enum class FaultMode {
    Silence,        // the message is not sent at all
    Failed,         // a FAILED answer carrying the fault's error fields is sent in its place
    WrongType,      // the message goes out with the fault's type and error fields instead of its own type
    Garbage,        // the fault's noise bytes are written just before the frame
    Split,          // the frame is written in pieces cut at the fault's offsets, pausing between them
    Merge,          // the frame shares one write with the next message of its run, which then goes
                    // without waiting for the acknowledgement in between; alone when none follows
    Cut,            // only the first cutAt bytes written for it go out; the rest never follows
    Undecodable,    // the payload loses the fault's dropped bytes at its end and ends in the
                    // fault's tail instead, so it does not decode (a field runs past its end);
                    // the fields in front of it, the type among them, still read as sent
    BadUtf8,        // the message's name (or, lacking one, its errorStr) holds the fault's non-UTF-8 bytes
    BadFrameNumber, // the message carries a frame whose frameNum is the fault's frameNum
    BadFrameSize,   // the message carries a frame whose size is the fault's size
    Disconnect,     // the master side is closed instead of sending the message: the computer's
                    // port hangs up and the simulator stops answering
    Late,           // the message goes out whole after the fault's lateMs, as from a busy
                    // calculator: requests that arrive meanwhile are answered after it
};

// Every mode, so that tests loop over them: a new mode is covered without new test code.
constexpr FaultMode allFaultModes[] = {
    FaultMode::Silence,
    FaultMode::Failed,
    FaultMode::WrongType,
    FaultMode::Garbage,
    FaultMode::Split,
    FaultMode::Merge,
    FaultMode::Cut,
    FaultMode::Undecodable,
    FaultMode::BadUtf8,
    FaultMode::BadFrameNumber,
    FaultMode::BadFrameSize,
    FaultMode::Disconnect,
    FaultMode::Late,
};

// The mode's name, for test rows.
const char* faultModeName(FaultMode mode);

// One scripted fault. Only the fields of its mode matter; several faults may target one message.
struct Fault
{
    // 1-based index of the simulator's outgoing message that the fault replaces or disturbs,
    // counting every message it sends since its construction or the last clearReceived().
    int message = 1;
    FaultMode mode = FaultMode::Silence;

    // Failed, WrongType: the answer's type (WrongType only) and error fields.
    TaviCalc::calcMsg_msgType type = TaviCalc::calcMsg::SUCCESS;
    TaviCalc::calcMsg_errType error = TaviCalc::calcMsg::NONE_ERROR;
    int errorNum = 0;
    QByteArray errorStr;
    // Garbage: written in front of the frame (it ends in half a preamble on purpose).
    QByteArray noise = QByteArray("\x00\x13noiseCA", 9);
    // BadUtf8: the bytes of the string field.
    QByteArray badText = "bad\xC3\x28";
    // Split: where the frame is cut, counted from its first byte (noise included), and the
    // pause after each piece.
    QVector<int> offsets = {2, 5};
    int pauseMs = 20;
    // Cut: how many bytes go out, counted like Split's offsets; -1 for the frame's header and
    // half its payload.
    int cutAt = -1;
    // Undecodable: the bytes cut off the end of the payload, and those written in their place
    // (by default a field, errorStr, whose length runs past the end).
    int dropped = 0;
    QByteArray tail = QByteArray("\x4A\x7F", 2);
    // Late: how long the simulator pauses before it writes the message.
    int lateMs = 400;
    // BadFrameNumber, BadFrameSize: the values written into the frame.
    int frameNum = -1;
    int size = -1;
    // Any mode, in a run that waits for acknowledgements (file list, fetch), for a message that
    // the computer will not acknowledge: the run goes on with its next message after this many
    // milliseconds instead of waiting for one; -1 waits.
    int continueAfterMs = -1;
};

} // namespace calcsim
