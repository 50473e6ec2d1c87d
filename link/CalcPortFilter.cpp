#include "link/CalcPortFilter.h"

#include "link/CTaviCalc.h"

namespace {

const QString callInPrefix = QStringLiteral("tty");

bool isCalcPort(const PortDescription& port, PortNameRule rule)
{
    if (port.vendorId != CTaviCalc::vendorId || port.productId != CTaviCalc::productId)
        return false;
    return rule == PortNameRule::AnyName || !port.name.startsWith(callInPrefix, Qt::CaseSensitive);
}

} // namespace

QList<int> calcPortPositions(const QList<PortDescription>& ports, PortNameRule rule)
{
    QList<int> positions;
    for (int i = 0; i < ports.size(); ++i) {
        if (isCalcPort(ports.at(i), rule))
            positions.append(i);
    }
    return positions;
}
