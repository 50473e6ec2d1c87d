#include "link/CTaviCalc.h"

#include "link/LinkTexts.h"
#include "link/ZipArchive.h"

#include <QDir>
#include <QThread>

using TaviCalc::calcMsg;

namespace {

const QString backupFileName = QStringLiteral("/calc-backup.tbk");
constexpr int backupLevel = 6;

// The names of the file entries from the index on, as a restore sends them.
QStringList entryNames(const ZipArchive& archive, int from)
{
    QStringList names;
    for (const QByteArray& name : archive.fileNamesFrom(from))
        names.append(QString::fromUtf8(name));
    return names;
}

} // namespace

std::optional<QString> CTaviCalc::createBackup()
{
    if (!sendMessage(calcMsg::GET_BACKUP_INFO))
        return std::nullopt;
    const std::optional<std::vector<TaviCalc::fileInf>> files = readBackupList();
    if (!files || files->empty())
        return std::nullopt;
    const QString path = QDir::tempPath() + backupFileName;
    return writeBackup(path, *files) ? path : QString();
}

// The calculator sends the list without waiting for acknowledgements and ends it with a
// record of no name.
std::optional<std::vector<TaviCalc::fileInf>> CTaviCalc::readBackupList()
{
    std::vector<TaviCalc::fileInf> files;
    calcMsg answer;
    for (;;) {
        if (!receiveAnswer(answer))
            return std::nullopt;
        if (answer.type() != calcMsg::SEND_FILE_INF) {
            onError(LinkTexts::incorrectResponse);
            return std::nullopt;
        }
        if (answer.finf().name().empty())
            return files;
        files.push_back(answer.finf());
    }
}

bool CTaviCalc::writeBackup(const QString& path, const std::vector<TaviCalc::fileInf>& files)
{
    const std::unique_ptr<ZipArchive> archive = ZipArchive::openForWriting(path, backupLevel);
    if (!archive) {
        onError(LinkTexts::cantWriteBackup);
        return false;
    }
    for (const TaviCalc::fileInf& file : files) {
        if (!archiveFile(*archive, file))
            return false;
    }
    // Only now has every block reached the file: a full disk shows here.
    if (!archive->finish()) {
        onError(LinkTexts::cantWriteBackup);
        return false;
    }
    return true;
}

bool CTaviCalc::archiveFile(ZipArchive& archive, const TaviCalc::fileInf& file)
{
    // An empty file belongs in the backup too.
    const std::optional<QByteArray> content = fetch(file);
    if (!content || !archive.openEntry(QByteArray::fromStdString(file.name())))
        return false;
    const bool written = archive.write(*content);
    if (!written)
        onError(LinkTexts::cantWriteBackup);
    archive.closeEntry();
    return written;
}

void CTaviCalc::restoreBackup(const QUrl& url)
{
    std::unique_ptr<ZipArchive> archive = ZipArchive::openForReading(url.toLocalFile());
    // The calculator keeps its files unless every entry of the archive can be read.
    if (!archive) {
        onError(LinkTexts::cantOpenBackup);
        return;
    }
    if (!archive->isWhole()) {
        onError(LinkTexts::cantReadBackup);
        return;
    }
    if (!clearForRestore(entryNames(*archive, 0)))
        return;
    const int entries = archive->count();
    int index = 0;
    int sentBefore = requestsSent;
    for (; index < entries; ++index) {
        sentBefore = requestsSent;
        if (!restoreEntry(*archive, index))
            break;
    }
    if (index < entries) {
        const QStringList failed = entryNames(*archive, index).mid(0, 1);
        const QStringList after = entryNames(*archive, index + 1);
        const bool unanswered = wasUnanswered(sentBefore);
        if (!regainedAfter(unanswered ? after : failed + after, unanswered ? failed : QStringList()))
            return;
    }
    archive.reset();
    calcMsg answer;
    if (!sendCommand(calcMsg::REBOOT, answer))
        return;
    if (answer.type() != calcMsg::SUCCESS) {
        onError(LinkTexts::cantReboot);
        return;
    }
    reopenAfterReboot();
}

// Sends one file entry, passing over directories. False when the calculator did not take it,
// or when the entry no longer reads (the archive changed since it was read through): either
// ends the restore.
bool CTaviCalc::restoreEntry(ZipArchive& archive, int index)
{
    if (archive.openEntry(index) && archive.isDirectory() == true)
        return true;
    const std::optional<QByteArray> content = archive.readEntry();
    if (!content) {
        onError(LinkTexts::cantReadBackup);
        return false;
    }
    return sendFile(fileInfOf(archive.entryName(), content->size()), *content);
}

// False when the calculator was not cleared, or may have been: then nothing is sent, and every
// file of the archive is named as not done.
bool CTaviCalc::clearForRestore(const QStringList& files)
{
    calcMsg answer;
    const int sentBefore = requestsSent;
    if (sendCommand(calcMsg::CLEAR_FILESYSTEM, answer)) {
        if (answer.type() == calcMsg::SUCCESS)
            return true;
        onError(LinkTexts::cantClear);
    } else if (wasUnanswered(sentBefore)) {
        onError(LinkTexts::mayBeCleared);
    }
    reportUndone(files, {});
    return false;
}

// After an entry failed, the files not restored are named; the calculator is rebooted only
// once the link is back in step: a restore that lost step sends nothing more.
bool CTaviCalc::regainedAfter(const QStringList& notDone, const QStringList& notKnown)
{
    reportUndone(notDone, notKnown);
    const bool regained = inStep();
    tellIfLost();
    return regained;
}

// The calculator no longer hears the line until it has restarted.
void CTaviCalc::reopenAfterReboot()
{
    line->restarts();
    port->close();
    QThread::msleep(timeouts().rebootPause);
    if (!openPort())
        onError(LinkTexts::cantConnect);
}
