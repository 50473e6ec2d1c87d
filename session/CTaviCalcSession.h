#pragma once

#include "link/LinkTypes.h"

#include <QDir>
#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QSerialPortInfo>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

class CTaviWorker;
class QThread;
class QTimer;
class TaviCalcModel;
class TaviFileModel;

// The one controller the QML documents drive: the connected calculators and the current one,
// the transfer lists and their collisions, the long operations run as jobs on threads of
// their own, and the status line, error text and busy flag that show their outcome.
class CTaviCalcSession : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int maxFileNameLen READ getMaxFileNameLen CONSTANT)
    Q_PROPERTY(int currentIndex MEMBER currentIndex NOTIFY indexChanged)
    Q_PROPERTY(QString error MEMBER error NOTIFY errorChange)
    Q_PROPERTY(bool isBusy MEMBER isBusy NOTIFY isBusyChange)
    Q_PROPERTY(QString statusLineText MEMBER statusLineText NOTIFY statusLineTextChange)

public:
    // A 14-character base, the dot and a 3-character extension.
    static constexpr int maxFileNameLength = 18;
    static constexpr int pollIntervalMs = 1000;

    explicit CTaviCalcSession(QObject* parent = nullptr);
    ~CTaviCalcSession() override;

    void initialize(TaviCalcModel* calcModel, TaviFileModel* fileModel);
    void addCalc(QSerialPortInfo port);
    bool isFileWillBeSend(QString name);
    int getMaxFileNameLen() const;

    // The meta-object carries the parameter names of these declarations; where the
    // interface names no parameter, the declaration names none either.
    Q_INVOKABLE bool isFileExist(QString);
    Q_INVOKABLE void toCalcUrls(const QList<QUrl>&);
    Q_INVOKABLE bool isToCalcZeroSizeCollision();
    Q_INVOKABLE bool isToCalcNameCollision();
    Q_INVOKABLE bool isToCalcExistingCollision();
    Q_INVOKABLE bool isFromCalcCollision();
    Q_INVOKABLE void sendFiles();
    Q_INVOKABLE QString collisionToCalcZeroSizeFileName();
    Q_INVOKABLE QString collisionToCalcFileName();
    Q_INVOKABLE QString getNameToCalcCollisionOld();
    Q_INVOKABLE QString getNameToCalcCollisionNew();
    Q_INVOKABLE QString collisionFromCalcFileName();
    Q_INVOKABLE void releaseToCalcCollision(bool);
    Q_INVOKABLE void releaseFromCalcCollision(bool);
    Q_INVOKABLE void fromCalcUrls(bool checkCollision = false,
                                  QUrl destFolder = QUrl::fromLocalFile(QDir::tempPath()));
    Q_INVOKABLE QList<QUrl> downloadFiles();
    Q_INVOKABLE void deleteSelectedFiles();
    Q_INVOKABLE void addSelected(int);
    Q_INVOKABLE void changeCalcName(QString);
    Q_INVOKABLE void downloadForEdit(int);
    Q_INVOKABLE void createBackup();
    Q_INVOKABLE void restoreBackup(const QUrl& url);
    // False when the archive could not be put there whole; the archive is then kept.
    Q_INVOKABLE bool renameBackup(QString oldName, QString newName);
    // Moves an archive that could not be saved to a name of its own beside it, which no
    // later backup takes; gives the path it is kept at (its old one when it could not move).
    Q_INVOKABLE QString keepFailedBackup(QString archive);
    Q_INVOKABLE void removeFile(QString name);
    // True when saving at path would replace a file that the user was not asked about: the
    // file dialog's own question, if it has one, covers only the path it gave (chosen).
    Q_INVOKABLE bool replacesUnasked(QObject* dialog, QUrl chosen, QString path, QString source = QString());
    // True when the program was sent, or saved whole: the window must not call a failed send
    // or save a success. A failure is on the status line.
    Q_INVOKABLE bool sendFileFromEdit(QString fileName, QString fileData);
    Q_INVOKABLE bool saveFileOnComputer(QString fileName, QString fileData);
    Q_INVOKABLE QString getInfo();
    Q_INVOKABLE QString getProgramName(bool withVersion = true);
    Q_INVOKABLE QString fileNameFromUrl(QUrl fileUrl);
    Q_INVOKABLE QString fileDirFromUrl(QUrl fileUrl);
    // Called as a main window operation's first dialog or question opens: its later calls
    // act on the calculator current now, and on the files addSelected records from now on,
    // whatever comes or goes meanwhile. Without a pin they act on the current calculator.
    Q_INVOKABLE void pinCalculator();
    // Called as the editor's send dialog opens: its collision check (isFileExist) and its
    // send act on the calculator current now, whatever the main window does meanwhile.
    Q_INVOKABLE void pinEditorCalculator();

signals:
    void indexChanged(int oldIndex, int newIndex);
    void connectNewCalc();
    void errorChange();
    void isBusyChange();
    void doYouWantReplace();
    void statusLineTextChange();
    void openEditFromCalc(QString fileName, QString fileData);
    void backupLoaded(QString fileName);
    // At the end of a download, before its outcome: the local files it wrote, each once.
    void filesDownloaded(QList<QUrl> localFiles);

public slots:
    void onIndexChange(int newIndex);
    void update();
    void onErrorChange(QString errorText);
    void onIAmBusy();
    void onIAmNotBusy();
    void onFileDelete(QString fName);
    void onFileSend(FileEntry);
    void onStatusChange(QString newStatus);
    void onSendFilesEnd();
    void onDownloadFilesEnd();
    void onDeleteSelectedFilesEnd();
    void onRestoreBackupEnd();
    void onChangeCalcNameEnd();
    void onDevNameChange();
    void onFilesListChange();

private:
    // How one kind of job is wired: the worker's slot and the session's slots, as signatures
    // made by SLOT(); a null reload or end slot means the job has none.
    struct JobWiring
    {
        const char* workerSlot;
        const char* reloadSlot;
        const char* endSlot;
        bool relaysBackup;
    };
    // A started job, until its thread has finished.
    struct Job
    {
        QThread* thread;
        CTaviWorker* worker;
        // The connections between the worker and objects that outlive the job.
        QList<QMetaObject::Connection> workerLinks;
    };

    // The calculator an operation was begun for, set by one of the pin calls.
    struct Pin
    {
        // Null once that worker is deleted, so a later worker at the same address is never
        // taken for it.
        QPointer<CTaviWorker> worker;
        bool isSet = false;
    };

    CTaviWorker* currentWorker() const;
    CTaviWorker* pinnedWorker(const Pin& pin) const;
    CTaviWorker* operationWorker() const;
    bool hasLeft(const Pin& pin) const;
    bool pinnedLeft();
    bool isInJob(const CTaviWorker* worker) const;
    bool mayStartJob();
    static bool isFileListUnknown(const CTaviWorker* worker);
    bool refuseUnknownList(const CTaviWorker* worker);
    void startJob(const JobWiring& wiring, const std::function<void(CTaviWorker&)>& setInputs);
    void endJob(QThread* thread);
    void noteFailure(QStringList& failures, const QString& text);
    void pollIfSwapped(const CTaviWorker* worker);
    void dropWorker(int row);
    void reloadFileModel();
    QString downloadPath(const QString& calcName) const;
    bool isLocalNameTaken(const QString& calcName) const;
    void showOutcome(const QString& successText, const QString& note = QString());
    QString unknownListNotice() const;
    QString withUnknownListNotice(const QString& text) const;
    QString runReporting(CTaviWorker* worker, const std::function<void()>& call);
    void showEditorFailure(const QString& reported);
    static QString missingCodesText(const QString& program);
    void takeIntoSendList(const SendItem& item);
    static void raiseFirstWindow();

    int currentIndex = -1;
    QList<FileEntry> selectedFiles;
    QList<SendItem> sendList;
    QList<FileEntry> downloadList;
    QList<SendItem> toCalcExistingCollisions;
    QList<SendItem> toCalcNameCollisions;
    QList<FileEntry> fromCalcCollisions;
    QStringList toCalcZeroSizeNames;
    // The files of the latest choice that are not sent (empty, missing, not a file, or with
    // no name to store them under).
    QStringList toCalcSetAside;
    // The local paths the latest send job passed over: gone, unreadable or no regular file by
    // the time it ran.
    QStringList sendPassedOver;
    // The calculator names of the latest download selection that have no local name.
    QStringList fromCalcSetAside;
    QString nameToCalcCollisionOld;
    QString nameToCalcCollisionNew;
    QList<CTaviWorker*> workers;
    // The main window's operations and the editor's send each keep their own: neither
    // changes what the other's pending answers act on.
    Pin windowPin;
    Pin editorPin;
    TaviCalcModel* calcModel = nullptr;
    TaviFileModel* fileModel = nullptr;
    QTimer* pollTimer = nullptr;
    QString error;
    QString downloadDir;
    bool isBusy = false;
    QString statusLineText;

    QList<Job> jobs;
    // The distinct texts the running job reported, in order; its outcome, whatever the error
    // dialog did with the error text meanwhile.
    QStringList jobFailures;
    // A backup archive saved onto its own path, kept from the removal that follows the save.
    QString keptBackup;
    // The calculator of the latest backup, which names the archive when it has to be kept.
    QString backupCalcName;
};
