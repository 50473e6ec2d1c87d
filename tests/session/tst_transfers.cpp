#include "SessionRig.h"

#include "PluggedSimulator.h"
#include "SimTestMain.h"
#include "TestFiles.h"

#include <QtTest>

#include <sys/stat.h>

using calcsim::PluggedSimulator;

namespace {

// Local files are made with the content "<name>".
using LocalFiles = QStringList;
using Answers = QList<bool>;

QString shortOf(const QString& name)
{
    return CTaviCalc::convertToSfn(name);
}

} // namespace

class TestTransfers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sendCollisions_data();
    void sendCollisions();
    void downloadNames_data();
    void downloadNames();

private:
    QStringList settleAndSend(SessionRig& rig, Answers answers);
};

void TestTransfers::initTestCase()
{
    calcsim::shortenLinkWaits();
}

// The main window's dialogue: replace questions before the next renaming warning, then the job.
QStringList TestTransfers::settleAndSend(SessionRig& rig, Answers answers)
{
    CTaviCalcSession& session = *rig.session;
    QStringList dialogue;
    for (;;) {
        if (session.isToCalcExistingCollision()) {
            const bool replace = answers.value(0, false);
            dialogue << QString("replace %1? %2").arg(session.collisionToCalcFileName(), replace ? "yes" : "no");
            answers.removeFirst();
            session.releaseToCalcCollision(replace);
        } else if (session.isToCalcNameCollision()) {
            dialogue << "renamed " + session.getNameToCalcCollisionOld() + " to " + session.getNameToCalcCollisionNew();
        } else {
            break;
        }
    }
    QSignalSpy busy(rig.session.get(), &CTaviCalcSession::isBusyChange);
    session.sendFiles();
    if (!busy.wait(10000) || !QTest::qWaitFor([&] { return !rig.busy(); }, 10000))
        dialogue << "job did not end";
    return dialogue;
}

void TestTransfers::sendCollisions_data()
{
    QTest::addColumn<LocalFiles>("chosen");
    QTest::addColumn<Answers>("answers");
    QTest::addColumn<QStringList>("dialogue");
    QTest::addColumn<QStringList>("calculator"); // name=content, in the calculator's order
    const QString longName = "my long program name.TXT";
    const QString longShort = shortOf(longName);
    const QString twinName = "my long program name 2.TXT";
    QVERIFY(longShort.size() != longName.size());
    QCOMPARE(shortOf(twinName), longShort);

    QTest::newRow("plain") << LocalFiles{"NEW.TXT"} << Answers() << QStringList()
                           << QStringList{"OLD.TXT=old", "NEW.TXT=NEW.TXT"};
    QTest::newRow("only upper-cased, no warning") << LocalFiles{"new.TXT"} << Answers() << QStringList()
                                                  << QStringList{"OLD.TXT=old", "NEW.TXT=new.TXT"};
    QTest::newRow("on calculator in other case, yes") << LocalFiles{"old.TXT"} << Answers{true}
                                                      << QStringList{"replace OLD.TXT? yes"}
                                                      << QStringList{"OLD.TXT=old.TXT"};
    QTest::newRow("on calculator, no") << LocalFiles{"OLD.TXT"} << Answers{false}
                                       << QStringList{"replace OLD.TXT? no"} << QStringList{"OLD.TXT=old"};
    QTest::newRow("same short name twice, yes") << LocalFiles{"twin.TXT", "TWIN.TXT"} << Answers{true}
                                                << QStringList{"replace TWIN.TXT? yes"}
                                                << QStringList{"OLD.TXT=old", "TWIN.TXT=TWIN.TXT"};
    QTest::newRow("same short name twice, no") << LocalFiles{"twin.TXT", "TWIN.TXT"} << Answers{false}
                                               << QStringList{"replace TWIN.TXT? no"}
                                               << QStringList{"OLD.TXT=old", "TWIN.TXT=twin.TXT"};
    // Both are sent; the calculator keeps the second, under its name.
    QTest::newRow("short names apart in case, yes")
        << LocalFiles{"abc.txt", "ABC.TXT"} << Answers{true} << QStringList{"replace ABC.TXT? yes"}
        << QStringList{"OLD.TXT=old", "ABC.TXT=ABC.TXT"};
    QTest::newRow("shortened") << LocalFiles{longName} << Answers()
                               << QStringList{"renamed " + longName + " to " + longShort}
                               << QStringList{"OLD.TXT=old", longShort + "=" + longName};
    QTest::newRow("shortened onto a file to send")
        << LocalFiles{longShort, longName} << Answers{false}
        << QStringList{"renamed " + longName + " to " + longShort, "replace " + longShort + "? no"}
        << QStringList{"OLD.TXT=old", longShort + "=" + longShort};
    QTest::newRow("existing asked before next warning")
        << LocalFiles{"OLD.TXT", longName, twinName} << Answers{false, true}
        << QStringList{"replace OLD.TXT? no", "renamed " + longName + " to " + longShort,
                       "renamed " + twinName + " to " + longShort, "replace " + longShort + "? yes"}
        << QStringList{"OLD.TXT=old", longShort + "=" + twinName};
    QTest::newRow("empty file set aside") << LocalFiles{"EMPTY.TXT", "NEW.TXT"} << Answers() << QStringList()
                                          << QStringList{"OLD.TXT=old", "NEW.TXT=NEW.TXT"};
    QTest::newRow("folder and vanished file set aside")
        << LocalFiles{"DIR", "NEW.TXT", "GONE.TXT", "EMPTY.TXT"} << Answers() << QStringList()
        << QStringList{"OLD.TXT=old", "NEW.TXT=NEW.TXT"};
    // Gone between the choice and the send: named beside the files set aside at the choice.
    QTest::newRow("file gone before the send")
        << LocalFiles{"EMPTY.TXT", "NEW.TXT", "LATE.TXT"} << Answers() << QStringList()
        << QStringList{"OLD.TXT=old", "NEW.TXT=NEW.TXT"};
    // Replaced by a FIFO between the choice and the send: named, and nothing waits on it.
    QTest::newRow("FIFO in its place before the send")
        << LocalFiles{"FIFO.TXT", "NEW.TXT"} << Answers() << QStringList()
        << QStringList{"OLD.TXT=old", "NEW.TXT=NEW.TXT"};
    // A folder's URL ending in "/" has no last segment: its path names it.
    QTest::newRow("folder URL ending in a slash") << LocalFiles{"DIR/", "NEW.TXT"} << Answers() << QStringList()
                                                  << QStringList{"OLD.TXT=old", "NEW.TXT=NEW.TXT"};
    // Nothing is left to store it under: set aside, with no renaming warning.
    QTest::newRow("short name empty") << LocalFiles{"...", "NEW.TXT"} << Answers() << QStringList()
                                      << QStringList{"OLD.TXT=old", "NEW.TXT=NEW.TXT"};
    // The name checked is the name stored, also where converting it again changes it.
    QTest::newRow("stored names collide") << LocalFiles{"caf\u00E9.TXT", "CAF_.TXT"} << Answers{false}
                                          << QStringList{"replace CAF_.TXT? no"}
                                          << QStringList{"OLD.TXT=old", "CAF_.TXT=caf\u00E9.TXT"};
}

void TestTransfers::sendCollisions()
{
    QFETCH(LocalFiles, chosen);
    QFETCH(Answers, answers);
    QFETCH(QStringList, dialogue);
    QFETCH(QStringList, calculator);
    QTemporaryDir folder;
    QList<QUrl> urls;
    // EMPTY files are empty, DIR a folder, GONE never there, "..." has no short name, LATE
    // is removed once chosen and FIFO then replaced by a FIFO: these are not sent.
    QStringList setAside;
    QStringList zeroSize;
    QStringList late;
    for (const QString& name : chosen) {
        urls << QUrl::fromLocalFile(folder.filePath(name));
        if (name.startsWith("EMPTY") || name.startsWith("DIR") || name.startsWith("GONE"))
            zeroSize << name;
        if (name.startsWith("LATE") || name.startsWith("FIFO"))
            late << name;
        else if (zeroSize.contains(name) || name == "...")
            setAside << (name.endsWith('/') ? folder.filePath(name) : name);
        if (name.startsWith("DIR"))
            QVERIFY(QDir(folder.path()).mkdir(name));
        if (name.startsWith("DIR") || name.startsWith("GONE"))
            continue;
        QVERIFY(writeFile(folder.filePath(name), name.startsWith("EMPTY") ? QByteArray() : name.toUtf8()));
    }
    PluggedSimulator sim;
    sim->addFile("OLD.TXT", "old");
    SessionRig rig;
    QVERIFY(rig.waitForCalcs(1));
    // A choice made earlier and abandoned leaves nothing pending.
    rig.session->toCalcUrls({QUrl::fromLocalFile(folder.filePath(chosen.first()))});
    rig.session->toCalcUrls(urls);
    for (const QString& name : late) {
        QVERIFY(QFile::remove(folder.filePath(name)));
        if (name.startsWith("FIFO"))
            QCOMPARE(::mkfifo(QFile::encodeName(folder.filePath(name)).constData(), 0600), 0);
    }
    setAside += late;
    QCOMPARE(settleAndSend(rig, answers), dialogue);
    QStringList stored;
    for (const auto& file : sim->files())
        stored << QString::fromUtf8(file.first + "=" + file.second);
    QCOMPARE(stored, calculator);
    QCOMPARE(rig.files().size(), calculator.size());
    QCOMPARE(rig.session->isToCalcZeroSizeCollision(), !zeroSize.isEmpty());
    const QString sent = "Files successful sent to calculator";
    QCOMPARE(rig.status(), setAside.isEmpty() ? sent : sent + "; not sent (empty or not a file): " + setAside.join(", "));
}

void TestTransfers::downloadNames_data()
{
    QTest::addColumn<QStringList>("calculator"); // name=content
    QTest::addColumn<bool>("checked");           // false: as the copy downloads, asking nothing
    QTest::addColumn<bool>("folderThere");
    QTest::addColumn<Answers>("answers");
    QTest::addColumn<QStringList>("dialogue");
    QTest::addColumn<QStringList>("urls"); // the local names downloadFiles returns
    QTest::addColumn<QStringList>("local"); // name=content, in the folder afterwards
    QTest::addColumn<QString>("error");     // <folder> stands for the folder
    QTest::addColumn<QString>("outcome");
    const QString done = "Files successfully download on path: <folder>/";
    const QString notDownloaded = "; not downloaded (no usable local name): ";
    const QString cantWrite = "Can't write file: <folder>/";

    // Every file not written is named, in order.
    const QString neither = cantWrite + "A.TXT; " + cantWrite + "B.TXT; not done: A.TXT, B.TXT";
    QTest::newRow("missing folder") << QStringList{"A.TXT=a", "B.TXT=b"} << true << false << Answers() << QStringList()
                                    << QStringList{"A.TXT", "B.TXT"} << QStringList() << neither
                                    << "Error: " + neither;
    QTest::newRow("unsafe names") << QStringList{"..=x", "A.TXT=a", "ab%00cd=n"} << true << true << Answers()
                                  << QStringList() << QStringList{"A.TXT"} << QStringList{"A.TXT=a"} << QString()
                                  << done + notDownloaded + ".., ab%00cd";
    QTest::newRow("unsafe name and a failure")
        << QStringList{"..=x", "A.TXT=a"} << true << false << Answers() << QStringList() << QStringList{"A.TXT"}
        << QStringList() << cantWrite + "A.TXT; not done: A.TXT"
        << "Error: " + cantWrite + "A.TXT; not done: A.TXT" + notDownloaded + "..";
    QTest::newRow("number sign and question mark")
        << QStringList{"P#Q.TXT=p", "A?B.TXT=q"} << true << true << Answers() << QStringList()
        << QStringList{"P#Q.TXT", "A?B.TXT"} << QStringList{"A?B.TXT=q", "P#Q.TXT=p"} << QString() << done;
    QTest::newRow("two names, one local file, no")
        << QStringList{"NOTE%20A.txt=1", "NOTE A.txt=2"} << true << true << Answers{false}
        << QStringList{"replace NOTE A.txt? no"} << QStringList{"NOTE A.txt"} << QStringList{"NOTE A.txt=1"}
        << QString() << done;
    QTest::newRow("two names, one local file, yes")
        << QStringList{"NOTE%20A.txt=1", "NOTE A.txt=2"} << true << true << Answers{true}
        << QStringList{"replace NOTE A.txt? yes"} << QStringList{"NOTE A.txt"} << QStringList{"NOTE A.txt=2"}
        << QString() << done;
    // Nothing is asked: the later file replaces the earlier, and the one file is listed once.
    QTest::newRow("two names, one local file, unchecked")
        << QStringList{"NOTE%20A.txt=1", "NOTE A.txt=2"} << false << true << Answers() << QStringList()
        << QStringList{"NOTE A.txt"} << QStringList{"NOTE A.txt=2"} << QString() << done;
}

// A download names every file it does not write, writes each under the name it has, and asks
// before one file of it replaces another.
void TestTransfers::downloadNames()
{
    QFETCH(QStringList, calculator);
    QFETCH(bool, checked);
    QFETCH(bool, folderThere);
    QFETCH(Answers, answers);
    QFETCH(QStringList, dialogue);
    QFETCH(QStringList, urls);
    QFETCH(QStringList, local);
    QFETCH(QString, error);
    QFETCH(QString, outcome);
    QTemporaryDir dir;
    const QString folder = dir.filePath("into");
    if (folderThere)
        QVERIFY(QDir().mkdir(folder));
    PluggedSimulator sim;
    for (const QString& file : calculator)
        sim->addFile(file.section('=', 0, 0).toUtf8(), file.section('=', 1).toUtf8());
    SessionRig rig;
    QVERIFY(rig.waitForCalcs(1));
    QTRY_COMPARE(rig.files().size(), calculator.size());
    for (int row = 0; row < calculator.size(); ++row)
        rig.session->addSelected(row);
    rig.session->fromCalcUrls(checked, QUrl::fromLocalFile(folder));
    QStringList asked;
    while (rig.session->isFromCalcCollision()) {
        const bool replace = answers.value(0, false);
        asked << QString("replace %1? %2").arg(rig.session->collisionFromCalcFileName(), replace ? "yes" : "no");
        answers.removeFirst();
        rig.session->releaseFromCalcCollision(replace);
    }
    QCOMPARE(asked, dialogue);

    QStringList returned;
    for (const QUrl& url : rig.session->downloadFiles())
        returned << url.toLocalFile().remove(folder + "/");
    QCOMPARE(returned, urls);
    QVERIFY(QTest::qWaitFor([&] { return !rig.busy() && !rig.status().isEmpty(); }, 10000));
    QStringList written;
    for (const QString& name : QDir(folder).entryList(QDir::Files, QDir::Name)) {
        QFile file(QDir(folder).filePath(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        written << name + "=" + QString::fromUtf8(file.readAll());
    }
    QCOMPARE(written, local);
    QCOMPARE(rig.error(), error.replace("<folder>", folder));
    QCOMPARE(rig.status(), outcome.replace("<folder>", folder));
}

CALCSIM_TEST_MAIN(TestTransfers)
#include "tst_transfers.moc"
