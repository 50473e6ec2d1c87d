#pragma once

#include "protocol/serializeData.pb.h"

#include <QByteArray>
#include <QList>
#include <QSerialPort>
#include <QSerialPortInfo>

// The computer's end of a simulated calculator, kept as bare as possible: a real QSerialPort
// that writes framed messages and records what arrives, read by read.
class ComputerPort
{
public:
    explicit ComputerPort(const QSerialPortInfo& info);
    // A port that discovery does not list, by its device path.
    explicit ComputerPort(const QString& devicePath);

    bool isOpen() const { return port.isOpen(); }
    void send(const TaviCalc::calcMsg& msg);
    // Every read until the line has been quiet for quietMs.
    QList<QByteArray> readsUntilQuiet(int quietMs = defaultQuietMs);
    // The frames' payloads that arrive until the line has been quiet for quietMs.
    QList<QByteArray> payloadsUntilQuiet(int quietMs = defaultQuietMs);

    static constexpr int defaultQuietMs = 100;
    static QByteArray encoded(const TaviCalc::calcMsg& msg);
    static QByteArray framed(const TaviCalc::calcMsg& msg);
    static QList<QByteArray> payloadsOf(const QList<QByteArray>& reads);

private:
    QSerialPort port;
};
