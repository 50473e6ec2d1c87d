#pragma once

#include "link/LineState.h"
#include "link/LinkTypes.h"
#include "protocol/Frame.h"
#include "protocol/serializeData.pb.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class ZipArchive;

// The link to one calculator behind one USB serial port. Every dialogue with the calculator
// goes through it; failures come out as user-facing texts through errorNotify. A link is
// used by the one thread that constructed it and blocks that thread while it waits.
class CTaviCalc : public QObject
{
    Q_OBJECT

public:
    // The waits of the serial dialogue, in milliseconds.
    struct Timeouts
    {
        int write = 30000;       // until a written frame has left
        int firstByte = 10000;   // until the first byte of an answer arrives
        int withinFrame = 30000; // for each further wait inside a frame
        int rebootPause = 3000;  // while a restored calculator restarts
    };
    // Tests shorten the waits so that a silent or rebooting calculator costs milliseconds;
    // the program itself never changes them.
    static void setTimeoutsForTesting(const Timeouts& timeouts);
    static Timeouts timeouts();

    static constexpr quint16 vendorId = 0x0483;
    static constexpr quint16 productId = 0x5740;
    static constexpr int defaultChunkSize = 512;
    // The largest chunk whose FRAME message, with the few bytes of its other fields, still
    // fits in one frame.
    static constexpr int largestChunkSize = Frame::maxPayload - 32;

    explicit CTaviCalc(QObject* parent = nullptr);
    CTaviCalc(QSerialPortInfo info, QObject* parent = nullptr);
    // A link that speaks on the line of a calculator that other links spoke on before it and
    // will after it; initialize() opens the port.
    CTaviCalc(std::shared_ptr<LineState> line, QObject* parent);
    CTaviCalc(const CTaviCalc& other);
    CTaviCalc& operator=(const CTaviCalc& other);
    ~CTaviCalc() override;

    bool initialize(QSerialPortInfo info);
    static QList<QSerialPortInfo> findCalcs();
    QString portName() const;
    QString getName() const;

    bool sendMessage(TaviCalc::calcMsg_msgType type);
    bool sendCommand(TaviCalc::calcMsg_msgType type, TaviCalc::calcMsg& answer);
    static QString msgErrorToStr(const TaviCalc::calcMsg& msg);

    bool TX(QByteArray& buffer);
    bool RX(QByteArray& buffer);

    bool getDeviceInf();
    int getNumberOfFiles();
    QList<FileEntry> getFilesInfo();
    bool setDeviceName(QString name);

    static QString convertToSfn(QString fileName);
    // The name under which the calculator stores a file sent under this name.
    static QString storedFileName(QString fileName);
    // The name of the local file a calculator file is downloaded into; empty when that
    // name would reach outside the chosen folder, and then the file is not fetched.
    static QString localFileName(const QString& calcName);
    // A program's text as the calculator and a saved file hold it: Latin-1, ending in a line feed.
    static QByteArray programBytes(const QString& text);

    std::optional<QByteArray> getData(TaviCalc::fileInf fInf);
    bool sendFile(TaviCalc::fileInf fInf, const QByteArray& data);
    bool delFile(TaviCalc::fileInf fInf);

    // Returns the local paths of the files passed over: gone, unreadable or no regular file by
    // now, or with a name that leaves nothing to store them under.
    QStringList genSendFilesRequest(QList<SendItem> items);
    // Returns the local files written, each once, in list order.
    QList<QUrl> genGetFilesRequest(QList<FileEntry> files, QString folder);
    void genDelFilesRequest(QList<FileEntry> files);
    QPair<QString, QString> genGetFileString(FileEntry entry);
    void genSendFileString(const QString& fileName, const QString& fileText);

    std::optional<QString> createBackup();
    void restoreBackup(const QUrl& url);

signals:
    void errorNotify(QString errorText);
    void fileDeleted(QString fName);
    void fileSend(QPair<QString, int> fInf);

public slots:
    void onError(QString errorText);
    void onError();

private:
    std::shared_ptr<QSerialPort> port;
    QString HV;
    QString FV;
    QString PV;
    QString Name;
    int maxChunkSize = defaultChunkSize;
    int lastError = TaviCalc::calcMsg::NONE_ERROR;
    // Shared with the other links to the same calculator, and with copies of this one.
    std::shared_ptr<LineState> line;
    // Out when the port has just opened or an exchange has failed: what is waiting then, or
    // still comes, is not the answer to the next request, so that request first regains step.
    // Lost when step could not be regained, or the line can no longer be followed: every later
    // request fails at once.
    enum class Step { In, Out, Lost };
    Step step = Step::In;
    // The requests of operations written so far, the device information that regains step
    // aside: whether a failed turn of a list wrote its request.
    int requestsSent = 0;
    // Whether the user has been told that this link lost step.
    bool outOfStepTold = false;

    // Frames
    // Frame: one whole frame. Nothing: the wait brought no byte. Broken: it brought bytes that
    // make no whole frame (a frame cut off, or bytes that begin none).
    enum class Read { Frame, Nothing, Broken };
    bool openPort();
    bool isPortOpen() const;
    void discardWaitingBytes();
    bool writeFrame(QByteArray& buffer);
    Read takeAnswer(QByteArray& payload);
    void account(const QByteArray& payload);
    bool readPort();
    int moveToReader(int most);
    bool connectionFailed(const char* text);

    // Requests and the calculator's failures
    // Undecodable: cut off or malformed; the fields read before the fault are kept. BadText:
    // whole but for a string that is not UTF-8, which reads with U+FFFD in place of what does
    // not decode; every other field reads as sent.
    enum class Received { Nothing, Undecodable, BadText, Decoded };
    static Received decode(const QByteArray& payload, TaviCalc::calcMsg& answer);
    bool send(const TaviCalc::calcMsg& msg);
    void write(const TaviCalc::calcMsg& msg);
    bool sendReported(const TaviCalc::calcMsg& msg);
    bool sendType(TaviCalc::calcMsg_msgType type);
    bool sendFileRequest(TaviCalc::calcMsg_msgType type, const TaviCalc::fileInf& fInf);
    Received receive(TaviCalc::calcMsg& answer);
    bool receiveAnswer(TaviCalc::calcMsg& answer);
    bool receiveUsable(TaviCalc::calcMsg& answer);
    bool isUsable(Received received);
    // Step: the link knows that the next frame it reads answers its last request.
    Received regainStep(TaviCalc::calcMsg& answer);
    bool passOverOwed();
    bool inStep();
    void loseStep();
    void abandonLine();
    void reportOutOfStep();
    void tellIfLost();
    void reportUndone(const QStringList& notDone, const QStringList& notKnown);
    void reportCalcFailure(const TaviCalc::calcMsg& answer);
    void reportFailure(TaviCalc::calcMsg_errType kind);
    static TaviCalc::fileInf fileInfOf(const QByteArray& name, int size);
    static TaviCalc::fileInf fileInfOf(const FileEntry& entry);

    // File list
    std::optional<int> readFileCount();

    // Transfers
    bool receiveSuccess();
    bool sendPiece(TaviCalc::calcMsg& piece, int number, const char* bytes, int size);

    // Batch operations
    // How one file's turn in a list ended; a file passed over is named by the caller.
    enum class Turn { Done, Failed, PassedOver };
    // Whether a list's requests change the calculator: one such request left unanswered may
    // have acted or not.
    enum class Effect { Reads, Changes };
    void runInStep(const QStringList& names, Effect effect, const std::function<Turn(int)>& turn);
    bool wasUnanswered(int sentBefore) const;
    std::optional<QByteArray> fetch(const TaviCalc::fileInf& fInf);
    Turn sendLocalFile(const SendItem& item);

    // Backup and restore
    std::optional<std::vector<TaviCalc::fileInf>> readBackupList();
    bool writeBackup(const QString& path, const std::vector<TaviCalc::fileInf>& files);
    bool archiveFile(ZipArchive& archive, const TaviCalc::fileInf& file);
    bool clearForRestore(const QStringList& files);
    bool restoreEntry(ZipArchive& archive, int index);
    bool regainedAfter(const QStringList& notDone, const QStringList& notKnown);
    void reopenAfterReboot();
};
