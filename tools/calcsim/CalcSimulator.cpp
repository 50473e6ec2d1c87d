#include "CalcSimulator.h"

#include "Outgoing.h"
#include "PseudoTerminal.h"
#include "protocol/FrameReader.h"

#include <QDeadlineTimer>
#include <QThread>
#include <QtDebug>

#include <atomic>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>

namespace calcsim {

using TaviCalc::calcMsg;

namespace {

// What crosses between the simulator's thread and its callers is copied whole. A copy that
// shared its data with the caller's would be released on one thread after the other's last
// use, and Qt's reference counts do not order that for ThreadSanitizer.
QByteArray unshared(const QByteArray& bytes)
{
    return QByteArray(bytes.constData(), bytes.size());
}

FileList unshared(const FileList& files)
{
    FileList copy;
    for (const auto& file : files)
        copy.append({unshared(file.first), unshared(file.second)});
    return copy;
}

} // namespace

// The master side of the line and the thread that serves it. The members under "shared"
// are guarded by the mutex; the rest belongs to the thread.
class CalcSimulator::Line
{
public:
    Line();
    ~Line();

    PseudoTerminal pty;
    std::atomic<bool> disconnected {false};

    // shared; a standard mutex, whose locking ThreadSanitizer follows
    mutable std::mutex mutex;
    Firmware firmware;
    QList<Fault> faults;
    QList<calcMsg> received;
    int sentCount = 0;

private:
    // The messages of one reply that go out one by one, each but the last after the
    // computer's acknowledgement.
    struct Run
    {
        QList<calcMsg> messages;
        int sent = 0;
        int owed = 0; // acknowledgements awaited before the next message goes out
        QDeadlineTimer continueAt {QDeadlineTimer::Forever};
        bool isRunning() const { return sent < messages.size(); }
    };

    void serve();
    void take(const QByteArray& bytes);
    void handle(const QByteArray& payload);
    void start(const Reply& reply);
    void acknowledge();
    // The run goes on as if the last message sent had been acknowledged.
    void forgiveAcknowledgement();
    void sendFromRun();
    Outgoing prepare(const calcMsg& msg);
    void write(const QList<Outgoing>& batch);
    void writeInPieces(const QByteArray& bytes, const QList<QPair<int, int>>& pauses);

    int wakeDescriptor = -1;
    std::atomic<bool> stopping {false};
    std::thread thread;
    FrameReader reader;
    Run run;
    QDeadlineTimer deafUntil; // expired: the line is listened to
};

CalcSimulator::Line::Line()
{
    if (!pty.isOpen()) {
        qWarning("calcsim: no pseudo-terminal: %s", qPrintable(pty.errorString()));
        return;
    }
    wakeDescriptor = ::eventfd(0, EFD_CLOEXEC);
    thread = std::thread([this] { serve(); });
}

CalcSimulator::Line::~Line()
{
    stopping = true;
    if (thread.joinable()) {
        const quint64 one = 1;
        [[maybe_unused]] const ssize_t written = ::write(wakeDescriptor, &one, sizeof one);
        thread.join();
    }
    if (wakeDescriptor >= 0)
        ::close(wakeDescriptor);
}

void CalcSimulator::Line::serve()
{
    while (!stopping && pty.isOpen()) {
        pollfd waits[] = {{pty.masterDescriptor(), POLLIN, 0}, {wakeDescriptor, POLLIN, 0}};
        ::poll(waits, 2, run.isRunning() ? int(run.continueAt.remainingTime()) : -1);
        if (stopping)
            return;
        if (waits[0].revents & POLLIN)
            take(pty.readAvailable());
        if (run.isRunning() && run.continueAt.hasExpired())
            forgiveAcknowledgement();
    }
}

void CalcSimulator::Line::take(const QByteArray& bytes)
{
    if (!deafUntil.hasExpired())
        return; // rebooting
    reader.feed(bytes);
    QByteArray payload;
    while (pty.isOpen() && deafUntil.hasExpired() && reader.takeFrame(payload))
        handle(payload);
}

void CalcSimulator::Line::handle(const QByteArray& payload)
{
    calcMsg request;
    const bool decoded = request.ParseFromArray(payload.constData(), payload.size());
    Reply reply;
    {
        std::unique_lock<std::mutex> lock(mutex);
        received.append(request);
        if (request.type() == calcMsg::SUCCESS && run.owed > 0) {
            lock.unlock();
            acknowledge();
            return;
        }
        reply = firmware.answer(request, decoded);
    }
    start(reply);
}

void CalcSimulator::Line::start(const Reply& reply)
{
    run = Run {reply.messages}; // a new request abandons the dialogue in progress
    if (reply.backToBack) {
        QList<Outgoing> batch;
        for (const calcMsg& msg : reply.messages)
            batch.append(prepare(msg));
        run.sent = run.messages.size();
        write(batch);
    } else if (run.isRunning()) {
        sendFromRun();
    }
    if (reply.deafMs > 0) {
        deafUntil.setRemainingTime(reply.deafMs);
        reader.dropPartialFrame();
    }
}

void CalcSimulator::Line::acknowledge()
{
    if (--run.owed == 0 && run.isRunning())
        sendFromRun();
}

void CalcSimulator::Line::forgiveAcknowledgement()
{
    run.continueAt = QDeadlineTimer(QDeadlineTimer::Forever);
    run.owed = qMax(0, run.owed - 1);
    if (run.owed == 0)
        sendFromRun();
}

void CalcSimulator::Line::sendFromRun()
{
    QList<Outgoing> batch;
    do {
        batch.append(prepare(run.messages.at(run.sent++)));
        if (run.isRunning())
            ++run.owed; // the last message is never acknowledged
    } while (batch.last().merge && run.isRunning());
    const int continueAfterMs = batch.last().continueAfterMs;
    run.continueAt = continueAfterMs >= 0 ? QDeadlineTimer(continueAfterMs, Qt::PreciseTimer)
                                          : QDeadlineTimer(QDeadlineTimer::Forever);
    write(batch);
}

Outgoing CalcSimulator::Line::prepare(const calcMsg& msg)
{
    QList<Fault> targeting;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        ++sentCount;
        for (const Fault& fault : faults) {
            if (fault.message == sentCount)
                targeting.append(fault);
        }
    }
    return shape(msg, targeting);
}

void CalcSimulator::Line::write(const QList<Outgoing>& batch)
{
    QByteArray bytes;
    QList<QPair<int, int>> pauses; // offset in bytes, milliseconds
    for (const Outgoing& out : batch) {
        if (out.disconnect) {
            writeInPieces(bytes, pauses);
            disconnected = true; // before the computer can see the hang-up
            pty.closeMaster();
            return;
        }
        if (out.silent)
            continue;
        if (out.lateMs > 0)
            pauses.append({bytes.size(), out.lateMs});
        for (int offset : out.splitOffsets)
            pauses.append({bytes.size() + offset, out.pauseMs});
        bytes.append(out.bytes);
    }
    writeInPieces(bytes, pauses);
}

void CalcSimulator::Line::writeInPieces(const QByteArray& bytes, const QList<QPair<int, int>>& pauses)
{
    int from = 0;
    for (const auto& pause : pauses) {
        if (pause.first < from || pause.first >= bytes.size())
            continue;
        if (pause.first > from)
            pty.writeAll(bytes.mid(from, pause.first - from), wakeDescriptor);
        from = pause.first;
        QThread::msleep(ulong(pause.second));
    }
    if (from < bytes.size())
        pty.writeAll(bytes.mid(from), wakeDescriptor);
}

CalcSimulator::CalcSimulator()
    : line(std::make_unique<Line>())
{
}

CalcSimulator::~CalcSimulator() = default;

QString CalcSimulator::devicePath() const
{
    return line->pty.slavePath();
}

void CalcSimulator::setName(const QString& name)
{
    const std::lock_guard<std::mutex> lock(line->mutex);
    line->firmware.state.name = name;
}

QString CalcSimulator::name() const
{
    const std::lock_guard<std::mutex> lock(line->mutex);
    return line->firmware.state.name;
}

void CalcSimulator::setVersions(const QString& hv, const QString& fv, const QString& pv)
{
    const std::lock_guard<std::mutex> lock(line->mutex);
    line->firmware.state.hv = hv;
    line->firmware.state.fv = fv;
    line->firmware.state.pv = pv;
}

void CalcSimulator::setChunkSize(int chunkSize)
{
    const std::lock_guard<std::mutex> lock(line->mutex);
    line->firmware.state.chunkSize = chunkSize;
}

void CalcSimulator::addFile(const QByteArray& name, const QByteArray& content)
{
    const std::lock_guard<std::mutex> lock(line->mutex);
    line->firmware.store(unshared(name), unshared(content));
}

void CalcSimulator::setFiles(const FileList& files)
{
    const std::lock_guard<std::mutex> lock(line->mutex);
    line->firmware.state.files = unshared(files);
}

FileList CalcSimulator::files() const
{
    const std::lock_guard<std::mutex> lock(line->mutex);
    return unshared(line->firmware.state.files);
}

void CalcSimulator::setRebootMs(int milliseconds)
{
    const std::lock_guard<std::mutex> lock(line->mutex);
    line->firmware.state.rebootMs = milliseconds;
}

void CalcSimulator::addFault(const Fault& fault)
{
    const std::lock_guard<std::mutex> lock(line->mutex);
    line->faults.append(fault);
}

void CalcSimulator::clearFaults()
{
    const std::lock_guard<std::mutex> lock(line->mutex);
    line->faults.clear();
}

QList<calcMsg> CalcSimulator::received() const
{
    const std::lock_guard<std::mutex> lock(line->mutex);
    QList<calcMsg> copy;
    for (const calcMsg& msg : line->received)
        copy.append(msg);
    return copy;
}

QList<int> CalcSimulator::receivedTypes() const
{
    QList<int> types;
    for (const calcMsg& msg : received())
        types.append(msg.type());
    return types;
}

void CalcSimulator::clearReceived()
{
    const std::lock_guard<std::mutex> lock(line->mutex);
    line->received.clear();
    line->sentCount = 0;
}

bool CalcSimulator::isDisconnected() const
{
    return line->disconnected;
}

} // namespace calcsim
