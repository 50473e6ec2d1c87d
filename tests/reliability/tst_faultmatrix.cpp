// Every link operation against a calculator that disturbs one message of the dialogue, for
// every message and every fault the simulator knows. Whatever the fault, an operation ends
// within the waits, speaks only the link's own texts, claims only what it completed (local
// files whole or untouched, a backup path only for a whole archive), and the next link to
// the calculator works.
#include "KnownTexts.h"
#include "SimLink.h"
#include "TestFiles.h"
#include "ZipCheck.h"

#include "link/CTaviCalc.h"

#include "PluggedSimulator.h"
#include "SimTestMain.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>

using namespace calcsim;
using TaviCalc::calcMsg;

Q_DECLARE_METATYPE(calcsim::FaultMode)

namespace {

using linktest::shortTimeouts;

// Room for the machine beyond the link's own waits; a hang lasts the unshortened waits.
constexpr qint64 slackMs = 3000;

// Two files each way: one of two pieces, one of a single piece.
const FileList calcFiles{{"A.tcb", testBytes(700, 1)}, {"B.tcb", testBytes(100, 2)}};
const FileList localFiles{{"C.tcb", testBytes(700, 3)}, {"D.tcb", testBytes(100, 4)}};
const QString newName = QStringLiteral("Renamed");
const QByteArray staleContent = "an older download";

// What the simulator answers with in place of a message, where the fault needs it.
const QByteArray failureText = "Card full";
constexpr int failureNumber = 28;
// No calculator ever answers with a request.
constexpr calcMsg::msgType wrongAnswerType = calcMsg::GET_DEVICE_INF;

enum class Operation { DeviceInfo, FileList, Fetch, Send, Delete, Rename, Backup, Restore };

struct Dialogue
{
    const char* name;
    int answers;        // the messages the simulator sends in the fault-free dialogue
    int firstPiece;     // the first of the answers that are pieces of a fetched file; 0 for none
    bool reports;       // whether the operation tells the user what went wrong
    // The leading answers that form a run without acknowledgements: a record left out of it
    // is a file the calculator did not list, which the computer cannot tell apart.
    int unacknowledged = 0;
};

// The answers each dialogue takes with the files above and the default chunk of 512 bytes.
Dialogue dialogue(Operation operation)
{
    switch (operation) {
    case Operation::DeviceInfo: return {"device information", 1, 0, false};
    case Operation::FileList: return {"file list", 3, 0, false};      // count, two records
    case Operation::Fetch: return {"fetch", 3, 1, true};              // 2 + 1 pieces
    case Operation::Send: return {"send", 5, 0, true};                // (1 + 2) + (1 + 1)
    case Operation::Delete: return {"delete", 2, 0, true};
    case Operation::Rename: return {"rename", 1, 0, true};
    case Operation::Backup: return {"backup", 6, 4, true, 2};         // 3 list records, 2 + 1 pieces
    case Operation::Restore: return {"restore", 7, 0, true};          // clear, (1 + 2) + (1 + 1), reboot
    }
    return {};
}

// Faults that only disturb the line (a late answer still comes within the link's wait), so
// that the link must still complete, and faults that take a message away, so that it never can.
bool isHarmless(FaultMode mode)
{
    return mode == FaultMode::Garbage || mode == FaultMode::Split || mode == FaultMode::Merge
           || mode == FaultMode::Late;
}

bool isFatal(FaultMode mode)
{
    return mode == FaultMode::Silence || mode == FaultMode::Failed || mode == FaultMode::Cut
           || mode == FaultMode::Disconnect;
}

bool spoilsPiece(FaultMode mode)
{
    return mode == FaultMode::BadFrameNumber || mode == FaultMode::BadFrameSize;
}

int modeColumn(FaultMode mode)
{
    return int(std::find(std::begin(allFaultModes), std::end(allFaultModes), mode) - std::begin(allFaultModes));
}

Fault faultAt(int message, FaultMode mode)
{
    Fault fault = linktest::fault(message, mode);
    fault.type = wrongAnswerType;
    fault.error = calcMsg::WRITE_ERROR;
    fault.errorNum = failureNumber;
    fault.errorStr = failureText;
    fault.lateMs = shortTimeouts.firstByte / 2;
    return fault;
}

QStringList linkTexts()
{
    calcMsg failure;
    failure.set_errorstr(failureText.toStdString());
    failure.set_errornum(failureNumber);
    QStringList texts = knownLinkTexts() << CTaviCalc::msgErrorToStr(failure);
    // A list that did not do every file names those it did not.
    for (const FileList& files : {calcFiles, localFiles}) {
        QStringList names;
        for (const auto& file : files)
            names << QString::fromUtf8(file.first);
        texts << undoneTexts(names);
    }
    return texts;
}

QList<FileEntry> entriesOf(const FileList& files)
{
    QList<FileEntry> entries;
    for (const auto& file : files)
        entries.append({QString::fromUtf8(file.first), int(file.second.size())});
    return entries;
}

QByteArray contentOf(const FileList& files, const QString& name)
{
    for (const auto& file : files) {
        if (file.first == name.toUtf8())
            return file.second;
    }
    return {};
}

bool holds(const FileList& files, const QString& name)
{
    for (const auto& file : files) {
        if (file.first == name.toUtf8())
            return true;
    }
    return false;
}

// How each cell ended, for the summary.
enum class Outcome { Completed, Reported, Quiet };

const char* outcomeName(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Completed: return "done";
    case Outcome::Reported: return "reported";
    case Outcome::Quiet: return "quiet";
    }
    return "";
}

constexpr char failedCell[] = "FAILED";

} // namespace

// One cell: a simulated calculator with the calculator files, a link to it made before the
// fault is armed, and a folder for the computer's side.
class Cell
{
public:
    Cell()
    {
        plugged.emplace();
        sim().setFiles(calcFiles);
        sim().setRebootMs(0);
        link.emplace(plugged->portInfo());
        errors = std::make_unique<QSignalSpy>(&*link, &CTaviCalc::errorNotify);
        sim().clearReceived(); // the fault counts the operation's answers only
    }

    CalcSimulator& sim() { return plugged->simulator(); }
    CTaviCalc& calc() { return *link; }
    QString folder() const { return dir.path(); }
    QStringList texts() const { return linktest::texts(*errors); }

    // Drops the link and, when the calculator hung up, plugs it in again with what it holds.
    void replug()
    {
        errors.reset();
        link.reset();
        if (!sim().isDisconnected()) {
            sim().clearFaults();
            return;
        }
        const FileList kept = sim().files();
        const QString name = sim().name();
        plugged.emplace();
        sim().setFiles(kept);
        sim().setName(name);
    }

    QSerialPortInfo portInfo() const { return plugged->portInfo(); }

    // The file that the calculator's list left out, if any.
    QByteArray unlisted;

private:
    QTemporaryDir dir;
    std::optional<PluggedSimulator> plugged;
    std::optional<CTaviCalc> link;
    std::unique_ptr<QSignalSpy> errors;
};

class TestFaultMatrix : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void deviceInformation_data() { cells(Operation::DeviceInfo); }
    void deviceInformation() { runCell(Operation::DeviceInfo); }
    void fileList_data() { cells(Operation::FileList); }
    void fileList() { runCell(Operation::FileList); }
    void fetch_data() { cells(Operation::Fetch); }
    void fetch() { runCell(Operation::Fetch); }
    void send_data() { cells(Operation::Send); }
    void send() { runCell(Operation::Send); }
    void remove_data() { cells(Operation::Delete); }
    void remove() { runCell(Operation::Delete); }
    void rename_data() { cells(Operation::Rename); }
    void rename() { runCell(Operation::Rename); }
    void backup_data() { cells(Operation::Backup); }
    void backup() { runCell(Operation::Backup); }
    void restore_data() { cells(Operation::Restore); }
    void restore() { runCell(Operation::Restore); }

private:
    void cells(Operation operation);
    void runCell(Operation operation);
    Outcome outcomeOf(bool completed, const QStringList& texts) const;
    void perform(Operation operation, Cell& cell, bool& completed);
    void checkDeviceInfo(Cell& cell, bool& completed);
    void checkFileList(Cell& cell, bool& completed);
    void checkFetch(Cell& cell, bool& completed);
    void checkSend(Cell& cell, bool& completed);
    void checkDelete(Cell& cell, bool& completed);
    void checkRename(Cell& cell, bool& completed);
    void checkBackup(Cell& cell, bool& completed);
    void checkRestore(Cell& cell, bool& completed);
    void nextLinkWorks(Cell& cell);
    void printSummary() const;

    const QStringList allowedTexts = linkTexts();
    // Per operation: the outcome of each cell, by message, then by the fault's place in
    // allFaultModes.
    QMap<QString, QMap<int, QMap<int, QString>>> results;
};

void TestFaultMatrix::initTestCase()
{
    CTaviCalc::setTimeoutsForTesting(shortTimeouts);
}

void TestFaultMatrix::cleanupTestCase()
{
    printSummary();
}

// Every answer of the dialogue under every fault, and one fault beyond the dialogue's last
// answer, which must change nothing: that pins the number of answers.
void TestFaultMatrix::cells(Operation operation)
{
    QTest::addColumn<int>("message");
    QTest::addColumn<FaultMode>("mode");
    const int answers = dialogue(operation).answers;
    for (int message = 1; message <= answers; ++message) {
        for (FaultMode mode : allFaultModes)
            QTest::addRow("message %d, %s", message, faultModeName(mode)) << message << mode;
    }
    QTest::addRow("beyond the dialogue") << answers + 1 << FaultMode::Silence;
}

void TestFaultMatrix::runCell(Operation operation)
{
    QFETCH(int, message);
    QFETCH(FaultMode, mode);
    const Dialogue shape = dialogue(operation);
    const bool inDialogue = message <= shape.answers;
    QString& result = results[shape.name][message][modeColumn(mode)];
    result = failedCell;

    Cell cell;
    cell.sim().addFault(faultAt(message, mode));
    if (mode == FaultMode::Silence && message <= shape.unacknowledged)
        cell.unlisted = calcFiles.at(message - 1).first;
    QElapsedTimer clock;
    clock.start();
    bool completed = false;
    perform(operation, cell, completed);
    if (QTest::currentTestFailed())
        return;
    // Each answer costs at most one wait for its first byte and one inside its frame.
    const qint64 limitMs = (shape.answers + 1) * qint64(shortTimeouts.firstByte + shortTimeouts.withinFrame)
                           + shortTimeouts.rebootPause + slackMs;
    QVERIFY2(clock.elapsed() < limitMs, qPrintable(QString("took %1 ms").arg(clock.elapsed())));

    const QStringList texts = cell.texts();
    for (const QString& text : texts)
        QVERIFY2(allowedTexts.contains(text), qPrintable("not a text of the link: " + text));
    if (!completed && shape.reports)
        QVERIFY2(!texts.isEmpty(), "a failure nobody was told of");
    if (!inDialogue || isHarmless(mode))
        QVERIFY2(completed, qPrintable("did not complete; texts: " + texts.join(" | ")));
    const bool onPiece = shape.firstPiece > 0 && message >= shape.firstPiece;
    if (inDialogue && cell.unlisted.isEmpty() && (isFatal(mode) || (onPiece && spoilsPiece(mode))))
        QVERIFY2(!completed, "completed without the message");

    cell.replug();
    nextLinkWorks(cell);
    if (!QTest::currentTestFailed())
        result = outcomeName(outcomeOf(completed, texts));
}

Outcome TestFaultMatrix::outcomeOf(bool completed, const QStringList& texts) const
{
    if (completed)
        return Outcome::Completed;
    return texts.isEmpty() ? Outcome::Quiet : Outcome::Reported;
}

void TestFaultMatrix::perform(Operation operation, Cell& cell, bool& completed)
{
    switch (operation) {
    case Operation::DeviceInfo: return checkDeviceInfo(cell, completed);
    case Operation::FileList: return checkFileList(cell, completed);
    case Operation::Fetch: return checkFetch(cell, completed);
    case Operation::Send: return checkSend(cell, completed);
    case Operation::Delete: return checkDelete(cell, completed);
    case Operation::Rename: return checkRename(cell, completed);
    case Operation::Backup: return checkBackup(cell, completed);
    case Operation::Restore: return checkRestore(cell, completed);
    }
}

void TestFaultMatrix::checkDeviceInfo(Cell& cell, bool& completed)
{
    completed = cell.calc().getDeviceInf() && cell.calc().getName() == cell.sim().name();
}

void TestFaultMatrix::checkFileList(Cell& cell, bool& completed)
{
    completed = cell.calc().getFilesInfo() == entriesOf(calcFiles);
}

// The folder already holds an older A.tcb. A file listed as downloaded is whole; any other
// keeps what it held, and nothing else appears.
void TestFaultMatrix::checkFetch(Cell& cell, bool& completed)
{
    const QDir dir(cell.folder());
    QVERIFY(writeFile(dir.filePath("A.tcb"), staleContent));
    const QList<QUrl> written = cell.calc().genGetFilesRequest(entriesOf(calcFiles), cell.folder());
    QStringList expected;
    for (const QUrl& url : written) {
        const QFileInfo file(url.toLocalFile());
        QCOMPARE(file.absolutePath(), dir.absolutePath());
        QCOMPARE(readFile(file.filePath()), contentOf(calcFiles, file.fileName()));
        expected << file.fileName();
    }
    completed = expected == QStringList({"A.tcb", "B.tcb"});
    if (!expected.contains("A.tcb")) {
        QCOMPARE(readFile(dir.filePath("A.tcb")), staleContent);
        expected << "A.tcb";
    }
    expected.sort();
    QCOMPARE(dir.entryList(QDir::Files | QDir::Hidden, QDir::Name), expected);
}

// A file reported as sent is on the calculator whole.
void TestFaultMatrix::checkSend(Cell& cell, bool& completed)
{
    QList<SendItem> items;
    for (const auto& file : localFiles) {
        const QString path = QDir(cell.folder()).filePath(QString::fromUtf8(file.first));
        QVERIFY(writeFile(path, file.second));
        items.append({path, QString::fromUtf8(file.first)});
    }
    QSignalSpy sent(&cell.calc(), &CTaviCalc::fileSend);
    cell.calc().genSendFilesRequest(items);
    const FileList stored = cell.sim().files();
    for (const QList<QVariant>& signal : sent) {
        const QString name = signal.at(0).value<QPair<QString, int>>().first;
        QCOMPARE(contentOf(stored, name), contentOf(localFiles, name));
    }
    completed = sent.size() == localFiles.size();
}

// A file reported as deleted is gone from the calculator.
void TestFaultMatrix::checkDelete(Cell& cell, bool& completed)
{
    QSignalSpy deleted(&cell.calc(), &CTaviCalc::fileDeleted);
    cell.calc().genDelFilesRequest(entriesOf(calcFiles));
    const FileList stored = cell.sim().files();
    for (const QList<QVariant>& signal : deleted)
        QVERIFY(!holds(stored, signal.at(0).toString()));
    completed = deleted.size() == calcFiles.size();
}

void TestFaultMatrix::checkRename(Cell& cell, bool& completed)
{
    completed = cell.calc().setDeviceName(newName);
    if (completed)
        QCOMPARE(cell.sim().name(), newName);
}

// A path comes back only for an archive that holds every listed file whole.
void TestFaultMatrix::checkBackup(Cell& cell, bool& completed)
{
    const QString archive = QDir::tempPath() + "/calc-backup.tbk";
    QFile::remove(archive);
    const std::optional<QString> path = cell.calc().createBackup();
    completed = path && !path->isEmpty();
    if (!completed)
        return;
    QCOMPARE(*path, archive);
    FileList listed;
    for (const auto& file : calcFiles) {
        if (file.first != cell.unlisted)
            listed.append(file);
    }
    QCOMPARE(zipcheck::entries(zipcheck::inspect(*path)), zipcheck::asEntries(listed));
}

// The archive is only read; a restore that reports nothing leaves exactly its files.
void TestFaultMatrix::checkRestore(Cell& cell, bool& completed)
{
    const QString archive = QDir(cell.folder()).filePath("backup.tbk");
    zipcheck::make(archive, zipcheck::asEntries(localFiles));
    const QByteArray before = readFile(archive);
    QVERIFY(!before.isEmpty());
    cell.calc().restoreBackup(QUrl::fromLocalFile(archive));
    QCOMPARE(readFile(archive), before);
    completed = cell.texts().isEmpty();
    if (completed)
        QCOMPARE(cell.sim().files(), localFiles);
}

// A fresh link reads the calculator's name and files as they now are.
void TestFaultMatrix::nextLinkWorks(Cell& cell)
{
    CTaviCalc fresh(cell.portInfo());
    QCOMPARE(fresh.getName(), cell.sim().name());
    QCOMPARE(fresh.getFilesInfo(), entriesOf(cell.sim().files()));
}

// One grid per operation: a row per answer, a column per fault, each cell's outcome.
void TestFaultMatrix::printSummary() const
{
    QStringList header{QStringLiteral("message")};
    for (FaultMode mode : allFaultModes)
        header << faultModeName(mode);
    int cells = 0;
    int passed = 0;
    for (auto operation = results.begin(); operation != results.end(); ++operation) {
        qInfo().noquote() << "fault matrix," << operation.key();
        qInfo().noquote() << header.join(' ');
        for (auto row = operation->begin(); row != operation->end(); ++row) {
            QStringList line{QString::number(row.key()).leftJustified(header.first().size())};
            for (int column = 1; column < header.size(); ++column)
                line << row->value(column - 1, QStringLiteral("-")).leftJustified(header.at(column).size());
            qInfo().noquote() << line.join(' ');
            for (const QString& outcome : *row) {
                ++cells;
                passed += outcome != failedCell ? 1 : 0;
            }
        }
    }
    qInfo().noquote() << QString("fault matrix: %1 cells, %2 passed, %3 failed").arg(cells).arg(passed).arg(cells - passed);
}

CALCSIM_TEST_GUILESS_MAIN(TestFaultMatrix)
#include "tst_faultmatrix.moc"
