#include "CalculatorFixture.h"

#include "TestFiles.h"
#include "ZipCheck.h"

bool CalculatorFixture::prepare()
{
    calcsim::shortenLinkWaits();
    if (!QDir(dir.path()).mkdir("tmp"))
        return false;
    qputenv("TMPDIR", dir.filePath("tmp").toLocal8Bit());
    calcsim::PluggedSimulator source;
    source->setFiles(twoFiles);
    CTaviCalc link(source.portInfo());
    const std::optional<QString> written = link.createBackup();
    archive = dir.filePath("saved.tbk");
    return written && !written->isEmpty() && QFile::rename(*written, archive);
}

bool CalculatorFixture::setUp(const calcsim::FileList& files)
{
    rig = std::make_unique<SessionRig>();
    log = std::make_unique<EventLog>(*rig);
    const bool plugged = plugCalculator(files);
    log->lines.clear();
    return plugged;
}

void CalculatorFixture::tearDown()
{
    portHolder.reset();
    log.reset();
    rig.reset();
    sim.reset();
    calcsim::shortenLinkWaits();
    archive = dir.filePath("saved.tbk");
}

bool CalculatorFixture::plugCalculator(const calcsim::FileList& files, bool busyAtFirstRead)
{
    if (sim) {
        sim.reset();
        if (!rig->waitForCalcs(0))
            return false;
    }
    sim = std::make_unique<calcsim::PluggedSimulator>();
    sim->simulator().setName("CALC");
    sim->simulator().setFiles(files);
    sim->simulator().setRebootMs(20);
    if (busyAtFirstRead)
        answerLate(sim->simulator(), 1);
    if (!rig->waitForCalcs(1))
        return false;
    sim->simulator().clearFaults();
    sim->simulator().clearReceived();
    return true;
}

QString CalculatorFixture::localFile(const QString& name, const QByteArray& content)
{
    const QString path = dir.filePath(name);
    writeFile(path, content);
    return path;
}

// With the lists settled as the main window settles them: the first file is downloaded, the
// second deleted, N.TXT sent.
void CalculatorFixture::startJob(const QString& job)
{
    CTaviCalcSession& session = *rig->session;
    if (job == "send") {
        session.toCalcUrls({QUrl::fromLocalFile(localFile("N.TXT", "new"))});
        session.sendFiles();
    } else if (job == "download") {
        session.addSelected(0);
        session.fromCalcUrls(false, QUrl::fromLocalFile(dir.path()));
        session.downloadFiles();
    } else if (job == "delete") {
        session.addSelected(1);
        session.deleteSelectedFiles();
    } else if (job == "backup") {
        session.createBackup();
    } else if (job == "restore") {
        session.restoreBackup(QUrl::fromLocalFile(archive));
    } else if (job == "rename") {
        session.changeCalcName("NEW");
    }
}

// Late: the calculator answers the first exchange after the device information only after
// the link's wait for it (the backup's list); the restore instead finds no archive, since its
// first exchange empties the calculator.
void CalculatorFixture::breakJob(const QString& job, const QString& how)
{
    if (how == "unreachable") {
        portHolder = std::make_unique<QSerialPort>(sim->portInfo());
        portHolder->open(QIODevice::ReadWrite);
    } else if (how == "refused") {
        calcsim::Fault refusal;
        refusal.message = 2;
        refusal.mode = calcsim::FaultMode::Failed;
        refusal.error = TaviCalc::calcMsg::WRITE_ERROR;
        sim->simulator().addFault(refusal);
    } else if (how == "mute") {
        silence(sim->simulator(), 1, 2);
    } else if (how == "damaged") {
        archive = dir.filePath("damaged.tbk");
        QFile::remove(archive);
        if (QFile::copy(dir.filePath("saved.tbk"), archive))
            zipcheck::damage(archive, zipcheck::centralRecord);
    } else if (how == "wrong count" || how == "wrong record") {
        // The answers of the job itself, then the list read after it: the count and the records.
        // A restore's reopened port first regains step: one answer more.
        const QMap<QString, int> jobAnswers{{"send", 3}, {"delete", 2}, {"restore", 8}};
        calcsim::Fault wrong;
        wrong.message = jobAnswers.value(job) + (how == "wrong count" ? 1 : 2);
        wrong.mode = calcsim::FaultMode::WrongType;
        wrong.type = how == "wrong count" ? TaviCalc::calcMsg::SEND_FILE_INF : TaviCalc::calcMsg::SEND_FILES_NUM;
        wrong.continueAfterMs = 0; // the other records follow unasked
        sim->simulator().addFault(wrong);
    } else if (job == "restore") {
        archive = dir.filePath("missing.tbk");
    } else {
        answerLate(sim->simulator(), 2);
    }
}

bool CalculatorFixture::runJob(const QString& job)
{
    const int ended = log->count("busy:0");
    startJob(job);
    return QTest::qWaitFor([&] { return log->count("busy:0") > ended; }, 15000);
}

QStringList outline(const QStringList& lines, const QString& error)
{
    QStringList out;
    for (const QString& line : lines) {
        QString entry = line;
        if (line.startsWith("error:"))
            entry = "error";
        else if (line.startsWith("files:"))
            entry = "files";
        else if (!error.isEmpty() && line == "status:Error: " + error)
            entry = "status:Error";
        else if (!error.isEmpty() && line == "status:Error: " + error + "; " + unknownListNotice("CALC"))
            entry = "status:Error, list unknown";
        if (entry != "error" || out.isEmpty() || out.last() != "error")
            out << entry;
    }
    return out;
}
