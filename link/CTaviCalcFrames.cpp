#include "link/CTaviCalc.h"

#include "link/LinkTexts.h"
#include "protocol/Frame.h"

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

// Runs only after the port opened or an exchange failed, never on the normal path, which
// goes on without a flush between requests.
void CTaviCalc::discardWaitingBytes()
{
    step = Step::In;
    port->clear(QSerialPort::Input);
    reader.clear();
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

bool CTaviCalc::RX(QByteArray& buffer)
{
    if (!isPortOpen())
        return connectionFailed(LinkTexts::portClosed);
    while (!reader.takeFrame(buffer)) {
        if (!readPort()) {
            reader.dropPartialFrame();
            return connectionFailed(LinkTexts::nothingReceived);
        }
    }
    return true;
}

// Feeds the reader one read of the port; false when the read brought nothing.
bool CTaviCalc::readPort()
{
    // QSerialPort::waitForReadyRead waits for new bytes only, so never wait while some
    // are still buffered.
    if (port->bytesAvailable() == 0) {
        const Timeouts waits = timeouts();
        port->waitForReadyRead(reader.isHunting() ? waits.firstByte : waits.withinFrame);
    }
    const int most = chunksPerRead * maxChunkSize;
    const qint64 count = port->read(reader.room(most), most);
    reader.added(count > 0 ? int(count) : 0);
    return count > 0;
}

bool CTaviCalc::connectionFailed(const char* text)
{
    lastError = TaviCalc::calcMsg::CONNECTION_ERROR;
    onError(text);
    return false;
}
