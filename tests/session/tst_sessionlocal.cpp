#include "SessionRig.h"

#include "SimTestMain.h"
#include "TestFiles.h"

#include <QtTest>
#include <QWindow>

#include <csignal>
#include <sys/resource.h>

namespace {

// Limits the size of every file this process writes for as long as it lives.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved);
        oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
    }

private:
    rlimit saved{};
    void (*oldHandler)(int) = nullptr;
};

} // namespace

class TestSessionLocal : public QObject
{
    Q_OBJECT

private slots:
    void propertyWrites_data();
    void propertyWrites();
    void callableForms_data();
    void callableForms();
    void urlParts_data();
    void urlParts();
    void saveFileOnComputer_data();
    void saveFileOnComputer();
    void failedSaveKeepsOldFile();
    void renameBackup_data();
    void renameBackup();
    void errorChangeRaisesFirstWindow_data();
    void errorChangeRaisesFirstWindow();
    void fileSlotsThroughMetaObject();
    void zeroSizeFilesAreSetAside();
    void downloadCollisions_data();
    void downloadCollisions();

private:
    QTemporaryDir dir;
};

void TestSessionLocal::propertyWrites_data()
{
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QVariant>("before");
    QTest::addColumn<QVariant>("written");
    QTest::addColumn<int>("emitted");
    QTest::newRow("status same") << QByteArray("statusLineText") << QVariant("Ready") << QVariant("Ready") << 0;
    QTest::newRow("status other") << QByteArray("statusLineText") << QVariant("Ready") << QVariant("Go") << 1;
    QTest::newRow("error empty onto null") << QByteArray("error") << QVariant() << QVariant("") << 0;
    QTest::newRow("error cleared") << QByteArray("error") << QVariant("Bad") << QVariant("") << 1;
    QTest::newRow("busy set") << QByteArray("isBusy") << QVariant() << QVariant(true) << 1;
    QTest::newRow("index stored silently") << QByteArray("currentIndex") << QVariant() << QVariant(3) << 0;
}

// Property writes compare first and notify only a change; the slots always notify.
void TestSessionLocal::propertyWrites()
{
    QFETCH(QByteArray, property);
    QFETCH(QVariant, before);
    QFETCH(QVariant, written);
    QFETCH(int, emitted);
    SessionRig rig;
    rig.fileModel.setFileNames({{"A", 1}});
    if (before.isValid())
        QVERIFY(rig.session->setProperty(property, before));
    const QMetaProperty meta =
        rig.session->metaObject()->property(rig.session->metaObject()->indexOfProperty(property));
    QSignalSpy notified(rig.session.get(), meta.notifySignal());
    QVERIFY(notified.isValid());
    QVERIFY(rig.session->setProperty(property, written));
    QCOMPARE(notified.count(), emitted);
    QCOMPARE(rig.session->property(property), written);
    QCOMPARE(rig.files().size(), 1);
    QCOMPARE(rig.session->property("maxFileNameLen").toInt(), 18);
}

void TestSessionLocal::callableForms_data()
{
    QTest::addColumn<QByteArray>("signature");
    QTest::addColumn<QByteArrayList>("parameterNames"); // as the meta-object gives them to QML
    const QByteArrayList unnamed{QByteArray()};
    QTest::newRow("fromCalcUrls()") << QByteArray("fromCalcUrls()") << QByteArrayList();
    QTest::newRow("fromCalcUrls(bool)") << QByteArray("fromCalcUrls(bool)") << QByteArrayList{"checkCollision"};
    QTest::newRow("fromCalcUrls(bool,QUrl)") << QByteArray("fromCalcUrls(bool,QUrl)")
                                             << QByteArrayList{"checkCollision", "destFolder"};
    QTest::newRow("getProgramName()") << QByteArray("getProgramName()") << QByteArrayList();
    QTest::newRow("getProgramName(bool)") << QByteArray("getProgramName(bool)") << QByteArrayList{"withVersion"};
    QTest::newRow("toCalcUrls(QList<QUrl>)") << QByteArray("toCalcUrls(QList<QUrl>)") << unnamed;
    QTest::newRow("onFileSend(FileEntry)") << QByteArray("onFileSend(FileEntry)") << unnamed;
    for (const char* signature : {"isFileExist(QString)", "releaseToCalcCollision(bool)", "releaseFromCalcCollision(bool)",
                                  "addSelected(int)", "changeCalcName(QString)", "downloadForEdit(int)"})
        QTest::newRow(signature) << QByteArray(signature) << unnamed;
    QTest::newRow("onIndexChange(int)") << QByteArray("onIndexChange(int)") << QByteArrayList{"newIndex"};
}

void TestSessionLocal::callableForms()
{
    QFETCH(QByteArray, signature);
    QFETCH(QByteArrayList, parameterNames);
    const int index = CTaviCalcSession::staticMetaObject.indexOfMethod(signature);
    QVERIFY(index >= 0);
    QCOMPARE(CTaviCalcSession::staticMetaObject.method(index).parameterNames(), parameterNames);
    CTaviCalcSession session;
    QString name;
    QVERIFY(QMetaObject::invokeMethod(&session, "getProgramName", Q_RETURN_ARG(QString, name)));
    QCOMPARE(name, QString("Tavilink 2.6.1"));
    QVERIFY(QMetaObject::invokeMethod(&session, "getProgramName", Q_RETURN_ARG(QString, name), Q_ARG(bool, false)));
    QCOMPARE(name, QString("Tavilink"));
    QCOMPARE(session.getInfo().split("\n\n").size(), 4);
    QVERIFY(session.getInfo().startsWith("Tavilink 2.6.1\n\n"));
    // The default folder of the copy command is the system's temporary folder.
    QVERIFY(QMetaObject::invokeMethod(&session, "fromCalcUrls"));
    session.onDownloadFilesEnd();
    QCOMPARE(session.property("statusLineText").toString(),
             "Files successfully download on path: " + QDir::tempPath() + "/");
}

void TestSessionLocal::urlParts_data()
{
    QTest::addColumn<QUrl>("url");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("folder");
    QTest::newRow("backup") << QUrl::fromLocalFile("/Users/a/backup.tbk") << "backup.tbk" << "/Users/a/";
    QTest::newRow("encoded") << QUrl("file:///tmp/my%20dir/a%20b.tcb") << "a b.tcb" << "/tmp/my dir/";
    QTest::newRow("folder") << QUrl::fromLocalFile("/tmp/x/") << "" << "/tmp/x/";
    QTest::newRow("not local") << QUrl("https://example.org/a.tcb") << "a.tcb" << "";
}

void TestSessionLocal::urlParts()
{
    QFETCH(QUrl, url);
    QFETCH(QString, name);
    QFETCH(QString, folder);
    CTaviCalcSession session;
    QCOMPARE(session.fileNameFromUrl(url), name);
    QCOMPARE(session.fileDirFromUrl(url), folder);
}

void TestSessionLocal::saveFileOnComputer_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("failure"); // on the status line; null when saved

    const QByteArray old(100, 'x');
    QTest::newRow("empty") << "" << QByteArray("\n") << QString();
    QTest::newRow("ends in line feed") << "A\nB\n" << QByteArray("A\nB\n") << QString();
    QTest::newRow("ends otherwise") << "A\nB" << QByteArray("A\nB\n") << QString();
    QTest::newRow("latin-1") << QString::fromUtf8("\xC3\xA9\xC3\xBF") << QByteArray("\xE9\xFF\n") << QString();
    // Nothing is turned into "?": the file stays as it was.
    QTest::newRow("beyond latin-1") << QString::fromUtf8("\xC3\xA9\xE2\x86\x92\xF0\x9F\x98\x80\xE2\x86\x92") << old
                                    << QString::fromUtf8("Error: the calculator has no character for: \xE2\x86\x92 (U+2192), "
                                                         "\xF0\x9F\x98\x80 (U+1F600)");
    // Characters that cannot be told apart on screen are named by their codes too.
    QTest::newRow("look-alike") << QString::fromUtf8("Disp \xD0\xB5") << old
                                << QString::fromUtf8("Error: the calculator has no character for: \xD0\xB5 (U+0435)");
    QTest::newRow("invisible") << QString::fromUtf8("A\xE2\x80\x8B") << old
                               << QString::fromUtf8("Error: the calculator has no character for: \xE2\x80\x8B (U+200B)");
    QTest::newRow("lone accent") << QString::fromUtf8("e\xCC\x81") << old
                                 << QString::fromUtf8("Error: the calculator has no character for: \xCC\x81 (U+0301)");
}

void TestSessionLocal::saveFileOnComputer()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, failure);
    const QString path = dir.filePath("saved.tcb");
    QVERIFY(writeFile(path, QByteArray(100, 'x')));
    CTaviCalcSession session;
    session.onStatusChange("before");
    QCOMPARE(session.saveFileOnComputer(path, text), failure.isNull());
    QCOMPARE(readFile(path), bytes);
    QCOMPARE(session.property("statusLineText").toString(), failure.isNull() ? QString("before") : failure);
}

void TestSessionLocal::failedSaveKeepsOldFile()
{
    const QString path = dir.filePath("kept.tcb");
    QVERIFY(writeFile(path, "old program\n"));
    CTaviCalcSession session;
    {
        FileSizeLimit limit(64);
        QVERIFY(!session.saveFileOnComputer(path, QString(1000, 'n')));
    }
    QCOMPARE(session.property("statusLineText").toString(), QString("Error: the file could not be saved"));
    QCOMPARE(readFile(path), QByteArray("old program\n"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).filter("kept"), QStringList{"kept.tcb"});
}

void TestSessionLocal::renameBackup_data()
{
    QTest::addColumn<QString>("target");  // relative to the test folder
    QTest::addColumn<bool>("targetExists");
    QTest::addColumn<bool>("sourceLeft");
    QTest::newRow("new place") << "saved.tbk" << false << false;
    QTest::newRow("onto another file") << "saved.tbk" << true << false;
    QTest::newRow("onto itself") << "calc-backup.tbk" << true << true;
    QTest::newRow("onto itself, spelled otherwise") << "./sub/../calc-backup.tbk" << true << true;
}

// The window moves the archive, then removes the temporary path.
void TestSessionLocal::renameBackup()
{
    QFETCH(QString, target);
    QFETCH(bool, targetExists);
    QFETCH(bool, sourceLeft);
    QTemporaryDir folder;
    QDir(folder.path()).mkdir("sub");
    const QString source = folder.filePath("calc-backup.tbk");
    const QString destination = folder.path() + "/" + target;
    QVERIFY(writeFile(source, "archive"));
    if (targetExists && !sourceLeft)
        QVERIFY(writeFile(destination, "older archive, longer"));
    CTaviCalcSession session;
    QVERIFY(session.renameBackup(source, destination));
    session.removeFile(source);
    QCOMPARE(readFile(destination), QByteArray("archive"));
    QCOMPARE(QFile::exists(source), sourceLeft);
    // A later removal of the same path (a cancelled save) removes it again.
    session.removeFile(destination);
    QVERIFY(!QFile::exists(destination));
}

void TestSessionLocal::errorChangeRaisesFirstWindow_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("one text") << QStringList{"Error read device"};
    QTest::newRow("empty text") << QStringList{""};
    QTest::newRow("same text twice") << QStringList{"E", "E"};
}

void TestSessionLocal::errorChangeRaisesFirstWindow()
{
    QFETCH(QStringList, texts);
    QWindow first;
    QWindow second;
    first.show();
    second.show();
    SessionRig rig;
    QSignalSpy changed(rig.session.get(), &CTaviCalcSession::errorChange);
    for (const QString& text : texts) {
        second.requestActivate();
        QTRY_COMPARE(QGuiApplication::focusWindow(), &second);
        rig.session->onErrorChange(text);
        QTRY_COMPARE(QGuiApplication::focusWindow(), &first);
    }
    QCOMPARE(changed.count(), texts.size());
    QCOMPARE(rig.error(), texts.last());
}

// Nothing connects these two; they are reached through the meta-object only.
void TestSessionLocal::fileSlotsThroughMetaObject()
{
    SessionRig rig;
    rig.fileModel.setFileNames({{"A.TXT", 1}, {"B.TXT", 2}});
    QVERIFY(QMetaObject::invokeMethod(rig.session.get(), "onFileSend", Qt::QueuedConnection,
                                      Q_ARG(FileEntry, FileEntry("a.txt", 5))));
    QVERIFY(QMetaObject::invokeMethod(rig.session.get(), "onFileDelete", Qt::QueuedConnection,
                                      Q_ARG(QString, "B.TXT")));
    QTRY_COMPARE(rig.files(), (QList<FileEntry>{{"a.txt", 5}}));
}

void TestSessionLocal::zeroSizeFilesAreSetAside()
{
    QVERIFY(writeFile(dir.filePath("empty.tcb"), ""));
    QVERIFY(writeFile(dir.filePath("full.tcb"), "1"));
    SessionRig rig;
    const QList<QUrl> urls{QUrl::fromLocalFile(dir.filePath("empty.tcb")),
                           QUrl::fromLocalFile(dir.filePath("full.tcb")),
                           QUrl::fromLocalFile(dir.filePath("missing.tcb")),
                           QUrl("https://example.org/remote.tcb")};
    QVERIFY(QMetaObject::invokeMethod(rig.session.get(), "toCalcUrls", Q_ARG(QList<QUrl>, urls)));
    rig.session->toCalcUrls({});
    QVERIFY(rig.session->isToCalcZeroSizeCollision());
    QStringList names;
    while (rig.session->isToCalcZeroSizeCollision())
        names << rig.session->collisionToCalcZeroSizeFileName();
    QCOMPARE(names, (QStringList{"empty.tcb", "missing.tcb", "remote.tcb"}));
    QCOMPARE(rig.session->collisionToCalcZeroSizeFileName(), QString(""));
    QVERIFY(!rig.session->isToCalcNameCollision());
    QVERIFY(!rig.session->isToCalcExistingCollision());
}

void TestSessionLocal::downloadCollisions_data()
{
    QTest::addColumn<bool>("check");
    QTest::addColumn<QList<int>>("rows");
    QTest::addColumn<QStringList>("collisions");
    QTest::newRow("checked") << true << QList<int>{0, 1, 2, 7, -1} << QStringList{"HERE.TXT", "SUB"};
    QTest::newRow("unchecked") << false << QList<int>{0, 1, 2} << QStringList();
    QTest::newRow("same row twice") << true << QList<int>{0, 0} << QStringList{"HERE.TXT", "HERE.TXT"};
    // Checked and asked under the name the download writes; a name it skips asks nothing.
    QTest::newRow("names as written") << true << QList<int>{3, 4, 5} << QStringList{"A.TXT", "X#Y.TXT"};
    // A later file of the download that would replace an earlier one is asked about too.
    QTest::newRow("same row twice, not in the folder") << true << QList<int>{1, 1} << QStringList{"NEW.TXT"};
    QTest::newRow("two names, one local file") << true << QList<int>{6, 7} << QStringList{"NOTE A.txt"};
}

void TestSessionLocal::downloadCollisions()
{
    QFETCH(bool, check);
    QFETCH(QList<int>, rows);
    QFETCH(QStringList, collisions);
    QTemporaryDir folder;
    for (const char* name : {"HERE.TXT", "A.TXT", "X#Y.TXT", "ab"})
        QVERIFY(writeFile(folder.filePath(name), "x"));
    QDir(folder.path()).mkdir("SUB");
    SessionRig rig;
    rig.fileModel.setFileNames({{"HERE.TXT", 1}, {"NEW.TXT", 2}, {"SUB", 3}, {"%41.TXT", 4}, {"X#Y.TXT", 5}, {"ab%00cd", 6},
                                {"NOTE%20A.txt", 7}, {"NOTE A.txt", 8}});
    for (int row : rows)
        rig.session->addSelected(row);
    rig.session->fromCalcUrls(check, QUrl::fromLocalFile(folder.path()));
    QStringList asked;
    while (rig.session->isFromCalcCollision()) {
        asked << rig.session->collisionFromCalcFileName();
        rig.session->releaseFromCalcCollision(asked.size() % 2);
    }
    QCOMPARE(asked, collisions);
    QCOMPARE(rig.session->collisionFromCalcFileName(), QString(""));
    rig.session->releaseFromCalcCollision(true);
    // The selection was used up: a second pass finds nothing.
    rig.session->fromCalcUrls(true, QUrl::fromLocalFile(folder.path()));
    QVERIFY(!rig.session->isFromCalcCollision());
}

CALCSIM_TEST_MAIN(TestSessionLocal)
#include "tst_sessionlocal.moc"
