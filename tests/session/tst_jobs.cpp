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
    QTest::addColumn<bool>("failing");
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
        QTest::newRow(qPrintable(job)) << job << false << ok << files;
        QTest::newRow(qPrintable(job + " failing")) << job << true << failing << QStringList();
    }
}

// Relayed errors, then the reload, then the outcome, then the window is given back.
void TestJobs::jobEndsInOrder()
{
    QFETCH(QString, job);
    QFETCH(bool, failing);
    QFETCH(QStringList, events);
    QFETCH(QStringList, calculatorFiles);
    if (job == "restore")
        f.sim->simulator().setFiles({{"C.TXT", "c"}});
    f.rig->session->onErrorChange("left over");
    f.log->lines.clear();
    if (failing)
        f.breakJob(job);
    QVERIFY(f.runJob(job));
    const QStringList seen = outline(f.log->lines, f.rig->error());
    // The start clears the left-over error first.
    QCOMPARE(seen.first(), QString("error"));
    QCOMPARE(f.log->lines.first(), QString("error:"));
    QCOMPARE(seen.mid(1), events);
    if (failing) {
        QVERIFY(!f.rig->error().isEmpty());
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
}

CALCSIM_TEST_MAIN(TestJobs)
#include "tst_jobs.moc"
