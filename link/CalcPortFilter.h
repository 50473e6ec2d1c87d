#pragma once

#include <QList>
#include <QString>

// What discovery needs to know of one serial port. A port that reports no identifiers
// reports 0 for them.
struct PortDescription
{
    QString name;
    quint16 vendorId = 0;
    quint16 productId = 0;
};

enum class PortNameRule {
    AnyName,      // every device node is listed once
    NoCallInNodes // each device is listed as cu.* and tty.*; keep the call-out node
};

#ifdef Q_OS_MACOS
constexpr PortNameRule platformPortNameRule = PortNameRule::NoCallInNodes;
#else
constexpr PortNameRule platformPortNameRule = PortNameRule::AnyName;
#endif

// The positions, in order, of the ports that are calculators.
QList<int> calcPortPositions(const QList<PortDescription>& ports, PortNameRule rule);
