#include "session/CTaviCalcSession.h"

#include "link/LinkTexts.h"
#include "session/CTaviWorker.h"
#include "session/SessionTexts.h"
#include "session/TaviFileModel.h"

#include <QStringList>

namespace {

// A substring test, not an extension test: either mark anywhere in the name will do.
bool isProgramFile(const QString& name)
{
    return name.contains(SessionTexts::programMarkLower) || name.contains(SessionTexts::programMarkUpper);
}

// "0435", "1F600": upper-case hexadecimal, at least four digits.
QString codePointText(uint code)
{
    return QString::number(code, 16).toUpper().rightJustified(SessionTexts::characterCodeDigits, QLatin1Char('0'));
}

} // namespace

// The editor's fetch runs on the main thread, outside the job pattern. A fetch that fails
// opens no editor: an empty editor would look like an empty program.
void CTaviCalcSession::downloadForEdit(int row)
{
    const FileEntry entry = fileModel->getFileInfAt(row);
    if (entry == FileEntry(QString(""), 0)) {
        onStatusChange(SessionTexts::fileInfoError);
        return;
    }
    if (!isProgramFile(entry.first)) {
        onStatusChange(SessionTexts::fileTypeError);
        return;
    }
    // A worker running a job belongs to the job's thread.
    CTaviWorker* worker = currentWorker();
    if (!worker || isInJob(worker))
        return;
    worker->fileList = {entry};
    bool opened = false;
    const QMetaObject::Connection watch = connect(this, &CTaviCalcSession::openEditFromCalc, [&opened] { opened = true; });
    connect(worker, SIGNAL(fileForEditRecv(QString,QString)), this, SIGNAL(openEditFromCalc(QString,QString)));
    const QString failure = runReporting(worker, [worker] { worker->getFileForEdit(); });
    disconnect(worker, SIGNAL(fileForEditRecv(QString,QString)), this, SIGNAL(openEditFromCalc(QString,QString)));
    disconnect(watch);
    worker->fileList.clear();
    if (!opened)
        showEditorFailure(failure);
}

// The editor's send runs on the main thread; the link's error texts arrive before it returns.
// A program holding characters that the calculator lacks is refused on the status line
// alone: it is the editor's text to mend, not a failed transfer for the error dialog. So is
// a send to a calculator whose file list is unknown, as every send to it is.
bool CTaviCalcSession::sendFileFromEdit(QString fileName, QString fileData)
{
    pollIfSwapped(pinnedWorker(editorPin));
    if (hasLeft(editorPin)) {
        onStatusChange(SessionTexts::notConnected);
        return false;
    }
    CTaviWorker* worker = pinnedWorker(editorPin);
    if (!worker) {
        onStatusChange(SessionTexts::noCalculatorToSend);
        return false;
    }
    if (isInJob(worker) || refuseUnknownList(worker))
        return false;
    const QString missing = missingCodesText(fileData);
    if (!missing.isEmpty()) {
        onStatusChange(SessionTexts::errorPrefix + missing);
        return false;
    }
    const QString failure = runReporting(worker, [&] { worker->sendFileFromEdit(fileName, fileData); });
    onFilesListChange();
    const QString outcome = failure.isEmpty()
                                ? SessionTexts::programSentBefore + fileName + SessionTexts::programSentAfter
                                : SessionTexts::errorPrefix + failure;
    onStatusChange(withUnknownListNotice(outcome));
    return failure.isEmpty();
}

// Runs a call of the worker on the main thread, where the texts it relays arrive before it
// returns; gives them all, joined as a job's are, empty when there was none.
QString CTaviCalcSession::runReporting(CTaviWorker* worker, const std::function<void()>& call)
{
    QStringList reported;
    const QMetaObject::Connection watch = connect(worker, &CTaviWorker::errorNotify,
                                                  [this, &reported](const QString& text) { noteFailure(reported, text); });
    call();
    disconnect(watch);
    return reported.join(SessionTexts::failureSeparator);
}

// A failure that came without a text of the link's is still shown, as a read that failed.
void CTaviCalcSession::showEditorFailure(const QString& reported)
{
    const QString text = reported.isEmpty() ? QString(LinkTexts::readDevice) : reported;
    if (reported.isEmpty())
        onErrorChange(text);
    onStatusChange(SessionTexts::errorPrefix + text);
}

// Nothing is turned into another character on its way out: the editor's send and save both
// refuse a program holding a character that has no calculator code, and this names each such
// character once, in the order of the text; empty when every character has a code.
QString CTaviCalcSession::missingCodesText(const QString& program)
{
    QStringList missing;
    for (const uint code : program.toUcs4()) {
        if (code <= SessionTexts::lastCalculatorCode)
            continue;
        const QString character = QString::fromLatin1(SessionTexts::characterWithCode)
                                      .arg(QString::fromUcs4(&code, 1), codePointText(code));
        if (!missing.contains(character))
            missing << character;
    }
    return missing.isEmpty() ? QString() : SessionTexts::noCalculatorCode + missing.join(SessionTexts::nameSeparator);
}
