#pragma once

#include "protocol/FrameReader.h"

#include <QtGlobal>

// What one calculator's line carries from one link to the next. A calculator answers in order,
// and a link that gave up on an answer leaves it owed: the worker hands the same state to every
// link it makes, so that no link takes an answer owed to a request that another link wrote.
class LineState
{
public:
    // Whether the calculator still owes answers: nothing new may be asked of it until they
    // have been read.
    bool isOwed() const { return owed > 0 || backupRun; }
    bool inBackupRun() const { return backupRun; }

    // A request went out. The backup list is a run of records that ends with an empty name;
    // every other request, an acknowledgement that the calculator waits for included, is
    // answered once.
    void asked(bool opensBackupRun)
    {
        if (opensBackupRun)
            backupRun = true;
        else
            ++owed;
    }
    // A frame arrived: the next record of a run (which goes on unless it ends it), or else the
    // answer to the oldest request owed. A calculator may send more than it was asked: what is
    // owed never drops below nothing.
    void took(bool runGoesOn = false)
    {
        restarting = false;
        if (backupRun)
            backupRun = runGoesOn;
        else
            owed = qMax(0, owed - 1);
    }
    // An answer did not come in time: still owed, unless the calculator was restarting then
    // and never heard the request.
    void missed()
    {
        if (restarting)
            owed = 0;
    }
    // The calculator answered a reboot and restarts now.
    void restarts() { restarting = true; }
    // A frame came that cannot be the answer to the request: that answer is still to come.
    void stillOwesAnswer() { owed = qMax(owed, 1); }

    // Bytes read from the port that no frame has taken yet.
    FrameReader reader;

private:
    int owed = 0;
    bool backupRun = false;
    bool restarting = false;
};
