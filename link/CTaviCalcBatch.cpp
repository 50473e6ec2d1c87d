#include "link/CTaviCalc.h"

#include <QFile>
#include <QSaveFile>

#include <limits>

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

} // namespace

// The last segment of a URL path holds no slash, even one that was escaped; a NUL would cut
// the path the system is given short of the name.
QString CTaviCalc::localFileName(const QString& calcName)
{
    const QString name = QUrl(calcName, QUrl::TolerantMode).fileName(QUrl::FullyDecoded);
    const bool escapes = name == QLatin1String(".") || name == QLatin1String("..")
                         || name.contains(QLatin1Char('\\')) || name.contains(QChar(0));
    return escapes ? QString() : name;
}

// A calculator file of no bytes takes no exchange: it is simply empty.
std::optional<QByteArray> CTaviCalc::fetch(const TaviCalc::fileInf& fInf)
{
    return fInf.size() == 0 ? QByteArray() : getData(fInf);
}

void CTaviCalc::genSendFilesRequest(QList<SendItem> items)
{
    for (const SendItem& item : items)
        sendLocalFile(item);
}

// A file that does not open is passed over; one whose size no calculator file can have, or
// that does not read whole, is refused rather than sent cut short.
void CTaviCalc::sendLocalFile(const SendItem& item)
{
    const QString name = storedFileName(item.second);
    QFile file(item.first);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray data = file.size() <= largestFileSize ? file.readAll() : QByteArray();
    if (data.size() != file.size())
        reportFailure(TaviCalc::calcMsg::DATASIZE_INVALID);
    else if (sendFile(fileInfOf(name.toUtf8(), data.size()), data))
        emit fileSend({name, data.size()});
}

QList<QUrl> CTaviCalc::genGetFilesRequest(QList<FileEntry> files, QString folder)
{
    QList<QUrl> written;
    for (const FileEntry& entry : files) {
        const std::optional<QByteArray> content = fetch(fileInfOf(entry));
        if (!content)
            continue;
        const QString name = localFileName(entry.first);
        const QString path = folder + QLatin1Char('/') + name;
        if (!name.isEmpty() && saveWhole(path, *content))
            written.append(QUrl::fromLocalFile(path));
    }
    return written;
}

void CTaviCalc::genDelFilesRequest(QList<FileEntry> files)
{
    for (const FileEntry& entry : files) {
        if (delFile(fileInfOf(entry)))
            emit fileDeleted(entry.first);
    }
}

QPair<QString, QString> CTaviCalc::genGetFileString(FileEntry entry)
{
    const std::optional<QByteArray> content = fetch(fileInfOf(entry));
    if (!content)
        return {};
    return {entry.first, programText(*content)};
}

void CTaviCalc::genSendFileString(const QString& fileName, const QString& fileText)
{
    QByteArray bytes = fileText.toLatin1();
    if (!bytes.endsWith(lineFeed))
        bytes.append(lineFeed);
    sendFile(fileInfOf(fileName.toUtf8(), bytes.size()), bytes);
}
