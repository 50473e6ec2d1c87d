#include "SimLink.h"
#include "TestFiles.h"

#include "SimTestMain.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sys/mount.h>

using namespace calcsim;
using namespace linktest;
using TaviCalc::calcMsg;

Q_DECLARE_METATYPE(calcsim::Fault)

namespace {

QStringList folderContents(const QString& path)
{
    return QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

QList<FileEntry> sentFiles(const QSignalSpy& spy)
{
    QList<FileEntry> files;
    for (const QList<QVariant>& arguments : spy)
        files << arguments.at(0).value<FileEntry>();
    return files;
}

} // namespace

// The list operations over local files and folders, and the editor's text in and out.
class TestLinkBatch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void sendList_data();
    void sendList();
    void downloadName_data();
    void downloadName();
    void unwritableFileIsNamed_data();
    void unwritableFileIsNamed();
    void downloadListGoesOn();
    void downloadReplacesWhole();
    void fullDiskKeepsOldFile();
    void deleteList();
    void programText_data();
    void programText();
    void sendProgramText_data();
    void sendProgramText();

private:
    std::unique_ptr<QTemporaryDir> dir;
};

void TestLinkBatch::initTestCase()
{
    CTaviCalc::setTimeoutsForTesting(shortTimeouts);
    qRegisterMetaType<FileEntry>();
}

void TestLinkBatch::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

void TestLinkBatch::sendList_data()
{
    QTest::addColumn<QList<Fault>>("faults");
    QTest::addColumn<QList<FileEntry>>("signalled");
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QStringList>("errors");
    const QString tooLarge = "Wrong data size.";
    QTest::newRow("all sent") << QList<Fault>{} << QList<FileEntry>{{"MYPROG.tcb", 700}, {"EMPTY.tcb", 0}}
                              << QStringList{"MYPROG.tcb", "EMPTY.tcb"}
                              << QStringList{tooLarge, notDone("huge.tcb")};
    QTest::newRow("first refused") << QList<Fault>{failed(1, calcMsg::MEMORY_ERROR)}
                                   << QList<FileEntry>{{"EMPTY.tcb", 0}} << QStringList{"EMPTY.tcb"}
                                   << QStringList{"Memory error.", tooLarge, notDone("my prog.tcb, huge.tcb")};
}

// Names go through the short-name rule; a file that does not open, or whose name leaves
// nothing to store it under, is passed over and named; an empty file goes as an
// announcement without pieces; one larger than a calculator file can be is refused, not
// sent cut short.
void TestLinkBatch::sendList()
{
    QFETCH(QList<Fault>, faults);
    QFETCH(QList<FileEntry>, signalled);
    QFETCH(QStringList, stored);
    QFETCH(QStringList, errors);
    QVERIFY(writeFile(dir->filePath("my prog.tcb"), testBytes(700)));
    QVERIFY(writeFile(dir->filePath("empty.tcb"), {}));
    QVERIFY(writeFile(dir->filePath("dots"), "dots"));
    QFile huge(dir->filePath("huge.tcb"));
    QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(qint64(1) << 31));
    huge.close();
    SimLink s;
    s.addFaults(faults);
    QSignalSpy sent(&s.link(), &CTaviCalc::fileSend);
    const QStringList passedOver = s.link().genSendFilesRequest({{dir->filePath("my prog.tcb"), "my prog.tcb"},
                                                                 {dir->filePath("missing.tcb"), "missing.tcb"},
                                                                 {dir->filePath("empty.tcb"), "empty.tcb"},
                                                                 {dir->filePath("dots"), "..."},
                                                                 {huge.fileName(), "huge.tcb"}});
    QCOMPARE(passedOver, QStringList({dir->filePath("missing.tcb"), dir->filePath("dots")}));
    QCOMPARE(sentFiles(sent), signalled);
    QStringList names;
    for (const auto& file : s.sim().files())
        names << QString::fromUtf8(file.first);
    QCOMPARE(names, stored);
    QCOMPARE(s.sent().filter("SEND_FILE"), QStringList({"SEND_FILE MYPROG.tcb 700", "SEND_FILE EMPTY.tcb 0"}));
    QCOMPARE(s.errors(), errors);
}

void TestLinkBatch::downloadName_data()
{
    QTest::addColumn<QByteArray>("calcName");
    QTest::addColumn<QString>("localName"); // empty: skipped
    QTest::newRow("plain") << QByteArray("A.tcb") << "A.tcb";
    QTest::newRow("slash") << QByteArray("sub/B.tcb") << "B.tcb";
    QTest::newRow("parent path") << QByteArray("../x") << "x";
    // Only the escapes are decoded: the rest of the name is the name.
    QTest::newRow("number sign") << QByteArray("p#q.TXT") << "p#q.TXT";
    QTest::newRow("question mark") << QByteArray("r?s.TXT") << "r?s.TXT";
    QTest::newRow("number sign first") << QByteArray("#x") << "#x";
    QTest::newRow("colon") << QByteArray("C:X.TXT") << "C:X.TXT";
    QTest::newRow("percent escape") << QByteArray("%41BC") << "ABC";
    QTest::newRow("escaped blank") << QByteArray("NOTE%20A.txt") << "NOTE A.txt";
    QTest::newRow("percent sign") << QByteArray("100%.TXT") << "100%.TXT";
    QTest::newRow("escaped parent path") << QByteArray("a%2F..%2Fb") << "";
    QTest::newRow("two dots") << QByteArray("..") << "";
    QTest::newRow("escaped two dots") << QByteArray("%2E%2E") << "";
    QTest::newRow("one dot") << QByteArray(".") << "";
    QTest::newRow("backslash") << QByteArray("..\\x") << "";
    QTest::newRow("escaped null") << QByteArray("ab%00cd") << "";
}

// Whatever the calculator calls a file, the download stays in the chosen folder; a file
// without a local name is not even fetched.
void TestLinkBatch::downloadName()
{
    QFETCH(QByteArray, calcName);
    QFETCH(QString, localName);
    const QString folder = dir->filePath("down");
    QVERIFY(QDir().mkpath(folder));
    SimLink s({{calcName, "content"}});
    const QList<QUrl> written = s.link().genGetFilesRequest({{QString::fromUtf8(calcName), 7}}, folder);
    const QString path = folder + '/' + localName;
    QCOMPARE(written, localName.isEmpty() ? QList<QUrl>{} : QList<QUrl>{QUrl::fromLocalFile(path)});
    QCOMPARE(folderContents(folder), localName.isEmpty() ? QStringList{} : QStringList{localName});
    QCOMPARE(folderContents(dir->path()), QStringList{"down"});
    if (!localName.isEmpty())
        QCOMPARE(readFile(path), QByteArray("content"));
    QCOMPARE(s.sent().filter("GET_FILE").size(), localName.isEmpty() ? 0 : 1);
    QCOMPARE(s.errors(), QStringList{});
}

void TestLinkBatch::unwritableFileIsNamed_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QStringList>("unwritable");
    QTest::newRow("missing folder") << "missing" << QStringList{"A.tcb", "B.tcb"};
    QTest::newRow("a folder in the way") << "" << QStringList{"A.tcb"};
}

// A file that cannot be written is reported under its local path; the others go on.
void TestLinkBatch::unwritableFileIsNamed()
{
    QFETCH(QString, folder);
    QFETCH(QStringList, unwritable);
    const QString path = dir->filePath(folder);
    QVERIFY(QDir(dir->path()).mkdir("A.tcb"));
    SimLink s({{"A.tcb", "a"}, {"B.tcb", "b"}});
    const QList<QUrl> written = s.link().genGetFilesRequest({{"A.tcb", 1}, {"B.tcb", 1}}, path);
    QStringList errors;
    for (const QString& name : unwritable)
        errors << "Can't write file: " + path + "/" + name;
    QCOMPARE(s.errors(), errors << notDone(unwritable.join(", ")));
    QCOMPARE(written.size(), 2 - unwritable.size());
    QCOMPARE(s.sent().filter("GET_FILE").size(), 2);
}

void TestLinkBatch::downloadListGoesOn()
{
    SimLink s({{"A.tcb", testBytes(1300)}, {"C.tcb", {}}, {"D.tcb", "d"}});
    const QList<QUrl> written = s.link().genGetFilesRequest({{"A.tcb", 1300}, {"B.tcb", 4}, {"C.tcb", 0}, {"D.tcb", 1}},
                                                            dir->path());
    // An empty calculator file takes no exchange and comes down as an empty file.
    QCOMPARE(written, QList<QUrl>({QUrl::fromLocalFile(dir->filePath("A.tcb")), QUrl::fromLocalFile(dir->filePath("C.tcb")),
                                   QUrl::fromLocalFile(dir->filePath("D.tcb"))}));
    QCOMPARE(folderContents(dir->path()), QStringList({"A.tcb", "C.tcb", "D.tcb"}));
    QCOMPARE(readFile(dir->filePath("A.tcb")), testBytes(1300));
    QCOMPARE(QFileInfo(dir->filePath("C.tcb")).size(), 0);
    QCOMPARE(s.sent().filter("GET_FILE"), QStringList({"GET_FILE A.tcb 1300", "GET_FILE B.tcb 4", "GET_FILE D.tcb 1"}));
    QCOMPARE(s.errors(), QStringList({fileNotExist, notDone("B.tcb")}));
}

void TestLinkBatch::downloadReplacesWhole()
{
    QVERIFY(writeFile(dir->filePath("A.tcb"), QByteArray(2000, 'o')));
    QVERIFY(writeFile(dir->filePath("B.tcb"), "old"));
    SimLink s(FileList{{"A.tcb", "new"}});
    s.link().genGetFilesRequest({{"A.tcb", 3}, {"B.tcb", 3}}, dir->path());
    QCOMPARE(readFile(dir->filePath("A.tcb")), QByteArray("new"));
    QCOMPARE(readFile(dir->filePath("B.tcb")), QByteArray("old"));
}

// A download that cannot be written whole leaves the file it would replace as it was.
void TestLinkBatch::fullDiskKeepsOldFile()
{
    const QString folder = dir->filePath("small");
    QVERIFY(QDir().mkpath(folder));
    const QByteArray mountPoint = QFile::encodeName(folder);
    QCOMPARE(::mount("tmpfs", mountPoint.constData(), "tmpfs", 0, "size=64k"), 0);
    const auto unmount = qScopeGuard([&] { ::umount(mountPoint.constData()); });
    QVERIFY(writeFile(folder + "/A.tcb", "old"));
    // Fill the disk, then leave less room than the download needs.
    QFile filler(folder + "/filler");
    QVERIFY(filler.open(QIODevice::WriteOnly));
    const QByteArray block(4096, 'f');
    while (filler.write(block) == block.size() && filler.flush())
        continue;
    filler.close();
    filler.resize(filler.size() - 2 * block.size());

    SimLink s({{"A.tcb", testBytes(20000)}});
    const QList<QUrl> written = s.link().genGetFilesRequest({{"A.tcb", 20000}}, folder);
    QCOMPARE(written, QList<QUrl>{});
    QCOMPARE(readFile(folder + "/A.tcb"), QByteArray("old"));
    QCOMPARE(s.errors(), QStringList({"Can't write file: " + folder + "/A.tcb", notDone("A.tcb")}));
}

void TestLinkBatch::deleteList()
{
    SimLink s({{"A.tcb", "a"}, {"C.tcb", "c"}});
    QSignalSpy deleted(&s.link(), &CTaviCalc::fileDeleted);
    s.link().genDelFilesRequest({{"A.tcb", 1}, {"B.tcb", 1}, {"C.tcb", 1}});
    QCOMPARE(texts(deleted), QStringList({"A.tcb", "C.tcb"}));
    QCOMPARE(s.errors(), QStringList({fileNotExist, notDone("B.tcb")}));
    QCOMPARE(s.sim().files(), FileList{});
}

void TestLinkBatch::programText_data()
{
    QTest::addColumn<QByteArray>("content"); // null: not on the calculator
    QTest::addColumn<QString>("text");       // null: the fetch failed
    QTest::newRow("whole text") << QByteArray("10 PRINT 1\n") << "10 PRINT 1\n";
    QTest::newRow("Latin-1") << QByteArray("\xE9t\xE9\x99") << QString::fromLatin1("\xE9t\xE9\x99");
    QTest::newRow("ends at a null byte") << QByteArray("10 END\n\0junk", 12) << "10 END\n";
    QTest::newRow("failed fetch") << QByteArray() << QString();
    QTest::newRow("empty program") << QByteArray("") << "";
}

void TestLinkBatch::programText()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, text);
    SimLink s(content.isNull() ? FileList{} : FileList{{"P.tcb", content}});
    const QPair<QString, QString> fetched = s.link().genGetFileString({"P.tcb", content.isNull() ? 1 : content.size()});
    QCOMPARE(fetched.first.isNull(), text.isNull());
    QCOMPARE(fetched.second, text);
    if (text.isNull())
        QVERIFY(fetched.second.isNull());
}

void TestLinkBatch::sendProgramText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("stored");
    QTest::newRow("empty") << "" << QByteArray("\n");
    QTest::newRow("ends in a line feed") << "a\n" << QByteArray("a\n");
    QTest::newRow("ends in a carriage return") << "a\r" << QByteArray("a\r\n");
    QTest::newRow("Latin-1 letter") << "caf\u00E9" << QByteArray("caf\xE9\n");
    QTest::newRow("beyond Latin-1") << "\u0394" << QByteArray("?\n");
    QTest::newRow("exactly one chunk") << QString(511, 'x') << QByteArray(511, 'x') + '\n';
}

// The name goes as given: the editor's names are already the calculator's.
void TestLinkBatch::sendProgramText()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, stored);
    SimLink s;
    s.link().genSendFileString("my prog.tcb", text);
    QCOMPARE(s.sim().files(), FileList({{"my prog.tcb", stored}}));
}

CALCSIM_TEST_GUILESS_MAIN(TestLinkBatch)
#include "tst_linkbatch.moc"
