#pragma once

#include "Fault.h"

#include <QByteArray>
#include <QList>

namespace calcsim {

// One message on its way to the computer, as the faults that target it have shaped it.
struct Outgoing
{
    QByteArray bytes;          // what goes on the line: the frame, perhaps with noise or cut short
    QVector<int> splitOffsets; // where the write pauses, counted from the first byte of bytes
    int pauseMs = 0;
    int lateMs = 0;           // the pause before the first byte
    bool silent = false;      // nothing is written
    bool disconnect = false;  // the master is closed instead
    bool merge = false;       // shares its write with the run's next message
    int continueAfterMs = -1; // the run goes on without an acknowledgement after this long
};

// Encodes and frames the message and applies the faults, in the order given.
Outgoing shape(TaviCalc::calcMsg msg, const QList<Fault>& faults);

} // namespace calcsim
