#include "link/CTaviCalc.h"

#include "link/LinkTexts.h"
#include "protocol/Frame.h"

using TaviCalc::calcMsg;

namespace {

CTaviCalc::Timeouts currentTimeouts;

// A read takes at most two chunks, room for one whole FRAME message and its header.
constexpr int chunksPerRead = 2;

} // namespace

void CTaviCalc::setTimeoutsForTesting(const Timeouts& timeouts)
{
    currentTimeouts = timeouts;
}

CTaviCalc::Timeouts CTaviCalc::timeouts()
{
    return currentTimeouts;
}

// A calculator may still be answering a link that gave up on it.
bool CTaviCalc::openPort()
{
    step = Step::Out;
    return port->open(QIODevice::ReadWrite);
}

bool CTaviCalc::isPortOpen() const
{
    return port && port->isOpen();
}

// Runs only when the link regains step with nothing owed, never on the normal path, which goes
// on without a flush between requests: whatever waits then answers nothing.
void CTaviCalc::discardWaitingBytes()
{
    port->clear(QSerialPort::Input);
    line->reader.clear();
}

bool CTaviCalc::TX(QByteArray& buffer)
{
    return isPortOpen() && inStep() && writeFrame(buffer);
}

bool CTaviCalc::writeFrame(QByteArray& buffer)
{
    addSize(buffer);
    addPreamble(buffer);
    // A failed or late write shows in the RX that follows.
    port->write(buffer);
    // What the line takes at once needs no wait (and no poll before it); only a remainder does.
    if (!port->flush() || port->bytesToWrite() > 0)
        port->waitForBytesWritten(timeouts().write);
    return true;
}

// A frame cut off, or bytes that begin none, leave the link unable to tell what the
// calculator still owes: it gives up on the line at once.
bool CTaviCalc::RX(QByteArray& buffer)
{
    if (!isPortOpen())
        return connectionFailed(LinkTexts::portClosed);
    const Read read = takeAnswer(buffer);
    if (read == Read::Frame)
        return true;
    connectionFailed(LinkTexts::nothingReceived);
    if (read == Read::Broken)
        abandonLine();
    return false;
}

// The next frame, counted as an answer; without one, the answer is still owed.
CTaviCalc::Read CTaviCalc::takeAnswer(QByteArray& payload)
{
    FrameReader& reader = line->reader;
    while (!reader.takeFrame(payload)) {
        if (!readPort()) {
            const bool broken = reader.hasStrayBytes();
            reader.dropPartialFrame();
            if (broken)
                return Read::Broken;
            line->missed();
            return Read::Nothing;
        }
    }
    account(payload);
    return Read::Frame;
}

// A record of a backup list is read to see whether it ends the run; one that does not decode
// may have ended it or not.
void CTaviCalc::account(const QByteArray& payload)
{
    if (!line->inBackupRun()) {
        line->took();
        return;
    }
    calcMsg record;
    if (decode(payload, record) == Received::Undecodable) {
        abandonLine();
        return;
    }
    line->took(record.type() == calcMsg::SEND_FILE_INF && !record.finf().name().empty());
}

// Feeds the reader one read of the port; false when the read brought nothing.
bool CTaviCalc::readPort()
{
    // QSerialPort::waitForReadyRead waits for new bytes only, so never wait while some
    // are still buffered.
    if (port->bytesAvailable() == 0) {
        const Timeouts waits = timeouts();
        port->waitForReadyRead(line->reader.isHunting() ? waits.firstByte : waits.withinFrame);
    }
    return moveToReader(chunksPerRead * maxChunkSize) > 0;
}

// Moves at most that many bytes that the port holds to the line's reader, without a wait;
// gives how many it moved.
int CTaviCalc::moveToReader(int most)
{
    FrameReader& reader = line->reader;
    const qint64 count = port->read(reader.room(most), most);
    reader.added(count > 0 ? int(count) : 0);
    return count > 0 ? int(count) : 0;
}

bool CTaviCalc::connectionFailed(const char* text)
{
    lastError = TaviCalc::calcMsg::CONNECTION_ERROR;
    onError(text);
    return false;
}
