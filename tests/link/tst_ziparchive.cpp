#include "TestFiles.h"
#include "ZipCheck.h"
#include "link/ZipArchive.h"

#include <QJsonArray>
#include <QTemporaryDir>
#include <QtTest>

#include <clocale>

using zipcheck::Entry;
using zipcheck::Form;

namespace {

bool isAscii(const QString& name)
{
    return std::all_of(name.begin(), name.end(), [](QChar c) { return c.unicode() < 0x80; });
}

void writeArchive(const QString& path, const QList<Entry>& entries)
{
    const std::unique_ptr<ZipArchive> zip = ZipArchive::openForWriting(path, 6);
    QVERIFY(zip);
    for (const Entry& e : entries) {
        QVERIFY(zip->openEntry(e.name));
        QVERIFY(zip->write(e.content));
        zip->closeEntry();
    }
}

} // namespace

Q_DECLARE_METATYPE(QList<Entry>)
Q_DECLARE_METATYPE(zipcheck::Form)

class TestZipArchive : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void writtenArchiveReadsElsewhere_data();
    void writtenArchiveReadsElsewhere();
    void readsForeignArchives_data();
    void readsForeignArchives();
    void unreadableEntryLeavesOthers();
    void damagedArchiveIsNotWhole_data();
    void damagedArchiveIsNotWhole();
    void entryBeyondLargestIsUnreadable_data();
    void entryBeyondLargestIsUnreadable();
    void refusesWhatItCannotOpen_data();
    void refusesWhatItCannotOpen();
    void neverWritesThroughLink();
    void entriesOpenInAscendingOrder();

private:
    std::unique_ptr<QTemporaryDir> dir;
};

// Names are UTF-8 whatever the user's locale: run in the plain C locale, which has no
// characters beyond ASCII.
void TestZipArchive::initTestCase()
{
    QVERIFY(setlocale(LC_ALL, "C"));
}

void TestZipArchive::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

void TestZipArchive::writtenArchiveReadsElsewhere_data()
{
    QTest::addColumn<QList<Entry>>("entries");
    QTest::addColumn<QStringList>("storedNames");
    const QByteArray text = QByteArray("10 PRINT \"HELLO\"\n20 GOTO 10\n").repeated(200);

    QTest::newRow("one program") << QList<Entry>{{"PROG.tcb", text}} << QStringList{"PROG.tcb"};
    QTest::newRow("several, order kept")
        << QList<Entry>{{"B.tcb", "b"}, {"A.tcb", text}, {"C.bin", testBytes(300000)}}
        << QStringList{"B.tcb", "A.tcb", "C.bin"};
    QTest::newRow("empty entry") << QList<Entry>{{"EMPTY.tcb", ""}, {"X", "x"}} << QStringList{"EMPTY.tcb", "X"};
    QTest::newRow("UTF-8 name") << QList<Entry>{{"CAF\xC3\x89.tcb", text}} << QStringList{"CAF\u00C9.tcb"};
    QTest::newRow("backslash stored as slash") << QList<Entry>{{"A\\B.tcb", "ab"}} << QStringList{"A/B.tcb"};
}

void TestZipArchive::writtenArchiveReadsElsewhere()
{
    QFETCH(QList<Entry>, entries);
    QFETCH(QStringList, storedNames);
    const QString path = dir->filePath("backup.tbk");
    writeArchive(path, entries);

    const QJsonObject report = zipcheck::inspect(path);
    QVERIFY(report.value("bad").isNull());
    QCOMPARE(report.value("comment").toString(), QString());
    QCOMPARE(report.value("trailing").toInt(-1), 0);
    const QJsonArray found = report.value("entries").toArray();
    QCOMPARE(found.size(), entries.size());
    for (int i = 0; i < found.size(); ++i) {
        const QJsonObject e = found.at(i).toObject();
        const QString name = e.value("name").toString();
        QCOMPARE(name, storedNames.at(i));
        QCOMPARE(QByteArray::fromHex(e.value("content").toString().toLatin1()), entries.at(i).content);
        QCOMPARE(e.value("size").toInt(), entries.at(i).content.size());
        QCOMPARE(e.value("method").toInt(), 8);
        const int flags = e.value("flags").toInt();
        QVERIFY(flags & 0x0008);
        QCOMPARE(bool(flags & 0x0800), !isAscii(name));
        QVERIFY(e.value("descriptor").toBool());
        QVERIFY(e.value("level6").toBool());
    }
}

void TestZipArchive::readsForeignArchives_data()
{
    QTest::addColumn<QList<Entry>>("entries");
    QTest::addColumn<QList<int>>("directories");
    QTest::addColumn<Form>("form");
    const QList<Entry> storedAndDeflated{{"S.tcb", "stored", 0}, {"D.tcb", testBytes(70000), 8}, {"E.tcb", "", 8}};

    QTest::newRow("no entries") << QList<Entry>{} << QList<int>{} << Form::Plain;
    QTest::newRow("stored and deflated") << storedAndDeflated << QList<int>{} << Form::Plain;
    QTest::newRow("directory and its file")
        << QList<Entry>{{"dir/", ""}, {"dir/P.tcb", "in dir"}, {"Q.tcb", "q"}} << QList<int>{0} << Form::Plain;
    QTest::newRow("non-ASCII name") << QList<Entry>{{"\xC3\x9C" "BER.tcb", "u"}} << QList<int>{} << Form::Plain;
    QTest::newRow("data descriptors") << storedAndDeflated << QList<int>{} << Form::Streamed;
    QTest::newRow("ZIP64") << storedAndDeflated << QList<int>{} << Form::Zip64;
    QTest::newRow("zip command, stored and deflated") << storedAndDeflated << QList<int>{} << Form::ZipCommand;
    QTest::newRow("zip command, directory and its file")
        << QList<Entry>{{"dir/", ""}, {"dir/P.tcb", "in dir"}, {"Q.tcb", "q"}} << QList<int>{0} << Form::ZipCommand;
    QTest::newRow("zip command, data descriptors") << storedAndDeflated << QList<int>{} << Form::ZipCommandStreamed;
    QTest::newRow("zip command, ZIP64") << storedAndDeflated << QList<int>{} << Form::ZipCommandZip64;
    QTest::newRow("zip from standard input")
        << QList<Entry>{{"-", testBytes(3000)}} << QList<int>{} << Form::ZipCommandPiped;
    QTest::newRow("zip adding from standard input")
        << QList<Entry>{{"A.TXT", "a"}, {"-", "from input"}} << QList<int>{} << Form::ZipCommandPiped;
    QTest::newRow("libarchive, ZIP64") << storedAndDeflated << QList<int>{} << Form::LibarchiveZip64;
}

void TestZipArchive::readsForeignArchives()
{
    QFETCH(QList<Entry>, entries);
    QFETCH(QList<int>, directories);
    QFETCH(Form, form);
    const QString path = dir->filePath("foreign.zip");
    zipcheck::make(path, entries, form);

    const std::unique_ptr<ZipArchive> zip = ZipArchive::openForReading(path);
    QVERIFY(zip);
    QVERIFY(zip->isWhole());
    QCOMPARE(zip->count(), entries.size());
    for (int i = 0; i < entries.size(); ++i) {
        QVERIFY(zip->openEntry(i));
        QCOMPARE(zip->entryName(), entries.at(i).name);
        QCOMPARE(zip->isDirectory(), std::optional<bool>(directories.contains(i)));
        QCOMPARE(zip->readEntry(), std::optional<QByteArray>(entries.at(i).content));
        zip->closeEntry();
        QCOMPARE(zip->isDirectory(), std::optional<bool>());
    }
    QVERIFY(!zip->openEntry(entries.size()));
}

void TestZipArchive::unreadableEntryLeavesOthers()
{
    const QString path = dir->filePath("damaged.zip");
    zipcheck::make(path, {{"A", "first"}, {"B", "damage me", 0}, {"C", "third"}});
    QVERIFY(zipcheck::damage(path, "damage me"));

    const std::unique_ptr<ZipArchive> zip = ZipArchive::openForReading(path);
    QVERIFY(zip);
    QVERIFY(zip->openEntry(1));
    QCOMPARE(zip->readEntry(), std::optional<QByteArray>());
    QVERIFY(zip->openEntry(2));
    QCOMPARE(zip->readEntry(), std::optional<QByteArray>("third"));
}

void TestZipArchive::damagedArchiveIsNotWhole_data()
{
    QTest::addColumn<QByteArray>("content");
    const QList<Entry> five{{"A", "first", 8}, {"B", testBytes(3000), 8}, {"C", "damage me", 0}, {"D", "d", 0}, {"E", "e", 8}};
    const QByteArray plain = zipcheck::made(five);
    const QByteArray streamed = zipcheck::made(five, Form::Streamed);
    const QByteArray zip64 = zipcheck::made(five, Form::Zip64);
    const QByteArray empty = zipcheck::made({});
    const QTemporaryDir folder;
    const QString made = folder.filePath("made.zip");
    writeArchive(made, five);
    const QByteArray written = readFile(made);
    // Python cannot write a name holding a NUL: one is put in place of the "#".
    const QByteArray hashes = zipcheck::made({{"ab", "a real ab", 0}, {"ab#c", "other", 0}, {"#C", "c", 0}});
    const QByteArray noName = zipcheck::made({{"A", "first"}, {"", "no name"}});
    using namespace zipcheck;
    // The first value of the ZIP64 extra field after a one-letter name: the size.
    constexpr int centralZip64Size = centralRecordName + 1 + 4;

    QTest::newRow("bad CRC") << zipcheck::damaged(plain, "damage me");
    QTest::newRow("central-directory record") << zipcheck::damaged(plain, zipcheck::centralRecord, 2);
    QTest::newRow("local header") << zipcheck::damaged(plain, zipcheck::localHeader, 2);
    QTest::newRow("cut in an entry") << zipcheck::cutShort(plain, zipcheck::localHeader, 3);
    QTest::newRow("cut in the central directory") << zipcheck::cutShort(plain, zipcheck::centralRecord, 1);
    QTest::newRow("streamed, cut in the end record") << zipcheck::cutShort(streamed, endRecord);
    QTest::newRow("no entries, cut short") << empty.left(empty.size() - 1);
    QTest::newRow("end record") << zipcheck::damaged(plain, endRecord);
    // The central directory then reaches beyond its end record: it is not read at all.
    QTest::newRow("central directory too large")
        << zipcheck::damaged(plain, endRecord, 0, zipcheck::endRecordDirectorySize + 1);
    // The central directory then reads as one without entries.
    QTest::newRow("central directory of no size")
        << zipcheck::patched(plain, endRecord, zipcheck::endRecordDirectorySize, QByteArray(4, '\0'));
    QTest::newRow("one entry more announced")
        << zipcheck::patched(plain, endRecord, zipcheck::endRecordCounts, QByteArray("\x06\0\x06\0", 4));
    QTest::newRow("one entry less announced in ZIP64 form")
        << zipcheck::patched(zip64, zipcheck::zip64EndRecord, zipcheck::zip64EndRecordCounts,
                             QByteArray("\x04\0\0\0\0\0\0\0", 8).repeated(2));
    // The local header of "C" names "B": read by it, "C" would be restored as a second "B".
    QTest::newRow("local name differs") << zipcheck::damaged(plain, localHeader, 2, localHeaderName);
    QTest::newRow("local name differs, with data descriptors")
        << zipcheck::damaged(streamed, localHeader, 2, localHeaderName);
    QTest::newRow("local name differs, ZIP64") << zipcheck::damaged(zip64, localHeader, 2, localHeaderName);
    // The entry is read by its local header, which is right; the central record differs from it.
    QTest::newRow("method differs") << zipcheck::damaged(plain, centralRecord, 0, centralRecordMethod, 0x08);
    QTest::newRow("CRC differs") << zipcheck::damaged(plain, centralRecord, 2, centralRecordCrc);
    QTest::newRow("compressed size differs") << zipcheck::damaged(plain, centralRecord, 2, centralRecordCompressedSize);
    QTest::newRow("size differs") << zipcheck::damaged(plain, centralRecord, 2, centralRecordSize);
    QTest::newRow("size differs, ZIP64") << zipcheck::damaged(zip64, centralRecord, 2, centralZip64Size);
    // One bit turns a regular file into a symbolic link.
    QTest::newRow("symbolic link") << zipcheck::damaged(written, centralRecord, 2, centralRecordFileType, 0x20);
    QTest::newRow("empty name") << noName;
    QTest::newRow("name starting with NUL") << QByteArray(hashes).replace("#C", QByteArray("\0C", 2));
    QTest::newRow("name holding a NUL") << QByteArray(hashes).replace("ab#c", QByteArray("ab\0c", 4));
    // A file typed a folder by one bit, Unix or DOS, would be passed over.
    QTest::newRow("file typed a Unix folder") << zipcheck::damaged(plain, centralRecord, 2, centralRecordFileType, 0x40);
    QTest::newRow("file typed a DOS folder")
        << zipcheck::damaged(plain, centralRecord, 2, centralRecordDosAttributes, 0x10);
    QTest::newRow("folder holding data") << QByteArray(hashes).replace("#C", "C/");
    QTest::newRow("name not UTF-8") << QByteArray(hashes).replace("#C", "C\xE9");
    QTest::newRow("name repeated, letter case aside") << zipcheck::made({{"P2.tcb", "two"}, {"p2.TCB", "three"}});
    // The local copy names "P3.tcb" "P2x.tcb", the central one "P3x.tcb".
    QTest::newRow("Unicode Path copies differ")
        << zipcheck::damaged(zipcheck::made({{"P2.tcb", "two"}, {"P3.tcb", "three", 8, "P3x.tcb"}}), "P3x", 0, 1);
    // Read from a Unicode Path that is not UTF-8, the name is empty.
    QTest::newRow("Unicode Path not UTF-8")
        << zipcheck::made({{"P3.tcb", "three", 8, "P3#.tcb"}}).replace("P3#", "P3\xB0");
    QTest::newRow("end records disagree, ZIP64") << zipcheck::damaged(zip64, endRecord, 0, endRecordDirectorySize);
}

// The archive still opens, and what can be read of it still reads, but it is not whole.
void TestZipArchive::damagedArchiveIsNotWhole()
{
    QFETCH(QByteArray, content);
    const QString path = dir->filePath("damaged.zip");
    QVERIFY(writeFile(path, content));
    const std::unique_ptr<ZipArchive> zip = ZipArchive::openForReading(path);
    QVERIFY(zip);
    QVERIFY(!zip->isWhole());
}

void TestZipArchive::entryBeyondLargestIsUnreadable_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("largest") << ZipArchive::largestEntry;
    QTest::newRow("one byte more") << ZipArchive::largestEntry + 1;
}

// A few kilobytes of deflated zeros can stand for gigabytes: reading stops at the limit.
void TestZipArchive::entryBeyondLargestIsUnreadable()
{
    QFETCH(int, size);
    const QString path = dir->filePath("inflates.zip");
    writeArchive(path, {{"BIG", QByteArray(size, '\0')}, {"C", "third"}});

    const std::unique_ptr<ZipArchive> zip = ZipArchive::openForReading(path);
    QVERIFY(zip);
    QVERIFY(zip->openEntry(0));
    const std::optional<QByteArray> content = zip->readEntry();
    QCOMPARE(content.has_value(), size <= ZipArchive::largestEntry);
    QCOMPARE(zip->isWhole(), size <= ZipArchive::largestEntry);
    QVERIFY(zip->openEntry(1));
    QCOMPARE(zip->readEntry(), std::optional<QByteArray>("third"));
}

void TestZipArchive::refusesWhatItCannotOpen_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no file at all
    QTest::newRow("missing") << QByteArray();
    QTest::newRow("empty file") << QByteArray("");
    QTest::newRow("not an archive") << QByteArray("10 PRINT 1\n");
}

void TestZipArchive::refusesWhatItCannotOpen()
{
    QFETCH(QByteArray, content);
    const QString path = dir->filePath("input.tbk");
    if (!content.isNull())
        QVERIFY(writeFile(path, content));
    QVERIFY(!ZipArchive::openForReading(path));
    QVERIFY(!ZipArchive::openForWriting(dir->filePath("missing/folder.tbk"), 6));
    QVERIFY(!ZipArchive::openForWriting(dir->filePath("level.tbk"), ZipArchive::maxLevel + 1));
}

void TestZipArchive::neverWritesThroughLink()
{
    const QString victim = dir->filePath("victim.txt");
    QVERIFY(writeFile(victim, "keep me"));
    const QString path = dir->filePath("calc-backup.tbk");
    QVERIFY(QFile::link(victim, path));

    writeArchive(path, {{"A", "a"}});
    QVERIFY(!QFileInfo(path).isSymLink());
    QFile file(victim);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("keep me"));
    QCOMPARE(zipcheck::inspect(path).value("entries").toArray().size(), 1);
}

void TestZipArchive::entriesOpenInAscendingOrder()
{
    const QString path = dir->filePath("order.tbk");
    writeArchive(path, {{"A", "a"}, {"B", "b"}, {"C", "c"}});
    const std::unique_ptr<ZipArchive> zip = ZipArchive::openForReading(path);
    QVERIFY(zip);
    QVERIFY(zip->openEntry(1));
    QCOMPARE(zip->entryName(), QByteArray("B"));
    QVERIFY(!zip->openEntry(0));
    QVERIFY(zip->openEntry(2));
    QCOMPARE(zip->readEntry(), std::optional<QByteArray>("c"));
    QVERIFY(!zip->openEntry(QByteArray("D")));
}

QTEST_GUILESS_MAIN(TestZipArchive)
#include "tst_ziparchive.moc"
