#include "SessionRig.h"

#include "PluggedSimulator.h"
#include "SimTestMain.h"

#include <QtTest>

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
    // EMPTY files are empty, DIR a folder, GONE never there: these are not sent.
    QStringList setAside;
    for (const QString& name : chosen) {
        urls << QUrl::fromLocalFile(folder.filePath(name));
        if (name.startsWith("EMPTY") || name.startsWith("DIR") || name.startsWith("GONE"))
            setAside << name;
        if (name.startsWith("DIR"))
            QVERIFY(QDir(folder.path()).mkdir(name));
        if (name.startsWith("DIR") || name.startsWith("GONE"))
            continue;
        QFile file(folder.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        if (!name.startsWith("EMPTY"))
            file.write(name.toUtf8());
    }
    PluggedSimulator sim;
    sim->addFile("OLD.TXT", "old");
    SessionRig rig;
    QVERIFY(rig.waitForCalcs(1));
    // A choice made earlier and abandoned leaves nothing pending.
    rig.session->toCalcUrls({QUrl::fromLocalFile(folder.filePath(chosen.first()))});
    rig.session->toCalcUrls(urls);
    QCOMPARE(settleAndSend(rig, answers), dialogue);
    QStringList stored;
    for (const auto& file : sim->files())
        stored << QString::fromUtf8(file.first + "=" + file.second);
    QCOMPARE(stored, calculator);
    QCOMPARE(rig.files().size(), calculator.size());
    QCOMPARE(rig.session->isToCalcZeroSizeCollision(), !setAside.isEmpty());
    const QString sent = "Files successful sent to calculator";
    QCOMPARE(rig.status(), setAside.isEmpty() ? sent : sent + "; not sent (empty or not a file): " + setAside.join(", "));
}

CALCSIM_TEST_MAIN(TestTransfers)
#include "tst_transfers.moc"
