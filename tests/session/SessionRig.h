#pragma once

#include "link/CTaviCalc.h"
#include "session/CTaviCalcSession.h"

#include "CalcSimulator.h"
#include "ModelRows.h"

#include <QObject>
#include <QStringList>
#include <QTest>

#include <memory>

// Every text about a calculator's unknown file list ends in what brings it back.
inline const QString replugAdvice = ": unplug the calculator for a few seconds and plug it in again";
inline const QString listUnknown = "Error: The calculator's file list could not be read" + replugAdvice;

// The status line's notice while the current calculator's list is unknown.
inline QString unknownListNotice(const QString& calculator)
{
    return "The file list of " + calculator + " could not be read" + replugAdvice;
}

// A session driven the way the application drives it, with its two models.
struct SessionRig
{
    SessionRig()
        : session(new CTaviCalcSession())
    {
        session->initialize(&calcModel, &fileModel);
    }

    TaviCalcModel calcModel;
    TaviFileModel fileModel;
    std::unique_ptr<CTaviCalcSession> session;

    QString status() const { return session->property("statusLineText").toString(); }
    QString error() const { return session->property("error").toString(); }
    bool busy() const { return session->property("isBusy").toBool(); }
    QList<FileEntry> files() const { return fileRows(fileModel); }
    // Polling adds calculators once a second.
    bool waitForCalcs(int count, int timeoutMs = 5000)
    {
        return QTest::qWaitFor([&] { return calcModel.rowCount() == count; }, timeoutMs);
    }
};

// Everything the session shows, one line per change, in the order it happens.
class EventLog : public QObject
{
public:
    explicit EventLog(SessionRig& rig)
    {
        CTaviCalcSession* session = rig.session.get();
        connect(session, &CTaviCalcSession::errorChange, this, [this, &rig] { lines << "error:" + rig.error(); });
        connect(session, &CTaviCalcSession::statusLineTextChange, this,
                [this, &rig] { lines << "status:" + rig.status(); });
        connect(session, &CTaviCalcSession::isBusyChange, this,
                [this, &rig] { lines << (rig.busy() ? "busy:1" : "busy:0"); });
        connect(session, &CTaviCalcSession::backupLoaded, this, [this] { lines << "backup"; });
        connect(session, &CTaviCalcSession::connectNewCalc, this, [this] { lines << "connect"; });
        connect(session, &CTaviCalcSession::indexChanged, this,
                [this](int from, int to) { lines << QString("index:%1,%2").arg(from).arg(to); });
        connect(&rig.fileModel, &QAbstractItemModel::rowsInserted, this,
                [this, &rig] { lines << QString("files:%1").arg(rig.fileModel.rowCount()); });
        connect(&rig.calcModel, &QAbstractItemModel::dataChanged, this,
                [this, &rig] { lines << "name:" + rig.calcModel.getName(); });
    }

    bool waitFor(const QString& line, int timeoutMs = 10000)
    {
        return QTest::qWaitFor([&] { return lines.contains(line); }, timeoutMs);
    }
    int count(const QString& line) const { return lines.count(line); }

    QStringList lines;
};

// The content of a calculator file; null when the calculator has no such file.
inline QByteArray contentOn(calcsim::CalcSimulator& sim, const QByteArray& name)
{
    for (const auto& file : sim.files()) {
        if (file.first == name)
            return file.second;
    }
    return QByteArray();
}

inline QStringList namesOn(calcsim::CalcSimulator& sim)
{
    QStringList names;
    for (const auto& file : sim.files())
        names << QString::fromUtf8(file.first);
    return names;
}

// The calculator says nothing where it would send its messages from first to last.
inline void silence(calcsim::CalcSimulator& sim, int first, int last)
{
    for (int message = first; message <= last; ++message) {
        calcsim::Fault fault;
        fault.message = message;
        fault.mode = calcsim::FaultMode::Silence;
        sim.addFault(fault);
    }
}

// The calculator is busy: it sends that message after the link's wait for it, within two.
inline void answerLate(calcsim::CalcSimulator& sim, int message)
{
    calcsim::Fault fault;
    fault.message = message;
    fault.mode = calcsim::FaultMode::Late;
    fault.lateMs = 750; // the shortened wait is 500 ms
    sim.addFault(fault);
}
