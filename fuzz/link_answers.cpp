// The link's handling of whatever a calculator answers. A fake calculator on a pseudo-terminal,
// plugged into the virtual USB bus, writes its whole side of the line as soon as the link's
// first request arrives (what waits before it, the link discards as left over from an earlier
// dialogue): answers built from the input (any type, absurd counts, sizes, frame numbers
// and chunk sizes), payloads that may not decode, and stray bytes. A real link on a real
// serial port then runs one operation against it: the device information that every link
// reads first, then a file list, a fetch, a send, a delete, a rename, a backup or a restore.
#include "FuzzInput.h"
#include "KnownTexts.h"

#include "link/CTaviCalc.h"
#include "link/ZipArchive.h"
#include "protocol/Frame.h"
#include "protocol/FrameReader.h"

#include "PseudoTerminal.h"
#include "VirtualUsbBus.h"

#include <QCoreApplication>
#include <QDir>
#include <QSet>
#include <QTemporaryDir>

#include <poll.h>
#include <thread>
#include <unistd.h>

using TaviCalc::calcMsg;

namespace {

// Short enough that running out of answers costs little, long enough for the line, which
// the fake calculator writes only once the first request has arrived.
constexpr CTaviCalc::Timeouts fuzzTimeouts{100, 10, 1, 0};
// How long the fake calculator waits for that request: a link always asks first.
constexpr int requestWaitMs = 5000;
// A list that claims more records than it brings waits for each missing one, as it must;
// inputs that claim more than this would only measure those waits.
constexpr int mostListedFiles = 1000;
constexpr int mostFiles = 3;
// The downloads and the local files.
constexpr int workFolders = 2;

enum class Operation { DeviceInfo, FileList, Fetch, Send, Delete, Rename, Backup, Restore, Count };

// What the input chose for one run.
struct Script
{
    Operation operation = Operation::DeviceInfo;
    QList<FileEntry> files;   // fetched, deleted, sent (their sizes) or restored
    QByteArray name;          // the new calculator name
    QByteArray line;          // the calculator's side of the line
};

qint32 takeInt(fuzz::FuzzInput& input)
{
    const quint16 low = input.takeWord();
    return qint32(quint32(low) | (quint32(input.takeWord()) << 16));
}

// Strings the fake calculator builds are UTF-8; raw payloads bring the others.
std::string takeText(fuzz::FuzzInput& input)
{
    return QString::fromUtf8(input.take(input.takeByte())).toUtf8().toStdString();
}

void takeFields(fuzz::FuzzInput& input, calcMsg& msg)
{
    const quint8 fields = input.takeByte();
    if (fields & 1)
        msg.set_numberoffiles(takeInt(input));
    if (fields & 2) {
        msg.mutable_finf()->set_name(takeText(input));
        msg.mutable_finf()->set_size(takeInt(input));
    }
    if (fields & 4) {
        TaviCalc::calcFrame* frame = msg.mutable_frame();
        frame->set_framenum(takeInt(input));
        frame->set_size(takeInt(input));
        for (int pieces = input.takeByte() % 3; pieces > 0; --pieces)
            frame->add_data(input.take(input.takeWord()).toStdString());
    }
    if (fields & 8) {
        msg.set_error(calcMsg::errType(takeInt(input)));
        msg.set_errornum(takeInt(input));
        msg.set_errorstr(takeText(input));
    }
    if (fields & 16) {
        TaviCalc::deviceInf* device = msg.mutable_devinf();
        device->set_name(takeText(input));
        device->set_hv(takeText(input));
        device->set_maxchunksize(takeInt(input));
    }
    if (fields & 32)
        msg.set_devname(takeText(input));
}

QByteArray framed(QByteArray payload)
{
    addSize(payload);
    addPreamble(payload);
    return payload;
}

// The line: a run of pieces, each a built answer, a raw payload in a frame or raw bytes.
QByteArray takeLine(fuzz::FuzzInput& input)
{
    enum Piece { Built, RawPayload, RawBytes, Pieces };
    QByteArray line;
    while (!input.atEnd()) {
        switch (input.takeByte() % Pieces) {
        case Built: {
            calcMsg msg;
            msg.set_type(calcMsg::msgType(input.takeByte() % (calcMsg::msgType_MAX + 2)));
            takeFields(input, msg);
            line += framed(QByteArray::fromStdString(msg.SerializeAsString()));
            break;
        }
        case RawPayload:
            line += framed(input.take(input.takeWord()));
            break;
        default:
            line += input.take(input.takeByte());
            break;
        }
    }
    return line;
}

Script takeScript(fuzz::FuzzInput& input)
{
    Script script;
    script.operation = Operation(input.takeByte() % int(Operation::Count));
    for (int count = input.takeByte() % (mostFiles + 1); count > 0; --count) {
        const QString name = QString::fromUtf8(input.take(input.takeByte()));
        script.files.append({name, int(input.takeWord())});
    }
    script.name = input.take(input.takeByte());
    script.line = takeLine(input);
    return script;
}

// The texts the link may show: its own, and the error texts of the answers on the line.
QSet<QString> allowedTexts(const QByteArray& line, bool* claimsTooMany)
{
    const QStringList known = knownLinkTexts();
    QSet<QString> texts(known.begin(), known.end());
    texts.insert(QString()); // an error kind the table does not know
    FrameReader reader;
    reader.feed(line);
    QByteArray payload;
    *claimsTooMany = false;
    while (reader.takeFrame(payload)) {
        calcMsg answer;
        answer.ParseFromArray(payload.constData(), payload.size());
        texts.insert(CTaviCalc::msgErrorToStr(answer));
        *claimsTooMany |= answer.type() == calcMsg::SEND_FILES_NUM && answer.numberoffiles() > mostListedFiles;
    }
    return texts;
}

// Where the run keeps its files: a folder that receives downloads, local files to send, an
// archive to restore; nothing may appear beside them.
class Workspace
{
public:
    Workspace()
    {
        fuzz::require(root.isValid(), "a temporary folder");
        // The backup writes its archive in the temporary folder.
        qputenv("TMPDIR", QFile::encodeName(root.path()));
    }

    void clear()
    {
        for (const QFileInfo& entry : entries()) {
            if (entry.isDir())
                QDir(entry.filePath()).removeRecursively();
            else
                QFile::remove(entry.filePath());
        }
        fuzz::require(QDir(root.path()).mkpath(downloads()) && QDir(root.path()).mkpath(locals()), "work folders");
    }

    QFileInfoList entries() const
    {
        return QDir(root.path()).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }

    QString downloads() const { return root.filePath(QStringLiteral("downloads")); }
    QString locals() const { return root.filePath(QStringLiteral("local")); }
    QString archive() const { return root.filePath(QStringLiteral("restore.tbk")); }

private:
    QTemporaryDir root;
};

Workspace* workspace = nullptr;

QByteArray contentOf(const FileEntry& file)
{
    QByteArray content(file.second, '\0');
    for (int i = 0; i < content.size(); ++i)
        content[i] = char(i * 7 + file.second);
    return content;
}

void checkDownloads(const QList<QUrl>& written, const QList<FileEntry>& files)
{
    const QDir folder(workspace->downloads());
    for (const QUrl& url : written) {
        const QFileInfo file(url.toLocalFile());
        fuzz::require(file.absolutePath() == folder.absolutePath(), "downloads stay in the chosen folder");
        bool sizeFits = false;
        for (const FileEntry& entry : files)
            sizeFits |= file.size() == entry.second;
        fuzz::require(sizeFits, "a download holds exactly the listed size");
    }
    fuzz::require(folder.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).size() <= written.size(),
                  "nothing but the listed downloads appears");
    fuzz::require(workspace->entries().size() == workFolders, "nothing appears beside the chosen folder");
}

void sendFiles(CTaviCalc& link, const QList<FileEntry>& files)
{
    QList<SendItem> items;
    for (const FileEntry& file : files) {
        const QString path = QDir(workspace->locals()).filePath(QString::number(items.size()));
        QFile local(path);
        fuzz::require(local.open(QIODevice::WriteOnly) && local.write(contentOf(file)) == file.second, "a local file");
        items.append({path, file.first});
    }
    link.genSendFilesRequest(items);
}

void writeArchive(const QList<FileEntry>& files)
{
    const std::unique_ptr<ZipArchive> archive = ZipArchive::openForWriting(workspace->archive(), 0);
    fuzz::require(archive != nullptr, "an archive to restore");
    for (const FileEntry& file : files) {
        if (archive->openEntry(file.first.toUtf8()))
            archive->write(contentOf(file));
        archive->closeEntry();
    }
}

// The names of the archive's files, in order, as the restore reads them.
QStringList archivedNames()
{
    QStringList names;
    const std::unique_ptr<ZipArchive> archive = ZipArchive::openForReading(workspace->archive());
    for (const QByteArray& name : archive ? archive->fileNamesFrom(0) : QList<QByteArray>())
        names.append(QString::fromUtf8(name));
    return names;
}

// A download that cannot write a file names its path in the chosen folder.
bool namesDownloadPath(const QString& text)
{
    const QString prefix = QString::fromUtf8(LinkTexts::cantWriteFile) + workspace->downloads() + QLatin1Char('/');
    return text.startsWith(prefix) && !text.mid(prefix.size()).isEmpty() && !text.mid(prefix.size()).contains(QLatin1Char('/'));
}

// A backup path comes back only for a whole archive whose every entry reads.
void checkBackup(const std::optional<QString>& path)
{
    if (!path || path->isEmpty())
        return;
    const std::unique_ptr<ZipArchive> archive = ZipArchive::openForReading(*path);
    fuzz::require(archive && archive->isWhole() && archive->count() > 0, "a finished backup opens whole and holds files");
    for (int index = 0; index < archive->count(); ++index) {
        fuzz::require(archive->openEntry(index) && archive->readEntry(), "every entry of a finished backup reads");
        archive->closeEntry();
    }
}

void run(CTaviCalc& link, const Script& script)
{
    switch (script.operation) {
    case Operation::FileList:
        link.getFilesInfo();
        break;
    case Operation::Fetch:
        checkDownloads(link.genGetFilesRequest(script.files, workspace->downloads()), script.files);
        break;
    case Operation::Send:
        sendFiles(link, script.files);
        break;
    case Operation::Delete:
        link.genDelFilesRequest(script.files);
        break;
    case Operation::Rename:
        link.setDeviceName(QString::fromUtf8(script.name));
        break;
    case Operation::Backup:
        checkBackup(link.createBackup());
        break;
    case Operation::Restore:
        link.restoreBackup(QUrl::fromLocalFile(workspace->archive()));
        break;
    case Operation::DeviceInfo:
    case Operation::Count:
        break;
    }
}

// The line goes out in one write once the link's first request is there; what the
// pseudo-terminal cannot hold never reaches the link.
std::thread answerFirstRequest(calcsim::PseudoTerminal& terminal, const QByteArray& line)
{
    return std::thread([&terminal, line] {
        pollfd request{terminal.masterDescriptor(), POLLIN, 0};
        if (::poll(&request, 1, requestWaitMs) == 1) {
            [[maybe_unused]] const ssize_t written =
                ::write(terminal.masterDescriptor(), line.constData(), size_t(line.size()));
        }
    });
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    QString why;
    if (!calcsim::VirtualUsbBus::isolate(&why)) {
        std::fprintf(stderr, "cannot set up the virtual USB bus (needs root): %s\n", qPrintable(why));
        std::exit(EXIT_FAILURE);
    }
    static QCoreApplication application(*argc, *argv);
    // Answers that do not decode are the point here, not news.
    google::protobuf::SetLogHandler(nullptr);
    static Workspace space;
    workspace = &space;
    CTaviCalc::setTimeoutsForTesting(fuzzTimeouts);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::FuzzInput input(data, size);
    const Script script = takeScript(input);
    workspace->clear();

    calcsim::PseudoTerminal terminal;
    fuzz::require(terminal.isOpen(), "a pseudo-terminal");
    bool claimsTooMany = false;
    const QSet<QString> allowed = allowedTexts(script.line, &claimsTooMany);
    if (claimsTooMany)
        return 0;
    const QString port = calcsim::VirtualUsbBus::plug(terminal.slavePath());
    fuzz::require(!port.isEmpty(), "the fake calculator plugged in");
    if (script.operation == Operation::Restore)
        writeArchive(script.files);
    QStringList names;
    for (const FileEntry& file : script.files)
        names.append(file.first);
    const QStringList undone = undoneTexts(script.operation == Operation::Restore ? archivedNames() : names);
    std::thread calculator = answerFirstRequest(terminal, script.line);
    {
        CTaviCalc link{QSerialPortInfo(port)};
        QObject::connect(&link, &CTaviCalc::errorNotify, [&](const QString& text) {
            fuzz::require(allowed.contains(text) || undone.contains(text) || namesDownloadPath(text),
                          "the link shows only its own texts and the calculator's");
        });
        run(link, script);
    }
    calculator.join();
    calcsim::VirtualUsbBus::unplug(port);
    return 0;
}
