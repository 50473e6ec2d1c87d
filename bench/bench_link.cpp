// Throughput of the calculator link against the simulator, beside the plain stop-and-wait
// limit of the same pseudo-terminal: a minimal loop that writes the same frames and waits
// for the same answers without protocol buffers or Qt. Also a backup beside the sum of its
// parts (fetching the files, compressing them with libarchive alone).
#include "link/CTaviCalc.h"

#include "PluggedSimulator.h"
#include "VirtualUsbBus.h"

#include "protocol/Frame.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <archive.h>
#include <archive_entry.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

using TaviCalc::calcMsg;

namespace {

constexpr int fileSize = 256 * 1024;
constexpr int rounds = 20;
constexpr int backupFiles = 200;
constexpr int backupFileSize = 4 * 1024;
constexpr double kib = 1024.0;

std::string frameOf(const calcMsg& msg)
{
    std::string payload = msg.SerializeAsString();
    const size_t n = payload.size();
    return std::string(Frame::preamble, Frame::preambleSize) + char(n & 0xFF) + char((n >> 8) & 0xFF) + payload;
}

const std::string benchFile = "BENCH.bin";

calcMsg fileRequest(calcMsg::msgType type, int size, const std::string& name = benchFile)
{
    calcMsg msg;
    msg.set_type(type);
    msg.mutable_finf()->set_name(name);
    msg.mutable_finf()->set_size(size);
    return msg;
}

std::string content(int size)
{
    std::string bytes(size_t(size), '\0');
    unsigned x = 12345;
    for (char& b : bytes)
        b = char((x = x * 1103515245u + 12345u) >> 16);
    return bytes;
}

// The computer's side without the link: the raw slave, frames prepared beforehand, a
// blocking write of each frame, then poll and read into one fixed buffer until the whole
// answer frame is in. Nothing else happens per frame, so its rate is the line's own limit.
class RawLine
{
public:
    explicit RawLine(const QString& path)
        : fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY))
    {
        termios mode {};
        ::tcgetattr(fd, &mode);
        ::cfmakeraw(&mode);
        ::tcsetattr(fd, TCSANOW, &mode);
    }
    ~RawLine() { ::close(fd); }

    void write(const std::string& bytes)
    {
        for (size_t done = 0; done < bytes.size();) {
            const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            done += n > 0 ? size_t(n) : 0;
        }
    }

    // Waits for one whole frame and drops it: only its arrival counts.
    void readFrame()
    {
        while (held < frameSize()) {
            pollfd wait {fd, POLLIN, 0};
            ::poll(&wait, 1, -1);
            const ssize_t n = ::read(fd, block + held, sizeof block - held);
            held += n > 0 ? size_t(n) : 0;
        }
        // Stop-and-wait leaves nothing behind a frame; should a byte come early, it is kept.
        const size_t used = frameSize();
        held -= used;
        std::memmove(block, block + used, held);
    }

private:
    // The size of the frame at the front, as far as its header has come in.
    size_t frameSize() const
    {
        if (held < size_t(Frame::headerSize))
            return Frame::headerSize;
        const char* length = block + Frame::preambleSize;
        return Frame::headerSize + (size_t(quint8(length[0])) | size_t(quint8(length[1])) << 8);
    }

    int fd;
    char block[2 * (Frame::headerSize + Frame::maxPayload)];
    size_t held = 0;
};

struct Timing
{
    double link;
    double raw;
};

// The best of several rounds of each, taken in turns so that the machine's other work
// weighs on both alike; that work only ever adds time.
Timing bestOf(const std::function<void()>& linkWork, const std::function<void()>& rawWork)
{
    auto elapsed = [](const std::function<void()>& work) {
        QElapsedTimer timer;
        timer.start();
        work();
        return timer.nsecsElapsed() / 1e9;
    };
    Timing best {elapsed(linkWork), elapsed(rawWork)};
    for (int i = 1; i < rounds; ++i)
        best = {std::min(best.link, elapsed(linkWork)), std::min(best.raw, elapsed(rawWork))};
    return best;
}

double seconds(const std::function<void()>& work)
{
    return bestOf(work, [] {}).link;
}

void rawSend(RawLine& line, const std::vector<std::string>& frames)
{
    for (const std::string& frame : frames) {
        line.write(frame);
        line.readFrame();
    }
}

void rawFetch(RawLine& line, const std::string& request, const std::string& ack, int pieces)
{
    line.write(request);
    for (int k = 1; k <= pieces; ++k) {
        line.readFrame();
        if (k < pieces)
            line.write(ack);
    }
}

// The announcement and every piece of a send, as the link frames them.
std::vector<std::string> sendFrames(const std::string& data, int chunk)
{
    std::vector<std::string> frames{frameOf(fileRequest(calcMsg::SEND_FILE, int(data.size())))};
    for (size_t offset = 0, n = 0; offset <= data.size(); offset += size_t(chunk), ++n) {
        calcMsg piece;
        piece.set_type(calcMsg::FRAME);
        const std::string bytes = data.substr(offset, size_t(chunk));
        piece.mutable_frame()->set_framenum(int(n));
        piece.mutable_frame()->set_size(int(bytes.size()));
        piece.mutable_frame()->add_data(bytes);
        frames.push_back(frameOf(piece));
    }
    return frames;
}

void report(const char* what, int chunk, const Timing& timing)
{
    const double linkRate = fileSize / kib / timing.link;
    const double rawRate = fileSize / kib / timing.raw;
    std::printf("%-5s chunk %4d: link %8.0f KiB/s, stop-and-wait %8.0f KiB/s, ratio %.2f\n", what, chunk, linkRate,
                rawRate, linkRate / rawRate);
}

// The link against one simulator, the raw loop against another of the same kind.
void throughput(int chunk)
{
    const std::string data = content(fileSize);
    const QByteArray bytes = QByteArray::fromStdString(data);
    calcsim::PluggedSimulator linkSim;
    calcsim::PluggedSimulator rawSim;
    for (calcsim::PluggedSimulator* sim : {&linkSim, &rawSim}) {
        sim->simulator().setChunkSize(chunk);
        sim->simulator().addFile(QByteArray::fromStdString(benchFile), bytes);
    }
    const TaviCalc::fileInf file = fileRequest(calcMsg::GET_FILE, fileSize).finf();
    CTaviCalc link{QSerialPortInfo(linkSim.portName())};
    RawLine line(rawSim->devicePath());
    const std::vector<std::string> frames = sendFrames(data, chunk);
    calcMsg success;
    success.set_type(calcMsg::SUCCESS);
    const std::string ack = frameOf(success);
    const std::string request = frameOf(fileRequest(calcMsg::GET_FILE, fileSize));
    const int pieces = (fileSize + chunk - 1) / chunk;

    report("send", chunk, bestOf([&] { link.sendFile(file, bytes); }, [&] { rawSend(line, frames); }));
    report("fetch", chunk,
           bestOf([&] { link.getData(file); }, [&] { rawFetch(line, request, ack, pieces); }));
}

// Writes the files into a ZIP archive in memory as the backup does: deflate at level 6,
// streamed entries.
void compress(const std::vector<std::pair<std::string, std::string>>& files)
{
    std::vector<char> out(files.size() * backupFileSize * 2 + 65536);
    size_t used = 0;
    archive* zip = archive_write_new();
    archive_write_set_format_zip(zip);
    archive_write_set_format_option(zip, "zip", "compression-level", "6");
    archive_write_set_bytes_per_block(zip, 0);
    archive_write_open_memory(zip, out.data(), out.size(), &used);
    for (const auto& file : files) {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname_utf8(entry, file.first.c_str());
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_perm(entry, 0644);
        archive_write_header(zip, entry);
        archive_write_data(zip, file.second.data(), file.second.size());
        archive_write_finish_entry(zip);
        archive_entry_free(entry);
    }
    archive_write_free(zip);
}

void backup()
{
    calcsim::PluggedSimulator sim;
    std::vector<std::pair<std::string, std::string>> files;
    for (int i = 0; i < backupFiles; ++i) {
        files.emplace_back("F" + std::to_string(i) + ".bin", content(backupFileSize + i));
        sim->addFile(QByteArray::fromStdString(files.back().first), QByteArray::fromStdString(files.back().second));
    }
    CTaviCalc link{QSerialPortInfo(sim.portName())};
    const double backupSeconds = seconds([&] { link.createBackup(); });
    const double fetchSeconds = seconds([&] {
        for (const auto& file : files)
            link.getData(fileRequest(calcMsg::GET_FILE, int(file.second.size()), file.first).finf());
    });
    const double compressSeconds = seconds([&] { compress(files); });
    std::printf("backup of %d files of %d KiB: %.3f s; fetching %.3f s + compressing %.3f s = %.3f s, ratio %.2f\n",
                backupFiles, backupFileSize / 1024, backupSeconds, fetchSeconds, compressSeconds,
                fetchSeconds + compressSeconds, (fetchSeconds + compressSeconds) / backupSeconds);
}

} // namespace

int main(int argc, char* argv[])
{
    QString why;
    if (!calcsim::VirtualUsbBus::isolate(&why)) {
        std::fprintf(stderr, "cannot set up the virtual USB bus: %s\n", qPrintable(why));
        return EXIT_FAILURE;
    }
    QCoreApplication app(argc, argv);
    // The backup's temporary archive stays in a folder of this run.
    QTemporaryDir temporary;
    qputenv("TMPDIR", QFile::encodeName(temporary.path()));
    for (int chunk : {512, 4096})
        throughput(chunk);
    backup();
    return EXIT_SUCCESS;
}
