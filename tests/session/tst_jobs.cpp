#include "CalculatorFixture.h"

#include "SimTestMain.h"

#include <QtTest>

namespace {

const QString sentStatus = "Files successful sent to calculator";

} // namespace

class TestJobs : public CalculatorTest
{
    Q_OBJECT

private slots:
    void jobEndsInOrder_data();
    void jobEndsInOrder();
    void jobsInARowDeliverOnce_data();
    void jobsInARowDeliverOnce();
    void downloadReturnsUrlsAtOnce();
};

void TestJobs::jobEndsInOrder_data()
{
    QTest::addColumn<QString>("job");
    QTest::addColumn<QString>("breakage"); // how the job is made to fail; empty: it is not
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QStringList>("calculatorFiles");
    const QStringList both{"A.TXT", "B.TXT"};
    const QList<std::tuple<QString, QString, QString, QStringList>> jobs{
        {"send", "files", sentStatus, {"A.TXT", "B.TXT", "N.TXT"}},
        {"download", "", "Files successfully download on path: " + f.dir.path() + "/", both},
        {"delete", "files", "Files successfully deleted", {"A.TXT"}},
        {"backup", "backup", "", both},
        {"restore", "files", "Backup successfully sent to calculator", both},
        {"rename", "name:NEW", "Calculator name successfully changed", both},
    };
    for (const auto& [job, reload, status, files] : jobs) {
        QStringList ok{"busy:1"};
        QStringList failing{"busy:1", "error"};
        if (!reload.isEmpty())
            ok << reload;
        if (reload.startsWith("files") || reload.startsWith("name"))
            failing << (reload == "files" ? "files" : "name:CALC");
        if (!status.isEmpty()) {
            ok << "status:" + status;
            failing << "status:Error";
        }
        ok << "busy:0";
        failing << "busy:0";
        QTest::newRow(qPrintable(job)) << job << QString() << ok << files;
        QTest::newRow(qPrintable(job + " failing")) << job << QString("late") << failing << QStringList();
        if (!status.isEmpty())
            QTest::newRow(qPrintable(job + " failing, error dialog closed at once"))
                << job << QString("dialog closed") << failing << QStringList();
    }
    // A list that could not be read whole stays on show, but is no longer known: the outcome
    // says so. The name of a calculator that refused the new one or could not tell its own stays.
    const QStringList kept{"busy:1", "error", "files", "status:Error, list unknown", "busy:0"};
    for (const QString job : {"send", "delete", "restore"}) {
        for (const QString how : {"unreachable", "wrong count", "wrong record"})
            QTest::newRow(qPrintable(job + " " + how)) << job << how << kept << QStringList();
    }
    // An archive that does not read through is refused before the calculator is cleared.
    QTest::newRow("restore, damaged archive")
        << "restore" << QString("damaged") << QStringList{"busy:1", "error", "files", "status:Error", "busy:0"} << both;
    const QStringList unnamed{"busy:1", "error", "name:CALC", "status:Error", "busy:0"};
    QTest::newRow("rename refused") << "rename" << QString("refused") << unnamed << QStringList();
    QTest::newRow("rename, calculator mute") << "rename" << QString("mute") << unnamed << QStringList();
}

// Relayed errors, then the reload, then the outcome, then the window is given back.
void TestJobs::jobEndsInOrder()
{
    QFETCH(QString, job);
    QFETCH(QString, breakage);
    QFETCH(QStringList, events);
    QFETCH(QStringList, calculatorFiles);
    // A restore that works shows a change; one that fails leaves the calculator as listed.
    if (job == "restore" && breakage.isEmpty())
        f.sim->simulator().setFiles({{"C.TXT", "c"}});
    f.rig->session->onErrorChange("left over");
    f.log->lines.clear();
    const QList<FileEntry> listed = f.rig->files();
    if (!breakage.isEmpty())
        f.breakJob(job, breakage);
    // The error dialog writes an empty error text when it is closed.
    QString reported;
    if (breakage == "dialog closed") {
        connect(f.rig->session.get(), &CTaviCalcSession::errorChange, f.log.get(), [&] {
            if (f.rig->error().isEmpty())
                return;
            reported = f.rig->error();
            f.rig->session->setProperty("error", QString());
        });
    }
    QVERIFY(f.runJob(job));
    if (reported.isEmpty())
        reported = f.rig->error();
    const QStringList seen = outline(f.log->lines, reported);
    // The start clears the left-over error first.
    QCOMPARE(seen.first(), QString("error"));
    QCOMPARE(f.log->lines.first(), QString("error:"));
    QCOMPARE(seen.mid(1), events);
    if (!breakage.isEmpty()) {
        QVERIFY(!reported.isEmpty());
        // The table still shows what the calculator holds; a list not read whole replaces
        // nothing, so then it shows what it listed before. The calculator holds what it held
        // before when the row says so.
        if (breakage.startsWith("wrong"))
            QCOMPARE(f.rig->files(), listed);
        else
            QCOMPARE(f.rig->files().size(), f.sim->simulator().files().size());
        if (!calculatorFiles.isEmpty())
            QCOMPARE(namesOn(f.sim->simulator()), calculatorFiles);
        return;
    }
    QCOMPARE(f.rig->error(), QString(""));
    QCOMPARE(namesOn(f.sim->simulator()), calculatorFiles);
    QCOMPARE(f.rig->files().size(), calculatorFiles.size());
}

void TestJobs::jobsInARowDeliverOnce_data()
{
    QTest::addColumn<QStringList>("jobs");
    QTest::addColumn<QStringList>("events");
    const QStringList sent{"busy:1", "files", "status:" + sentStatus, "busy:0"};
    const QStringList backup{"busy:1", "backup", "busy:0"};
    const QStringList renamed{"busy:1", "name:NEW", "status:Calculator name successfully changed", "busy:0"};
    QTest::newRow("two sends") << QStringList{"send", "send"} << sent + sent;
    QTest::newRow("two backups") << QStringList{"backup", "backup"} << backup + backup;
    QTest::newRow("rename then send") << QStringList{"rename", "send"} << renamed + sent;
}

void TestJobs::jobsInARowDeliverOnce()
{
    QFETCH(QStringList, jobs);
    QFETCH(QStringList, events);
    QSignalSpy backups(f.rig->session.get(), &CTaviCalcSession::backupLoaded);
    for (const QString& job : jobs)
        QVERIFY(f.runJob(job));
    QCOMPARE(outline(f.log->lines, QString()), events);
    QCOMPARE(backups.count(), events.count("backup"));
    for (const QList<QVariant>& backup : backups)
        QVERIFY(QFile::exists(backup.at(0).toString()));
}

void TestJobs::downloadReturnsUrlsAtOnce()
{
    CTaviCalcSession& session = *f.rig->session;
    QTemporaryDir folder;
    session.addSelected(1);
    session.addSelected(0);
    session.fromCalcUrls(false, QUrl::fromLocalFile(folder.path()));
    const QList<QUrl> urls = session.downloadFiles();
    const QList<QUrl> expected{QUrl::fromLocalFile(folder.path() + "/B.TXT"),
                               QUrl::fromLocalFile(folder.path() + "/A.TXT")};
    QCOMPARE(urls, expected);
    QVERIFY(f.log->waitFor("busy:0"));
    QFile fetched(urls.at(1).toLocalFile());
    QVERIFY(fetched.open(QIODevice::ReadOnly));
    QCOMPARE(fetched.readAll(), QByteArray("abc"));

    // The URLs name the files the download writes, an empty one included, and no other.
    QVERIFY(f.plugCalculator({{"%41.TXT", "a"}, {"P#Q.TXT", "p"}, {"ab%00cd", "n"}, {"EMPTY.TXT", ""}}));
    for (int row = 0; row < 4; ++row)
        session.addSelected(row);
    session.fromCalcUrls(false, QUrl::fromLocalFile(folder.filePath("more")));
    QVERIFY(QDir(folder.path()).mkdir("more"));
    const QList<QUrl> named = session.downloadFiles();
    QCOMPARE(named, (QList<QUrl>{QUrl::fromLocalFile(folder.filePath("more/A.TXT")),
                                 QUrl::fromLocalFile(folder.filePath("more/P#Q.TXT")),
                                 QUrl::fromLocalFile(folder.filePath("more/EMPTY.TXT"))}));
    QVERIFY(QTest::qWaitFor([&] { return f.log->count("busy:0") == 2; }, 10000));
    QCOMPARE(QDir(folder.filePath("more")).entryList(QDir::Files, QDir::Name), (QStringList{"A.TXT", "EMPTY.TXT", "P#Q.TXT"}));
}

CALCSIM_TEST_MAIN(TestJobs)
#include "tst_jobs.moc"
