#include "session/CTaviCalcSession.h"

#include "link/CTaviCalc.h"
#include "session/SessionTexts.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>

#include <cerrno>
#include <cstdio>

#include <unistd.h>

namespace {

bool isSameFile(const QString& first, const QString& second)
{
    const QString canonical = QFileInfo(first).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(second).canonicalFilePath();
}

// A short write (a full disk) does not stop QSaveFile's commit by itself: checked here, the
// partial copy is discarded and the old file stays.
bool commitWhole(QSaveFile& file, const QByteArray& bytes)
{
    return file.write(bytes) == bytes.size() && file.flush() && file.commit();
}

// Across file systems: a whole copy is written beside the target and renamed over it.
bool copyOver(const QString& from, const QString& to)
{
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = source.readAll();
    QSaveFile target(to);
    if (bytes.size() != source.size() || !target.open(QIODevice::WriteOnly) || !commitWhole(target, bytes))
        return false;
    source.remove();
    return true;
}

// Within one file system rename(2) replaces an existing target in one step, so the target is
// never missing meanwhile (QFile::rename refuses an existing target instead).
bool moveOver(const QString& from, const QString& to)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (std::rename(source.constData(), target.constData()) == 0)
        return true;
    return errno == EXDEV && copyOver(from, to);
}

// Written beside the old file and renamed over it, so a failed write keeps the old program.
bool writeProgram(const QString& fileName, const QString& text)
{
    QSaveFile file(fileName);
    // In a folder that takes no new files, an existing writable file is still written.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return false;
    return commitWhole(file, CTaviCalc::programBytes(text));
}

// Moves without replacing anything at the target, not even a dangling link, which is
// neither followed nor written through; 0 when moved, else the error (EEXIST: name taken).
// Once the new name holds the file, a failure to drop the old one loses nothing: the next
// backup removes it before writing there.
int moveToNewName(const QString& from, const QString& to)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (::link(source.constData(), target.constData()) != 0)
        return errno;
    ::unlink(source.constData());
    return 0;
}

// Letters, digits, "-" and "_" stay; every other character becomes "_".
QString fileNameSafe(const QString& name)
{
    QString safe = name.left(SessionTexts::maxKeptCalcNameLength);
    for (QChar& c : safe) {
        if (!c.isLetterOrNumber() && c != QLatin1Char('-') && c != QLatin1Char('_'))
            c = QLatin1Char('_');
    }
    return safe;
}

} // namespace

QString CTaviCalcSession::getProgramName(bool withVersion)
{
    QString name = SessionTexts::programName;
    if (withVersion)
        name += SessionTexts::programVersion;
    return name;
}

QString CTaviCalcSession::getInfo()
{
    return QStringList{getProgramName(true), SessionTexts::copyright, SessionTexts::rightsNotice,
                       SessionTexts::calculatorNotice}
        .join("\n\n");
}

QString CTaviCalcSession::fileNameFromUrl(QUrl fileUrl)
{
    return fileUrl.fileName();
}

// The folder keeps its trailing separator, so folder + file name gives the path back.
QString CTaviCalcSession::fileDirFromUrl(QUrl fileUrl)
{
    QString folder = fileUrl.toLocalFile();
    folder.chop(fileUrl.fileName().size());
    return folder;
}

bool CTaviCalcSession::saveFileOnComputer(QString fileName, QString fileData)
{
    QString failure = missingCodesText(fileData);
    if (failure.isEmpty() && !writeProgram(fileName, fileData))
        failure = SessionTexts::programNotSaved;
    if (!failure.isEmpty())
        onStatusChange(SessionTexts::errorPrefix + failure);
    return failure.isEmpty();
}

// Saving the archive onto its own path keeps it, also from the removal that follows the save.
// Whatever stood at the new path is replaced only by the whole archive; on failure it stays,
// and so does the archive.
bool CTaviCalcSession::renameBackup(QString oldName, QString newName)
{
    if (isSameFile(oldName, newName)) {
        keptBackup = oldName;
        return true;
    }
    return moveOver(oldName, newName);
}

// The temporary archive has one fixed name that every backup replaces; a kept archive gets
// a name that none takes: the calculator's name, the time and, when taken, a counter.
QString CTaviCalcSession::keepFailedBackup(QString archive)
{
    const QString base = QFileInfo(archive).absolutePath() + QLatin1Char('/') + SessionTexts::keptBackupPrefix
                         + fileNameSafe(backupCalcName) + QLatin1Char('-')
                         + QDateTime::currentDateTime().toString(SessionTexts::keptBackupTime);
    for (int count = 1;; ++count) {
        const QString kept =
            base + (count > 1 ? QLatin1Char('-') + QString::number(count) : QString()) + SessionTexts::backupSuffix;
        const int failure = moveToNewName(archive, kept);
        if (failure == 0)
            return kept;
        if (failure != EEXIST)
            return archive;
    }
}

// A folder is not replaced (the save fails), nor is a file saved onto itself (source).
bool CTaviCalcSession::replacesUnasked(QObject* dialog, QUrl chosen, QString path, QString source)
{
    const QFileInfo target(path);
    const bool replaces = target.isSymLink() || (target.exists() && !target.isDir());
    if (!replaces || isSameFile(path, source))
        return false;
    const bool dialogAsked =
        dialog && !dialog->inherits(SessionTexts::qmlFileDialogClass) && chosen.toLocalFile() == path;
    return !dialogAsked;
}

void CTaviCalcSession::removeFile(QString name)
{
    const bool kept = isSameFile(name, keptBackup);
    keptBackup.clear();
    if (!kept)
        QFile::remove(name);
}
