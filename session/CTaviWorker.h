#pragma once

#include "link/LinkTypes.h"

#include <QList>
#include <QObject>
#include <QSerialPortInfo>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>

class CTaviCalc;
class LineState;

// One connected calculator inside the session: its port, its name and its file list, and
// one slot per operation on it. Each slot opens its own link to the calculator, runs one
// operation and emits finished(); the session runs most of them on a job thread.
class CTaviWorker : public QObject
{
    Q_OBJECT

public:
    CTaviWorker(QSerialPortInfo info, QObject* parent);

    // Inputs of the next job, written by the session before the job starts.
    QList<SendItem> sendList;
    QList<FileEntry> fileList;
    QString destDir;
    QString newName;
    QUrl backupUrl;

    // What the last finished operation published; safe to read on the main thread at any
    // time, also while a job runs.
    QString getDeviceName() const;
    QString getPortName() const;
    // True when the port found is this calculator's: the same port name and the same USB
    // serial number, the port name alone where the device reports none.
    bool isOn(const QSerialPortInfo& found) const;
    QList<FileEntry> getFilesInfo() const;
    // False until a read of the file list has gone through: an unread list is not an empty one.
    bool isFileListKnown() const;

signals:
    void fileForEditRecv(QString fileName, QString fileData);
    void backupLoaded(QString fileName);
    void finished();
    void errorNotify(QString errorText);
    // Once per send job, before finished(): the local paths of the files it passed over.
    void filesNotSent(QStringList localPaths);
    // Once per download job, before finished(): the local files it wrote.
    void filesDownloaded(QList<QUrl> localFiles);

public slots:
    void sendFiles();
    void getFiles();
    void delFiles();
    void setDeviceName();
    void getFileForEdit();
    void sendFileFromEdit(QString const& fileName, QString const& fileData);
    void createBackup();
    void restoreBackup();

private:
    enum class Relay { On, Off };

    void initialize();
    void runOperation(Relay relay, const std::function<void(CTaviCalc&)>& operation);
    void reloadFiles(CTaviCalc& link);
    void publishResults();

    QSerialPortInfo port;
    // Every link of this worker speaks on it, the first read's, the jobs' and the editor's
    // alike: what one left owed, the next passes over.
    std::shared_ptr<LineState> line;
    QString deviceName;
    QList<FileEntry> filesInfo;
    bool fileListKnown = false;
    // Written by the running operation on its own thread; copied into deviceName, filesInfo
    // and fileListKnown on the main thread once its finished() arrives there.
    QString jobDeviceName;
    QList<FileEntry> jobFilesInfo;
    bool jobFileListKnown = false;
};
