#pragma once

#include "ComputerPort.h"

#include "CalcSimulator.h"

#include <QList>
#include <QString>
#include <QStringList>

// The computer's side of the simulator's dialogues, spelled out for test rows.

// The files every dialogue test starts with.
calcsim::FileList startFiles();

TaviCalc::calcMsg request(TaviCalc::calcMsg_msgType type, const QByteArray& name = {}, int size = 0);
TaviCalc::calcMsg piece(int frameNum, const QByteArray& data);
TaviCalc::calcMsg nameChange(const QByteArray& name);
// A file sent as the computer sends it: the announcement, then floor(size / chunk) + 1 pieces.
QList<TaviCalc::calcMsg> upload(const QByteArray& name, const QByteArray& content, int chunk);
// Distinct bytes, so that a piece in the wrong place shows.
QByteArray pattern(int size);

calcsim::Fault fault(int message, calcsim::FaultMode mode);

// One answer in a few words: its type and the fields that matter for it.
QString summary(const QByteArray& payload);
// Sends each message of the script and sums up what arrives in answer to each, joined by ", ".
QStringList answersTo(ComputerPort& computer, const QList<TaviCalc::calcMsg>& script);
QList<int> typesOf(const QList<TaviCalc::calcMsg>& messages);
