#include "session/CTaviWorker.h"

#include "link/CTaviCalc.h"

#include <QCoreApplication>

namespace {

// A read went through when the link reported no failure while it ran.
bool readsWhole(CTaviCalc& link, const std::function<void()>& read)
{
    bool failed = false;
    const QMetaObject::Connection watch =
        QObject::connect(&link, &CTaviCalc::errorNotify, [&failed] { failed = true; });
    read();
    QObject::disconnect(watch);
    return !failed;
}

} // namespace

CTaviWorker::CTaviWorker(QSerialPortInfo info, QObject* parent)
    : QObject(parent)
    , port(info)
    , line(std::make_shared<LineState>())
{
    // Made before any connection of the session, so the results are published before a
    // reload slot of the session reads them: queued after a job, at once after a direct call.
    connect(this, &CTaviWorker::finished, this, &CTaviWorker::publishResults);
    initialize();
}

QString CTaviWorker::getDeviceName() const
{
    return deviceName;
}

QString CTaviWorker::getPortName() const
{
    return port.portName();
}

// A calculator swapped in on a freed port gets its port name, but not its serial number.
bool CTaviWorker::isOn(const QSerialPortInfo& found) const
{
    return found.portName() == port.portName() && found.serialNumber() == port.serialNumber();
}

QList<FileEntry> CTaviWorker::getFilesInfo() const
{
    return filesInfo;
}

bool CTaviWorker::isFileListKnown() const
{
    return fileListKnown;
}

// The first read; its failures are not reported, but they leave the list unknown: a busy
// calculator that said nothing is not an empty one, and a send must not replace its files
// unasked. The list read decides: a calculator that refused its device information, or gave
// an empty name, is still in step. A list read in part still shows the files it did read, each
// of which the calculator holds.
void CTaviWorker::initialize()
{
    CTaviCalc link(line, this);
    jobFileListKnown = readsWhole(link, [&] {
        link.initialize(port);
        jobFilesInfo = link.getFilesInfo();
    });
    jobDeviceName = link.getName();
    publishResults();
}

void CTaviWorker::sendFiles()
{
    runOperation(Relay::On, [this](CTaviCalc& link) {
        emit filesNotSent(link.genSendFilesRequest(sendList));
        reloadFiles(link);
    });
}

void CTaviWorker::getFiles()
{
    runOperation(Relay::On, [this](CTaviCalc& link) { emit filesDownloaded(link.genGetFilesRequest(fileList, destDir)); });
}

void CTaviWorker::delFiles()
{
    runOperation(Relay::On, [this](CTaviCalc& link) {
        link.genDelFilesRequest(fileList);
        reloadFiles(link);
    });
}

void CTaviWorker::setDeviceName()
{
    runOperation(Relay::On, [this](CTaviCalc& link) {
        // The link holds the new name on success and the one it read otherwise; a link that
        // read none (the calculator did not answer) leaves the name as it was.
        if (link.setDeviceName(newName) || !link.getName().isEmpty())
            jobDeviceName = link.getName();
    });
}

// Only a fetched program is handed on; a failure is told through the relayed texts.
void CTaviWorker::getFileForEdit()
{
    runOperation(Relay::On, [this](CTaviCalc& link) {
        const QPair<QString, QString> file = link.genGetFileString(fileList.value(0));
        if (!file.first.isNull())
            emit fileForEditRecv(file.first, file.second);
    });
}

void CTaviWorker::sendFileFromEdit(QString const& fileName, QString const& fileData)
{
    runOperation(Relay::On, [&](CTaviCalc& link) {
        link.genSendFileString(fileName, fileData);
        reloadFiles(link);
    });
}

void CTaviWorker::createBackup()
{
    runOperation(Relay::On, [this](CTaviCalc& link) {
        const std::optional<QString> path = link.createBackup();
        // No archive, no save dialog.
        if (path && !path->isEmpty())
            emit backupLoaded(*path);
    });
}

void CTaviWorker::restoreBackup()
{
    runOperation(Relay::On, [this](CTaviCalc& link) {
        link.restoreBackup(backupUrl);
        reloadFiles(link);
    });
}

// The frame of every operation: a link of its own on the running thread, the relay of the
// link's error texts where wanted, the hand-back to the main thread, then finished().
void CTaviWorker::runOperation(Relay relay, const std::function<void(CTaviCalc&)>& operation)
{
    {
        // Closed again before the worker is handed back, so the port is free for the next
        // operation and the link never outlives its thread's use of it.
        CTaviCalc link(line, this);
        link.initialize(port);
        if (relay == Relay::On)
            connect(&link, SIGNAL(errorNotify(QString)), this, SIGNAL(errorNotify(QString)));
        operation(link);
        if (relay == Relay::On)
            disconnect(&link, SIGNAL(errorNotify(QString)), this, SIGNAL(errorNotify(QString)));
    }
    moveToThread(QCoreApplication::instance()->thread());
    emit finished();
}

// A list that could not be read whole is no news of the calculator: the one it had stays
// shown. But the job may have changed the calculator, whatever it reported, so that list is
// no longer vouched for.
void CTaviWorker::reloadFiles(CTaviCalc& link)
{
    QList<FileEntry> files;
    jobFileListKnown = readsWhole(link, [&] { files = link.getFilesInfo(); });
    if (jobFileListKnown)
        jobFilesInfo = files;
}

void CTaviWorker::publishResults()
{
    deviceName = jobDeviceName;
    filesInfo = jobFilesInfo;
    fileListKnown = jobFileListKnown;
}
