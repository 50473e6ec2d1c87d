#include "link/CTaviCalc.h"

#include "link/LinkTexts.h"

#include <QFile>
#include <QSaveFile>

#include <limits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char lineFeed = '\n';
// The size field of a calculator file.
constexpr qint64 largestFileSize = std::numeric_limits<qint32>::max();

// Writes beside the target and renames over it, so an old file survives a failed write.
bool saveWhole(const QString& path, const QByteArray& content)
{
    QSaveFile file(path);
    // A full disk shows as a short write, not as an error.
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return false;
    return file.commit();
}

// Program text is Latin-1, up to its first null byte.
QString programText(const QByteArray& content)
{
    const int nul = content.indexOf('\0');
    return QString::fromLatin1(nul < 0 ? content : content.left(nul));
}

QStringList calcNames(const QList<FileEntry>& files)
{
    QStringList names;
    for (const FileEntry& entry : files)
        names.append(entry.first);
    return names;
}

} // namespace

// The last "/"-separated segment with its escapes decoded; nothing else is cut, so "#" and
// "?" stay part of the name. A tolerant path keeps a "%" that starts no escape as it is.
// What decodes to no name, to "." or "..", or to a name holding a separator would reach
// outside the folder, and a NUL would cut the name short: such a file has no local name.
QString CTaviCalc::localFileName(const QString& calcName)
{
    QUrl segment;
    segment.setPath(calcName.mid(calcName.lastIndexOf(QLatin1Char('/')) + 1), QUrl::TolerantMode);
    const QString name = segment.path(QUrl::FullyDecoded);
    const bool usable = !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
                        && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'))
                        && !name.contains(QChar(0));
    return usable ? name : QString();
}

// A calculator file of no bytes takes no exchange: it is simply empty.
std::optional<QByteArray> CTaviCalc::fetch(const TaviCalc::fileInf& fInf)
{
    return fInf.size() == 0 ? QByteArray() : getData(fInf);
}

// Each file's turn in list order. A failure ends only its own turn, unless the link cannot
// regain step after it: then the list ends at once rather than paying a wait for each file
// left. At the end the files whose turn failed or never came are named, apart from those whose
// request changes the calculator but went unanswered: the calculator may have acted on them.
void CTaviCalc::runInStep(const QStringList& names, Effect effect, const std::function<Turn(int)>& turn)
{
    QStringList notDone;
    QStringList notKnown;
    for (int index = 0; index < names.size(); ++index) {
        if (!inStep()) {
            notDone += names.mid(index);
            break;
        }
        const int sentBefore = requestsSent;
        if (turn(index) == Turn::Failed)
            (effect == Effect::Changes && wasUnanswered(sentBefore) ? notKnown : notDone).append(names.at(index));
    }
    reportUndone(notDone, notKnown);
}

// Whether a request went out since then and is still owed its answer.
bool CTaviCalc::wasUnanswered(int sentBefore) const
{
    return requestsSent > sentBefore && line->isOwed();
}

QStringList CTaviCalc::genSendFilesRequest(QList<SendItem> items)
{
    QStringList passedOver;
    QStringList names;
    for (const SendItem& item : items)
        names.append(item.second);
    runInStep(names, Effect::Changes, [&](int index) {
        const Turn turn = sendLocalFile(items.at(index));
        if (turn == Turn::PassedOver)
            passedOver.append(items.at(index).first);
        return turn;
    });
    return passedOver;
}

// A file that no longer opens, that is no regular file by now, or whose name leaves nothing
// to store it under, is passed over; one whose size no calculator file can have, or that does
// not read whole, is refused with a text rather than sent cut short. The opening does not wait
// (a FIFO in the file's place would hold the job for ever), and what is read is what was
// checked: the descriptor itself.
CTaviCalc::Turn CTaviCalc::sendLocalFile(const SendItem& item)
{
    const QString name = storedFileName(item.second);
    if (name.isEmpty())
        return Turn::PassedOver;
    const int handle = ::open(QFile::encodeName(item.first).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (handle < 0)
        return Turn::PassedOver;
    struct stat status {};
    QFile file;
    if (::fstat(handle, &status) != 0 || !S_ISREG(status.st_mode)
        || !file.open(handle, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(handle);
        return Turn::PassedOver;
    }
    const QByteArray data = file.size() <= largestFileSize ? file.readAll() : QByteArray();
    if (data.size() != file.size()) {
        reportFailure(TaviCalc::calcMsg::DATASIZE_INVALID);
        return Turn::Failed;
    }
    if (!sendFile(fileInfOf(name.toUtf8(), data.size()), data))
        return Turn::Failed;
    emit fileSend({name, data.size()});
    return Turn::Done;
}

// A calculator file without a local name is not even fetched; one that cannot be written is
// reported under its local path. Either way the list goes on.
QList<QUrl> CTaviCalc::genGetFilesRequest(QList<FileEntry> files, QString folder)
{
    QList<QUrl> written;
    runInStep(calcNames(files), Effect::Reads, [&](int index) {
        const FileEntry& entry = files.at(index);
        const QString name = localFileName(entry.first);
        if (name.isEmpty())
            return Turn::PassedOver;
        const std::optional<QByteArray> content = fetch(fileInfOf(entry));
        if (!content)
            return Turn::Failed;
        const QString path = folder + QLatin1Char('/') + name;
        if (!saveWhole(path, *content)) {
            onError(LinkTexts::cantWriteFile + path);
            return Turn::Failed;
        }
        const QUrl url = QUrl::fromLocalFile(path);
        if (!written.contains(url)) // a later file of one name replaced the earlier one
            written.append(url);
        return Turn::Done;
    });
    return written;
}

void CTaviCalc::genDelFilesRequest(QList<FileEntry> files)
{
    runInStep(calcNames(files), Effect::Changes, [&](int index) {
        if (!delFile(fileInfOf(files.at(index))))
            return Turn::Failed;
        emit fileDeleted(files.at(index).first);
        return Turn::Done;
    });
}

QPair<QString, QString> CTaviCalc::genGetFileString(FileEntry entry)
{
    const std::optional<QByteArray> content = fetch(fileInfOf(entry));
    if (!content)
        return {};
    return {entry.first, programText(*content)};
}

QByteArray CTaviCalc::programBytes(const QString& text)
{
    QByteArray bytes = text.toLatin1();
    if (!bytes.endsWith(lineFeed))
        bytes.append(lineFeed);
    return bytes;
}

void CTaviCalc::genSendFileString(const QString& fileName, const QString& fileText)
{
    const QByteArray bytes = programBytes(fileText);
    sendFile(fileInfOf(fileName.toUtf8(), bytes.size()), bytes);
}
