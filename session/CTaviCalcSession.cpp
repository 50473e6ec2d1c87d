#include "session/CTaviCalcSession.h"

#include "link/CTaviCalc.h"
#include "session/CTaviWorker.h"
#include "session/SessionTexts.h"
#include "session/TaviCalcModel.h"
#include "session/TaviFileModel.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include <algorithm>

namespace {

// A job's note on the files it did not handle: the lead, then their names; none, no note.
QString namesNote(const char* lead, const QStringList& names)
{
    return names.isEmpty() ? QString() : lead + names.join(SessionTexts::nameSeparator);
}

} // namespace

CTaviCalcSession::CTaviCalcSession(QObject* parent)
    : QObject(parent)
{
    // QML hands URL arrays to toCalcUrls; FileEntry is the argument of onFileSend.
    qRegisterMetaType<QList<QUrl>>("QList<QUrl>");
    qRegisterMetaType<FileEntry>("FileEntry");
}

// Running jobs end first; their workers and every other worker go with the session.
CTaviCalcSession::~CTaviCalcSession()
{
    QList<CTaviWorker*> owned = workers;
    for (const Job& job : qAsConst(jobs)) {
        // The job's worker may already have asked the thread to quit through an event that
        // the main thread will not process any more.
        job.thread->quit();
        job.thread->wait();
        delete job.thread;
        if (!owned.contains(job.worker))
            owned.append(job.worker);
    }
    qDeleteAll(owned);
}

void CTaviCalcSession::initialize(TaviCalcModel* calcModel, TaviFileModel* fileModel)
{
    this->calcModel = calcModel;
    this->fileModel = fileModel;
    connect(calcModel, SIGNAL(indexOrSizeChange(int)), this, SLOT(onIndexChange(int)));
    pollTimer = new QTimer(this);
    connect(pollTimer, SIGNAL(timeout()), this, SLOT(update()));
    pollTimer->start(pollIntervalMs);
    QStringList names;
    for (const CTaviWorker* worker : qAsConst(workers))
        names.append(worker->getDeviceName());
    calcModel->initialize(names);
    if (const CTaviWorker* worker = currentWorker())
        fileModel->initialize(worker->getFilesInfo());
}

int CTaviCalcSession::getMaxFileNameLen() const
{
    return maxFileNameLength;
}

// Calculators are matched by port and serial number; all removals come before any addition.
void CTaviCalcSession::update()
{
    QList<QSerialPortInfo> found = CTaviCalc::findCalcs();
    int row = 0;
    while (row < workers.size()) {
        const CTaviWorker* worker = workers.at(row);
        const auto match = std::find_if(found.begin(), found.end(),
                                        [worker](const QSerialPortInfo& port) { return worker->isOn(port); });
        if (match == found.end()) {
            dropWorker(row);
            continue;
        }
        found.erase(match);
        ++row;
    }
    for (const QSerialPortInfo& port : qAsConst(found))
        addCalc(port);
}

// A calculator swapped in on the worker's port since the last poll, between two ticks or while
// the main thread was held, is another calculator: the poll runs at once, so the worker of the
// one that left goes before anything acts on it.
void CTaviCalcSession::pollIfSwapped(const CTaviWorker* worker)
{
    if (worker && !worker->isOn(QSerialPortInfo(worker->getPortName())))
        update();
}

// The worker leaves the list before its row goes, since the model's announcement reads the
// list at once; a worker still running a job is released when that job has ended.
void CTaviCalcSession::dropWorker(int row)
{
    CTaviWorker* worker = workers.takeAt(row);
    calcModel->deleteAt(row);
    if (!isInJob(worker))
        delete worker;
}

void CTaviCalcSession::addCalc(QSerialPortInfo port)
{
    auto* worker = new CTaviWorker(port, nullptr);
    connect(worker, SIGNAL(errorNotify(QString)), this, SLOT(onErrorChange(QString)));
    connect(worker, &CTaviWorker::filesNotSent, this,
            [this](const QStringList& paths) { sendPassedOver = paths; });
    connect(worker, &CTaviWorker::filesDownloaded, this, &CTaviCalcSession::filesDownloaded);
    raiseFirstWindow();
    workers.append(worker);
    calcModel->pushBack(worker->getDeviceName());
    emit connectNewCalc();
}

// The status line starts afresh for the calculator now current.
void CTaviCalcSession::onIndexChange(int newIndex)
{
    const int oldIndex = currentIndex;
    currentIndex = newIndex;
    onStatusChange(unknownListNotice());
    reloadFileModel();
    emit indexChanged(oldIndex, newIndex);
}

void CTaviCalcSession::onFilesListChange()
{
    reloadFileModel();
}

void CTaviCalcSession::onDevNameChange()
{
    if (const CTaviWorker* worker = currentWorker())
        calcModel->changeName(worker->getDeviceName());
}

void CTaviCalcSession::reloadFileModel()
{
    fileModel->clear();
    if (const CTaviWorker* worker = currentWorker())
        fileModel->setFileNames(worker->getFilesInfo());
}

CTaviWorker* CTaviCalcSession::currentWorker() const
{
    return workers.value(currentIndex, nullptr);
}

// Kept until the next operation pins its own: the answers to its questions come later.
void CTaviCalcSession::pinCalculator()
{
    windowPin = {currentWorker(), true};
    selectedFiles.clear();
}

// The editor's send never touches the main window's pending operation or its selection.
void CTaviCalcSession::pinEditorCalculator()
{
    editorPin = {currentWorker(), true};
}

// The pinned calculator while it is listed, else the current one when none is pinned; null
// when there is none. The pinned one need not be current: the editor's send dialog leaves
// the main window free to choose another.
CTaviWorker* CTaviCalcSession::pinnedWorker(const Pin& pin) const
{
    if (!pin.isSet)
        return currentWorker();
    return workers.contains(pin.worker.data()) ? pin.worker.data() : nullptr;
}

// The main window's operation's calculator.
CTaviWorker* CTaviCalcSession::operationWorker() const
{
    return pinnedWorker(windowPin);
}

bool CTaviCalcSession::hasLeft(const Pin& pin) const
{
    return pin.isSet && !pinnedWorker(pin);
}

// A pinned calculator that is no longer listed ends the main window's operation: nothing of
// it starts anywhere else, and the user is told.
bool CTaviCalcSession::pinnedLeft()
{
    if (!hasLeft(windowPin))
        return false;
    selectedFiles.clear();
    sendList.clear();
    toCalcExistingCollisions.clear();
    toCalcNameCollisions.clear();
    downloadList.clear();
    fromCalcCollisions.clear();
    onStatusChange(SessionTexts::notConnected);
    return true;
}

void CTaviCalcSession::onErrorChange(QString errorText)
{
    error = errorText;
    emit errorChange();
    raiseFirstWindow();
}

void CTaviCalcSession::raiseFirstWindow()
{
    const QWindowList windows = QGuiApplication::topLevelWindows();
    if (windows.isEmpty())
        return;
    windows.first()->raise();
    windows.first()->requestActivate();
}

void CTaviCalcSession::onStatusChange(QString newStatus)
{
    statusLineText = newStatus;
    emit statusLineTextChange();
}

void CTaviCalcSession::onIAmBusy()
{
    isBusy = true;
    emit isBusyChange();
}

void CTaviCalcSession::onIAmNotBusy()
{
    isBusy = false;
    emit isBusyChange();
}

void CTaviCalcSession::onFileDelete(QString fName)
{
    fileModel->deleteByName(fName);
}

void CTaviCalcSession::onFileSend(FileEntry fInf)
{
    fileModel->addFile(fInf);
}

// The job's outcome: every error text it reported, or its success text, then the note.
// The error text itself may have been cleared by the window meanwhile; the job's own record
// decides.
void CTaviCalcSession::showOutcome(const QString& successText, const QString& note)
{
    const QString failures = jobFailures.join(SessionTexts::failureSeparator);
    const QString outcome = failures.isEmpty() ? successText : SessionTexts::errorPrefix + failures;
    onStatusChange(withUnknownListNotice(outcome + note));
}

// Files that were chosen but not sent are named after the outcome: those set aside at the
// choice, then those the job found gone.
void CTaviCalcSession::onSendFilesEnd()
{
    QStringList notSent = toCalcSetAside;
    for (const QString& path : qAsConst(sendPassedOver))
        notSent.append(QFileInfo(path).fileName());
    showOutcome(SessionTexts::filesSent, namesNote(SessionTexts::notSent, notSent));
}

void CTaviCalcSession::onDownloadFilesEnd()
{
    showOutcome(SessionTexts::filesDownloaded + downloadDir + "/",
                namesNote(SessionTexts::notDownloaded, fromCalcSetAside));
}

void CTaviCalcSession::onDeleteSelectedFilesEnd()
{
    showOutcome(SessionTexts::filesDeleted);
}

void CTaviCalcSession::onRestoreBackupEnd()
{
    showOutcome(SessionTexts::backupSent);
}

void CTaviCalcSession::onChangeCalcNameEnd()
{
    showOutcome(SessionTexts::nameChanged);
}
