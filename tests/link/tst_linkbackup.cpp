#include "SimLink.h"
#include "TestFiles.h"
#include "ZipCheck.h"

#include "SimTestMain.h"

#include <QJsonArray>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <sys/mount.h>
#include <sys/stat.h>

using namespace calcsim;
using namespace linktest;
using TaviCalc::calcMsg;
using zipcheck::asEntries;
using zipcheck::Entry;
using zipcheck::Form;

Q_DECLARE_METATYPE(calcsim::Fault)
Q_DECLARE_METATYPE(calcsim::FileList)
Q_DECLARE_METATYPE(QList<zipcheck::Entry>)
Q_DECLARE_METATYPE(zipcheck::Form)

namespace {

const FileList mixedFiles = {{"A.tcb", testBytes(1300)}, {"EMPTY.tcb", {}}, {"\xC3\x84RGER.tcb", "text"}};
constexpr int calculatorRebootMs = 20;

FileList manyFiles(int count)
{
    FileList files;
    for (int i = 0; i < count; ++i)
        files.append({QString("F%1.tcb").arg(i, 2, 10, QChar('0')).toUtf8(), testBytes(10 + i, quint32(i + 1))});
    return files;
}

// What a backup of the files sends after GET_BACKUP_INFO: a fetch of each file but the
// empty ones, acknowledging each piece but the last.
QStringList fetchesOf(const FileList& files, int chunk)
{
    QStringList sent;
    for (const auto& file : files) {
        if (file.second.isEmpty())
            continue;
        sent << "GET_FILE " + QString::fromUtf8(file.first) + ' ' + QString::number(file.second.size());
        for (int piece = 1; piece * chunk < file.second.size(); ++piece)
            sent << "SUCCESS";
    }
    return sent;
}

// What a restore of the entries sends: the clearing, each entry but directories, the reboot.
QStringList restoreOf(const QList<Entry>& entries)
{
    QStringList sent{"CLEAR_FILESYSTEM"};
    for (const Entry& e : entries) {
        if (e.name.endsWith('/'))
            continue;
        sent << "SEND_FILE " + QString::fromUtf8(e.name) + ' ' + QString::number(e.content.size());
        for (int offset = 0, n = 0; !e.content.isEmpty() && offset <= e.content.size(); offset += 512, ++n)
            sent << QString("FRAME %1 %2").arg(n).arg(qMin(512, e.content.size() - offset));
    }
    return sent << "REBOOT";
}

// Five entries, stored and deflated; the third is stored, so its content can be damaged.
const QList<Entry> fiveEntries = {{"A.tcb", "alpha", 8}, {"B.tcb", testBytes(1300), 8}, {"C.tcb", "charlie", 0},
                                  {"D.tcb", "delta", 0}, {"E.tcb", testBytes(700, 5), 8}};

// Not bytes: the archive's path is made a FIFO, or a link to one.
const QByteArray fifo("<FIFO>");
const QByteArray linkToFifo("<link to a FIFO>");

QString temporaryArchive()
{
    return QDir::tempPath() + "/calc-backup.tbk";
}

} // namespace

// The backup archive: its writing from the calculator's list and its restoring.
class TestLinkBackup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void backupArchive_data();
    void backupArchive();
    void backupFailures_data();
    void backupFailures();
    void twoBackupsInARow();
    void fullDiskIsNoBackup();
    void restoreOrder_data();
    void restoreOrder();
    void restoreFailures_data();
    void restoreFailures();
    void refusedArchiveClearsNothing_data();
    void refusedArchiveClearsNothing();
    void roundTrip();
    void restartOutlastingThePause();
    void portGoneAfterReboot();

private:
    QTemporaryDir temporaryFolder;
    std::unique_ptr<QTemporaryDir> dir;
};

void TestLinkBackup::initTestCase()
{
    CTaviCalc::setTimeoutsForTesting(shortTimeouts);
    // The temporary archive goes into a folder of this test alone.
    QVERIFY(temporaryFolder.isValid());
    qputenv("TMPDIR", QFile::encodeName(temporaryFolder.path()));
}

void TestLinkBackup::init()
{
    QFile::remove(temporaryArchive());
    dir = std::make_unique<QTemporaryDir>(temporaryFolder.filePath("work"));
    QVERIFY(dir->isValid());
}

void TestLinkBackup::backupArchive_data()
{
    QTest::addColumn<FileList>("files");
    QTest::addColumn<int>("chunk");
    QTest::newRow("an empty file and a UTF-8 name") << mixedFiles << 512;
    QTest::newRow("chunk 256") << mixedFiles << 256;
    QTest::newRow("a list of many frames per read") << manyFiles(100) << 512;
}

void TestLinkBackup::backupArchive()
{
    QFETCH(FileList, files);
    QFETCH(int, chunk);
    SimLink s(files, chunk);
    QCOMPARE(s.link().createBackup(), std::optional<QString>(temporaryArchive()));
    QCOMPARE(s.sent(), QStringList{"GET_BACKUP_INFO"} + fetchesOf(files, chunk));
    QCOMPARE(s.errors(), QStringList{});

    const QJsonObject report = zipcheck::inspect(temporaryArchive());
    QCOMPARE(zipcheck::entries(report), asEntries(files));
    QVERIFY(report.value("bad").isNull());
    for (const QJsonValue& entry : report.value("entries").toArray()) {
        QVERIFY(entry.toObject().value("flags").toInt() & 0x0008);
        QVERIFY(entry.toObject().value("descriptor").toBool());
        QVERIFY(entry.toObject().value("level6").toBool());
    }
}

void TestLinkBackup::backupFailures_data()
{
    QTest::addColumn<FileList>("files");
    QTest::addColumn<QList<Fault>>("faults");
    QTest::addColumn<QString>("result"); // null: no value
    QTest::addColumn<QList<Entry>>("archived");
    QTest::addColumn<QStringList>("errors");
    const FileList three = {{"A.tcb", "alpha"}, {"B.tcb", "bravo!"}, {"C.tcb", "charlie"}};
    const QString noValue;

    QTest::newRow("empty list") << FileList{} << QList<Fault>{} << noValue << QList<Entry>{} << QStringList{};
    // The list is answers 1 to 4, the fetches 5 to 7.
    QTest::newRow("second fetch fails") << three << QList<Fault>{failed(6, calcMsg::FILE_NOT_EXIST)} << ""
                                        << asEntries(three.mid(0, 1)) << QStringList{fileNotExist};
    QTest::newRow("list message of another type") << three << QList<Fault>{wrongType(2, calcMsg::SUCCESS)}
                                                  << noValue << QList<Entry>{}
                                                  << QStringList{"Error incorrect response"};
    QTest::newRow("silent calculator") << FileList{} << QList<Fault>{fault(1, FaultMode::Silence)} << noValue
                                       << QList<Entry>{} << QStringList{connection421, readDevice};
    // Whether that message ended the list cannot be known: the line is given up on.
    QTest::newRow("undecodable list message") << three << QList<Fault>{fault(2, FaultMode::Undecodable)} << noValue
                                              << QList<Entry>{} << QStringList{outOfStep, parseMessage};
    QTest::newRow("name not UTF-8") << three << QList<Fault>{fault(1, FaultMode::BadUtf8)} << noValue
                                    << QList<Entry>{} << QStringList{parseMessage};
}

void TestLinkBackup::backupFailures()
{
    QFETCH(FileList, files);
    QFETCH(QList<Fault>, faults);
    QFETCH(QString, result);
    QFETCH(QList<Entry>, archived);
    QFETCH(QStringList, errors);
    SimLink s(files);
    s.addFaults(faults);
    QCOMPARE(s.link().createBackup(), result.isNull() ? std::optional<QString>() : result);
    QCOMPARE(s.errors(), errors);
    QCOMPARE(QFile::exists(temporaryArchive()), !result.isNull());
    if (!result.isNull())
        QCOMPARE(zipcheck::entries(zipcheck::inspect(temporaryArchive())), archived);
}

void TestLinkBackup::twoBackupsInARow()
{
    SimLink s(mixedFiles);
    QVERIFY(s.link().createBackup());
    const FileList second = {{"NEW.tcb", "new"}};
    s.sim().setFiles(second);
    QCOMPARE(s.link().createBackup(), std::optional<QString>(temporaryArchive()));
    QCOMPARE(zipcheck::entries(zipcheck::inspect(temporaryArchive())), asEntries(second));
}

// An archive cut short by a full disk is no backup, even though every entry went into it.
void TestLinkBackup::fullDiskIsNoBackup()
{
    const QString small = temporaryFolder.filePath("small");
    QVERIFY(QDir().mkpath(small));
    const QByteArray mountPoint = QFile::encodeName(small);
    QCOMPARE(::mount("tmpfs", mountPoint.constData(), "tmpfs", 0, "size=16k"), 0);
    const auto unmount = qScopeGuard([&] {
        qputenv("TMPDIR", QFile::encodeName(temporaryFolder.path()));
        ::umount(mountPoint.constData());
    });
    qputenv("TMPDIR", mountPoint);

    SimLink s({{"A.tcb", testBytes(40000)}});
    QCOMPARE(s.link().createBackup(), std::optional<QString>(QString()));
    QCOMPARE(s.errors(), QStringList{"Can't write backup file"});

    // Nor is an archive that cannot be created at all: a folder stands at its path.
    qputenv("TMPDIR", QFile::encodeName(temporaryFolder.path()));
    QVERIFY(QDir().mkpath(temporaryArchive()));
    const auto removeFolder = qScopeGuard([] { QDir(temporaryArchive()).removeRecursively(); });
    QCOMPARE(s.link().createBackup(), std::optional<QString>(QString()));
    QCOMPARE(s.errors(), QStringList({"Can't write backup file", "Can't write backup file"}));
}

void TestLinkBackup::restoreOrder_data()
{
    QTest::addColumn<QList<Entry>>("entries");
    QTest::addColumn<Form>("form");
    QTest::newRow("directory, files, an empty file")
        << QList<Entry>{{"dir/", ""}, {"dir/P.tcb", "in dir"}, {"Q.tcb", testBytes(1300)}, {"EMPTY", ""}} << Form::Plain;
    QTest::newRow("no entries") << QList<Entry>{} << Form::Plain;
    QTest::newRow("five, with data descriptors") << fiveEntries << Form::Streamed;
    QTest::newRow("five, ZIP64") << fiveEntries << Form::Zip64;
    QTest::newRow("zip adding from standard input")
        << QList<Entry>{{"A.TXT", "a"}, {"-", testBytes(1300)}} << Form::ZipCommandPiped;
}

// The archive opens first; then the calculator is cleared, filled entry by entry (no
// directories), rebooted, and reached again on its reopened port.
void TestLinkBackup::restoreOrder()
{
    QFETCH(QList<Entry>, entries);
    QFETCH(Form, form);
    const QString path = dir->filePath("restore.tbk");
    zipcheck::make(path, entries, form);
    SimLink s(FileList{{"OLD.tcb", "old"}});
    s.sim().setRebootMs(calculatorRebootMs);
    s.link().restoreBackup(QUrl::fromLocalFile(path));
    QCOMPARE(s.sent(), restoreOf(entries));
    QCOMPARE(s.errors(), QStringList{});
    FileList restored;
    for (const Entry& e : entries) {
        if (!e.name.endsWith('/'))
            restored.append({e.name, e.content});
    }
    QCOMPARE(s.sim().files(), restored);
    QCOMPARE(s.link().getNumberOfFiles(), restored.size());
}

void TestLinkBackup::restoreFailures_data()
{
    QTest::addColumn<QList<Fault>>("faults");
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<QStringList>("errors");
    const QStringList a{"SEND_FILE A.tcb 5", "FRAME 0 5"};
    const QStringList b{"SEND_FILE B.tcb 5", "FRAME 0 5"};
    const QStringList c{"SEND_FILE C.tcb 7", "FRAME 0 7"};
    const QStringList clear{"CLEAR_FILESYSTEM"};
    const QStringList reboot{"REBOOT"};
    // Answers: 1 clears; each entry is answered twice (announcement, piece); then the reboot.
    // After a failure the link regains step before it writes again.
    const QStringList regain{"GET_DEVICE_INF"};
    // The files not restored are named; one whose request went unanswered may have been.
    QTest::newRow("second of three refused") << QList<Fault>{failed(5, calcMsg::MEMORY_ERROR, "full")}
                                             << clear + a + b + regain + reboot
                                             << QStringList{"full", notDone("B.tcb, C.tcb")};
    const QString noneDone = notDone("A.tcb, B.tcb, C.tcb");
    QTest::newRow("clearing refused") << QList<Fault>{failed(1, calcMsg::WRITE_ERROR)} << clear
                                      << QStringList{"Can't clear filesystem", noneDone};
    // Cleared or not, nothing is sent to a calculator that did not answer its clearing.
    const QStringList unanswered{connection421, readDevice, "the calculator may have been cleared", noneDone};
    QTest::newRow("clearing unanswered") << QList<Fault>{fault(1, FaultMode::Silence)} << clear << unanswered;
    QTest::newRow("clearing answered late") << QList<Fault>{late(1)} << clear << unanswered;
    QTest::newRow("piece answered late") << QList<Fault>{late(3)} << clear + a + regain + reboot
                                         << QStringList{connection421, notDone("B.tcb, C.tcb"), notKnown("A.tcb")};
    // Later than two waits: step is not regained, and nothing more is sent, the reboot included.
    QTest::newRow("piece answered later") << QList<Fault>{late(3, beyondTwoWaitsMs)} << clear + a
                                          << QStringList{connection421, notDone("B.tcb, C.tcb"), notKnown("A.tcb"),
                                                         outOfStep};
    QTest::newRow("reboot refused") << QList<Fault>{failed(8, calcMsg::WRITE_ERROR)}
                                    << clear + a + b + c + reboot << QStringList{"Can't reboot device"};
}

void TestLinkBackup::restoreFailures()
{
    QFETCH(QList<Fault>, faults);
    QFETCH(QStringList, sent);
    QFETCH(QStringList, errors);
    const QList<Entry> entries = {{"A.tcb", "alpha", 0}, {"B.tcb", "bravo", 0}, {"C.tcb", "charlie", 0}};
    const QString path = dir->filePath("restore.tbk");
    zipcheck::make(path, entries);
    SimLink s;
    s.sim().setRebootMs(calculatorRebootMs);
    s.addFaults(faults);
    s.link().restoreBackup(QUrl::fromLocalFile(path));
    // A late answer holds back what the calculator reads after it.
    if (std::any_of(faults.begin(), faults.end(), [](const Fault& f) { return f.mode == FaultMode::Late; }))
        QThread::msleep(beyondTwoWaitsMs);
    QCOMPARE(s.sent(), sent);
    QCOMPARE(s.errors(), errors);
}

void TestLinkBackup::refusedArchiveClearsNothing_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no file; fifo, linkToFifo: no regular file
    QTest::addColumn<QString>("error");
    const QString cantOpen = QStringLiteral("Can't open backup file");
    const QString cantRead = QStringLiteral("Can't read backup file");
    const QByteArray five = zipcheck::made(fiveEntries);
    const QByteArray streamed = zipcheck::made(fiveEntries, Form::Streamed);
    const QByteArray empty = zipcheck::made({});
    // Python writes no file type (0x01); these bits make it a symbolic link's (0xA1).
    constexpr char symbolicLinkBits = char(0xA0);

    QTest::newRow("missing") << QByteArray() << cantOpen;
    QTest::newRow("not an archive") << QByteArray("10 PRINT 1\n") << cantOpen;
    QTest::newRow("bad CRC in the third entry") << zipcheck::damaged(five, "charlie") << cantRead;
    QTest::newRow("damaged central-directory record")
        << zipcheck::damaged(five, zipcheck::centralRecord, 2) << cantRead;
    QTest::newRow("damaged local header of the third entry")
        << zipcheck::damaged(five, zipcheck::localHeader, 2) << cantRead;
    QTest::newRow("cut in the fourth entry") << zipcheck::cutShort(five, zipcheck::localHeader, 3) << cantRead;
    // Read as a stream, every entry of this one is still whole.
    QTest::newRow("with data descriptors, cut in its end record")
        << zipcheck::cutShort(streamed, zipcheck::endRecord) << cantRead;
    QTest::newRow("no entries, cut short") << empty.left(empty.size() - 1) << cantRead;
    // The central directory then reads as one without entries.
    QTest::newRow("central directory of no size")
        << zipcheck::patched(five, zipcheck::endRecord, zipcheck::endRecordDirectorySize, QByteArray(4, '\0'))
        << cantRead;
    // Read by its local header, "C.tcb" would overwrite "B.tcb".
    QTest::newRow("local header of the third entry names the second")
        << zipcheck::damaged(five, zipcheck::localHeader, 2, zipcheck::localHeaderName) << cantRead;
    // Read as a link, "C.tcb" would be restored empty.
    QTest::newRow("third entry marked a symbolic link")
        << zipcheck::damaged(five, zipcheck::centralRecord, 2, zipcheck::centralRecordFileType, symbolicLinkBits)
        << cantRead;
    // Typed a folder (0x41), "C.tcb" would be passed over.
    QTest::newRow("third entry typed a folder")
        << zipcheck::damaged(five, zipcheck::centralRecord, 2, zipcheck::centralRecordFileType, 0x40) << cantRead;
    QTest::newRow("FIFO") << fifo << cantOpen;
    QTest::newRow("symbolic link to a FIFO") << linkToFifo << cantOpen;
    QTest::newRow("a name holding a NUL")
        << zipcheck::made({{"ab", "a real ab", 0}, {"ab#c", "other", 0}}).replace("ab#c", QByteArray("ab\0c", 4))
        << cantRead;
}

// An archive that cannot be read through is refused before the calculator is touched.
void TestLinkBackup::refusedArchiveClearsNothing()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, error);
    const QString path = dir->filePath("restore.tbk");
    const QString fifoPath = content == linkToFifo ? path + ".fifo" : path;
    if (content == fifo || content == linkToFifo)
        QVERIFY(::mkfifo(QFile::encodeName(fifoPath).constData(), 0600) == 0
                && (fifoPath == path || QFile::link(fifoPath, path)));
    else if (!content.isNull())
        QVERIFY(writeFile(path, content));
    SimLink s(FileList{{"OLD.tcb", "old"}});
    s.link().restoreBackup(QUrl::fromLocalFile(path));
    QCOMPARE(s.errors(), QStringList{error});
    QCOMPARE(s.sent(), QStringList{});
    QCOMPARE(s.sim().files(), FileList({{"OLD.tcb", "old"}}));
}

// A backup restored from a folder with a non-ASCII name gives the calculator back every
// file, byte for byte and name for name, in its order.
void TestLinkBackup::roundTrip()
{
    const FileList files = mixedFiles + FileList{{"BIG.bin", testBytes(5000, 7)}, {"x/y.tcb", "nested"}};
    SimLink s(files);
    s.sim().setRebootMs(calculatorRebootMs);
    const std::optional<QString> archive = s.link().createBackup();
    QVERIFY(archive && !archive->isEmpty());
    const QString kept = dir->filePath(QStringLiteral("Sicherung \u00E4\u00DF/calc.tbk"));
    QVERIFY(QDir().mkpath(QFileInfo(kept).path()));
    QVERIFY(QFile::rename(*archive, kept));

    s.sim().setFiles({{"OTHER.tcb", "other"}});
    s.link().restoreBackup(QUrl::fromLocalFile(kept));
    QCOMPARE(s.errors(), QStringList{});
    QCOMPARE(s.sim().files(), files);
}

// A calculator that restarts for longer than the pause and a wait never hears the request
// written meanwhile: that read fails, but nothing is owed, and the next job reads the files.
void TestLinkBackup::restartOutlastingThePause()
{
    const QString path = dir->filePath("restore.tbk");
    zipcheck::make(path, {{"A.tcb", "alpha"}});
    SimLink s;
    s.sim().setRebootMs(beyondTwoWaitsMs);
    s.link().restoreBackup(QUrl::fromLocalFile(path));
    QCOMPARE(s.link().getNumberOfFiles(), 0);
    QCOMPARE(s.errors(), QStringList({connection421, outOfStep}));
    QThread::msleep(beyondTwoWaitsMs);
    s.reopen();
    QCOMPARE(s.link().getNumberOfFiles(), 1);
}

// A calculator that does not come back after its reboot leaves the restore without a port.
void TestLinkBackup::portGoneAfterReboot()
{
    CTaviCalc::Timeouts timeouts = shortTimeouts;
    timeouts.rebootPause = 1000;
    CTaviCalc::setTimeoutsForTesting(timeouts);
    const auto restoreTimeouts = qScopeGuard([] { CTaviCalc::setTimeoutsForTesting(shortTimeouts); });
    const QString path = dir->filePath("restore.tbk");
    zipcheck::make(path, {{"A.tcb", "alpha"}});
    PluggedSimulator sim;
    sim->setRebootMs(calculatorRebootMs);
    const QSerialPortInfo info = discovered(sim.portName());

    QStringList errors;
    std::unique_ptr<QThread> job(QThread::create([&] {
        CTaviCalc link(info);
        QObject::connect(&link, &CTaviCalc::errorNotify, [&](const QString& text) { errors << text; });
        link.restoreBackup(QUrl::fromLocalFile(path));
    }));
    job->start();
    QTRY_VERIFY(sim->receivedTypes().contains(calcMsg::REBOOT));
    sim.unplug();
    QVERIFY(job->wait(10000));
    QCOMPARE(errors, QStringList{"Can't connect to device"});
}

CALCSIM_TEST_GUILESS_MAIN(TestLinkBackup)
#include "tst_linkbackup.moc"
