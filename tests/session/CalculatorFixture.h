#pragma once

#include "SessionRig.h"

#include "PluggedSimulator.h"

#include <QObject>
#include <QSerialPort>
#include <QTemporaryDir>

#include <memory>

// A.TXT and B.TXT: the calculator of most tests, and the content of the backup archive.
inline const calcsim::FileList twoFiles{{"A.TXT", "abc"}, {"B.TXT", "bcd"}};

// A session with one simulated calculator named CALC, plugged into the virtual USB bus, and
// the means to start its jobs the way the main window does.
class CalculatorFixture
{
public:
    // Once per test executable: short link waits, a temporary folder of our own (the backup
    // archive and the copy command write there) and a backup archive of A.TXT and B.TXT.
    bool prepare();
    // Before each test: a new session and a calculator holding these files, listed.
    bool setUp(const calcsim::FileList& files);
    void tearDown();
    // Replaces the calculator by a new one holding these files, which may be busy at the first
    // read: it answers only after the read has given up.
    bool plugCalculator(const calcsim::FileList& files, bool busyAtFirstRead = false);

    QString localFile(const QString& name, const QByteArray& content);
    void startJob(const QString& job);
    // Makes the next job of this kind fail with a link error: the calculator "refuses" the
    // job's first exchange, is "mute" from the job's device information on, is "unreachable"
    // (its port is held by another program), or its archive is "damaged" (a restore's, in its
    // central directory), or, after a send, delete or restore that went through, answers the
    // list read with a "wrong count" or a "wrong record" in place of the first; otherwise it
    // answers the job's first exchange late.
    void breakJob(const QString& job, const QString& how = QStringLiteral("silent"));
    // Starts the job and waits until the window is given back.
    bool runJob(const QString& job);

    QTemporaryDir dir;
    QString archive;
    std::unique_ptr<calcsim::PluggedSimulator> sim;
    std::unique_ptr<QSerialPort> portHolder;
    std::unique_ptr<SessionRig> rig;
    std::unique_ptr<EventLog> log;
};

// The log with each run of error texts as one "error" line, file reloads without their sizes
// and the status of a failed job as "status:Error" (", list unknown" when the notice follows),
// so that tests compare the order of events whatever the link's texts are.
QStringList outline(const QStringList& lines, const QString& error);

// The base of the suites that run on one fixture: each test starts with a fresh session and a
// calculator holding the suite's files.
class CalculatorTest : public QObject
{
    Q_OBJECT

public:
    explicit CalculatorTest(calcsim::FileList files = twoFiles)
        : files(std::move(files))
    {
    }

protected:
    CalculatorFixture f;

private slots:
    void initTestCase() { QVERIFY(f.prepare()); }
    void init() { QVERIFY(f.setUp(files)); }
    void cleanup() { f.tearDown(); }

private:
    calcsim::FileList files;
};
